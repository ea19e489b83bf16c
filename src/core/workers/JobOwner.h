#pragma once

#include "core/workers/WorkerMode.h"

#include <QByteArray>

namespace norvi {

// A send run's reservation settings, as the send dialog or --at and --limit had them at its start.
struct SendSchedule {
    bool scheduled = false; // 預約傳送 chosen
    QByteArray orderTime;   // 14 digits yyyyMMddHHmm00, meaningful when scheduled
    int limitMinutes = 0;   // validity in minutes, 0 for no limit
};

// The window that started a job (the worker's ownerForm()): the send dialog, the main window's send log,
// or the query dialog. The desktop windows implement it; the command-line front end and the tests
// implement it plainly. Every member is called on the user-interface thread; the worker waits for it
// unless the member says otherwise.
class JobOwner {
public:
    virtual ~JobOwner() = default;

    // The job of a single MsgId is over: close this window. The worker does not wait for it.
    virtual void closeForm() = 0;

    // The result of a single query or cancellation: a modal box with an OK button, titled with the
    // MsgId. Returns when the user has dismissed it. Texts are Big5.
    virtual void showResultBox(const QByteArray& msgId, const QByteArray& text) = 0;

    // The gateway did not answer `failures` exchanges in a row (time-outs, refused or dropped
    // connections) of a send, query or cancel run (`mode`): true goes on and is asked again after as
    // many more, false stops the run, whose unreached recipients then get the not-sent rows of a stop.
    // The desktop windows ask the user (StopRows::continueQuestion); by default the run gives up, as
    // the command line does.
    virtual bool continueAfterTransportFailures(int failures, WorkerMode mode) {
        (void)failures;
        (void)mode;
        return false;
    }
};

} // namespace norvi
