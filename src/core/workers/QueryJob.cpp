#include "workers/QueryJob.h"

#include "gateway/ResultCodes.h"
#include "shared/Big5.h"
#include "shared/Progress.h"
#include "workers/JobOwner.h"
#include "workers/RowCodes.h"
#include "workers/SendThd.h"
#include "workers/UiThread.h"
#include "workers/UiThreadSendLog.h"
#include "workers/WorkerState.h"

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
    const QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const QByteArray text = big5(m_cancel ? "預約取消碼：" : "結果碼：") + QByteArray::number(code) +
                            big5(m_cancel ? "\r\n預約取消結果：" : "\r\n查詢結果：") + result;
    JobOwner* owner = m_worker.ownerForm;
    const QByteArray msgId = m_worker.singleMsgId;
    if (owner)
        UiThread::run([&] { owner->showResultBox(msgId, text); });
}

void QueryJob::runRows() {
    if (!m_worker.sendLog())
        return;
    const bool allRows = QueryAll.load();
    // The selection as it was when the job began: rows deselected on the way do not shift the rest.
    QVector<int> selected;
    if (!allRows)
        selected = m_worker.sendLog()->selectedRows();
    for (int position = 0; !m_worker.stopRequested(); ++position) {
        int row = -1;
        RowPlan plan;
        if (!readRow(position, allRows, selected, &row, &plan))
            break;
        PostShowProcess(m_cancel ? StateCancelling : StateQuerying);
        if (plan.ask)
            askRow(row, plan);
    }
}

bool QueryJob::readRow(int position, bool allRows, const QVector<int>& selected, int* row, RowPlan* plan) {
    bool inRange = false;
    // One trip to the user-interface thread reads the row and marks it: a skipped row leaves the
    // selection of a selected-rows job, an asked row joins the selection of an all-rows job.
    m_worker.sendLog()->batch([&](SendLogAccess& log) {
        if (allRows) {
            inRange = position < log.rowCount();
            *row = position;
        } else {
            inRange = position < selected.size();
            *row = inRange ? selected[position] : -1;
        }
        if (!inRange)
            return;
        *plan = planRow(log.text(*row, ColSendCode), log.codeImage(*row), log.text(*row, ColQueryCode),
                        log.text(*row, ColSendResult));
        if (!plan->ask && !allRows)
            log.setSelected(*row, false);
        else if (plan->ask && allRows)
            log.setSelected(*row, true);
    });
    return inRange;
}

void QueryJob::askRow(int row, const RowPlan& plan) {
    SMSendNorviGw& client = m_worker.gateway();
    int code = -1;
    QByteArray message;
    bool loginFailed = false;
    int attempts = 0;
    bool retry = false;
    do {
        loginFailed = false;
        message.clear();
        ++attempts;
        if (!client.Login()) {
            code = client.lastCode();
            message = client.message();
            loginFailed = true;
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
            retry = isRetryCode(code);
        }
    } while (retry && attempts < kMaxAttempts && !m_worker.stopRequested());

    const QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const QByteArray codeText = QByteArray::number(code);
    if (code != 0)
        m_worker.reportLine(m_worker.name() + ' ' + plan.sendResult +
                            big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + codeText + ", " + result);
    m_worker.sendLog()->setQueryResult(row, codeText, result);
}

} // namespace norvi
