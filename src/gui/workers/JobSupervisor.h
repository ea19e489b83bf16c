#pragma once

#include "core/workers/JobRegistry.h"
#include "gui/shared/TFormShowProcess.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace norvi {

// The one owner of every job of the desktop program, from its start to its last row: a send run, a
// query or cancel run, a single MsgId, a load or save of the send log, a list-file load, an import or
// export, a connection test. Every window starts its jobs here and nowhere else.
//
// It knows the window that started the job (disabled while the job runs, closed at the end when it asks
// for that), drives the progress window, tells the windows when work may be started again (busyChanged)
// and is what 結束, the close box and a signal consult while a job runs: stopping a job is asked for here,
// and the rest of the program hears through whenJobGone() once the worker has handed over its last
// row, in the event loop, never by blocking the user-interface thread that the worker needs.
//
// A job that a modal window started gets an application-modal progress window: it stacks above every
// modal window already open, so its button always takes input and the starter keeps its modal show until
// the user confirms the end. A job of the main window itself leaves the progress window modeless: the
// main window locks the commands that would start other work (busyChanged), and its menu bar, its close box
// and the exit question stay usable.
class JobSupervisor : public QObject {
    Q_OBJECT
public:
    explicit JobSupervisor(TFormShowProcess& progress);
    ~JobSupervisor() override;
    JobSupervisor(const JobSupervisor&) = delete;
    JobSupervisor& operator=(const JobSupervisor&) = delete;

    // A job with the progress window: shows it for `maximum` steps, disables `starter` (or lets it lock its
    // own commands, as `wait` says) until the user confirms the end and closes `starter` then when
    // `closeStarter` is set. The caller starts its worker (or runs its steps) right after.
    void begin(QWidget* starter, int maximum, bool closeStarter, OwnerWait wait = OwnerWait::Disabled);
    // A job without the progress window (a single MsgId, a connection test, an import or export): busy
    // until end() or, when a worker was started, until that worker is gone.
    void beginQuiet(QWidget* starter);
    void end();
    // A job whose start failed after begin(): the progress window goes without waiting for a 確定.
    void abandon();

    // From begin until the job is over: its worker gone and, when it showed one, its progress window
    // confirmed. Nothing else may start meanwhile.
    bool busy() const { return m_busy; }
    // The program's jobs: every starter hands them to the job it starts.
    JobRegistry& registry() { return m_registry; }
    // The progress window, as the parent of a box that belongs above it.
    QWidget* progressWindow() const;
    // A worker is registered: rows may still arrive.
    bool workerRunning() const;
    // A worker is registered or a quiet job has not said that it ended (a connection test waits).
    bool jobRunning() const { return workerRunning() || m_quiet; }

    // Sets the stop of the running job (its worker's StopFlag, which ends every wait at once; pressed again,
    // the grace of an answer on its way too): the worker writes the rows the stop leaves and ends. A job on
    // this thread (a list-file load) and a quiet job without a worker hear stopRequested(). 中斷 on the
    // progress window comes here.
    void requestStop();
    // A running job's question to the user (go on after failures?): a Yes/No box over `over`. A stop asked
    // for while it is open closes it, answered 否, so a signal still ends the run and the program.
    bool askWhileRunning(QWidget* over, const QString& title, const QString& text);
    // Runs `then` on the user-interface thread once no job runs (jobRunning), at once (queued) when none does.
    void whenJobGone(const std::function<void()>& then);
    // The progress window of a job that has ended but was not confirmed yet (the program is ending): its
    // summary is written as on 確定 and it closes, releasing its starter.
    void dismissProgress();
    // The worker of the job begun last, as its starter got it: the job lasts until that worker is gone
    // (it frees itself on this thread once its run is over, every row and its end handed over before).
    void workerStarted(QObject* worker);
    // Called before every job begins: work in the background (the follow-up's round) makes way for it
    // and is over when the call returns.
    void setBeforeJob(std::function<void()> beforeJob) { m_beforeJob = std::move(beforeJob); }

signals:
    void busyChanged(bool busy);
    // A stop was asked for: 中斷 on the progress window, or the program ending while a job runs.
    void stopRequested();
    // The last worker of a job is gone: every row and answer it made has reached the send log.
    void workersGone();

private:
    void workerGone();
    void runAfterJob();
    void progressClosed();
    void settle();
    void setBusy(bool busy);

    TFormShowProcess& m_progress;
    // The progress window watches its activity; the window set builds that window first, so it outlives this.
    JobRegistry m_registry;
    bool m_busy = false;
    bool m_progressShown = false;
    bool m_quiet = false;
    bool m_quietWorker = false; // the quiet job started a worker: it ends with it
    int m_liveWorkers = 0;
    QPointer<QWidget> m_quietStarter;
    QPointer<QWidget> m_questionOver; // the parent of the question asked now
    QList<std::function<void()>> m_afterJob;
    std::function<void()> m_beforeJob;
};

} // namespace norvi
