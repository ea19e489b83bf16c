#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QVector>

namespace norvi {

// The send log as the user-interface thread reads it when it starts a job: its rows in list order, each with
// its id, and the selection. A job gets values read from it (RowJob, SendRun), never this.
class LogRows {
public:
    virtual ~LogRows() = default;
    virtual int rowCount() const = 0;
    virtual const SendLogRow& row(int position) const = 0;
    // The row's id: it names the row in answers, and a row added later has a larger one (a file's rows in
    // the file's order, then the rows jobs appended), so the rows of one message are read in the order
    // they were added, never in the list's sort.
    virtual quint64 rowId(int position) const = 0;
    // The send run of this program that added the row (runs are numbered from 1 by startRun); 0 for a row
    // read from a file, whose run is not known.
    virtual quint32 addedRun(int position) const {
        (void)position;
        return 0;
    }
    virtual QVector<int> selectedRows() const = 0; // in list order
    // The selection as the user's choice of rows, for a command that takes the selection or else every row:
    // empty while the selection is only what a job of all rows marked, which the user never chose.
    virtual QVector<int> chosenRows() const { return selectedRows(); }
};

} // namespace norvi
