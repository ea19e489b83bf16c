#pragma once

#include "core/shared/ConfigRecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

// The process-wide state every layer may read: the start folder, the configuration, the operation
// log's lock and the stop request. The containers of the subsystems above are declared by their owners
// (compose/ComposeState.h, workers/WorkerState.h,
// exchange/ExchangeState.h); ProcessState.cpp defines them all in one place.
namespace norvi {

extern QString StartDir; // the folder that was current at start; the program's files live here
extern sConfig Config;   // exact image of NorviSMSAp.cfg

extern std::mutex LogLock; // serialises writers of the operation log
// Set by a stop (shared/StopSignal.h: RequestStop, which also wakes every gateway wait), polled by the jobs.
extern std::atomic<bool> StopFlag;

// Path of a file in the start folder.
QString StartDirFile(const QString& name);

} // namespace norvi
