#pragma once

#include "core/shared/Progress.h"

#include <QMetaObject>

#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace norvi {

// The one way a job's news reaches the user-interface thread: its progress steps and its end (the progress
// message, WM_SHOWPROCESS, posted to the one receiver the program set), and the routines that write its rows
// or ask its owner a question there. The JobRegistry of a program owns one; every worker of that program, and
// the windows' own loads and saves, go through it (a worker keeps it until its last line is said), so two programs in
// one process (the tests) never reach each other's progress window.
//
// What a worker hands over travels in events of its own through Qt's event queue, which orders the worker's
// writes before the user-interface thread's reads (core/shared/RaceDetector.h tells a race detector so).
class JobChannel {
public:
    JobChannel();
    ~JobChannel();
    JobChannel(const JobChannel&) = delete;
    JobChannel& operator=(const JobChannel&) = delete;

    // The receiver of WM_SHOWPROCESS: the progress window in the desktop program, a console reporter in
    // the command-line front end, a recorder in tests. A receiver that is destroyed stops receiving.
    void setProgressTarget(QObject* target);
    QObject* progressTarget() const;

    // A step, or an end with the run's counts, posted to the receiver: never blocks the poster.
    void postShowProcess(ProgressReport report) const;
    void postShowProcess(ProgressState state, const RunOutcome& counts = {}) const {
        postShowProcess(ReportOf(state, counts));
    }
    // A step handed to the receiver at once; on the user-interface thread only.
    void showProcessNow(const ProgressReport& report) const;

    // Runs `routine` on the user-interface thread and returns once it has run (called there, it runs
    // directly). False, without running it, when the application is gone or closing down: the windows the
    // routine would touch may no longer exist then. That thread must keep processing events while a worker
    // waits here.
    bool run(const std::function<void()>& routine) const;
    // Queues `routine` for the user-interface thread and returns at once. Routines queued from one thread
    // reach the user-interface thread in the order they were queued.
    bool post(std::function<void()> routine) const;

private:
    class Relay;
    mutable std::mutex m_targetLock; // a worker posts while the user-interface thread swaps the receiver
    QObject* m_target = nullptr;
    QMetaObject::Connection m_targetGone;
    // Lives on the thread that made the channel (the user-interface thread) and runs what is handed to it;
    // deleted there, whichever thread lets the channel go last.
    Relay* const m_relay;
};

} // namespace norvi
