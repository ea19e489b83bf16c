#include "core/workers/SendThd.h"

#include "core/compose/SegmentMessage.h"
#include "core/sendlog/LogStream.h"
#include "core/sendlog/RunPlan.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobQuestion.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/QueryJob.h"
#include "core/workers/RowHandOver.h"
#include "core/workers/SendJob.h"
#include "core/workers/StopRows.h"
#include "core/workers/UiThread.h"

#include <QString>

#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace norvi {

quint32 CurrentThreadNumber() {
#if defined(__linux__)
    return quint32(::syscall(SYS_gettid));
#else
    return quint32(quintptr(QThread::currentThreadId()));
#endif
}

QByteArray CutBig5(const QByteArray& text, int maxBytes) {
    return text.left(WholeCharsLength(text, maxBytes));
}

// A target made without a wait of its own waits as long as the client does by itself.
static_assert(kDefaultReplyWaitSeconds == SMSendNorviGw::kReplyWaitSeconds);

SendThd::SendThd(JobRegistry& jobs, RowJob job, int32_t index)
    : index(index), m_jobs(jobs), m_channel(jobs.sharedChannel()), m_activity(jobs.activity()),
      m_gateway(std::move(job.gateway)), m_ownerForm(job.owner), m_singleMsgId(std::move(job.singleMsgId)),
      m_allRows(job.QueryAll), m_rows(std::move(job.rows)), mode(job.mode) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

SendThd::SendThd(JobRegistry& jobs, SendRun run, int32_t index)
    : index(index), m_jobs(jobs), m_channel(jobs.sharedChannel()), m_activity(jobs.activity()),
      m_gateway(std::move(run.gateway)), m_ownerForm(run.opener), m_schedule(std::move(run.schedule)),
      m_feed(std::move(run.feed)), m_endNote(std::move(run.endNote)), mode(WorkerMode::Send) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

SendThd::~SendThd() = default;

void SendThd::setSendLog(JobRows* rows, RowAnswers* answers) {
    m_sendLog.reset(rows || answers ? new RowHandOver(rows, answers, m_channel) : nullptr);
}

void SendThd::setJournal(LogStream* journal) {
    m_journal = journal;
    if (m_sendLog)
        m_sendLog->setJournal(journal);
}

QByteArray SendThd::formatThreadName(WorkerMode mode, int32_t index, quint32 threadId) {
    const char* format = mode == WorkerMode::Send    ? "傳送執行緒%d(%08X)"
                         : mode == WorkerMode::Query ? "查詢執行緒%d(%08X)"
                                                     : "取消預約執行緒%d(%08X)";
    return big5(QString::asprintf(format, int(index), unsigned(threadId)));
}

const JobChannel& SendThd::channel() const {
    return *m_channel;
}

QByteArray SendThd::name() const {
    return getField(threadName);
}

bool SendThd::stopRequested() const {
    // A row that could not be recorded stops the run: nothing is sent that would be on no file.
    return m_stop->requested() || isInterruptionRequested() || (m_sendLog && m_sendLog->recordFailed());
}

void SendThd::requestStop() {
    requestInterruption();
    m_stop->request();
}

void SendThd::requestStopOnce() {
    requestInterruption();
    m_stop->requestOnce();
}

bool SendThd::askToContinue(int failures) {
    JobOwner* owner = m_ownerForm;
    if (!owner)
        return false;
    const WorkerMode asked = mode;
    auto ask = [owner, failures, asked] { return owner->continueAfterTransportFailures(failures, asked); };
    if (UiThread::isCurrent())
        return ask();
    // The question comes after the rows handed over before it; a stop ends the wait for its answer (no
    // answer: the run stops), and the box's late answer then goes nowhere.
    const JobQuestion question(m_stop);
    std::function<void()> routine = question.asking(ask);
    const bool posted =
        m_sendLog ? m_sendLog->postAfterWrites(std::move(routine)) : m_channel->post(std::move(routine));
    return posted && question.wait().value_or(false);
}

void SendThd::reportStop(bool gaveUp, int failuresInRow, const QByteArray& reason) {
    m_activity.markStopped();
    if (gaveUp)
        m_activity.markGaveUp();
    reportLine(name() + ' ' +
               (gaveUp             ? StopRows::gaveUpLine(failuresInRow)
                : reason.isEmpty() ? big5("作業已中斷")
                                   : reason));
}

bool SendThd::runOnUiThread(const std::function<void()>& routine) {
    return m_sendLog ? m_sendLog->runAfterWrites(routine) : m_channel->run(routine);
}

void SendThd::reportLine(const QByteArray& line) {
    putCString(logLine, CutBig5(line, int(sizeof(logLine)) - 1));
    const QByteArray text = getField(logLine);
    runOnUiThread([&text] { ShowMsgLine(text); });
    WriteOpLog(text);
}

void SendThd::reportRowLine(const QByteArray& line) {
    if (!m_sendLog) {
        reportLine(line);
        return;
    }
    putCString(logLine, CutBig5(line, int(sizeof(logLine)) - 1));
    const QByteArray text = getField(logLine);
    m_sendLog->showLine(text);
    WriteOpLog(text);
}

void SendThd::run() {
    setUpClient();
    putCString(threadName, formatThreadName(mode, index, CurrentThreadNumber()));
    reportLine(name() + " start");
    // The job runs once, even when a stop came before it began: it then leaves the rows of a stop.
    runJob();
    client.reset();
    // The job's last writes to the send log are on it before anyone hears that the job is over.
    if (m_sendLog)
        m_sendLog->flush();
    // Every message of the plan has its row on disk now (a stop's "未傳送" included): the plan has done its part.
    if (m_journal && m_sendLog && !m_sendLog->recordFailed() && !m_journal->failed())
        RemoveRunPlan(m_journal->path());
    announceEnd();
    reportLine(name() + " shut down");
}

void SendThd::setUpClient() {
    client = std::make_unique<SMSendNorviGw>();
    client->SetTarget(m_gateway);
    client->SetReplyWaitSeconds(m_gateway.replyWaitSeconds);
    client->SetActivity(&m_activity); // the progress window and the command line watch its waits
    // A run's answer already on its way when a stop comes may be a MsgId: it gets a short grace. A single
    // MsgId's answer goes to a box nobody waits for after a stop, so that job stops at once.
    if (m_singleMsgId.isEmpty())
        client->SetStop(*m_stop, StopGraceMs());
    else
        client->SetStopSignal(&m_stop->wake());
}

void SendThd::runJob() {
    if (mode == WorkerMode::Send)
        SendJob(*this).run();
    else
        QueryJob(*this).run();
    requestInterruption();
}

void SendThd::announceEnd() {
    m_jobs.workerEnded(this, [this] {
        // The end carries the run's counts, so its text states what succeeded, failed and was not reached.
        const RunOutcome outcome = m_activity.outcome();
        if (mode == WorkerMode::Send) {
            m_channel->postShowProcess(StateSent, outcome);
            return;
        }
        if (!m_singleMsgId.isEmpty()) {
            JobOwner* owner = m_ownerForm;
            if (owner)
                m_channel->post([owner] { owner->closeForm(); });
            return;
        }
        m_channel->postShowProcess(mode == WorkerMode::Query ? StateQueried : StateCancelled, outcome);
    });
}

} // namespace norvi
