#pragma once

// Whether the caller is the user-interface (main) thread. A worker reaches the send log, the message area and
// its owner window only through its job's channel (core/workers/JobChannel), which runs what it hands over
// there, so those are touched by one thread alone.
namespace norvi::UiThread {

// True on the thread that owns the application object (or when there is none yet).
bool isCurrent();

} // namespace norvi::UiThread
