#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QByteArray>

namespace norvi {

// Where a send run's rows go: the few calls it makes, all of them writes. The desktop program's list and
// norvi-cli's printer take them on the user-interface thread, handed over by RowHandOver; a worker never
// reads the send log. A query's or cancellation's answers come back by row id through RowAnswers, and the
// rows a job starts from are handed to it as values (RowJob). Texts are Big5.
class JobRows {
public:
    virtual ~JobRows() = default;

    // Adds a row with its caption, row image and first cells. It lands in sorted position, and later
    // rows may move it, so it is named by the returned id rather than by its position.
    virtual quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                           const QByteArray& sendTime) = 0;
    // Fills the result cells of a row made by addRow.
    virtual void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                const QByteArray& content) = 0;
    // A send run is about to add rows: those added from now on are that run's (one list may name a message
    // twice, and the two are told apart by their run).
    virtual void startRun() {}
    // The rows added between these two calls may be put in their sorted places together at the end.
    virtual void beginBatch() {}
    virtual void endBatch() {}
};

} // namespace norvi
