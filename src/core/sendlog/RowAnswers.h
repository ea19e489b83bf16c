#pragma once

#include <QByteArray>
#include <QVector>

namespace norvi {

// The answers of a list query or cancellation, by the send log's row id, as the user-interface thread takes
// them in (the list, norvi-cli's log file). The rows may have moved meanwhile; a row that is gone takes none.
class RowAnswers {
public:
    virtual ~RowAnswers() = default;
    // The job walks all rows (true) or the rows selected when it began: what it does to the selection
    // follows from it. Before the job starts.
    virtual void walkBegins(bool allRows) { (void)allRows; }
    // Rows the job came to, in its order: asked about (`asked`), or passed by. The list shows them in its
    // selection: an all-rows job selects the rows it asks about, a selected-rows job lets go of those it
    // passes by.
    virtual void walked(const QVector<quint64>& rowIds, bool asked) {
        (void)rowIds;
        (void)asked;
    }
    // The rows walked since the last call are all handed over: what they change in the list shows now. The hand-over
    // calls it at the end of each batch, so a long walk changes the selection once a batch, not once a row.
    virtual void settle() {}
    // A row's new 查詢碼 and 查詢結果.
    virtual void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) = 0;
};

} // namespace norvi
