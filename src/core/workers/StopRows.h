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

// An uncertain row: its request went out and no answer says what became of it. Its 傳送碼 is kCode and
// its 傳送結果 is the transport's text followed by "，可能已送出" (Big5). Such a row is never sent again
// without the user saying so.
QByteArray uncertainText(const QByteArray& transportText);
// Whether a row's cells are those of an uncertain row.
bool isUncertain(const QByteArray& sendCodeCell, const QByteArray& sendResultCell);
// The send result of the message whose exchange a stop cut: "已中斷：閘道未回覆，可能已送出" (Big5).
QByteArray cutSendText();
// What a row says while its request is out (Big5): "程式在閘道回覆前結束，可能已送出". Its answer replaces it;
// a program killed meanwhile leaves it, uncertain.
QByteArray inFlightText();
// The send result of a message the run did not send (Big5), with the stop's reason ("作業已中斷" for a
// stop of the user's). Its 傳送時間 is the stop's time.
QByteArray notSentText(const QByteArray& reason = QByteArray());
// The answer of a single query or cancellation whose exchange a stop cut (Big5).
QByteArray cutQueryText(WorkerMode mode);
// The query cell of a row whose cancellation went out and got no answer: it may have taken effect (Big5).
QByteArray cancelUnknownText();
// The query cell of a row the query or cancel run did not reach (Big5), with the stop's reason.
QByteArray notAskedText(WorkerMode mode, const QByteArray& reason = QByteArray());
// Login codes after which no later login can succeed (wrong password, unknown account, account
// suspended): the run ends after the one login, so a locked account is not provoked.
bool isLoginRefusal(int loginCode);

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
