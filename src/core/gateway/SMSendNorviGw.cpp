#include "core/gateway/SMSendNorviGw.h"

#include "core/gateway/ReplyReader.h"
#include "core/gateway/ResultCodes.h"
#include "core/gateway/Sockets.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace norvi {

namespace {

constexpr int kLoginSendWaitSeconds = 20;
constexpr int kSendWaitSeconds = 10;
// The connect gives up like the login's send wait; without a bound an unreachable address holds a
// worker for the system's full handshake retry time.
constexpr int kConnectWaitSeconds = 20;

constexpr int kMaxContent = 160;
constexpr int kMaxAccount = kSentCredentialBytes;
constexpr int kMaxDomesticNumber = 10;
constexpr int kMaxInternationalNumber = 22;
constexpr int kMaxScheduleTime = 12;
constexpr int kMaxLimitTime = 4;
constexpr int kMaxMsgId = SMSendNorviGw::kMsgIdBytes;

void setMessage(NorviGwUnit& unit, const QByteArray& text) {
    putCString(unit.message, text);
}

QByteArray withError(const char* text, int error) {
    return QByteArray(text) + '(' + QByteArray::number(error) + ')';
}

void closeConnection(NorviGwUnit& unit) {
    if (unit.sock >= 0) {
        sockets::ShutdownBoth(unit.sock);
        sockets::Close(unit.sock);
        unit.sock = -1;
    }
    unit.loggedIn = 0;
}

// A transport failure: the connection is dropped so the next Login starts over.
bool fail(NorviGwUnit& unit, const QByteArray& text) {
    unit.lastCode = -1;
    setMessage(unit, text);
    closeConnection(unit);
    return false;
}

// Appends one parameter string of at most `max` bytes and its NUL; returns the new write position.
// A string ends at its first NUL, as the gateway reads it.
int appendParam(sGwRequest& request, int pos, const QByteArray& text, int max) {
    constexpr int room = int(sizeof request.msg_params) - 1; // always keep space for the NUL
    for (int i = 0; i < max && i < text.size() && text.at(i) != '\0' && pos < room; ++i)
        request.msg_params[pos++] = text.at(i);
    request.msg_params[pos++] = '\0';
    return pos;
}

// Marks the time the client spends waiting for the gateway where the job's watchers see it.
class WaitMark {
public:
    explicit WaitMark(RunActivity* activity) : m_activity(activity) {
        if (m_activity)
            m_activity->beginWait();
    }
    ~WaitMark() {
        if (m_activity)
            m_activity->endWait();
    }
    WaitMark(const WaitMark&) = delete;
    WaitMark& operator=(const WaitMark&) = delete;

private:
    RunActivity* m_activity;
};

enum class StepResult { Sent, Failed, TimedOut, Woken };

StepResult failStep(NorviGwUnit& unit, const QByteArray& text, StepResult result = StepResult::Failed) {
    fail(unit, text);
    return result;
}

// `sent` tells how much of the request went out, whatever the result.
StepResult sendStep(NorviGwUnit& unit, int waitSeconds, int wakeFd, std::size_t& sent) {
    const char* record = reinterpret_cast<const char*>(&unit.request);
    const std::size_t size = sizeof unit.request;
    sent = 0;
    if (waitSeconds > 0) {
        // A socket with room for the record is writable, so the wait can only matter once a send
        // would block: try first, and wait only for what the socket did not take.
        if (unit.sock >= 0) {
            const long n = sockets::TrySend(unit.sock, record, size);
            if (n < 0)
                return failStep(unit, withError(big5("Send()錯誤").constData(), sockets::LastError()));
            sent = std::size_t(n);
        }
        if (sent < size) {
            const sockets::Wait w = sockets::WaitWritable(unit.sock, waitSeconds, wakeFd);
            if (w == sockets::Wait::Failed)
                return failStep(unit, withError("Send() select error", sockets::LastError()));
            if (w == sockets::Wait::TimedOut)
                return failStep(unit, big5("Send()逾時"), StepResult::TimedOut);
            // A record handed over in part is no request the gateway acts on.
            if (w == sockets::Wait::Woken)
                return StepResult::Woken;
        }
    }
    if (sent < size && sockets::SendRecord(unit.sock, record + sent, size - sent) < 0) {
        // A send that failed part-way may still have handed over bytes: counted as gone.
        sent = size;
        return failStep(unit, withError(big5("Send()錯誤").constData(), sockets::LastError()));
    }
    sent = size;
    return StepResult::Sent;
}

// The failure text of a reply that could not be read.
QByteArray replyFailureText(ReplyReader::Outcome outcome, int error) {
    switch (outcome) {
    case ReplyReader::Outcome::Closed:
        return big5("Norvi伺服器已切斷連線");
    case ReplyReader::Outcome::TimedOut:
        return big5("Recv()逾時");
    case ReplyReader::Outcome::WaitFailed:
        return withError("Recv() select error", error);
    default:
        return withError(big5("Recv()錯誤").constData(), error);
    }
}

// The number of leading bytes of an over-long text that fit the content without splitting a
// two-byte character.
int fittedContentLength(const unsigned char* bytes) {
    int pos = 0;
    while (pos < kMaxContent) {
        if (bytes[pos] >= 0x80) {
            if (pos + 2 > kMaxContent)
                break;
            pos += 2;
        } else {
            pos += 1;
        }
    }
    return pos;
}

} // namespace

