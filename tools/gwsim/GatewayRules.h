#pragma once

#include "core/gateway/GwRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <map>
#include <set>
#include <utility>

namespace norvi::gwsim {

// The gateway's reply codes. Each request type has its own numbering, so some values repeat.
enum Code : uint8_t {
    kOk = 0,
    // login
    kWrongPassword = 1,
    kUnknownAccount = 2,
    kTooManyConnections = 3,
    // send
    kBadCoding = 2,
    kBadContentLength = 4,
    kContentLengthMismatch = 5,
    kBadNumber = 6,
    kBadMode = 7,
    kBadLimitTime = 8,
    kBadScheduleTime = 9,
    kPhoneNumberInText = 16,
    // query and cancel
    kNotReservation = 1,
    kNoSuchMessage = 2,
    kEmptyMsgId = 3,
    kSubmitted = 4,
    kExpired = 9,
    kReservationWaiting = 20,
    kReservationCancelled = 21,
    kUndeliverable = 17, // 訊息無法送達對方
    // any request
    kBadRecordLength = 30,
    kUnknownType = 32,
    kNotLoggedIn = 50,
    kAlreadyLoggedIn = 51,
};

struct Outcome {
    uint8_t code = kOk;
    QByteArray text; // the reply text (Big5)
};

// What one connection knows of its login.
struct Session {
    bool loggedIn = false;
    QByteArray account;
};

// The gateway's rules without any transport: accounts and logins, the checks a send goes through,
// message ids, and the states a message passes through as time goes on. Not thread-safe: the
// simulator calls it under its own lock. The time of each request is passed in, so the rules need no
// clock of their own.
class GatewayRules {
public:
    GatewayRules(std::map<QByteArray, QByteArray> accounts, int deliverAfterSeconds, int maxConnections);

    Outcome handle(const sGwRequest& q, Session& s, const QDateTime& now);
    // A connection went away: its login no longer counts against the connection limit.
    void logout(Session& s);

    // True when the request is a send that has got past the login checks, the point where the
    // simulator's fault switches may refuse it before the gateway looks at its fields.
    static bool reachesSendChecks(const sGwRequest& q, const Session& s);

    qint64 accepted() const { return m_accepted; }

    // The numbers (by NumberKey) whose messages never arrive: once due, a query about one answers that it
    // cannot be delivered, as a phone that stays switched off would have it.
    void setFailDelivery(std::set<QByteArray> numberKeys) { m_failDelivery = std::move(numberKeys); }

private:
    struct Message {
        QByteArray account;
        // Milliseconds since the epoch: the state is worked out on every query, and plain numbers keep
        // that free of time-zone work.
        qint64 submittedMs = 0;
        qint64 scheduledMs = -1; // -1 for a message sent at once
        int limitMinutes = 0;
        bool cancelled = false;
        bool undeliverable = false; // its number is one of setFailDelivery's
        // Delivered and expired are where a message ends; once reached they are kept.
        int finalCode = -1;
        const char* finalText = nullptr;
    };

    Outcome login(const sGwRequest& q, Session& s);
    Outcome send(const sGwRequest& q, const Session& s, const QDateTime& now);
    Outcome query(const sGwRequest& q, const Session& s, qint64 nowMs);
    Outcome cancel(const sGwRequest& q, const Session& s, qint64 nowMs);
    QByteArray newMsgId(const QDateTime& now);
    std::pair<uint8_t, const char*> stateOf(const Message& m, qint64 nowMs) const;

    std::map<QByteArray, QByteArray> m_accounts;
    int m_deliverAfterSeconds;
    int m_maxConnections;
    int m_loggedIn = 0;
    quint64 m_msgCounter = 0;
    qint64 m_accepted = 0;
    std::map<QByteArray, Message> m_messages;
    std::set<QByteArray> m_failDelivery;
};

// The request line of the simulator's log: the type and the parameters that tell requests apart.
QString describeRequest(const sGwRequest& q);

} // namespace norvi::gwsim
