#pragma once

#include <functional>

// Running a routine on the user-interface (main) thread while the calling thread waits for it. A worker
// reaches the send log, the message area and its owner window only this way, so those are touched by
// one thread alone. Works under QCoreApplication (command-line front end, tests) and QApplication.
namespace norvi::UiThread {

// True on the thread that owns the application object (or when there is none yet).
bool isCurrent();

// Runs `routine` on the user-interface thread and returns once it has run. Called on that thread it
// runs directly. Returns false, without running it, when the application is gone or closing down:
// the windows the routine would touch may no longer exist then.
// The user-interface thread must keep processing events while a worker waits here; code on that
// thread that waits for a worker must pump events rather than block.
bool run(const std::function<void()>& routine);

// Queues `routine` for the user-interface thread and returns at once. Routines queued (or run) from
// one thread reach the user-interface thread in the order they were queued.
bool post(std::function<void()> routine);

} // namespace norvi::UiThread
