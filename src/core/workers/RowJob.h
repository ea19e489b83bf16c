#pragma once

#include "core/shared/Config.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/JobOwner.h"
#include "core/workers/WorkerMode.h"

#include <QByteArray>

#include <vector>

namespace norvi {

// A send-log row as a list job is handed it: named by its id, with what is known of its message (the send
// code and result, which holds the MsgId, and the query cells). The job gives its answers back by that id.
struct JobRow {
    quint64 rowId = 0;
    int listed = 0; // its place in the list when the job began (0 first): the record names rows by it
    DeliveryCells cells;
};

// A query or cancellation as its starter hands it to the worker: the list jobs of the send log, and the
// single MsgId's of the query dialog. Like a SendRun, the worker reads nothing else for the job: a list job's
// rows come as values, read from the list when it was asked for.
struct RowJob {
    WorkerMode mode = WorkerMode::Query; // Query or Cancel
    GatewayTarget gateway;               // where the job logs in, resolved before it starts
    JobOwner* owner = nullptr;           // the window that started the job: a single MsgId's result box, the questions
    QByteArray singleMsgId;              // a single query's or cancellation's MsgId; empty for a list job
    // The rows a list job walks: all rows of the send log (true), or the rows selected when it begins.
    bool QueryAll = false;
    std::vector<JobRow> rows; // those rows, in list order
};

} // namespace norvi
