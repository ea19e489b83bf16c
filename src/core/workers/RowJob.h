#pragma once

#include "core/shared/Config.h"
#include "core/workers/JobOwner.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>

namespace norvi {

// A query or cancellation as its starter hands it to the worker: the list jobs of the send log, and the
// single MsgId's of the query dialog. Like a SendRun, the worker reads nothing else for the job.
struct RowJob {
    WorkerMode mode = WorkerMode::Query; // Query or Cancel
    GatewayTarget gateway;               // where the job logs in, resolved before it starts
    JobOwner* owner = nullptr;           // the window that started the job: a single MsgId's result box, the questions
    QByteArray singleMsgId;              // a single query's or cancellation's MsgId; empty for a list job
    // The rows a list job walks: all rows of the send log (true), or the rows selected when it begins.
    bool QueryAll = false;
};

} // namespace norvi