SMSendNorviGw::SMSendNorviGw() {
    if (sockets::Startup() == 0) {
        unit.wsaStarted = 1;
        BuildResultTables();
    } else {
        setMessage(unit, "WSAStartup failed!");
    }
}

SMSendNorviGw::~SMSendNorviGw() {
    closeConnection(unit);
    if (unit.wsaStarted)
        sockets::Cleanup();
}

void SMSendNorviGw::Clear() {
    std::memset(&unit.request, 0, sizeof unit.request);
    std::memset(&unit.reply, 0, sizeof unit.reply);
    msgId.clear();
    mobile.clear();
    scheduleTime.clear();
    limitTime.clear();
    immediate = 1;
}

void SMSendNorviGw::SetType(uint8_t type) {
    unit.request.msg_type = type;
}

void SMSendNorviGw::SetMobile(const QByteArray& text) {
    mobile = text;
}

void SMSendNorviGw::SetContent(int length, const char* bytes) {
    if (length < 0 || !bytes)
        length = 0;
    if (length > kMaxContent)
        length = fittedContentLength(reinterpret_cast<const unsigned char*>(bytes));
    putField(unit.request.msg_content, sizeof unit.request.msg_content, bytes, std::size_t(length));
    unit.request.msg_content_len = uint8_t(length);
}

bool SMSendNorviGw::SetScheduleTime(const QByteArray& yymmddhhnnss) {
    if (yymmddhhnnss.isEmpty()) {
        immediate = 1;
    } else {
        scheduleTime = yymmddhhnnss;
        immediate = 0;
    }
    return true;
}

void SMSendNorviGw::SetMsgId(const QByteArray& text) {
    msgId = text;
}

void SMSendNorviGw::SetLimitTime(int minutes) {
    if (minutes > 0)
        limitTime = QByteArray::number(minutes).rightJustified(kMaxLimitTime, '0');
}

void SMSendNorviGw::SetHost(const QByteArray& dottedAddress) {
    putCString(host, dottedAddress);
}

void SMSendNorviGw::SetPort(int value) {
    port = value;
}

void SMSendNorviGw::SetAccount(const QByteArray& text) {
    putCString(account, text);
}

void SMSendNorviGw::SetPassword(const QByteArray& text) {
    putCString(password, text);
}

void SMSendNorviGw::SetTarget(const GatewayTarget& target) {
    SetHost(target.host);
    SetPort(target.port);
    SetAccount(target.account);
    SetPassword(target.password);
}

void SMSendNorviGw::SetCoding(uint8_t coding) {
    unit.request.msg_coding = coding;
}

QByteArray SMSendNorviGw::message() const {
    return getField(unit.message);
}

QByteArray SMSendNorviGw::StoppedText() {
    return big5("作業已中斷");
}

QByteArray SMSendNorviGw::OutOfStepText() {
    return big5("閘道回覆不同步");
}

int SMSendNorviGw::wakeFd() const {
    return m_stop ? m_stop->fd() : -1;
}

bool SMSendNorviGw::failStopped(StopPoint point) {
    m_lastStop = point;
    return fail(unit, StoppedText());
}

bool SMSendNorviGw::stopBeforeStart() {
    m_lastStop = StopPoint::None;
    m_lastTimedOut = false;
    if (!m_stop || !m_stop->raised())
        return false;
    failStopped(StopPoint::BeforeRequest);
    return true;
}

