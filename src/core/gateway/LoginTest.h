#pragma once

#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

namespace norvi {

// The connection test of the settings dialog, shared with the command-line front end: a fresh
// gateway client on `target` logs in and out.
// Returns whether the login succeeded; `text` receives what the user is shown (Big5): the login table's
// text or the client's failure text, a time-out with plain words before it ("閘道沒有回應（Recv()逾時）").
// `stop` (none by default) ends every wait.
bool RunLoginTest(const GatewayTarget& target, QByteArray* text,
                  int replyWaitSeconds = SMSendNorviGw::kReplyWaitSeconds, const StopSignal* stop = nullptr);

// The plain words put before a time-out's technical text, for the result boxes of the connection test and
// the single-MsgId query (Big5).
QByteArray NoAnswerText();
// `text` with NoAnswerText() before it when the failure was a time-out (Big5).
QByteArray WithNoAnswerWords(const QByteArray& text, bool timedOut);

// What the connection test found: whether the login succeeded, the text for the user (Big5, as
// RunLoginTest gives it, or the name lookup's error), and whether cancel() ended it.
struct LoginTestResult {
    bool loggedIn = false;
    bool cancelled = false;
    QByteArray text;
};

// The settings of a connection test, copied when it starts: the address as typed (a dotted address or a
// host name, looked up on the test's own thread), port, account and password (Big5).
struct LoginTestSettings {
    QByteArray address;
    int port = 0;
    QByteArray account;
    QByteArray password;
    int replyWaitSeconds = SMSendNorviGw::kReplyWaitSeconds;
};

// A connection test off the user-interface thread: start() looks the name up and logs in and out on a
// thread of its own; cancel() ends any wait at once through the test's own stop (a stop of the jobs does
// not end it, nor does it end theirs); finished() is emitted on the thread that owns this object, once per
// start, after the thread is through. Destroying the object cancels a test that still runs and waits for its
// thread, which the cancel ends within moments.
class LoginTestRun : public QObject {
    Q_OBJECT
public:
    explicit LoginTestRun(QObject* parent = nullptr);
    ~LoginTestRun() override;

    // False, starting nothing, while a test runs.
    bool start(const LoginTestSettings& settings);
    void cancel();
    bool running() const { return m_running; }
    // How long the test has waited for the gateway so far, in milliseconds; -1 while it is not waiting.
    int64_t waitingMs() const { return m_activity.waitingMs(); }

signals:
    void finished(const norvi::LoginTestResult& result);

private:
    void join();

    StopSignal m_stop;
    RunActivity m_activity;
    std::thread m_thread;
    bool m_running = false;
};

} // namespace norvi

Q_DECLARE_METATYPE(norvi::LoginTestResult)
