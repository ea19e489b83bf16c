#pragma once

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogRows.h"
#include "core/sendlog/RowAnswers.h"

#include <QElapsedTimer>
#include <QItemSelection>
#include <QObject>
#include <QTimer>

#include <map>

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
    void walkBegins(bool allRows) override;
    void walked(const QVector<quint64>& rowIds, bool asked) override;
    void settle() override;
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
    // How long the rows a walk came to may wait after a hand-over before the list shows them (0: at once).
    void showWalkEvery(int ms) { m_showEveryMs = ms; }

private:
    QItemSelection rangesOf(QVector<int> rows) const;
    // The rows walked and not yet shown go into the selection in one change. Every reader of the selection
    // shows them first, so nothing reads a selection without the marks already made.
    void showWalkedRows() const;
    // `rows` (sorted, without repeats) as whole-row ranges, each run widened over the runs of the walk it
    // touches: the walk's marks stay a few long ranges, where one range a row makes each change of a long
    // selection slower than the one before.
    QItemSelection walkRanges(const QVector<int>& rows) const;
    void replaceSelection(const QItemSelection& ranges) const;
    // `selection` without the rows `rows` (sorted, without repeats).
    static QItemSelection withoutRows(const QItemSelection& selection, const QVector<int>& rows);

    SendLogModel& m_model;
    QItemSelectionModel& m_selection;
    quint32 m_run = 0;      // the send run whose rows addRow adds now
    bool m_walkAll = false; // the list job now running walks all rows
    // The selection is what an all-rows job marked, and the user has not changed it since.
    mutable bool m_jobSelection = false;
    mutable bool m_marking = false;     // the selection changes because a job marks rows
    mutable bool m_showingWalk = false; // the selection changes because a job's walk is shown
    mutable QVector<quint64> m_walked;  // rows walked, not yet shown
    // A change of a selection of many ranges costs in proportion to them: the walk is shown at most this often.
    mutable QElapsedTimer m_sinceShown;
    mutable QTimer m_showLater;
    int m_showEveryMs;
    // The runs of rows the walk has shown (first position to last), while no row moved and nothing else changed
    // the selection: only then is a row next to them still as the walk left it.
    mutable std::map<int, int> m_walkRuns;
    QObject m_watch; // ends the watch of the selection and the model with this object
};

} // namespace norvi