bool SMSendNorviGw::Login() {
    if (stopBeforeStart())
        return false;
    // A connection whose last reply has not fully arrived is given up for a new one: the rest could
    // still turn up and would then be read as the start of the next reply.
    if (unit.loggedIn && settleLastReply() && connectionInStep())
        return true;
    closeConnection(unit); // such a connection, or a socket left over from an interrupted login
    m_replyRestOwed = 0;

    std::memset(&unit.addr, 0, sizeof unit.addr);
    unit.addr.sin_family = AF_INET;
    unit.addr.sin_port = htons(uint16_t(port));
    unit.addr.sin_addr.s_addr = sockets::InetAddr(host);

    unit.sock = sockets::CreateTcpSocket();
    if (unit.sock < 0) {
        unit.lastCode = -1;
        setMessage(unit, withError("Socket create error", sockets::LastError()));
        return false;
    }
    // A port outside the TCP range would otherwise be wrapped into some other port.
    const bool portValid = port > 0 && port <= 65535;
    if (portValid) {
        WaitMark waiting(m_activity);
        if (sockets::Connect(unit.sock, unit.addr, kConnectWaitSeconds, wakeFd()) != 0) {
            const int error = sockets::LastError();
            if (error == ECANCELED)
                return failStopped(StopPoint::BeforeRequest);
            m_lastTimedOut = error == ETIMEDOUT;
            return fail(unit, big5("網路連線失敗"));
        }
    } else {
        return fail(unit, big5("網路連線失敗"));
    }

    std::memset(&unit.request, 0, sizeof unit.request);
    unit.request.msg_type = GwLogin;
    int pos = appendParam(unit.request, 0, getField(account), kMaxAccount);
    pos = appendParam(unit.request, pos, getField(password), kMaxAccount);
    unit.request.msg_params_len = uint8_t(pos);

    if (!exchange(kLoginSendWaitSeconds, true)) {
        // Whatever the login's exchange reached, the request of the caller was not sent.
        if (m_lastStop != StopPoint::None)
            m_lastStop = StopPoint::BeforeRequest;
        return false;
    }
    if (unit.lastCode != 0) {
        closeConnection(unit);
        return false;
    }
    if (unit.sock < 0) // the gateway ended the connection part-way through its welcome
        return fail(unit, big5("Norvi伺服器已切斷連線"));
    unit.loggedIn = 1;
    m_repliesOnConnection = 0;
    return true;
}

int SMSendNorviGw::Send(QByteArray& text) {
    sGwRequest& r = unit.request;
    std::memset(r.msg_params, 0, sizeof r.msg_params);
    int pos = 0;
    switch (r.msg_type) {
    case GwSendDomestic:
    case GwSendInternational: {
        pos = appendParam(r, pos, mobile, r.msg_type == GwSendDomestic ? kMaxDomesticNumber : kMaxInternationalNumber);
        const bool limited = !limitTime.isEmpty();
        const QByteArray mode = immediate ? (limited ? "02" : "01") : (limited ? "04" : "03");
        pos = appendParam(r, pos, mode, 2);
        if (!immediate)
            pos = appendParam(r, pos, scheduleTime, kMaxScheduleTime);
        if (limited)
            pos = appendParam(r, pos, limitTime, kMaxLimitTime);
        break;
    }
    case GwQuery:
    case GwCancel:
        pos = appendParam(r, pos, msgId, kMaxMsgId);
        break;
    default:
        break; // other requests carry no parameters of ours
    }
    r.msg_params_len = uint8_t(pos);

    if (!stopBeforeStart())
        exchange(kSendWaitSeconds, false);
    text = message();
    return unit.lastCode;
}

int SMSendNorviGw::Receive(uint8_t& coding, QByteArray& content, int& contentLength, QByteArray& params) {
    if (stopBeforeStart() || !exchange(kSendWaitSeconds, false))
        return unit.lastCode;
    const sGwReply& r = unit.reply;
    coding = r.reply_coding;
    contentLength = r.reply_content_len;
    if (r.reply_coding == 2 || r.reply_coding == 3) {
        // Raw bytes: the stated length, never beyond the field.
        const int n = contentLength < int(sizeof r.reply_content) ? contentLength : int(sizeof r.reply_content);
        content = QByteArray(r.reply_content, n);
    } else {
        content = getField(r.reply_content);
    }
    params = getField(r.reply_params);
    return unit.lastCode;
}

bool SMSendNorviGw::connectionInStep() {
    if (unit.sock < 0)
        return false;
    char probe;
    const long n = sockets::PeekReceive(unit.sock, &probe, 1);
    if (n == sockets::kNothingYet)
        return true;
    // Bytes no request asked for: the replies are out of step with the requests, and the next reply
    // read here could answer another request. A closed or failed connection is simply opened anew.
    if (n > 0)
        ++m_outOfStep;
    return false;
}

