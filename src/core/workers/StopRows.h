#pragma once

#include "core/workers/WorkerMode.h"

#include <QByteArray>
#include <QString>

// What a stopped or abandoned run leaves in the send log (the stop of the job-owner issue): the row of the
// exchange the stop cut and the rows the run never reached, and when a run gives up on a gateway that does
// not answer.
namespace norvi::StopRows {

// The 傳送碼 / 查詢碼 of every such row.
constexpr int kCode = -1;

// The send result of the message whose exchange a stop cut: the gateway may have taken it (Big5).
QByteArray cutSendText();
// The send result of a message the run did not send (Big5). Its 傳送時間 is the stop's time.
QByteArray notSentText();
// The query cell of a row whose query or cancellation a stop cut (Big5).
QByteArray cutQueryText(WorkerMode mode);
// The query cell of a row the query or cancel run did not reach (Big5).
QByteArray notAskedText(WorkerMode mode);

// Transport failures (a time-out, a refused or dropped connection) in a row after which the run asks
// whether to go on, and again after each as many more.
constexpr int kFailuresBeforeAsking = 3;
// The question: "閘道連續 3 次沒有回應，要繼續傳送嗎？" (查詢 / 取消預約 for those runs).
QString continueQuestion(int failures, WorkerMode mode);
// The line for the message area and the operation log when a run gives up (Big5).
QByteArray gaveUpLine(int failures);

// Counts transport failures in a row: each exchange's outcome is noted; true when the count has reached
// another multiple of kFailuresBeforeAsking, so the owner is to be asked.
class TransportFailures {
public:
    bool note(bool transportFailure) {
        m_inRow = transportFailure ? m_inRow + 1 : 0;
        return m_inRow > 0 && m_inRow % kFailuresBeforeAsking == 0;
    }
    int inRow() const { return m_inRow; }

private:
    int m_inRow = 0;
};

} // namespace norvi::StopRows
