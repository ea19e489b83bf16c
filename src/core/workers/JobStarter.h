#pragma once

#include "core/shared/Config.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace norvi {

class JobOwner;
class JobRows;
class SendThd;

// Starting the one worker of a job. Everything here runs on the user-interface thread.
//
// A job is started only while no worker is registered in WorkerList: the windows normally make that
// impossible (the progress window keeps the starting window disabled), and a request that slips
// through anyway is refused rather than emptying the lists under a running worker.

// True while a worker is registered (its job has not ended yet).
bool WorkerRegistered();

// The text of a refused start.
QString WorkerBusyText();

// Creates one suspended worker with index 1 for `mode` (WorkerMode), sets its owner, send log and
// single MsgId, empties WorkerList, clears a stop asked for earlier (ClearStop) and the job's activity,
// registers {worker, 1} and resumes it. `gateway` is where it logs in: the caller has resolved it. `sendLog` is the
// send log as the user-interface thread reaches it, the model's own access (not needed for a single MsgId): the worker
// wraps it in a RowHandOver itself. The caller has resolved the gateway address already. Returns false with a
// message in `errorText` when a worker is still registered; nothing is changed then. The returned worker (through
// `started`) frees itself when done: hold it in a QPointer if it is kept past this call.
bool StartWorker(const GatewayTarget& gateway, WorkerMode mode, JobOwner* owner, JobRows* sendLog,
                 const QByteArray& singleMsgId, QString* errorText, SendThd** started = nullptr);

// The send dialog's start of a run, in its order: announce the counting (progress state 10), empty
// SendQueue, let `buildQueue` append the run's records and return its number of short messages
// (stored in `totalCount`, the progress maximum), clear the stop (ClearStop), start the send worker. Refused,
// before anything is emptied, while a worker is registered.
bool StartSendRun(const GatewayTarget& gateway, JobOwner* sendDialog, JobRows* sendLog,
                  const std::function<int()>& buildQueue, int* totalCount, QString* errorText,
                  SendThd** started = nullptr);

} // namespace norvi
