#pragma once

// What is still process-wide, as one unit: the reset below puts the seams a test may have set back together.
namespace norvi {

// Puts the clock, the message area and the operation log's folder back to their state at start. Tests call it between
// cases so none depends on what an earlier one left behind. A job's own state (its workers, stop, activity and journal)
// lives in the JobRegistry of whoever started it and goes with it.
void ResetProcessState();

} // namespace norvi
