#pragma once

#include "core/gateway/NorviGwUnit.h"
#include "core/gateway/SMSend.h"
#include "core/shared/Config.h"
#include "core/shared/StopSignal.h"

#include <QByteArray>

#include <cstddef>

namespace norvi {

class RunActivity;

// The gateway client: one TCP connection, its login state and the text of the last result.
// Used by one thread at a time; each worker and each connection test has its own.
class SMSendNorviGw : public SMSend {
public:
    SMSendNorviGw();
    ~SMSendNorviGw() override;
    SMSendNorviGw(const SMSendNorviGw&) = delete;
    SMSendNorviGw& operator=(const SMSendNorviGw&) = delete;

    // SMSend
    void Clear() override;
    void SetType(uint8_t type) override;
    void SetMobile(const QByteArray& mobile) override;
    void SetContent(int length, const char* bytes) override;
    bool SetScheduleTime(const QByteArray& yymmddhhnnss) override;
    void SetMsgId(const QByteArray& msgId) override;
    void SetLimitTime(int minutes) override;
    int Receive(uint8_t& coding, QByteArray& content, int& contentLength, QByteArray& params) override;

    void SetHost(const QByteArray& dottedAddress);
    void SetPort(int port);
    void SetAccount(const QByteArray& account);
    void SetPassword(const QByteArray& password);
    // All four of the above at once.
    void SetTarget(const GatewayTarget& target);
    void SetCoding(uint8_t coding);

    // Connects and logs in unless already logged in. lastCode() and message() tell the outcome.
    bool Login();
    // Builds the parameters, performs one exchange, copies the result text into `text`, returns the code.
    int Send(QByteArray& text);
    void Logout();

    int32_t lastCode() const { return unit.lastCode; }
    QByteArray message() const;
    bool loggedIn() const { return unit.loggedIn != 0; }
    const sGwRequest& request() const { return unit.request; }

    // The reply wait, in whole seconds: from the request sent to the last byte of its reply, however
    // slowly the bytes come. It keeps a silent or trickling gateway from holding a worker for long.
    static constexpr int kReplyWaitSeconds = 30;
    // The longest MsgId a query or cancellation request carries, in bytes.
    static constexpr int kMsgIdBytes = 20;
    // Tests shorten the reply wait; 0 or less waits without limit.
    void SetReplyWaitSeconds(int seconds) { m_replyWaitSeconds = seconds; }
    // How often the last exchange waited for its reply to become readable: 1 for a reply that came
    // in one piece, or whose padding did not matter.
    int lastReplyWaits() const { return m_lastReplyWaits; }

    // The stop whose wake-up descriptor every wait of this client polls beside its socket (connect,
    // login, request, reply): once raised, the wait ends within moments, the connection is dropped and
    // the call fails with code -1 and the text StoppedText(). None unless set: the client then waits only
    // for the gateway.
    void SetStopSignal(const StopSignal* stop) { m_stop = stop; }
    // A job's stop: its wake-up ends every wait, and a reply already awaited gets `graceMs` more unless the
    // stop is asked for again (see SetStopGrace).
    void SetStop(const StopFlag& stop, int graceMs) {
        m_stop = &stop.wake();
        m_graceMs = graceMs;
        m_urgent = &stop.now();
        m_graceOf = &stop;
    }
    // After a stop, a reply already awaited is still waited for this long (never beyond the reply wait),
    // unless `urgent` is raised: the answer may carry a MsgId. 0 (the default) cuts the wait at once, as
    // the single-MsgId jobs and the connection test want.
    void SetStopGrace(int milliseconds, const StopSignal* urgent) {
        m_graceMs = milliseconds;
        m_urgent = urgent;
    }
    // Where the client tells when it starts and ends waiting for the gateway (nullptr: nowhere).
    void SetActivity(RunActivity* activity) { m_activity = activity; }

