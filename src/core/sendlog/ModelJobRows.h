#pragma once

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogRows.h"
#include "core/sendlog/RowAnswers.h"

#include <QItemSelection>
#include <QObject>

class QItemSelectionModel;

namespace norvi {

class SendLogModel;

// The send log of the main window as jobs meet it, on a model and its selection: the rows a send run adds,
// the answers a query or cancellation gives back by row id (shown in the selection too), and the rows a
// starter reads. The desktop program hands a worker's calls over to the user-interface thread
// (RowHandOver); the tests call it directly.
class ModelJobRows : public JobRows, public RowAnswers, public LogRows {
public:
    ModelJobRows(SendLogModel& model, QItemSelectionModel& selection);

    // JobRows
    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;
    void startRun() override { ++m_run; }
    void beginBatch() override;
    void endBatch() override;

    // RowAnswers
    void walkBegins(bool allRows) override { m_walkAll = allRows; }
    void walked(const QVector<quint64>& rowIds, bool asked) override;
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) override;

    // LogRows
    int rowCount() const override;
    const SendLogRow& row(int position) const override;
    quint64 rowId(int position) const override;
    quint32 addedRun(int position) const override;
    QVector<int> selectedRows() const override;
    QVector<int> chosenRows() const override;

    int selectedCount() const; // without listing the rows: cheap enough for every insert
    // Exactly these rows (positions, in any order) become the selection, as one change of it.
    void selectExactly(const QVector<int>& rows);
    // One change of the selection: runs of neighbouring rows become one range each.
    void setSelectedRows(const QVector<int>& rows, bool selected);

private:
    QItemSelection rangesOf(QVector<int> rows) const;

    SendLogModel& m_model;
    QItemSelectionModel& m_selection;
    quint32 m_run = 0;      // the send run whose rows addRow adds now
    bool m_walkAll = false; // the list job now running walks all rows
    // The selection is what an all-rows job marked, and the user has not changed it since.
    bool m_jobSelection = false;
    bool m_marking = false; // the selection changes because a job marks rows
    QObject m_watch;        // ends the watch of the selection with this object
};

} // namespace norvi
