#pragma once

#include "cli/CliOutput.h"

#include "core/sendlog/SendLogRow.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <vector>

namespace norvi {
class JobRegistry;
class RunActivity;
class SendThd;
} // namespace norvi

namespace norvi::cli {

// The progress window of the command-line front end: it receives WM_SHOWPROCESS, keeps the window's
// bookkeeping in a ProgressTracker and, at the end state, writes the summary to the message area and
// the operation log exactly as the window does. While the job runs, and when standard error is a terminal
// (Console::progressBarWanted), one line there shows a bar, the counts, the rate and a wait for the gateway, drawn
// at most ten times a second; it is cleared at the end.
class CliProgress : public QObject {
    Q_OBJECT
public:
    // Receives the progress of `jobs`' jobs, and shows their activity in the bar on `console`.
    CliProgress(JobRegistry& jobs, Console& console);
    ~CliProgress() override;

    ProgressTracker& tracker() { return m_tracker; }
    const ProgressTracker& tracker() const { return m_tracker; }
    bool ended() const { return m_ended; }
    int endState() const { return m_endState; }
    QString summary() const { return m_summary; }

    // The bar's line as it would be drawn now (also without a terminal, for tests).
    QString barText() const;

signals:
    void endReached();

protected:
    bool event(QEvent* e) override;

private:
    void drawBar();

    JobRegistry& m_jobs; // its channel brings the progress here, its activity is what the bar shows
    Console& m_console;
    ProgressTracker m_tracker;
    bool m_ended = false;
    int m_endState = -1;
    QString m_summary;
    QTimer m_barTimer;
    QElapsedTimer m_sinceStart;
};

// The window that started a job, as the command line plays it: it takes a single MsgId's result, and gives a
// run up after transport failures where a window would ask the user.
class CliOwner : public JobOwner {
public:
    explicit CliOwner(Console& console) : m_console(console) {}

    void closeForm() override;
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;
    // Gives up, saying so on standard error: the run stops and exits with 2.
    bool continueAfterTransportFailures(int failures, WorkerMode mode) override;

    bool closed() const { return m_closed; }
    bool hasResult() const { return m_hasResult; }
    QByteArray resultText() const { return m_resultText; } // Big5, the box's two lines

    std::function<void()> onChange; // runs when the job closes the owner or shows its result

private:
    Console& m_console;
    bool m_closed = false;
    bool m_hasResult = false;
    QByteArray m_resultText;
};

// Runs the event loop until `done()` holds and the worker has freed itself, so everything the worker
// hands to this thread (rows, lines, the end state) has been handled before the caller goes on.
class JobWaiter : public QObject {
    Q_OBJECT
public:
    JobWaiter(SendThd* worker, std::function<bool()> done);
    void wait();
    void check();

private:
    QPointer<SendThd> m_worker;
    std::function<bool()> m_done;
    QEventLoop m_loop;
    bool m_finished = false;
};

// Ctrl+C during a job does what the progress window's 中斷 does (the job's StopFlag, through
// StopRunningJobs): a wait on the gateway
// ends at once, the job leaves the rows of a stop (the cut exchange, every recipient not reached) and
// reports its end, and what was done is saved. SIGTERM (a service manager, kill) and SIGHUP (the terminal
// closed) are taken the same way, so messages the gateway accepted are never left unrecorded. A second
// signal ends the program at once.
void InstallInterruptHandler();
bool Interrupted();

// True (with a line on standard error) when a stop was asked for before the job started; the caller
// starts nothing.
bool InterruptedBeforeStart(Console& console);
// A signal reaches a worker's stop from the moment the worker exists (StopReach); one that came while the job
// was being started, before that, is passed on here. One that reached the worker already is not asked for a
// second time: that would end the grace of the answer on its way.
void PassInterruptToWorker(JobRegistry& jobs);
// The exit code of a command that could not start its job: 2 when a signal stopped it (a name lookup
// ended by Ctrl+C), else 1.
int stoppedOrRefused(Console& console);
// Whether the job's end says it was stopped (a signal, or giving up on a gateway that does not answer).
bool runStopped(const CliProgress& progress);

// What a job that writes a send log prints: its rows, one line each, and the progress window's summary.
void printRows(const std::vector<SendLogRow>& rows, Console& console);
void printSummary(const CliProgress& progress, Console& console);
// Whether a row from `from` on has a send code other than 0.
bool anyFailed(const std::vector<SendLogRow>& rows, std::size_t from = 0);
// Runs the event loop until the worker's end state has been handled and the worker is gone.
void waitForEnd(SendThd* worker, CliProgress& progress);
QString saveFailedText(const QString& path);

} // namespace norvi::cli