bool SMSendNorviGw::staleBytesWaiting(int waitMs) {
    if (unit.sock < 0)
        return false;
    if (waitMs > 0 && m_replyRestOwed == 0) {
        WaitMark waiting(m_activity);
        sockets::WaitReadableMs(unit.sock, waitMs, wakeFd());
    }
    const int before = m_outOfStep;
    if (!settleLastReply() || !connectionInStep()) {
        closeConnection(unit);
        m_replyRestOwed = 0;
    }
    return m_outOfStep > before;
}

bool SMSendNorviGw::bytesBeyondReply(bool seenBeyond) {
    if (seenBeyond)
        return true;
    // A reply read to its last byte was read looking past it, which told already; a connection that ended has
    // nothing more to tell.
    if (unit.sock < 0 || m_replyRestOwed == 0)
        return false;
    // The reply's own padding, still on its way, hides whatever may follow it: that is looked at before the
    // next request instead.
    if (!DropArrivedRest(unit.sock, m_replyRestOwed))
        return false;
    return sockets::BytesWaiting(unit.sock) > 0;
}

bool SMSendNorviGw::settleLastReply() {
    if (m_replyRestOwed == 0)
        return true;
    if (unit.sock >= 0 && DropArrivedRest(unit.sock, m_replyRestOwed))
        return true;
    m_replyRestOwed = 0; // the connection is given up, and with it what it owed
    return false;
}

int SMSendNorviGw::replyWaitMs() const {
    if (m_replyWaitSeconds <= 0)
        return 0;
    return m_replyWaitSeconds > INT_MAX / 1000 ? INT_MAX : m_replyWaitSeconds * 1000;
}

bool SMSendNorviGw::exchange(int sendWaitSeconds, bool loginReply) {
    m_lastStop = StopPoint::None;
    m_lastTimedOut = false;
    m_lastUntrusted = false;
    m_requestWritten = false;
    if (!settleLastReply())
        closeConnection(unit); // the send step then fails as on any connection that is gone
    WaitMark waiting(m_activity);
    std::size_t sent = 0;
    const StepResult step = sendStep(unit, sendWaitSeconds, wakeFd(), sent);
    m_requestWritten = sent > 0;
    switch (step) {
    case StepResult::Sent:
        break;
    case StepResult::Woken:
        // Part of a record is no request the gateway acts on, but nothing here can prove it never will.
        return failStopped(m_requestWritten ? StopPoint::AwaitingReply : StopPoint::BeforeRequest);
    case StepResult::TimedOut:
        m_lastTimedOut = true;
        return false;
    default:
        return false;
    }

    const int64_t sentAt = sockets::MonotonicMs();
    ReplyReader reader(unit.sock, unit.reply, replyWaitMs(), wakeFd());
    if (!loginReply)
        reader.setStopGrace(m_graceMs, m_urgent ? m_urgent->fd() : -1, m_graceOf);
    ReplyReader::Outcome outcome = reader.readReadable();
    // The first request on a new connection follows the welcome at once, so a welcome must arrive
    // whole before it counts; a refusal closes the connection anyway.
    if (loginReply && outcome == ReplyReader::Outcome::Readable && unit.reply.reply_code == 0)
        outcome = reader.readWhole();
    m_lastReplyWaits = reader.waits();
    m_lastReplyMs = int(std::min<int64_t>(sockets::MonotonicMs() - sentAt, INT_MAX));

    switch (outcome) {
    case ReplyReader::Outcome::Whole:
        break;
    case ReplyReader::Outcome::Readable:
        m_replyRestOwed = reader.rest();
        break;
    case ReplyReader::Outcome::Cut:
        // What arrived is the reply; the connection is over, and the next Login opens a new one.
        closeConnection(unit);
        break;
    case ReplyReader::Outcome::Stopped:
        return failStopped(StopPoint::AwaitingReply);
    default:
        m_lastTimedOut = outcome == ReplyReader::Outcome::TimedOut;
        return fail(unit, replyFailureText(outcome, reader.error()));
    }
    unit.lastCode = unit.reply.reply_code;
    setMessage(unit, getField(unit.reply.reply_content));
    if (!loginReply)
        ++m_repliesOnConnection;
    // A gateway that answers once per request has sent nothing beyond this reply: bytes there mean the
    // replies run ahead of the requests, and the one just read may be a late copy of an earlier answer.
    if (bytesBeyondReply(reader.bytesBeyond())) {
        ++m_outOfStep;
        m_replyRestOwed = 0;
        if (loginReply)
            return fail(unit, OutOfStepText());
        closeConnection(unit);
        m_lastUntrusted = true;
    }
    return true;
}

void SMSendNorviGw::Logout() {
    closeConnection(unit);
}

} // namespace norvi
