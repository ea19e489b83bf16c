#include "GatewayRules.h"

#include "core/compose/NumberKey.h"
#include "core/shared/Big5.h"

#include <cstring>
#include <vector>

namespace norvi::gwsim {

namespace {

// The compose side books whole minutes, so a reservation for the current minute is up to a minute old
// when it arrives; it is accepted and falls due at once.
constexpr qint64 kScheduleGraceSeconds = 60;
constexpr qint64 kScheduleHorizonDays = 7;
constexpr int kMaxLimitMinutes = 1440;
constexpr int kMaxInternationalDigits = 22;

bool allDigits(const QByteArray& s) {
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool validNumber(uint8_t type, const QByteArray& number) {
    if (type == GwSendDomestic)
        return number.size() == 10 && allDigits(number);
    const QByteArray digits = number.startsWith('+') ? number.mid(1) : number;
    return !digits.isEmpty() && digits.size() <= kMaxInternationalDigits && allDigits(digits);
}

// A maximal run of nine or more digits that begins with 0 looks like a phone number in the text.
bool containsPhoneNumber(const char* text, int length) {
    int runStart = -1;
    for (int i = 0; i <= length; ++i) {
        const unsigned char c = i < length ? static_cast<unsigned char>(text[i]) : 0;
        const bool digit = c >= '0' && c <= '9';
        if (digit && runStart < 0)
            runStart = i;
        if (!digit && runStart >= 0) {
            if (text[runStart] == '0' && i - runStart >= 9)
                return true;
            runStart = -1;
        }
        // The second byte of a two-byte character is never a digit, but it must not start a run either.
        if (!digit && c >= 0x81 && i + 1 < length)
            ++i;
    }
    return false;
}

// yymmddhhnnss as a local time, or a null time when it is not a real moment.
QDateTime parseScheduleTime(const QByteArray& s) {
    if (s.size() != 12 || !allDigits(s))
        return {};
    const auto two = [&](int at) { return s.mid(at, 2).toInt(); };
    const QDate date(2000 + two(0), two(2), two(4));
    const QTime time(two(6), two(8), two(10));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

bool paramsFit(const sGwRequest& q) {
    return q.msg_params_len <= sizeof q.msg_params;
}

// The NUL-separated parameters; the caller has checked the length against the field's size.
std::vector<QByteArray> splitParams(const sGwRequest& q) {
    std::vector<QByteArray> out;
    const int len = q.msg_params_len;
    int start = 0;
    for (int i = 0; i < len; ++i) {
        if (q.msg_params[i] == '\0') {
            out.emplace_back(q.msg_params + start, i - start);
            start = i + 1;
        }
    }
    if (start < len)
        out.emplace_back(q.msg_params + start, len - start);
    return out;
}

QByteArray param(const std::vector<QByteArray>& params, std::size_t i) {
    return i < params.size() ? params[i] : QByteArray();
}

QString latin(const QByteArray& text) {
    return QString::fromLatin1(text);
}

} // namespace

GatewayRules::GatewayRules(std::map<QByteArray, QByteArray> accounts, int deliverAfterSeconds, int maxConnections)
    : m_accounts(std::move(accounts)), m_deliverAfterSeconds(deliverAfterSeconds), m_maxConnections(maxConnections) {}

bool GatewayRules::reachesSendChecks(const sGwRequest& q, const Session& s) {
    return paramsFit(q) && s.loggedIn && (q.msg_type == GwSendDomestic || q.msg_type == GwSendInternational);
}

Outcome GatewayRules::handle(const sGwRequest& q, Session& s, const QDateTime& now) {
    if (!paramsFit(q))
        return {kBadRecordLength, "bad msg_params_len"};
    if (q.msg_type == GwLogin)
        return login(q, s);
    if (!s.loggedIn)
        return {kNotLoggedIn, "login first"};
    switch (q.msg_type) {
    case GwSendDomestic:
    case GwSendInternational:
        return send(q, s, now);
    case GwQuery:
        return query(q, s, now.toMSecsSinceEpoch());
    case GwCancel:
        return cancel(q, s, now.toMSecsSinceEpoch());
    default:
        return {kUnknownType, "unknown request type"};
    }
}

void GatewayRules::logout(Session& s) {
    if (s.loggedIn)
        --m_loggedIn;
    s.loggedIn = false;
}

Outcome GatewayRules::login(const sGwRequest& q, Session& s) {
    const std::vector<QByteArray> p = splitParams(q);
    const QByteArray account = param(p, 0);
    if (s.loggedIn)
        return {kAlreadyLoggedIn, "already logged in"};
    const auto it = m_accounts.find(account);
    if (it == m_accounts.end())
        return {kUnknownAccount, "unknown account"};
    if (it->second != param(p, 1))
        return {kWrongPassword, "wrong password"};
    if (m_loggedIn >= m_maxConnections)
        return {kTooManyConnections, "too many connections"};
    ++m_loggedIn;
    s.loggedIn = true;
    s.account = account;
    return {kOk, "login ok"};
}

QByteArray GatewayRules::newMsgId(const QDateTime& now) {
    // Prefix, time to the second and a running number: unique within a run and unlikely to repeat
    // across runs; 20 characters, the most a request can carry.
    const quint64 n = ++m_msgCounter % 1000000;
    return "NV" + now.toString(QStringLiteral("yyMMddHHmmss")).toLatin1() +
           QByteArray::number(n).rightJustified(6, '0');
}

Outcome GatewayRules::send(const sGwRequest& q, const Session& s, const QDateTime& now) {
    const std::vector<QByteArray> p = splitParams(q);
    const QByteArray number = param(p, 0);
    const QByteArray mode = param(p, 1);
    if (q.msg_coding != 1)
        return {kBadCoding, "bad coding"};
    const int length = q.msg_content_len;
    if (length == 0 || length > int(sizeof q.msg_content))
        return {kBadContentLength, "bad content length"};
    if (std::memchr(q.msg_content, 0, std::size_t(length)))
        return {kContentLengthMismatch, "content shorter than its length"};
    if (!validNumber(q.msg_type, number))
        return {kBadNumber, "bad number"};
    if (mode != "01" && mode != "02" && mode != "03" && mode != "04")
        return {kBadMode, "bad send mode"};

    const bool scheduled = mode == "03" || mode == "04";
    const bool limited = mode == "02" || mode == "04";
    const QByteArray scheduleText = scheduled ? param(p, 2) : QByteArray();
    const QByteArray limitText = limited ? param(p, scheduled ? 3 : 2) : QByteArray();
    int limitMinutes = 0;
    if (limited) {
        limitMinutes = limitText.toInt();
        if (limitText.size() != 4 || !allDigits(limitText) || limitMinutes < 1 || limitMinutes > kMaxLimitMinutes)
            return {kBadLimitTime, "bad limit time"};
    }
    QDateTime at;
    if (scheduled) {
        at = parseScheduleTime(scheduleText);
        if (!at.isValid() || at < now.addSecs(-kScheduleGraceSeconds) || at > now.addDays(kScheduleHorizonDays))
            return {kBadScheduleTime, "bad schedule time"};
    }
    if (containsPhoneNumber(q.msg_content, length))
        return {kPhoneNumberInText, "phone number in the text"};

    const QByteArray id = newMsgId(now);
    Message m;
    m.account = s.account;
    m.submittedMs = now.toMSecsSinceEpoch();
    m.scheduledMs = at.isValid() ? at.toMSecsSinceEpoch() : -1;
    m.limitMinutes = limitMinutes;
    m.undeliverable = !m_failDelivery.empty() && m_failDelivery.count(NumberKey(number)) > 0;
    m_messages[id] = m;
    ++m_accepted;
    return {kOk, id};
}

std::pair<uint8_t, const char*> GatewayRules::stateOf(const Message& m, qint64 nowMs) const {
    if (m.cancelled)
        return {kReservationCancelled, "reservation cancelled"};
    const bool scheduled = m.scheduledMs >= 0;
    if (scheduled && nowMs < m.scheduledMs)
        return {kReservationWaiting, "reservation waiting"};
    const qint64 dueMs = scheduled ? m.scheduledMs : m.submittedMs;
    // A message whose validity ends before it would be delivered expires undelivered.
    const qint64 limitMs = qint64(m.limitMinutes) * 60 * 1000;
    const qint64 deliverMs = qint64(m_deliverAfterSeconds) * 1000;
    if (m.limitMinutes > 0 && deliverMs > limitMs && nowMs >= dueMs + limitMs)
        return {kExpired, "expired"};
    if (nowMs < dueMs + deliverMs)
        return {kSubmitted, "submitted"};
    if (m.undeliverable)
        return {kUndeliverable, "undeliverable"};
    return {kOk, "delivered"};
}

Outcome GatewayRules::query(const sGwRequest& q, const Session& s, qint64 nowMs) {
    const QByteArray id = param(splitParams(q), 0);
    if (id.isEmpty())
        return {kEmptyMsgId, "empty MsgId"};
    const auto it = m_messages.find(id);
    if (it == m_messages.end() || it->second.account != s.account)
        return {kNoSuchMessage, "no such MsgId"};
    Message& m = it->second;
    if (m.finalCode >= 0)
        return {uint8_t(m.finalCode), m.finalText};
    const auto state = stateOf(m, nowMs);
    if (state.first == kOk || state.first == kExpired || state.first == kUndeliverable) {
        m.finalCode = state.first;
        m.finalText = state.second;
    }
    return {state.first, state.second};
}

Outcome GatewayRules::cancel(const sGwRequest& q, const Session& s, qint64 nowMs) {
    const QByteArray id = param(splitParams(q), 0);
    if (id.isEmpty())
        return {kEmptyMsgId, "empty MsgId"};
    const auto it = m_messages.find(id);
    if (it == m_messages.end() || it->second.account != s.account)
        return {kNoSuchMessage, "no such MsgId"};
    if (stateOf(it->second, nowMs).first != kReservationWaiting)
        return {kNotReservation, "not a waiting reservation"};
    it->second.cancelled = true;
    return {kOk, "cancelled"};
}

QString describeRequest(const sGwRequest& q) {
    if (!paramsFit(q))
        return QStringLiteral("type %1 with msg_params_len %2").arg(q.msg_type).arg(q.msg_params_len);
    const std::vector<QByteArray> p = splitParams(q);
    switch (q.msg_type) {
    case GwLogin:
        return QStringLiteral("login %1").arg(fromBig5(param(p, 0)));
    case GwSendDomestic:
    case GwSendInternational: {
        QString line =
            QStringLiteral("send type %1 to %2 mode %3").arg(q.msg_type).arg(latin(param(p, 0)), latin(param(p, 1)));
        for (std::size_t i = 2; i < p.size(); ++i)
            line += QLatin1Char(' ') + latin(p[i]);
        return line + QStringLiteral(" len %1").arg(q.msg_content_len);
    }
    case GwQuery:
        return QStringLiteral("query %1").arg(latin(param(p, 0)));
    case GwCancel:
        return QStringLiteral("cancel %1").arg(latin(param(p, 0)));
    default:
        return QStringLiteral("type %1").arg(q.msg_type);
    }
}

} // namespace norvi::gwsim
