#pragma once

#include <QString>

namespace norvi {

class LogStream;

// Where the rows of a send run are recorded as they come, before anything else sees them: norvi-cli's
// log of the run, the desktop program's journal of rows not yet saved. The worker of every send run
// (and resend) started while one is set in the program's JobRegistry appends each row to its stream.
class RowJournal {
public:
    virtual ~RowJournal() = default;
    // Called on the user-interface thread as a send run starts, before its first message: the stream
    // for the run's rows, created and on disk. nullptr, with the reason in `error`, when it cannot be;
    // nothing may be sent then.
    virtual LogStream* beginRun(QString* error) = 0;
    // The rows recorded so far were saved, cleared, or are not wanted: the record of them may go.
    virtual void rowsSettled() {}
};

} // namespace norvi
