#pragma once

// What is still process-wide, put back as one unit: what a signal handler reaches lives in
// core/shared/StopSignal.cpp, the clock in core/shared/Seams.cpp, the operation log's writer in
// core/shared/OpLog.cpp; the reset below puts them back together.
namespace norvi {

// Puts what signal handlers reach, the clock, the message area's sink and the operation log's folder and
// failure reporter back to their state at start. Tests call it between cases so none depends on what an
// earlier one left behind. A job's own state (its workers, stop, activity and journal) lives in the
// JobRegistry of whoever started it and goes with it; where a job's progress goes is its JobChannel's.
void ResetProcessState();

} // namespace norvi
