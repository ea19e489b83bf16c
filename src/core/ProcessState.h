#pragma once

// The process-wide state of every subsystem as one unit: each container is declared by the subsystem
// that owns it, and ProcessState.cpp defines them all together so they are built in one fixed order
// and torn down in the reverse one.
namespace norvi {

// Puts every process-wide container, flag and test seam back to its state at start: the send dialog's lists,
// the stop and scope flags (and the stop's wake-up descriptor, drained), the job activity, the exchange
// choices, the clock, the progress target, the message area, the operation log's folder and the workers'
// reply wait. Tests call it between cases so none depends on what an earlier one left behind. A registered
// worker still owns the worker list and the jobs' lists, so while one is registered nothing is changed and false is
// returned.
bool ResetProcessState();

} // namespace norvi
