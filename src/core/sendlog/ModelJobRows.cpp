#include "core/sendlog/ModelJobRows.h"

#include "core/sendlog/SendLogModel.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace norvi {

ModelJobRows::ModelJobRows(SendLogModel& model, QItemSelectionModel& selection)
    : m_model(model), m_selection(selection) {
    QObject::connect(&m_selection, &QItemSelectionModel::selectionChanged, &m_watch, [this] {
        if (!m_marking)
            m_jobSelection = false;
    });
}

quint64 ModelJobRows::addRow(const QByteArray& caption, int image, const QByteArray& mobile,
                             const QByteArray& sendTime) {
    // The caption places the row; a key in another sort column moves it at the next insert, as when a row
    // is typed into a report list and its cells follow.
    SendLogRow row;
    row.texts[ColName] = caption;
    row.image = image;
    row.texts[ColMobile] = mobile;
    row.texts[ColSendTime] = sendTime;
    return m_model.addRow(row, m_run);
}

void ModelJobRows::beginBatch() {
    m_model.beginRowBatch();
}

void ModelJobRows::endBatch() {
    m_model.endRowBatch();
}

void ModelJobRows::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                  const QByteArray& content) {
    const int position = m_model.positionOf(rowId);
    if (position < 0)
        return; // the user deleted the row while the job ran
    m_model.setSendResult(position, code, codeImage, result, content);
}

void ModelJobRows::walked(const QVector<quint64>& rowIds, bool asked) {
    // An all-rows job selects the rows it asks about; a selected-rows job lets go of the rows it passes by.
    if (asked != m_walkAll)
        return;
    QVector<int> positions;
    positions.reserve(rowIds.size());
    for (const quint64 id : rowIds)
        if (const int position = m_model.positionOf(id); position >= 0)
            positions.append(position);
    if (!m_walkAll) {
        setSelectedRows(positions, false);
        return;
    }
    // The rows asked are shown, but the marks are the job's: a later command of the whole list still takes
    // every row, as it did now, until the user selects rows.
    m_marking = true;
    setSelectedRows(positions, true);
    m_marking = false;
    m_jobSelection = true;
}

void ModelJobRows::answered(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    const int position = m_model.positionOf(rowId);
    if (position < 0)
        return;
    m_model.setText(position, ColQueryCode, code);
    m_model.setText(position, ColQueryResult, result);
}

int ModelJobRows::rowCount() const {
    return m_model.rowCount();
}

const SendLogRow& ModelJobRows::row(int position) const {
    return m_model.row(position);
}

quint64 ModelJobRows::rowId(int position) const {
    return m_model.rowId(position);
}

quint32 ModelJobRows::addedRun(int position) const {
    return m_model.rowRun(position);
}

QVector<int> ModelJobRows::chosenRows() const {
    return m_jobSelection ? QVector<int>() : selectedRows();
}

// A row counts as selected by its name cell. The ranges of a selection never overlap, so each selected row
// is in exactly one range that starts at column 0.
QVector<int> ModelJobRows::selectedRows() const {
    QVector<int> rows;
    for (const QItemSelectionRange& range : m_selection.selection())
        if (range.left() == ColName)
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.append(r);
    std::sort(rows.begin(), rows.end());
    return rows;
}

int ModelJobRows::selectedCount() const {
    int count = 0;
    for (const QItemSelectionRange& range : m_selection.selection())
        if (range.left() == ColName)
            count += range.height();
    return count;
}

QItemSelection ModelJobRows::rangesOf(QVector<int> rows) const {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= m_model.rowCount(); }),
               rows.end());
    std::sort(rows.begin(), rows.end());
    QItemSelection ranges;
    const int lastColumn = m_model.columnCount() - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] <= rows[j] + 1)
            ++j;
        ranges.select(m_model.index(rows[i], ColName), m_model.index(rows[j], lastColumn));
        i = j + 1;
    }
    return ranges;
}

void ModelJobRows::setSelectedRows(const QVector<int>& rows, bool selected) {
    const QItemSelection ranges = rangesOf(rows);
    if (!ranges.isEmpty())
        m_selection.select(ranges, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void ModelJobRows::selectExactly(const QVector<int>& rows) {
    m_selection.select(rangesOf(rows), QItemSelectionModel::ClearAndSelect);
}

} // namespace norvi
