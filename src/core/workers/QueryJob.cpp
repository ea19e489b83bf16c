#include "core/workers/QueryJob.h"

#include "core/gateway/LoginTest.h"
#include "core/gateway/ResultCodes.h"
#include "core/sendlog/SendLogRow.h"
#include "core/shared/Big5.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/workers/JobChannel.h"
#include "core/workers/JobOwner.h"
#include "core/workers/RowCodes.h"
#include "core/workers/RowHandOver.h"
#include "core/workers/SendThd.h"
#include "core/workers/UiThread.h"

#include <algorithm>

namespace norvi {

namespace {
// How long a run that took answers after the first on its connection looks for more at its end: what the slowest
// answer took and a margin, at most two seconds.
constexpr int kSettleMs = 2000;
constexpr int kSettleMarginMs = 200;
} // namespace

QueryJob::QueryJob(SendThd& worker) : m_worker(worker), m_cancel(worker.jobMode() == WorkerMode::Cancel) {}

QueryJob::RowPlan QueryJob::planRow(const QByteArray& sendCode, int sendCodeImage, const QByteArray& queryCode,
                                    const QByteArray& sendResult, WorkerMode mode, const QByteArray& queryResult) {
    RowPlan plan;
    plan.sendResult = sendResult;
    plan.answered = !queryCode.trimmed().isEmpty();
    int code = 0;
    // Only a message the gateway accepted has a MsgId to ask about.
    if (!RowCodes::parse(sendCode, &code) || code != 0)
        return plan;
    // A row never asked is asked; a final answer is not asked again, except that a delivered
    // reservation may still be cancelled or change state, so it stays eligible.
    int asked = 0;
    if (RowCodes::parse(queryCode, &asked) && !RowCodes::isAskAgain(asked) &&
        !(asked == 0 && sendCodeImage == ImageReservation)) {
        plan.finalAnswer = true;
        return plan;
    }
    // A reservation this program cancelled stays cancelled, and one a query found delivered cannot be called
    // back: a cancellation could only put a refusal ("not a waiting reservation") or "not known" over the
    // answer that says so. A query still asks about both.
    if (mode == WorkerMode::Cancel && asked == 0 && sendCodeImage == ImageReservation &&
        (queryResult.startsWith(CodeText(CodeTable::Cancel, 0)) ||
         queryResult.startsWith(CodeText(CodeTable::Query, 0)))) {
        plan.finalAnswer = true;
        return plan;
    }
    // A row loaded from a log written elsewhere may lack the MsgId; an empty MsgId is never sent.
    if (!RowCodes::msgIdFromResult(sendResult, &plan.msgId) || plan.msgId.isEmpty())
        return plan;
    if (mode == WorkerMode::Cancel && sendCodeImage != ImageReservation) {
        plan.notReservation = true;
        return plan;
    }
    plan.ask = true;
    return plan;
}

int QueryJob::rowsToAsk(const std::vector<JobRow>& rows, WorkerMode mode) {
    int ask = 0;
    for (const JobRow& row : rows)
        ask += planRow(row.cells.sendCode, row.cells.codeImage, row.cells.queryCode, row.cells.sendResult, mode,
                       row.cells.queryResult)
                       .ask
                   ? 1
                   : 0;
    return ask;
}

void QueryJob::run() {
    if (!m_worker.singleMsgId().isEmpty())
        runSingle();
    else
        runRows();
    m_worker.gateway().Logout();
    m_worker.requestInterruption();
}

void QueryJob::runSingle() {
    SMSendNorviGw& client = m_worker.gateway();
    m_worker.activity().setSubject(m_worker.singleMsgId());
    bool loginFailed = false;
    bool untrusted = false;
    bool written = false;
    int code;
    QByteArray message;
    if (!client.Login()) {
        code = client.lastCode();
        message = client.message();
        loginFailed = true;
    } else {
        client.Clear();
        client.SetType(m_cancel ? GwCancel : GwQuery);
        client.SetMsgId(m_worker.singleMsgId());
        code = client.Send(message);
        untrusted = client.lastReplyUntrusted();
        written = client.lastRequestWritten();
        // An answer with bytes behind it may be a late copy of another: asked once more on a new connection.
        if (untrusted && client.Login()) {
            client.Clear();
            client.SetType(m_cancel ? GwCancel : GwQuery);
            client.SetMsgId(m_worker.singleMsgId());
            code = client.Send(message);
            untrusted = client.lastReplyUntrusted();
            written = written || client.lastRequestWritten();
        }
    }
    QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const WorkerMode mode = m_worker.jobMode();
    if (untrusted) {
        code = StopRows::kCode;
        result = SMSendNorviGw::OutOfStepText();
    }
    if (client.lastStop() == SMSendNorviGw::StopPoint::AwaitingReply)
        result = StopRows::cutQueryText(mode);
    else if (client.lastStop() == SMSendNorviGw::StopPoint::BeforeRequest)
        result = StopRows::notAskedText(mode);
    else
        result = WithNoAnswerWords(result, client.lastTimedOut());
    // A cancellation that went out without an answer to trust may have taken effect, as its row would say.
    if (m_cancel && code == StopRows::kCode && written && client.lastStop() == SMSendNorviGw::StopPoint::None)
        result = StopRows::cancelUnknownText() + big5("（") + result + big5("）");
    const QByteArray text = big5(m_cancel ? "預約取消碼：" : "結果碼：") + QByteArray::number(code) +
                            big5(m_cancel ? "\r\n預約取消結果：" : "\r\n查詢結果：") + result;
    JobOwner* owner = m_worker.ownerForm();
    const QByteArray msgId = m_worker.singleMsgId();
    // The box is gone once read: the operation log keeps the answer, in the line a row's answer gets, with the
    // MsgId where a row names its send result.
    m_worker.reportLine(m_worker.name() + ' ' + big5("MsgId:") + msgId +
                        big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + QByteArray::number(code) + ", " + result);
    if (owner)
        m_worker.channel().run([&] { owner->showResultBox(msgId, text); });
}

// The rows came as values when the job was asked for, so the walk reads nothing of the send log: the rows it
// passes by cost a plan each, and travel to the progress window and the send log a thousand at a time. Every
// row still gets its own stop check, in list order, and its step before any row after it.
void QueryJob::runRows() {
    if (!m_worker.sendLog())
        return;
    const WorkerMode mode = m_worker.jobMode();
    PassedBy passed;
    for (const JobRow& row : m_worker.rows()) {
        PlannedRow planned{row.rowId, row.listed,
                           planRow(row.cells.sendCode, row.cells.codeImage, row.cells.queryCode, row.cells.sendResult,
                                   mode, row.cells.queryResult),
                           row.cells};
        m_writtenRow = 0;
        if (!m_stopped && m_worker.stopRequested())
            noteStop();
        // After a stop the walk goes on only to say which rows were not asked about.
        if (m_stopped) {
            if (planned.plan.ask)
                notAskedRow(planned);
            countResult(planned);
            continue;
        }
        const RowPlan& plan = planned.plan;
        if (!plan.ask) {
            if (plan.notReservation)
                m_worker.activity().countSkippedNotReservation();
            else if (plan.finalAnswer)
                m_worker.activity().countSkippedFinal();
            else
                m_worker.activity().countSkippedNotSent();
            passed.rowIds.append(row.rowId);
            if (passed.rowIds.size() >= kPassedPerReport)
                handOver(passed);
            countResult(planned);
            continue;
        }
        // The rows passed by before this one, then this one, which shows as asked before its answer arrives.
        handOver(passed);
        m_worker.sendLog()->walked({row.rowId}, true);
        // Bytes waiting before the request: an answer taken on this connection may have been a late copy.
        if (!m_unconfirmed.empty() && m_worker.gateway().staleBytesWaiting())
            askUnconfirmedAgain();
        if (m_newConnectionEach)
            m_worker.gateway().Logout();
        // A wait names the row it is for by the number the progress will give it once done.
        m_worker.activity().setSubject(plan.msgId, m_steps + 1, true);
        const Answer answer = askRow(planned);
        // A step counts a row that is done with: "0 / N" while the first answer is awaited. A row whose
        // exchange a stop kept from going out is not done.
        if (!(m_stopped && m_lastNotAsked == row.rowId)) {
            ++m_steps;
            m_worker.sendLog()->step(ReportOf(m_cancel ? StateCancelling : StateQuerying, {}, 1, row.rowId));
        }
        const PlannedRow asRead = planned;
        const Delivery counted = countResult(planned);
        noteAnswer(asRead, counted, answer);
    }
    handOver(passed);
    // Late copies that came in turns with the answers would each have been read as the next row's: the gateway
    // then still owes the run's last answers, which come about as fast as the others did.
    if (!m_unconfirmed.empty() && !m_stopped &&
        m_worker.gateway().staleBytesWaiting(std::min(kSettleMs, m_slowestAnswerMs + kSettleMarginMs)))
        askUnconfirmedAgain();
    reportNotAsked();
    if (!m_cancel)
        m_worker.activity().setResults(m_answered.parts().join(QStringLiteral("、")));
}

void QueryJob::handOver(PassedBy& passed) {
    if (passed.rowIds.isEmpty())
        return;
    m_worker.sendLog()->walked(passed.rowIds, false);
    m_steps += int(passed.rowIds.size());
    m_worker.sendLog()->step(ReportOf(m_cancel ? StateCancelling : StateQuerying, {}, int(passed.rowIds.size())));
    passed.rowIds.clear();
}

void QueryJob::setQueryCells(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    m_worker.sendLog()->answered(rowId, code, result);
    m_writtenRow = rowId;
    m_writtenCode = code;
    m_writtenResult = result;
}

Delivery QueryJob::countResult(PlannedRow& planned) {
    if (m_writtenRow == planned.rowId) {
        planned.cells.queryCode = m_writtenCode;
        planned.cells.queryResult = m_writtenResult;
    }
    const Delivery d = ClassifyDelivery(planned.cells);
    // What the answers of this run say; the rows it only walked past are counted by why.
    if (m_answeredRow == planned.rowId)
        m_answered.add(d);
    return d;
}

void QueryJob::noteAnswer(const PlannedRow& planned, Delivery counted, const Answer& answer) {
    // The answers taken on a connection found out of step are asked again, before this row's own answer (taken
    // on a new connection when it was asked again) settles anything.
    if (answer.outOfStep)
        askUnconfirmedAgain();
    // The first answer on a connection ends the suspicion of the one before, which nothing showed out of step.
    if (answer.first) {
        m_unconfirmed.clear();
        m_slowestAnswerMs = 0;
    }
    m_slowestAnswerMs = std::max(m_slowestAnswerMs, m_worker.gateway().lastReplyMs());
    if (answer.counted && !answer.first)
        m_unconfirmed.push_back({planned, counted, answer.succeeded});
}

void QueryJob::askUnconfirmedAgain() {
    m_newConnectionEach = true;
    std::vector<Unconfirmed> unconfirmed;
    unconfirmed.swap(m_unconfirmed);
    for (Unconfirmed& s : unconfirmed) {
        PlannedRow& planned = s.planned;
        m_worker.activity().uncountAnswer(s.succeeded);
        if (s.succeeded)
            m_answered.remove(s.counted);
        const bool stopped = m_stopped || m_worker.stopRequested();
        if (stopped && m_cancel) {
            // A stop leaves no time to ask again, and the cancellation went out: the gateway may have taken it.
            setQueryCells(planned.rowId, QByteArray::number(StopRows::kCode), StopRows::cancelUnknownText());
            m_worker.activity().countUncertain();
            countResult(planned);
            continue;
        }
        // The answer is taken back: the row holds what it held before the job until a new one comes.
        setQueryCells(planned.rowId, planned.cells.queryCode, planned.cells.queryResult);
        if (stopped) {
            m_worker.activity().countNotReached();
        } else {
            m_worker.gateway().Logout();
            m_worker.activity().setSubject(planned.plan.msgId);
            askRow(planned);
        }
        countResult(planned);
    }
}

void QueryJob::noteStop(bool gaveUp) {
    m_stopped = true;
    m_worker.reportStop(gaveUp, m_failures.inRow(), m_stopReason);
}

void QueryJob::notAskedRow(const PlannedRow& row) {
    if (!row.plan.answered)
        setQueryCells(row.rowId, QByteArray::number(StopRows::kCode),
                      StopRows::notAskedText(m_worker.jobMode(), m_stopReason));
    m_notAsked.append(row.listed);
    m_lastNotAsked = row.rowId;
    m_worker.activity().countNotReached();
}

void QueryJob::unansweredRow(const PlannedRow& row, bool written, const QByteArray& failure) {
    const RowPlan& plan = row.plan;
    const QByteArray code = QByteArray::number(StopRows::kCode);
    QByteArray cell = failure;
    if (m_cancel && written) {
        cell = StopRows::cancelUnknownText();
        m_worker.activity().countUncertain();
    } else {
        m_worker.activity().countFailed();
    }
    m_worker.reportRowLine(m_worker.name() + ' ' + plan.sendResult +
                           big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + code + ", " + cell);
    if (plan.answered && !(m_cancel && written))
        return; // nothing known is replaced by no answer
    setQueryCells(row.rowId, code, cell);
}

void QueryJob::reportNotAsked() {
    if (m_notAsked.isEmpty())
        return;
    // Runs of neighbouring rows as one range keep the line short for a stop early in a long list.
    QStringList ranges;
    for (int i = 0; i < m_notAsked.size();) {
        int j = i;
        while (j + 1 < m_notAsked.size() && m_notAsked[j + 1] == m_notAsked[j] + 1)
            ++j;
        ranges << (i == j ? QString::number(m_notAsked[i] + 1)
                          : QStringLiteral("%1-%2").arg(m_notAsked[i] + 1).arg(m_notAsked[j] + 1));
        i = j + 1;
    }
    const QString what = m_cancel ? QStringLiteral("未取消") : QStringLiteral("未查詢");
    const QString line =
        QStringLiteral("%1的紀錄 %2 筆：第 %3 列").arg(what).arg(m_notAsked.size()).arg(ranges.join(u'、'));
    // The operation log has the whole line; the message area's copy is cut to its line field.
    WriteOpLog(m_worker.name() + ' ' + big5(line));
    m_worker.reportLine(m_worker.name() + ' ' +
                        big5(QStringLiteral("%1的紀錄 %2 筆").arg(what).arg(m_notAsked.size())));
}

bool QueryJob::succeeded(int code, bool loginFailed) const {
    if (loginFailed || code < 0)
        return false;
    return m_cancel ? code == 0 : code < 30; // 30 and above are the gateway's general errors
}

QueryExchange AskGateway(SMSendNorviGw& client, const QByteArray& msgId, bool cancel,
                         const std::function<bool()>& stopRequested) {
    return GatewayExchange::run(
        client,
        [&](SMSendNorviGw& c) {
            c.Clear();
            c.SetType(cancel ? GwCancel : GwQuery);
            c.SetMsgId(msgId);
        },
        // Asking again is harmless; a cancellation that went out may have taken effect, so only one that surely
        // did not goes again, or one whose answer may have been another row's.
        [cancel](const GatewayExchange& ex) {
            return ex.untrusted || (ex.code == -1 ? !(cancel && ex.written) : QueryAskAgainCodes.contains(ex.code));
        },
        stopRequested);
}

QueryJob::Answer QueryJob::askRow(const PlannedRow& row) {
    const RowPlan& plan = row.plan;
    Answer answer;
    const QueryExchange ex =
        AskGateway(m_worker.gateway(), plan.msgId, m_cancel, [this] { return m_worker.stopRequested(); });
    answer.outOfStep = ex.outOfStep;
    const int code = ex.code;
    const QByteArray& message = ex.message;
    const bool loginFailed = ex.loginFailed;
    const SMSendNorviGw::StopPoint stop = ex.stop;
    if (ex.reportLogin)
        m_worker.reportLine(m_worker.name() + " Login to Server fail, " + QByteArray::number(code) + ':' + message);

    if (stop == SMSendNorviGw::StopPoint::BeforeRequest) {
        notAskedRow(row);
        noteStop();
        return answer;
    }
    if (stop != SMSendNorviGw::StopPoint::None) {
        // Even the stop's grace brought no answer.
        unansweredRow(row, true, StopRows::cutQueryText(WorkerMode::Query));
        noteStop();
        return answer;
    }
    if ((code == -1 && !loginFailed) || ex.untrusted) {
        unansweredRow(row, ex.written, ex.untrusted ? SMSendNorviGw::OutOfStepText() : message);
        answer.untrusted = ex.untrusted;
        if (m_failures.note(true) && !m_worker.askToContinue(m_failures.inRow()))
            noteStop(true);
        return answer;
    }

    const QByteArray result =
        ResultText(code, loginFailed ? CodeTable::Login : (m_cancel ? CodeTable::Cancel : CodeTable::Query), message);
    const QByteArray codeText = QByteArray::number(code);
    if (code != 0)
        m_worker.reportRowLine(m_worker.name() + ' ' + plan.sendResult +
                               big5(m_cancel ? " 預約取消結果: " : " 查詢結果: ") + codeText + ", " + result);
    // A failed login or a general error answers nothing about the message: an earlier answer stays.
    if (!((loginFailed || RowCodes::isGeneralError(code)) && plan.answered))
        setQueryCells(row.rowId, codeText, result);
    answer.counted = !loginFailed;
    answer.succeeded = succeeded(code, loginFailed);
    answer.first = !loginFailed && m_worker.gateway().repliesOnConnection() == 1;
    if (answer.succeeded) {
        m_worker.activity().countSucceeded();
        m_answeredRow = row.rowId;
    } else {
        m_worker.activity().countFailed();
    }
    if (ex.loginRefused) {
        m_stopReason = result;
        m_worker.activity().setStopReason(fromBig5(result));
        noteStop();
        return answer;
    }
    if (m_failures.note(code == -1) && !m_worker.askToContinue(m_failures.inRow()))
        noteStop(true);
    return answer;
}

} // namespace norvi
