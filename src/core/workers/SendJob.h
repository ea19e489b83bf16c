#pragma once

#include "core/compose/RecipientRecords.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/workers/GatewayExchange.h"
#include "core/workers/JobOwner.h"
#include "core/workers/RecentMsgIds.h"
#include "core/workers/StopRows.h"

#include <QByteArray>

namespace norvi {

class SendThd;

// The job of a send worker: every segment of every message of its run goes to the gateway as one
// request and becomes one row of the send log. Logs in once and keeps the login. A segment is tried a
// second time only when its first request surely never reached the gateway (a failed connection or
// login, no byte written, or a refusal the gateway names); a request that went out and got no answer
// leaves an uncertain row instead, since the recipient may already have the message. A stop gives the
// exchange in flight a short grace for its answer, and every segment not sent gets a row of its own
// saying so; a refused login ends the run; after three transport failures in a row the owner is asked
// whether to go on.
class SendJob {
public:
    explicit SendJob(SendThd& worker) : m_worker(worker) {}
    void run();

    // The outcome of one segment's attempts.
    using Outcome = GatewayExchange;

    // Type 15 (international) for numbers longer than ten characters or starting with "+", else 1.
    static uint8_t requestType(const QByteArray& msisdn);
    // The send-log row image of a recipient kind.
    static int rowImage(uint8_t kind);

private:
    void sendRecord(const sSendContent& record);
    void sendSegment(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment);
    // The segment's exchange and row; false when a stop kept its request from going out.
    bool sendSegmentRow(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment);
    Outcome attempt(const QByteArray& msisdn, const QByteArray& segment);
    void prepareRequest(const QByteArray& msisdn, const QByteArray& segment);
    // The row of a segment the run does not send, with the stop's time.
    void notSentRow(const QByteArray& name, int image, const QByteArray& msisdn, const QByteArray& segment);
    // The run stops here: every later segment gets a not-sent row.
    void noteStop(bool gaveUp = false);
    // The row of an exchange that went out and got no answer, or an answer without a MsgId.
    void uncertainRow(quint64 rowId, const QByteArray& msisdn, const QByteArray& segment, const QByteArray& text);
    // Why an answer of the gateway cannot be taken as this segment's (Big5), or empty when it can: bytes came
    // behind it, or it is an acceptance whose MsgId is already another row's or longer than a query can carry.
    // The MsgId of an acceptance it takes is remembered, for the stale copies a gateway may still send of it.
    QByteArray distrust(const Outcome& outcome);

    SendThd& m_worker;
    bool m_stopped = false;
    int m_steps = 0;         // the short messages done with, as the progress counts them
    QByteArray m_stopTime;   // yyyyMMddHHmmss, once stopped
    QByteArray m_stopReason; // a refused login's text; empty for a stop of the user's
    StopRows::TransportFailures m_failures;
    // The MsgIds of the run's latest acceptances, for the late copies of their replies.
    RecentMsgIds m_msgIds;
};

} // namespace norvi
