#pragma once

#include <QString>

namespace norvi {

class LogStream;
struct SendLogRow;

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
    // A list job (a query, a cancellation, a follow-up round) gave the row an answer: `row` as it now stands,
    // recorded beside the run's rows, so that an answer the program got is not lost with it. On the
    // user-interface thread, as the answer reaches the list.
    virtual void answered(const SendLogRow& row) { (void)row; }
    // The answers of a job or round are all in: they go to the disk now, not within the second.
    virtual void answersDone() {}
};

} // namespace norvi
