#pragma once

#include "core/workers/DeliveryClass.h"
#include "core/workers/GatewayExchange.h"
#include "core/workers/RowJob.h"
#include "core/workers/StopRows.h"
#include "core/workers/WorkerMode.h"

#include "core/gateway/SMSendNorviGw.h"

#include <QByteArray>
#include <QVector>

#include <functional>
#include <vector>

namespace norvi {

// One question about a MsgId as a run asks it: a login when the client has none, the request, and one
// more attempt when the answer says to ask again (the exchange failed, the gateway was busy). A
// cancellation whose request went out is never sent a second time: it may have taken effect. An answer
// with bytes behind it may be a late copy of another row's, so it is asked again on a new connection.
using QueryExchange = GatewayExchange;
QueryExchange AskGateway(SMSendNorviGw& client, const QByteArray& msgId, bool cancel,
                         const std::function<bool()>& stopRequested);

class SendThd;

// The job of a query worker (delivery status) or a cancel worker (reservations): either one MsgId
// typed into the query dialog, answered in a box, or the rows of the send log, answered in each row's
// 查詢碼 and 查詢結果 cells. A stop gives the exchange in flight a short grace for its answer; the rows
// the run would still have asked about then say that they were not (StopRows), unless they hold an earlier
// answer, which no missing answer replaces. A refused login ends the run, and after three transport
// failures in a row the owner is asked whether to go on.
class QueryJob {
public:
    explicit QueryJob(SendThd& worker);
    void run();

    // What a row offers the job: whether to ask about it and, if so, which MsgId.
    struct RowPlan {
        bool ask = false;
        QByteArray sendResult;
        QByteArray msgId;
        bool answered = false;       // the row's query cells hold an earlier answer, kept unless a new one comes
        bool notReservation = false; // a cancellation passes it by: it was never a reservation
        bool finalAnswer = false;    // passed by: its answer is final already
    };
    // The eligibility rule, from the row's cells. `sendCodeImage` is the image of the 傳送碼 cell.
    // A cancellation (`mode` Cancel) asks only about reservations neither cancelled already nor found
    // delivered (`queryResult` says so): cancelling cannot be undone, nor can a delivery.
    static RowPlan planRow(const QByteArray& sendCode, int sendCodeImage, const QByteArray& queryCode,
                           const QByteArray& sendResult, WorkerMode mode = WorkerMode::Query,
                           const QByteArray& queryResult = QByteArray());
    // The rows of a list job of `mode` it would ask the gateway about.
    static int rowsToAsk(const std::vector<JobRow>& rows, WorkerMode mode);

    // Rows passed by (no gateway for them) handed over together: one progress report and one hand-over to the
    // send log for this many at most, so a walk over rows that need no gateway costs next to nothing per row.
    static constexpr int kPassedPerReport = 1024;

private:
    struct PlannedRow {
        quint64 rowId;
        int listed;
        RowPlan plan;
        DeliveryCells cells; // as handed over; a query's answer replaces the query cells
    };
    // Rows passed by and not handed over yet.
    struct PassedBy {
        QVector<quint64> rowIds;
    };

    void runSingle();
    void runRows();
    // Hands the rows passed by over: their steps to the progress window, their ids to the send log.
    void handOver(PassedBy& passed);
    // Every row's query cells go through here, so the run's results count what the rows finally say.
    void setQueryCells(quint64 rowId, const QByteArray& code, const QByteArray& result);
    // Returns the class counted.
    Delivery countResult(PlannedRow& planned);
    // What askRow made of its answer, for the rows whose answers may yet turn out to be late copies.
    struct Answer {
        bool counted = false;   // cells written from a gateway answer, counted as a success or failure
        bool succeeded = false; // counted as a success
        bool first = false;     // the first answer on its connection: no late copy can have overtaken it
        bool untrusted = false; // bytes followed it, and the question asked again: no answer to be taken
        bool outOfStep = false; // an attempt's connection was out of step, whatever the answer taken at last
    };
    Answer askRow(const PlannedRow& row);
    // A row asked about and answered, with its cells as they were before the job.
    struct Unconfirmed {
        PlannedRow planned;
        Delivery counted;
        bool succeeded;
    };
    // After an answer of a row: keeps it among the unconfirmed answers of its connection, or, when its
    // connection turned out to be out of step, asks every one of them again.
    void noteAnswer(const PlannedRow& planned, Delivery counted, const Answer& answer);
    // The connection of the unconfirmed answers was out of step: any of their answers may have been a late copy of an
    // earlier one. Each is asked again as the first question of a new connection, and so is every question
    // of the rest of the run.
    void askUnconfirmedAgain();
    // A row the run does not ask about after all.
    void notAskedRow(const PlannedRow& row);
    // A row whose exchange got no answer: the earlier answer stays; a cancellation may have taken effect.
    void unansweredRow(const PlannedRow& row, bool written, const QByteArray& failure);
    // The operation log's line naming the rows the run did not ask about.
    void reportNotAsked();
    void noteStop(bool gaveUp = false);
    // Whether an answer counts as a success: a query the gateway answered, a reservation cancelled.
    bool succeeded(int code, bool loginFailed) const;

    SendThd& m_worker;
    bool m_cancel;
    bool m_stopped = false;
    QByteArray m_stopReason; // a refused login's text; empty for a stop of the user's
    QVector<int> m_notAsked; // by their place in the list
    quint64 m_lastNotAsked = 0;
    StopRows::TransportFailures m_failures;
    DeliveryCounts m_answered; // the classes of the rows the gateway answered in this run
    quint64 m_answeredRow = 0;
    int m_steps = 0; // the rows done with, as the progress counts them
    quint64 m_writtenRow = 0;
    QByteArray m_writtenCode, m_writtenResult;
    // Answers read on the current connection after its first: taken, but asked again should the connection turn
    // out to be out of step.
    std::vector<Unconfirmed> m_unconfirmed;
    bool m_newConnectionEach = false; // the gateway sent a late copy: each question on a connection of its own
    int m_slowestAnswerMs = 0;        // the longest an answer on the current connection took
};

} // namespace norvi
