#pragma once

#include "core/shared/ManualResetEvent.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>

// The registered workers and what the jobs share with their starters. They live for the whole run;
// ProcessState.cpp defines them.
namespace norvi {

class SendThd;

// One started worker.
struct sSendThd {
    SendThd* thread;
    int32_t index;
};

extern std::list<sSendThd> WorkerList;
extern std::mutex JobLock;         // guards WorkerList when a worker removes itself
extern ManualResetEvent SendEvent; // signalled by the last worker to end; nothing in the program waits on it

} // namespace norvi
