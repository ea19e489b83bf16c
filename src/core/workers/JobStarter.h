#pragma once

#include "core/shared/Config.h"
#include "core/workers/RowJob.h"
#include "core/workers/SendRun.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>
#include <QString>

namespace norvi {

class JobOwner;
class JobRegistry;
class JobRows;
class RowAnswers;
class SendThd;

// Starting the one worker of a job. Everything here runs on the user-interface thread.
//
// A job is started only while no worker is registered in the program's JobRegistry: the windows normally
// make that impossible (the progress window keeps the starting window disabled), and a request that slips
// through anyway is refused rather than emptying the lists under a running worker.

// The text of a refused start.
QString WorkerBusyText();

// Creates one suspended worker with index 1 for a query or cancellation, moves `job` (a list job's rows among it)
// into it, clears the job's activity, registers {worker, 1} in `jobs` and resumes it. `answers` is where a list
// job's answers land on the user-interface thread (not needed for a single MsgId): the worker wraps it in a
// RowHandOver itself. Returns false with a message in `errorText` when a
// worker is still registered; nothing is changed then. The returned worker (through `started`) frees itself when
// done: hold it in a QPointer if it is kept past this call. A send run starts through StartSendWorker.
bool StartWorker(JobRegistry& jobs, RowJob job, RowAnswers* answers, QString* errorText, SendThd** started = nullptr);

// The same for a send run, which moves into the worker: its journal is begun first (jobs.journal()), and a journal
// that cannot begin refuses the run. Refused, with `run` left unsent, while a worker is registered.
bool StartSendWorker(JobRegistry& jobs, SendRun run, JobRows* sendLog, QString* errorText, SendThd** started = nullptr);

// The send dialog's and norvi-cli send's start of a run built already: announce the counting (progress state 10),
// start the send worker. Refused while a worker is registered.
bool StartSendRun(JobRegistry& jobs, SendRun run, JobRows* sendLog, QString* errorText, SendThd** started = nullptr);

} // namespace norvi
