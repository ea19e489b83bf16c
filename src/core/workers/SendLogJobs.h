#pragma once

#include "core/compose/RecipientRecords.h"
#include "core/shared/Config.h"
#include "core/shared/SendSettings.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <list>
#include <vector>

namespace norvi {

class JobOwner;
class JobRegistry;
class OptOutList;
class JobRows;
class LogRows;
class RowAnswers;
class SendThd;
struct JobRow;
struct SendLogRow;

// The jobs started from the send log's rows, without the windows: which rows a resend takes, the
// records it queues, and the start of a list query or cancellation. The main window and the
// command-line front end both call these on the user-interface thread, with the send log as that
// thread reads it; the jobs get values read from it.

// A row is not failed when its send code is 0 and its query code is one that marks a message as
// delivered, under way or not yet asked; any other row is failed (an uncertain row among them).
bool IsFailedRow(const QByteArray& sendCodeCell, const QByteArray& queryCodeCell);

// The recipient kind that a row image stands for (the reverse of the send job's row image).
uint8_t KindFromRowImage(int image);

// The record that resends `row`: kind from the image, name from the caption, number, the row's text as its
// only segment. Every text is cut to its field.
sSendContent ResendRecord(const SendLogRow& row, int32_t seq);

// The rows a resend examines (the selected rows, or all rows when none is selected), sorted by what it does
// with them. The rows of one message form its history (MessageHistory): a message is examined when any of
// its rows is, and only its latest row decides. A failed latest row (未傳送 included) is resent once; an
// uncertain one (StopRows::isUncertain), or a sent one whose MsgId the gateway does not know, may have
// reached the recipient and is resent only when the user says so, and so is a failed one when a row of its
// message sent later went or may have gone (rows added out of their order); a sent one never. The rows to resend are
// in the order their messages began in the log, the order their new rows are then added in.
// Which messages a resend is for: 失敗重發 takes every failed one; 重發未送達 only those the gateway accepted and a
// later query said will not arrive (a query code of the 失敗 class, DeliveryClass), asking about those whose MsgId
// the gateway no longer knows. A message that was delivered is never resent, whatever its earlier rows say.
enum class ResendScope { Failed, DeliveryFailed };

struct ResendChoice {
    bool selectedMode = false;
    QVector<int> examined;
    QVector<int> failed;    // latest rows, surely failed
    QVector<int> uncertain; // latest rows that may have gone
    QVector<int> both;      // the two together, in the order their messages began
    int resentBefore = 0;   // examined rows that a later row of their message stands for
    QVector<int> stopped;   // latest rows left out because their number is on the stop list (LeaveOutStoppedRows)
    QVector<int> blank;     // failed or uncertain latest rows left out because their text is blank (IsBlankText)
};
ResendChoice ChooseResendRows(const LogRows& log, ResendScope scope = ResendScope::Failed);

// The rows of `choice` whose number (by NumberKey) is on the stop list, taken out of it into `choice.stopped`:
// a resend never sends to them. Returns those rows, in list order.
QVector<int> LeaveOutStoppedRows(ResendChoice& choice, const LogRows& log, const OptOutList& optOut);
// "拒收名單中的 0912345678 未重發", one a row, for the message area and the operation log.
QStringList StoppedRowTexts(const LogRows& log, const QVector<int>& rows);

// What a resend leaves out and why, for its end text: "略過 9 筆：已重發過 5 筆，可能已送出 2 筆，拒收 1 筆，空白訊息
// 1 筆".
// Empty when it leaves nothing out.
QString ResendLeftOutText(const ResendChoice& choice, bool includeUncertain);

// Resend, first half: fills SendQueue (emptied first) with one record per row to resend, in the order above:
// the failed rows, and the uncertain ones when `includeUncertain`, less those on `optOut` (given back in
// `stopped`). `resent` receives the rows queued (positions), which the list shows as its selection from then
// on (every other examined row leaves it). `queued` receives the number of records (which is the number of
// short messages to send); `leftOut`, when given, ResendLeftOutText. Refused without touching SendQueue while
// a worker is registered in `jobs`.
bool QueueFailedRows(JobRegistry& jobs, const LogRows& log, std::list<sSendContent>& SendQueue, int* queued,
                     QString* errorText, bool includeUncertain = false, QString* leftOut = nullptr,
                     QVector<int>* resent = nullptr, const OptOutList* optOut = nullptr,
                     QVector<int>* stopped = nullptr, ResendScope scope = ResendScope::Failed);
// The question when a resend would find uncertain rows among the failed ones.
QString ResendUncertainQuestion(int uncertain);

// The text shown when no examined row failed (or, for 重發未送達, none failed delivery).
QString NothingToResendText(ResendScope scope = ResendScope::Failed);

// Resend, second half: starts a send run of the queue built above, its rows added to `log`. `listOwner` is
// the send log's window; the run has no limit, and goes at once unless `bookedFor` (yyyyMMddHHmm00) books it.
// `leftOut` is said after the run's counts at its end.
bool StartResend(JobRegistry& jobs, const GatewayTarget& gateway, JobOwner* listOwner, JobRows* log,
                 std::list<sSendContent> SendQueue, QString* errorText, SendThd** started = nullptr,
                 const QString& leftOut = QString(), const QByteArray& bookedFor = QByteArray());

// A resend started inside quiet hours: "現在是夜間（21:00–08:00）", the question of 失敗重發 (是 books it for the
// end of the quiet hours, 否 sends it now), and the order time of that booking.
QString ResendNightText(const QuietHours& quiet);
QString ResendNightQuestion(const QuietHours& quiet);
QByteArray ResendMorning(const QuietHours& quiet, const QDateTime& now);

// The MsgId typed for a single query or cancellation, as the request will carry it: without the spaces
// around it, in Big5, at most as long as the request's field. False with the reason in `errorText` when
// it is empty, has a character without a Big5 form, or would have to be cut (which would ask about
// another message).
bool ParseSingleMsgId(const QString& typed, QByteArray* msgId, QString* errorText);

// The rows a list job walks, as values: every row of `log` in list order (`allRows`), or its selected rows.
std::vector<JobRow> RowsToWalk(const LogRows& log, bool allRows);

// A list query (WorkerMode::Query) or cancellation (WorkerMode::Cancel) of all rows or of the selected rows of
// `log`: hands the rows to the worker as values, gives the progress maximum (the number of rows the job
// walks), and starts the worker, whose answers land in `answers` by row id.
bool StartRowJob(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, bool allRows, JobOwner* owner,
                 const LogRows* log, RowAnswers* answers, int* maximum, QString* errorText,
                 SendThd** started = nullptr);

// The question before a list cancellation: it cannot be undone. `rows` counts the reservations it will try.
QString CancelQuestion(int rows);

// The send log's own pop-up commands: the selected rows when there are any, else all rows.
bool StartRowJobFromLog(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, JobOwner* owner,
                        const LogRows* log, RowAnswers* answers, int* maximum, QString* errorText,
                        SendThd** started = nullptr);

} // namespace norvi
