#include "core/workers/QueryJob.h"

#include "core/gateway/LoginTest.h"
#include "core/gateway/ResultCodes.h"
#include "core/shared/Big5.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/workers/JobOwner.h"
#include "core/workers/RowCodes.h"
#include "core/workers/SendThd.h"
#include "core/workers/UiThread.h"
#include "core/workers/UiThreadSendLog.h"
#include "core/workers/WorkerState.h"

#include <algorithm>

namespace norvi {

namespace {
constexpr int kMaxAttempts = 2;
} // namespace

QueryJob::QueryJob(SendThd& worker) : m_worker(worker), m_cancel(worker.jobMode() == WorkerMode::Cancel) {}

bool QueryJob::isRetryCode(int code) {
    switch (code) {
    case -1:
    case 3:
    case 31:
    case 40:
    case 41:
        return true;
    default:
        return false;
    }
}

QueryJob::RowPlan QueryJob::planRow(const QByteArray& sendCode, int sendCodeImage, const QByteArray& queryCode,
                                    const QByteArray& sendResult) {
    RowPlan plan;
    plan.sendResult = sendResult;
    int code = 0;
    // Only a message the gateway accepted has a MsgId to ask about.
    if (!RowCodes::parse(sendCode, &code) || code != 0)
        return plan;
    // A row never asked is asked; a final answer is not asked again, except that a delivered
    // reservation may still be cancelled or change state, so it stays eligible.
    int asked = 0;
    if (RowCodes::parse(queryCode, &asked) && !RowCodes::isAskAgain(asked) &&
        !(asked == 0 && sendCodeImage == ImageReservation))
        return plan;
    // A row loaded from a log written elsewhere may lack the MsgId; an empty MsgId is never sent.
    if (!RowCodes::msgIdFromResult(sendResult, &plan.msgId) || plan.msgId.isEmpty())
        return plan;
    plan.ask = true;
    return plan;
}

void QueryJob::run() {
    if (!m_worker.singleMsgId.isEmpty())
        runSingle();
    else
        runRows();
    m_worker.gateway().Logout();
    m_worker.requestInterruption();
}

void QueryJob::runSingle() {
    SMSendNorviGw& client = m_worker.gateway();
    JobActivity.setSubject(m_worker.singleMsgId);
    bool loginFailed = false;
    int code;
    QByteArray message;
    if (!client.Login()) {
        code = client.lastCode();
        message = client.message();
        loginFailed = true;
    } else {
        client.Clear();
        client.SetType(m_cancel ? GwCancel : GwQuery);
        client.SetMsgId(m_worker.singleMsgId);
        code = client.Send(message);
    }
    QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const WorkerMode mode = m_worker.jobMode();
    if (client.lastStop() == SMSendNorviGw::StopPoint::AwaitingReply)
        result = StopRows::cutQueryText(mode);
    else if (client.lastStop() == SMSendNorviGw::StopPoint::BeforeRequest)
        result = StopRows::notAskedText(mode);
    else
        result = WithNoAnswerWords(result, client.lastTimedOut());
    const QByteArray text = big5(m_cancel ? "預約取消碼：" : "結果碼：") + QByteArray::number(code) +
                            big5(m_cancel ? "\r\n預約取消結果：" : "\r\n查詢結果：") + result;
    JobOwner* owner = m_worker.ownerForm;
    const QByteArray msgId = m_worker.singleMsgId;
    if (owner)
        UiThread::run([&] { owner->showResultBox(msgId, text); });
}

// The rows are read a batch at a time: a trip to the user-interface thread per row would cost more than
// the whole walk over rows that need no gateway. Reading ahead is exact because nothing else changes the
// rows while the job runs (the windows that could are disabled or locked) and the job itself only writes
// the query cells of rows it has already read. Every row still gets its own progress step and its own
// stop check, in list order, as if it were read alone.
void QueryJob::runRows() {
    if (!m_worker.sendLog())
        return;
    const bool allRows = QueryAll.load();
    // The selection as it was when the job began: rows deselected on the way do not shift the rest.
    QVector<int> selected;
    if (!allRows)
        selected = m_worker.sendLog()->selectedRows();
    SelectionMarks marks;
    marks.select = allRows;
    std::vector<PlannedRow> batch;
    std::size_t next = 0;
    int position = 0;
    for (;;) {
        if (next == batch.size()) {
            batch = readRows(position, allRows, selected, marks);
            next = 0;
            if (batch.empty())
                break;
            position += int(batch.size());
        }
        const PlannedRow& planned = batch[next++];
        if (!m_stopped && m_worker.stopRequested())
            noteStop();
        // After a stop the walk goes on only to say which rows were not asked about.
        if (m_stopped) {
            if (planned.plan.ask)
                notAskedRow(planned.row);
            continue;
        }
        PostShowProcess(m_cancel ? StateCancelling : StateQuerying);
        const bool marked = allRows ? planned.plan.ask : !planned.plan.ask;
        if (marked)
            marks.rows.append(planned.row);
        if (planned.plan.ask) {
            // The row shows as selected before its answer arrives.
            sendMarks(marks);
            askRow(planned.row, planned.plan);
        }
    }
    sendMarks(marks);
}

std::vector<QueryJob::PlannedRow> QueryJob::readRows(int position, bool allRows, const QVector<int>& selected,
                                                     SelectionMarks& marks) {
    struct Cells {
        int row;
        QByteArray sendCode, queryCode, sendResult;
        int codeImage;
    };
    std::vector<Cells> cells;
    QVector<int> pending;
    pending.swap(marks.rows);
    m_worker.sendLog()->batch([&](SendLogAccess& log) {
        log.setSelectedRows(pending, marks.select);
        const int end = allRows ? log.rowCount() : int(selected.size());
        const int count = std::max(0, std::min(end - position, kRowsPerRead));
        cells.reserve(std::size_t(count));
        for (int i = position; i < position + count; ++i) {
            const int row = allRows ? i : selected[i];
            cells.push_back({row, log.text(row, ColSendCode), log.text(row, ColQueryCode), log.text(row, ColSendResult),
                             log.codeImage(row)});
        }
    });
    // The rule runs here rather than on the user-interface thread, which only copies the cells.
    std::vector<PlannedRow> rows;
    rows.reserve(cells.size());
    for (const Cells& c : cells)
        rows.push_back({c.row, planRow(c.sendCode, c.codeImage, c.queryCode, c.sendResult)});
    return rows;
}

void QueryJob::sendMarks(SelectionMarks& marks) {
    if (marks.rows.isEmpty())
        return;
    m_worker.sendLog()->setSelectedRows(marks.rows, marks.select);
    marks.rows.clear();
}

void QueryJob::noteStop(bool gaveUp) {
    m_stopped = true;
    JobActivity.markStopped();
    if (gaveUp)
        JobActivity.markGaveUp();
    m_worker.reportLine(m_worker.name() + ' ' +
                        (gaveUp ? StopRows::gaveUpLine(m_failures.inRow()) : big5("作業已中斷")));
}

void QueryJob::notAskedRow(int row) {
    m_worker.sendLog()->setQueryResult(row, QByteArray::number(StopRows::kCode),
                                       StopRows::notAskedText(m_worker.jobMode()));
    JobActivity.countNotReached();
}

bool QueryJob::succeeded(int code, bool loginFailed) const {
    if (loginFailed || code < 0)
        return false;
    return m_cancel ? code == 0 : code < 30; // 30 and above are the gateway's general errors
}

void QueryJob::askRow(int row, const RowPlan& plan) {
    SMSendNorviGw& client = m_worker.gateway();
    JobActivity.setSubject(plan.msgId);
    int code = -1;
    QByteArray message;
    bool loginFailed = false;
    int attempts = 0;
    bool retry = false;
    SMSendNorviGw::StopPoint stop = SMSendNorviGw::StopPoint::None;
    bool mayHaveGone = false; // an earlier attempt's request went out and got no answer
    do {
        loginFailed = false;
        message.clear();
        ++attempts;
        if (!client.Login()) {
            code = client.lastCode();
            message = client.message();
            loginFailed = true;
            stop = client.lastStop();
            if (attempts == kMaxAttempts) {
                m_worker.reportLine(m_worker.name() + " Login to Server fail, " + QByteArray::number(code) + ':' +
                                    message);
                break;
            }
            retry = true;
        } else {
            client.Clear();
            client.SetType(m_cancel ? GwCancel : GwQuery);
            client.SetMsgId(plan.msgId);
            code = client.Send(message);
            stop = client.lastStop();
            retry = isRetryCode(code);
            if (code == -1 && stop == SMSendNorviGw::StopPoint::None)
                mayHaveGone = true;
        }
    } while (retry && attempts < kMaxAttempts && stop == SMSendNorviGw::StopPoint::None && !m_worker.stopRequested());

    if (stop == SMSendNorviGw::StopPoint::BeforeRequest && !mayHaveGone) {
        notAskedRow(row);
        noteStop();
        return;
    }
    if (stop != SMSendNorviGw::StopPoint::None) {
        const QByteArray cut = StopRows::cutQueryText(m_worker.jobMode());
        m_worker.reportLine(m_worker.name() + ' ' + plan.sendResult +
                            big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + QByteArray::number(StopRows::kCode) +
                            ", " + cut);
        m_worker.sendLog()->setQueryResult(row, QByteArray::number(StopRows::kCode), cut);
        JobActivity.countFailed();
        noteStop();
        return;
    }

    const QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const QByteArray codeText = QByteArray::number(code);
    if (code != 0)
        m_worker.reportLine(m_worker.name() + ' ' + plan.sendResult +
                            big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + codeText + ", " + result);
    m_worker.sendLog()->setQueryResult(row, codeText, result);
    if (succeeded(code, loginFailed))
        JobActivity.countSucceeded();
    else
        JobActivity.countFailed();
    if (m_failures.note(code == -1) && !m_worker.askToContinue(m_failures.inRow()))
        noteStop(true);
}

} // namespace norvi
