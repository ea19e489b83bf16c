#pragma once

#include <atomic>
#include <mutex>

// The process-wide state every layer may read: the stop request. The
// containers of the subsystems above are declared by their owners (compose/ComposeState.h,
// workers/WorkerState.h, exchange/ExchangeState.h); ProcessState.cpp defines them all in one place.
namespace norvi {

// Set by a stop (shared/StopSignal.h: RequestStop, which also wakes every gateway wait), polled by the jobs.
extern std::atomic<bool> StopFlag;

} // namespace norvi
