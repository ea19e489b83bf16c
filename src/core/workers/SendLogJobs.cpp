#include "core/workers/SendLogJobs.h"

#include "core/compose/OptOutList.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SegmentMessage.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogRows.h"
#include "core/sendlog/RowAnswers.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/MessageHistory.h"
#include "core/workers/RowCodes.h"
#include "core/workers/SendThd.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <vector>

namespace norvi {

bool IsFailedRow(const QByteArray& sendCodeCell, const QByteArray& queryCodeCell) {
    const int sendCode = RowCodes::valueOr(sendCodeCell);
    const int queryCode = RowCodes::valueOr(queryCodeCell);
    return !(sendCode == 0 && RowCodes::isNotFailed(queryCode));
}

uint8_t KindFromRowImage(int image) {
    switch (image) {
    case ImageMember:
        return KindAddressBook;
    case ImageListRow:
        return KindListRow;
    default:
        return KindTyped;
    }
}

sSendContent ResendRecord(const SendLogRow& row, int32_t seq) {
    sSendContent record;
    std::memset(&record, 0, sizeof(record));
    record.seq = seq;
    record.kind = KindFromRowImage(row.image);
    putCString(record.name, row.texts[ColName]);
    putCString(record.msisdn, row.texts[ColMobile]);
    // A cell loaded from a file may fill all 161 bytes; the segment keeps 160 and its terminator, cut
    // where the segmentation would cut, never inside a character.
    const QByteArray& content = row.texts[ColContent];
    putCString(record.segments[0], content.left(WholeCharsLength(content, kSegmentSize - 1)));
    record.segmentCount = 1;
    return record;
}

namespace {

// "預約簡訊，已取消傳送": the user cancelled the reservation, so it did not fail to arrive.
constexpr int kReservationCancelled = 21;

// What 重發未送達 makes of a message's latest row: accepted, and a query since says it will not arrive (Failed),
// or that the gateway no longer knows it (Unknown); every other row is left alone (Sent), a reservation the
// user cancelled among them: sending it now would undo the cancel.
Attempt deliveryAttempt(const SendLogRow& row) {
    const Attempt attempt = AttemptOf(row.texts[ColSendCode], row.texts[ColSendResult], row.texts[ColQueryCode]);
    if (RowCodes::valueOr(row.texts[ColSendCode]) != 0 ||
        RowCodes::valueOr(row.texts[ColQueryCode]) == kReservationCancelled)
        return Attempt::Sent;
    const Delivery d = ClassifyDelivery({row.texts[ColSendCode], row.texts[ColSendResult], row.codeImage,
                                         row.texts[ColQueryCode], row.texts[ColQueryResult]});
    if (attempt == Attempt::Failed && d == Delivery::Failed)
        return Attempt::Failed;
    return attempt == Attempt::Unknown ? Attempt::Unknown : Attempt::Sent;
}

// What the rows that went or may have gone say of a message with a failed row: whether there is any, and the
// latest send time among them.
struct GoneRows {
    bool any = false;
    QByteArray latest;
};

// The rows that went or may have gone, for each message with a failed row. Histories follow the order rows were
// added, so a log loaded after the rows of its own resend (taken back after a kill, say) puts its failed rows
// last, as if they were new sends; the time says they came before. Only messages with a failed row are kept: a
// long log's sent messages, nearly all of it, cost nothing.
QHash<MessageHistory::Key, GoneRows> latestGoneTimes(const LogRows& log) {
    const auto failed = [&log](int row) {
        const SendLogRow& r = log.row(row);
        return AttemptOf(r.texts[ColSendCode], r.texts[ColSendResult], r.texts[ColQueryCode]) == Attempt::Failed;
    };
    const auto keyOf = [&log](int row) {
        const SendLogRow& r = log.row(row);
        return MessageHistory::Key{r.texts[ColMobile], r.texts[ColContent]};
    };
    QHash<MessageHistory::Key, GoneRows> times;
    for (int row = 0; row < log.rowCount(); ++row)
        if (failed(row))
            times.insert(keyOf(row), GoneRows());
    if (times.isEmpty())
        return times;
    for (int row = 0; row < log.rowCount(); ++row) {
        if (failed(row))
            continue;
        const auto found = times.find(keyOf(row));
        if (found == times.end())
            continue;
        const QByteArray& time = log.row(row).texts[ColSendTime];
        GoneRows& gone = found.value();
        gone.any = true;
        if (time.size() == gone.latest.size() ? time > gone.latest : gone.latest.isEmpty())
            gone.latest = time;
    }
    return times;
}

// A failed row whose message went, or may have gone, after it: resent only when the user says so. A booked
// row's 傳送時間 is the time it was booked for, not the time it was sent, so it cannot tell which came first; nor
// can two times of different forms.
bool goneSince(const QHash<MessageHistory::Key, GoneRows>& gone, const SendLogRow& failed) {
    const auto found = gone.constFind(MessageHistory::Key{failed.texts[ColMobile], failed.texts[ColContent]});
    if (found == gone.cend() || !found->any)
        return false;
    const QByteArray& time = failed.texts[ColSendTime];
    if (failed.codeImage == ImageReservation || time.isEmpty() || found->latest.size() != time.size())
        return true;
    return found->latest > time;
}

} // namespace

ResendChoice ChooseResendRows(const LogRows& log, ResendScope scope) {
    ResendChoice choice;
    const QVector<int> selected = log.chosenRows();
    choice.selectedMode = !selected.isEmpty();
    const int n = log.rowCount();
    if (choice.selectedMode) {
        choice.examined = selected;
    } else {
        choice.examined.reserve(n);
        for (int row = 0; row < n; ++row)
            choice.examined.append(row);
    }
    const LogHistories histories = ReadHistories(log);
    const QHash<MessageHistory::Key, GoneRows> gone = latestGoneTimes(log);
    std::vector<char> examined(std::size_t(n), 0);
    std::vector<char> historyExamined(std::size_t(n), 0); // by the position of the history's latest row
    for (int row : choice.examined) {
        if (row < 0 || row >= n)
            continue;
        examined[std::size_t(row)] = 1;
        historyExamined[std::size_t(histories.latest[row])] = 1;
    }
    // In the order the rows were added, so each message is met first at its first row.
    std::vector<char> decided(std::size_t(n), 0);
    for (int row : histories.added) {
        const int latest = histories.latest[row];
        if (examined[std::size_t(row)] && latest != row)
            ++choice.resentBefore;
        if (!historyExamined[std::size_t(latest)] || decided[std::size_t(latest)])
            continue;
        decided[std::size_t(latest)] = 1;
        const SendLogRow& last = log.row(latest);
        Attempt attempt = scope == ResendScope::DeliveryFailed
                              ? deliveryAttempt(last)
                              : AttemptOf(last.texts[ColSendCode], last.texts[ColSendResult], last.texts[ColQueryCode]);
        if (attempt == Attempt::Failed && goneSince(gone, last))
            attempt = Attempt::Uncertain;
        // A blank text failed for being blank (the gateway refuses an empty one) and would fail again, or reach
        // the phone as nothing.
        if (attempt != Attempt::Sent && IsBlankText(last.texts[ColContent])) {
            choice.blank.append(latest);
            continue;
        }
        switch (attempt) {
        case Attempt::Failed:
            choice.failed.append(latest);
            choice.both.append(latest);
            break;
        case Attempt::Uncertain:
        case Attempt::Unknown:
            choice.uncertain.append(latest);
            choice.both.append(latest);
            break;
        case Attempt::Sent:
            break;
        }
    }
    return choice;
}

QVector<int> LeaveOutStoppedRows(ResendChoice& choice, const LogRows& log, const OptOutList& optOut) {
    QVector<int> stopped;
    for (QVector<int>* rows : {&choice.failed, &choice.uncertain}) {
        const auto kept = std::remove_if(rows->begin(), rows->end(), [&](int row) {
            if (!optOut.contains(log.row(row).texts[ColMobile]))
                return false;
            stopped.append(row);
            return true;
        });
        rows->erase(kept, rows->end());
    }
    if (stopped.isEmpty())
        return stopped;
    std::sort(stopped.begin(), stopped.end());
    choice.both.erase(
        std::remove_if(choice.both.begin(), choice.both.end(),
                       [&](int row) { return std::binary_search(stopped.cbegin(), stopped.cend(), row); }),
        choice.both.end());
    choice.stopped += stopped;
    std::sort(choice.stopped.begin(), choice.stopped.end());
    return stopped;
}

QStringList StoppedRowTexts(const LogRows& log, const QVector<int>& rows) {
    QStringList texts;
    for (int row : rows)
        texts << QStringLiteral("拒收名單中的 %1 未重發").arg(fromBig5(log.row(row).texts[ColMobile]));
    return texts;
}

QString ResendLeftOutText(const ResendChoice& choice, bool includeUncertain) {
    const int uncertain = includeUncertain ? 0 : int(choice.uncertain.size());
    const int stopped = int(choice.stopped.size());
    const int blank = int(choice.blank.size());
    QStringList why;
    if (choice.resentBefore > 0)
        why << QStringLiteral("已重發過 %1 筆").arg(choice.resentBefore);
    if (uncertain > 0)
        why << QStringLiteral("可能已送出 %1 筆").arg(uncertain);
    if (stopped > 0)
        why << QStringLiteral("拒收 %1 筆").arg(stopped);
    if (blank > 0)
        why << QStringLiteral("空白訊息 %1 筆").arg(blank);
    if (why.isEmpty())
        return QString();
    return QStringLiteral("略過 %1 筆：%2").arg(choice.resentBefore + uncertain + stopped + blank).arg(why.join(u'，'));
}

bool QueueFailedRows(JobRegistry& jobs, const LogRows& log, std::list<sSendContent>& SendQueue, int* queued,
                     QString* errorText, bool includeUncertain, QString* leftOut, QVector<int>* resent,
                     const OptOutList* optOut, QVector<int>* stopped, ResendScope scope) {
    if (queued)
        *queued = 0;
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    SendQueue.clear();
    ResendChoice choice = ChooseResendRows(log, scope);
    if (optOut)
        LeaveOutStoppedRows(choice, log, *optOut);
    if (stopped)
        *stopped = choice.stopped;
    const QVector<int>& toSend = includeUncertain ? choice.both : choice.failed;
    int32_t seq = 0;
    for (int row : toSend)
        SendQueue.push_back(ResendRecord(log.row(row), seq++));
    // The rows sent are the selection from now on: in selected-rows mode the other examined rows leave it, and
    // the latest row of a message chosen through an earlier one joins it.
    if (resent)
        *resent = toSend;
    if (queued)
        *queued = seq;
    if (leftOut)
        *leftOut = ResendLeftOutText(choice, includeUncertain);
    return true;
}

QString ResendUncertainQuestion(int uncertain) {
    return QStringLiteral("其中 %1 筆可能已送出，也要重發？").arg(uncertain);
}

QString NothingToResendText(ResendScope scope) {
    if (scope == ResendScope::DeliveryFailed)
        return QStringLiteral("沒有確定未送達的訊息需要重新傳送！");
    return QStringLiteral("沒有確定失敗的訊息需要重新傳送！");
}

bool StartResend(JobRegistry& jobs, const GatewayTarget& gateway, JobOwner* listOwner, JobRows* log,
                 std::list<sSendContent> SendQueue, QString* errorText, SendThd** started, const QString& leftOut,
                 const QByteArray& bookedFor) {
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    SendRun run = SendRun::ofQueue(std::move(SendQueue), gateway, listOwner,
                                   bookedFor.isEmpty() ? std::nullopt
                                                       : std::optional<SendSchedule>(SendSchedule{true, bookedFor, 0}));
    run.endNote = leftOut;
    return StartSendWorker(jobs, std::move(run), log, errorText, started);
}

QString ResendNightText(const QuietHours& quiet) {
    return QStringLiteral("現在是夜間（%1）").arg(quiet.windowText());
}

QString ResendNightQuestion(const QuietHours& quiet) {
    return ResendNightText(quiet) + QStringLiteral("，要改為 %1 預約重發嗎？（按「否」照常重發）").arg(quiet.endText());
}

QByteArray ResendMorning(const QuietHours& quiet, const QDateTime& now) {
    return quiet.endAfter(now).toString(QStringLiteral("yyyyMMddHHmm00")).toLatin1();
}

bool ParseSingleMsgId(const QString& typed, QByteArray* msgId, QString* errorText) {
    const QString text = typed.trimmed();
    QByteArray bytes;
    QString unmappable;
    QString error;
    if (text.isEmpty())
        error = QStringLiteral("請輸入MsgId！");
    else if (!toBig5(text, bytes, &unmappable))
        error = unmappableMessage(unmappable);
    else if (bytes.size() > SMSendNorviGw::kMsgIdBytes)
        error = QStringLiteral("MsgId最長%1個英數字，請檢查輸入的MsgId。").arg(SMSendNorviGw::kMsgIdBytes);
    if (!error.isEmpty()) {
        if (errorText)
            *errorText = error;
        return false;
    }
    if (msgId)
        *msgId = bytes;
    return true;
}

std::vector<JobRow> RowsToWalk(const LogRows& log, bool allRows) {
    const QVector<int> selected = allRows ? QVector<int>() : log.selectedRows();
    const int n = allRows ? log.rowCount() : int(selected.size());
    std::vector<JobRow> rows;
    rows.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const int position = allRows ? i : selected[i];
        rows.push_back({log.rowId(position), position, DeliveryCellsOf(log.row(position))});
    }
    return rows;
}

bool StartRowJob(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, bool allRows, JobOwner* owner,
                 const LogRows* log, RowAnswers* answers, int* maximum, QString* errorText, SendThd** started) {
    if (maximum)
        *maximum = 0;
    // One job at a time: the progress window and the rows it writes are one each.
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    RowJob job{mode, gateway, owner, QByteArray(), allRows, {}};
    if (!log || !answers)
        return StartWorker(jobs, std::move(job), nullptr, errorText, started); // refused: nothing to walk
    job.rows = RowsToWalk(*log, allRows);
    const int rows = int(job.rows.size());
    answers->walkBegins(allRows);
    if (!StartWorker(jobs, std::move(job), answers, errorText, started))
        return false;
    if (maximum)
        *maximum = rows;
    return true;
}

QString CancelQuestion(int rows) {
    return QStringLiteral("要取消 %1 筆預約？").arg(rows);
}

bool StartRowJobFromLog(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, JobOwner* owner,
                        const LogRows* log, RowAnswers* answers, int* maximum, QString* errorText, SendThd** started) {
    const bool allRows = !log || log->chosenRows().isEmpty();
    return StartRowJob(jobs, gateway, mode, allRows, owner, log, answers, maximum, errorText, started);
}

} // namespace norvi
