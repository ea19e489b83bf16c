#include "core/workers/SendLogJobs.h"

#include "core/compose/OptOutList.h"
#include "core/compose/SegmentMessage.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/sendlog/JobRows.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/RowCodes.h"
#include "core/workers/SendThd.h"
#include "core/workers/StopRows.h"

#include <QSet>

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

sSendContent ResendRecord(JobRows& log, int row, int32_t seq) {
    sSendContent record;
    std::memset(&record, 0, sizeof(record));
    record.seq = seq;
    record.kind = KindFromRowImage(log.rowImage(row));
    putCString(record.name, log.text(row, ColName));
    putCString(record.msisdn, log.text(row, ColMobile));
    // A cell loaded from a file may fill all 161 bytes; the segment keeps 160 and its terminator, cut
    // where the segmentation would cut, never inside a character.
    const QByteArray content = log.text(row, ColContent);
    putCString(record.segments[0], content.left(WholeCharsLength(content, kSegmentSize - 1)));
    record.segmentCount = 1;
    return record;
}

ResendChoice ChooseResendRows(JobRows& log) {
    ResendChoice choice;
    const QVector<int> selected = log.selectedRows();
    choice.selectedMode = !selected.isEmpty();
    const int n = log.rowCount();
    if (choice.selectedMode) {
        choice.examined = selected;
    } else {
        choice.examined.reserve(n);
        for (int row = 0; row < n; ++row)
            choice.examined.append(row);
    }
    // From the last row up: a message accepted at a later position covers the failed copies above it.
    QSet<QByteArray> acceptedLater;
    std::vector<char> covered(std::size_t(n), 0);
    for (int row = n - 1; row >= 0; --row) {
        const QByteArray key = log.text(row, ColMobile) + '\0' + log.text(row, ColContent);
        if (RowCodes::valueOr(log.text(row, ColSendCode)) == 0)
            acceptedLater.insert(key);
        else
            covered[std::size_t(row)] = acceptedLater.contains(key) ? 1 : 0;
    }
    for (int row : choice.examined) {
        const QByteArray sendCode = log.text(row, ColSendCode);
        if (!IsFailedRow(sendCode, log.text(row, ColQueryCode)) || covered[std::size_t(row)])
            continue;
        if (StopRows::isUncertain(sendCode, log.text(row, ColSendResult)))
            choice.uncertain.append(row);
        else
            choice.failed.append(row);
    }
    return choice;
}

QVector<int> LeaveOutStoppedRows(ResendChoice& choice, JobRows& log, const OptOutList& optOut) {
    QVector<int> stopped;
    for (QVector<int>* rows : {&choice.failed, &choice.uncertain}) {
        const auto kept = std::remove_if(rows->begin(), rows->end(), [&](int row) {
            if (!optOut.contains(log.text(row, ColMobile)))
                return false;
            stopped.append(row);
            return true;
        });
        rows->erase(kept, rows->end());
    }
    std::sort(stopped.begin(), stopped.end());
    return stopped;
}

QStringList StoppedRowTexts(JobRows& log, const QVector<int>& rows) {
    QStringList texts;
    for (int row : rows)
        texts << QStringLiteral("拒收名單中的 %1 未重發").arg(fromBig5(log.text(row, ColMobile)));
    return texts;
}

bool QueueFailedRows(JobRegistry& jobs, JobRows& log, std::list<sSendContent>& SendQueue, int* queued,
                     QString* errorText, bool includeUncertain, const OptOutList* optOut, QVector<int>* stopped) {
    if (queued)
        *queued = 0;
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    SendQueue.clear();
    ResendChoice choice = ChooseResendRows(log);
    const QVector<int> leftOut = optOut ? LeaveOutStoppedRows(choice, log, *optOut) : QVector<int>();
    if (stopped)
        *stopped = leftOut;
    QVector<int> toSend = choice.failed;
    if (includeUncertain) {
        toSend += choice.uncertain;
        std::sort(toSend.begin(), toSend.end()); // list order
    }
    int32_t seq = 0;
    // Rows not sent leave a selection; rows sent join an empty one. Marked together at the end.
    QVector<int> marked;
    auto next = toSend.cbegin();
    QVector<int> examined = choice.examined;
    std::sort(examined.begin(), examined.end());
    for (int row : examined) {
        const bool send = next != toSend.cend() && *next == row;
        if (send) {
            ++next;
            SendQueue.push_back(ResendRecord(log, row, seq++));
        }
        if (send != choice.selectedMode)
            marked.append(row);
    }
    log.setSelectedRows(marked, !choice.selectedMode);
    if (queued)
        *queued = seq;
    return true;
}

QString ResendUncertainQuestion(int uncertain) {
    return QStringLiteral("其中 %1 筆可能已送出，也要重發？").arg(uncertain);
}

QString NothingToResendText() {
    return QStringLiteral("沒有確定失敗的訊息需要重新傳送！");
}

bool StartResend(JobRegistry& jobs, const GatewayTarget& gateway, JobOwner* listOwner, JobRows* log,
                 std::list<sSendContent> SendQueue, QString* errorText, SendThd** started) {
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    ClearStop();
    return StartSendWorker(jobs, SendRun::ofQueue(std::move(SendQueue), gateway, listOwner), log, errorText, started);
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

bool StartRowJob(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, bool allRows, JobOwner* owner,
                 JobRows* log, int* maximum, QString* errorText, SendThd** started) {
    if (maximum)
        *maximum = 0;
    // StopFlag is read by a running worker, so it stays alone while one is registered.
    if (jobs.workerRegistered()) {
        if (errorText)
            *errorText = WorkerBusyText();
        return false;
    }
    const RowJob job{mode, gateway, owner, QByteArray(), allRows};
    if (!log)
        return StartWorker(jobs, job, log, errorText, started); // refused: nothing to walk
    const int rows = allRows ? log->rowCount() : int(log->selectedRows().size());
    ClearStop();
    if (!StartWorker(jobs, job, log, errorText, started))
        return false;
    if (maximum)
        *maximum = rows;
    return true;
}

QString CancelQuestion(int rows) {
    return QStringLiteral("要取消 %1 筆預約？").arg(rows);
}

bool StartRowJobFromLog(JobRegistry& jobs, const GatewayTarget& gateway, WorkerMode mode, JobOwner* owner, JobRows* log,
                        int* maximum, QString* errorText, SendThd** started) {
    const bool allRows = !log || log->selectedRows().isEmpty();
    return StartRowJob(jobs, gateway, mode, allRows, owner, log, maximum, errorText, started);
}

} // namespace norvi
