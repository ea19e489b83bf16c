#pragma once

// What is still process-wide, as one unit: the stop a signal handler must reach is defined in
// ProcessState.cpp, and the reset below puts it and the single files' test seams back together.
namespace norvi {

// Puts the stop (and its wake-up descriptors, drained), the clock, the progress target, the message area and
// the operation log's folder back to their state at start. Tests call it between cases so none depends on
// what an earlier one left behind. A job's own state (its workers, activity and journal) lives in the
// JobRegistry of whoever started it and goes with it.
void ResetProcessState();

} // namespace norvi
