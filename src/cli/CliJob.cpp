#include "cli/CliJob.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliRunLog.h"

#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/OpLog.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/SendThd.h"
#include "core/workers/StopRows.h"

#include <signal.h>

namespace norvi::cli {

namespace {
constexpr int kBarEveryMs = 100; // at most ten drawings a second
constexpr int kBarWidth = 20;
constexpr int64_t kShowWaitAfterMs = 1000;
} // namespace

CliProgress::CliProgress(JobRegistry& jobs, Console& console) : m_jobs(jobs), m_console(console) {
    m_jobs.channel().setProgressTarget(this);
    m_sinceStart.start();
    if (m_console.progressBarWanted()) {
        m_barTimer.setInterval(kBarEveryMs);
        connect(&m_barTimer, &QTimer::timeout, this, &CliProgress::drawBar);
        m_barTimer.start();
    }
}

QString CliProgress::barText() const {
    const int position = m_tracker.position();
    const int maximum = m_tracker.maximum();
    const int filled = maximum > 0 ? int(qint64(m_tracker.barValue()) * kBarWidth / maximum) : 0;
    const qint64 percent = maximum > 0 ? qint64(m_tracker.barValue()) * 100 / maximum : 0;
    const qint64 elapsed = m_sinceStart.elapsed();
    const double rate = elapsed > 0 ? double(position) * 1000.0 / double(elapsed) : 0.0;
    const RunOutcome counts = m_jobs.activity().outcome();
    QString text = QStringLiteral("[%1%2] %3/%4 %5% 成功 %6 失敗 %7 %8 筆/秒")
                       .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
                       .arg(position)
                       .arg(maximum)
                       .arg(percent)
                       .arg(counts.succeeded)
                       .arg(counts.failed)
                       .arg(rate, 0, 'f', 1);
    if (Interrupted()) {
        text += QStringLiteral(" 正在中斷…");
    } else {
        const int64_t waited = m_jobs.activity().waitingMs();
        if (waited >= kShowWaitAfterMs)
            text +=
                QStringLiteral(" 等待閘道回應… %1 秒 %2").arg(waited / 1000).arg(fromBig5(m_jobs.activity().subject()));
    }
    return text;
}

void CliProgress::drawBar() {
    if (!m_ended)
        m_console.statusLine(barText());
}

CliProgress::~CliProgress() {
    if (m_jobs.channel().progressTarget() == this)
        m_jobs.channel().setProgressTarget(nullptr);
    m_console.clearStatusLine();
}

bool CliProgress::event(QEvent* e) {
    if (e->type() != QEvent::Type(WM_SHOWPROCESS))
        return QObject::event(e);
    const ProgressReport& report = static_cast<ShowProcessEvent*>(e)->report();
    // Milliseconds since the epoch: a local date and time per step would look up the time zone each time.
    if (m_tracker.handle(report, Clock::nowMSecsSinceEpoch())) {
        m_ended = true;
        m_barTimer.stop();
        m_console.clearStatusLine();
        m_endState = report.state;
        m_summary = m_tracker.summary();
        const QByteArray summary = big5(m_summary);
        ShowMsgLine(summary);
        WriteOpLog(summary);
        emit endReached();
    }
    return true;
}

void CliOwner::closeForm() {
    m_closed = true;
    if (onChange)
        onChange();
}

bool CliOwner::continueAfterTransportFailures(int failures, WorkerMode) {
    m_console.err(fromBig5(StopRows::gaveUpLine(failures)));
    return false;
}

void CliOwner::showResultBox(const QByteArray&, const QByteArray& text) {
    m_resultText = text;
    m_hasResult = true;
    if (onChange)
        onChange();
}

JobWaiter::JobWaiter(SendThd* worker, std::function<bool()> done) : m_worker(worker), m_done(std::move(done)) {
    if (worker)
        connect(worker, &QObject::destroyed, this, &JobWaiter::check);
}

void JobWaiter::check() {
    if (m_finished || !m_worker.isNull() || (m_done && !m_done()))
        return;
    m_finished = true;
    m_loop.quit();
}

void JobWaiter::wait() {
    check();
    if (!m_finished)
        m_loop.exec();
}

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Async-signal-safe: an atomic counter, then the stops of the running jobs (atomic stores and write()s to the
// wake-up descriptors their gateway waits poll).
void onInterrupt(int signal) {
    if (CountInterrupt() == 0) {
        StopRunningJobs();
        return;
    }
    // Asked again: an answer awaited in the stop's grace is waited for no longer, and the run ends as a stop
    // does, with that message's row saying it may have gone. A job that has not come to its grace yet (the
    // signals came faster than it saw the first) never begins one, so it too ends at once with every row.
    const bool inGrace = StopGraceActive();
    StopRunningJobs();
    if (inGrace)
        return;
    // Asked twice: the run's log is finished first when one is open, then the program ends.
    if (SaveOnSecondSignal(signal))
        return;
    // Else end now, by the signal's own default action, so the parent sees why.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

} // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

bool Interrupted() {
    return InterruptCount() > 0;
}

bool InterruptedBeforeStart(Console& console) {
    if (!Interrupted())
        return false;
    console.err(QStringLiteral("作業已中斷，沒有開始。"));
    return true;
}

void PassInterruptToWorker(JobRegistry& jobs) {
    if (Interrupted())
        jobs.requestStopOnce();
}

int stoppedOrRefused(Console& console) {
    if (!Interrupted())
        return ExitRefused;
    console.err(QStringLiteral("作業已中斷，沒有開始。"));
    return ExitFailed;
}

bool runStopped(const CliProgress& progress) {
    return progress.tracker().outcome().stopped;
}

void printRows(const std::vector<SendLogRow>& rows, Console& console) {
    for (const SendLogRow& row : rows)
        console.out(rowLine(row));
}

void printSummary(const CliProgress& progress, Console& console) {
    if (progress.ended())
        console.out(terminalLines(progress.summary()));
}

bool anyFailed(const std::vector<SendLogRow>& rows, std::size_t from) {
    for (std::size_t i = from; i < rows.size(); ++i)
        if (rows[i].texts[ColSendCode] != "0")
            return true;
    return false;
}

void waitForEnd(SendThd* worker, CliProgress& progress) {
    JobWaiter waiter(worker, [&progress] { return progress.ended(); });
    QObject::connect(&progress, &CliProgress::endReached, &waiter, &JobWaiter::check);
    waiter.wait();
}

QString saveFailedText(const QString& path) {
    return QStringLiteral("寫入傳送紀錄檔案失敗！") + QStringLiteral(" ") + path;
}

} // namespace norvi::cli