    // Where the last failed call was when a stop ended it.
    enum class StopPoint {
        None,          // the last call was not stopped
        BeforeRequest, // connecting, logging in or handing over the request: the gateway did not get it
        AwaitingReply, // the request was sent and its reply not read: the gateway may have acted on it
    };
    StopPoint lastStop() const { return m_lastStop; }
    // Whether any byte of the last request went out. A request that failed before its first byte surely
    // never reached the gateway, so it alone may be tried again; one that went out may have been acted on.
    bool lastRequestWritten() const { return m_requestWritten; }
    // How often a connection was given up because bytes were waiting that no request asked for: the
    // stream was out of step, and the next reply read on it could belong to another request.
    int outOfStepCount() const { return m_outOfStep; }
    // True when the last failure was a time-out waiting for the gateway (the request, the reply, the
    // connection).
    bool lastTimedOut() const { return m_lastTimedOut; }
    // True when bytes nobody asked for had already arrived behind the last reply: the stream is out of step,
    // and that reply may be a late copy of an earlier one. The connection was given up; the caller must not
    // take the reply for the answer to its request.
    bool lastReplyUntrusted() const { return m_lastUntrusted; }
    // Looks for bytes on the connection that no request asked for, waiting up to `waitMs` for them (0: not at
    // all; a stop ends the wait). When there are, the connection is given up (counted as out of step) and true
    // is returned: the replies read on it may not have been the answers to their requests.
    bool staleBytesWaiting(int waitMs = 0);
    // How long the last exchange waited for its reply, in milliseconds.
    int lastReplyMs() const { return m_lastReplyMs; }
    // The replies read on the current connection since its login: 1 for the first answer on a new connection,
    // which no late copy can have overtaken.
    int repliesOnConnection() const { return m_repliesOnConnection; }
    // The failure text of a stopped call (Big5).
    static QByteArray StoppedText();
    // "閘道回覆不同步" (Big5): what an answer that could not be trusted is told by.
    static QByteArray OutOfStepText();

private:
    // One request and its reply; on success lastCode and message come from the reply.
    bool exchange(int sendWaitSeconds, bool loginReply);
    // Drops the rest of the last reply if it has all arrived by now; false when the connection must
    // be given up instead.
    bool settleLastReply();
    // True when the connection is still usable for a request: nothing is waiting on it beyond the
    // last reply, and the gateway has not closed it.
    bool connectionInStep();
    // After a reply: whether bytes beyond it have arrived already (its own rest, arrived by now, is dropped).
    // `seenBeyond`: the reader found some as it read the reply's last byte.
    bool bytesBeyondReply(bool seenBeyond);
    int replyWaitMs() const;
    int wakeFd() const;
    // A stop raised before a call began: the call fails at once as stopped.
    bool stopBeforeStart();
    bool failStopped(StopPoint point);

    NorviGwUnit unit;
    char host[20] = {};
    int32_t port = 8000;
    char account[9] = {};
    char password[9] = {};
    QByteArray msgId;
    QByteArray mobile;
    QByteArray scheduleTime;
    QByteArray limitTime;
    uint8_t immediate = 1;
    int m_replyWaitSeconds = kReplyWaitSeconds;
    // Bytes of the last reply that were not waited for, because nothing the client reads was in them.
    std::size_t m_replyRestOwed = 0;
    int m_lastReplyWaits = 0;
    const StopSignal* m_stop = nullptr;
    const StopFlag* m_graceOf = nullptr; // told while a reply is awaited in the grace
    RunActivity* m_activity = nullptr;
    StopPoint m_lastStop = StopPoint::None;
    int m_graceMs = 0;
    const StopSignal* m_urgent = nullptr;
    bool m_requestWritten = false;
    int m_outOfStep = 0;
    bool m_lastTimedOut = false;
    bool m_lastUntrusted = false;
    int m_repliesOnConnection = 0;
    int m_lastReplyMs = 0;
};

} // namespace norvi
