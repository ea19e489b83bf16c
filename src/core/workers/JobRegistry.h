#pragma once

#include "core/shared/ManualResetEvent.h"
#include "core/shared/RunActivity.h"
#include "core/workers/JobChannel.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

namespace norvi {

class RowJournal;
class SendThd;

// One started worker.
struct sSendThd {
    SendThd* thread;
    int32_t index;
};

// The jobs of one program: the workers started and not yet ended, what the running job is doing, and the
// journal its send runs record their rows in. The desktop program's JobSupervisor owns one, each norvi-cli
// command its own; whoever starts a job is handed it, and the job's worker keeps it until it has announced
// its end. Nothing of it is reachable from anywhere else, so two programs in one process (the tests) never
// share a job.
class JobRegistry {
public:
    JobRegistry();
    // A worker refers to its registry until it has announced its end, and the owners wait for that (the
    // desktop program's exit, norvi-cli's commands). One still registered here is stopped and waited for,
    // with the user-interface thread kept turning for its hand-overs, rather than left writing into freed
    // memory.
    ~JobRegistry();
    JobRegistry(const JobRegistry&) = delete;
    JobRegistry& operator=(const JobRegistry&) = delete;

    // True while a worker is registered (its job has not ended yet).
    bool workerRegistered() const;
    // Stops every registered worker (SendThd::requestStop); asked again, it ends the grace of an answer on
    // its way too.
    void requestStop();
    // Stops every registered worker that was not asked to stop yet (SendThd::requestStopOnce).
    void requestStopOnce();
    // Set while no job runs; cleared by a start and set again by the worker that ends last.
    bool noJobRunning() const { return SendEvent.isSet(); }

    // What the running job is doing now: its worker and client publish it, the progress window and the
    // command line's progress bar read it without waiting for the worker.
    RunActivity& activity() { return JobActivity; }
    const RunActivity& activity() const { return JobActivity; }

    // How the jobs' progress, rows and questions reach the user-interface thread, and who shows the progress.
    JobChannel& channel() { return *m_channel; }
    const JobChannel& channel() const { return *m_channel; }
    // The same for a worker, which still says its last line through it after it has left the registry.
    std::shared_ptr<const JobChannel> sharedChannel() const { return m_channel; }

    // The journal of the send runs started from now on; none by default (rows are then kept only where the
    // send log keeps them). Set and read on the user-interface thread.
    RowJournal* journal() const { return RunJournal; }
    void setJournal(RowJournal* journal) { RunJournal = journal; }

    // Registers the worker `make` creates (with the index it is given) and resumes it, under the lock that
    // keeps a second job out: false, with nothing made, while a worker is registered. `prepare` runs
    // before the worker is resumed, still under the lock.
    bool launch(const std::function<SendThd*(int32_t index)>& make, const std::function<void(SendThd*)>& prepare,
                SendThd** started);
    // The worker's end: its entry goes. When it was the last one, `announce` runs, still under the lock, so
    // exactly one worker announces the end and no next job starts before it has.
    void workerEnded(const SendThd* worker, const std::function<void()>& announce);

private:
    // The names the system gives them; they were process-wide before each program had its own.
    std::list<sSendThd> WorkerList;
    mutable std::mutex JobLock;       // guards WorkerList
    ManualResetEvent SendEvent{true}; // signalled by the last worker to end; nothing in the program waits on it
    RunActivity JobActivity;          // one job runs at a time
    RowJournal* RunJournal = nullptr;
    const std::shared_ptr<JobChannel> m_channel = std::make_shared<JobChannel>();
};

} // namespace norvi
