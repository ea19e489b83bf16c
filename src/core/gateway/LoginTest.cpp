#include "core/gateway/LoginTest.h"

#include "core/gateway/ResultCodes.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"

#include <QMetaObject>

namespace norvi {

namespace {

// One login and logout with `client` set up by the caller.
bool loginOnce(SMSendNorviGw& client, QByteArray* text) {
    const bool loggedIn = client.Login();
    if (text)
        *text = WithNoAnswerWords(LoginTestText(loggedIn, client.lastCode(), client.message()), client.lastTimedOut());
    client.Logout();
    return loggedIn;
}

} // namespace

QByteArray NoAnswerText() {
    return big5("閘道沒有回應");
}

QByteArray WithNoAnswerWords(const QByteArray& text, bool timedOut) {
    if (!timedOut)
        return text;
    return NoAnswerText() + big5("（") + text + big5("）");
}

bool RunLoginTest(const GatewayTarget& target, QByteArray* text, int replyWaitSeconds, const StopSignal* stop) {
    SMSendNorviGw client;
    client.SetReplyWaitSeconds(replyWaitSeconds);
    client.SetStopSignal(stop);
    client.SetTarget(target);
    return loginOnce(client, text);
}

LoginTestRun::LoginTestRun(QObject* parent) : QObject(parent) {
    qRegisterMetaType<LoginTestResult>();
}

LoginTestRun::~LoginTestRun() {
    m_stop.raise();
    join();
}

void LoginTestRun::join() {
    if (m_thread.joinable())
        m_thread.join();
}

bool LoginTestRun::start(const LoginTestSettings& settings) {
    if (m_running)
        return false;
    join(); // the thread of the last test has announced its end and is through
    m_stop.clear();
    m_activity.reset();
    m_running = true;
    m_thread = std::thread([this, settings] {
        LoginTestResult result;
        QByteArray dotted;
        QString lookupError;
        m_activity.beginWait();
        const bool resolved = ResolveAddress(settings.address, &dotted, &lookupError, &m_stop);
        m_activity.endWait();
        if (!resolved) {
            result.text = big5(lookupError);
        } else {
            SMSendNorviGw client;
            client.SetReplyWaitSeconds(settings.replyWaitSeconds);
            client.SetStopSignal(&m_stop);
            client.SetActivity(&m_activity);
            client.SetHost(dotted);
            client.SetPort(settings.port);
            client.SetAccount(settings.account);
            client.SetPassword(settings.password);
            result.loggedIn = loginOnce(client, &result.text);
        }
        result.cancelled = !result.loggedIn && m_stop.raised();
        // Queued to the owner's thread; dropped if this object is gone by then (it waits for the thread).
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_running = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void LoginTestRun::cancel() {
    if (m_running)
        m_stop.raise();
}

} // namespace norvi
