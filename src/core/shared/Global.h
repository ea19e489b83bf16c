#pragma once

#include <atomic>
#include <mutex>

// The process-wide state every layer may read: the stop request.
namespace norvi {

// Set by a stop (shared/StopSignal.h: RequestStop, which also wakes every gateway wait), polled by the jobs.
// One for the process, with what a signal handler reaches (StopSignal.cpp).
std::atomic<bool>& StopFlag() noexcept;

} // namespace norvi
