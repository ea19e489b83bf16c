#include "core/sendlog/ModelJobRows.h"

#include "core/sendlog/SendLogModel.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace norvi {

ModelJobRows::ModelJobRows(SendLogModel& model, QItemSelectionModel& selection)
    : m_model(model), m_selection(selection) {}

bool ModelJobRows::valid(int row) const {
    return row >= 0 && row < m_model.rowCount();
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

void ModelJobRows::fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                                  const QByteArray& content) {
    const int position = m_model.positionOf(rowId);
    if (position < 0)
        return; // the user deleted the row while the job ran
    m_model.setSendResult(position, code, codeImage, result, content);
}

void ModelJobRows::setQueryResult(int row, const QByteArray& code, const QByteArray& result) {
    if (!valid(row))
        return;
    m_model.setText(row, ColQueryCode, code);
    m_model.setText(row, ColQueryResult, result);
}

int ModelJobRows::rowCount() {
    return m_model.rowCount();
}

QByteArray ModelJobRows::text(int row, int column) {
    if (!valid(row) || column < 0 || column >= kSendLogColumns)
        return QByteArray();
    return m_model.text(row, column);
}

quint64 ModelJobRows::addedOrder(int row) {
    return valid(row) ? m_model.rowId(row) : 0;
}

quint32 ModelJobRows::addedRun(int row) {
    return valid(row) ? m_model.rowRun(row) : 0;
}

int ModelJobRows::rowImage(int row) {
    return valid(row) ? m_model.rowImage(row) : int(ImageNone);
}

int ModelJobRows::codeImage(int row) {
    return valid(row) ? m_model.codeImage(row) : int(ImageNone);
}

// A row counts as selected by its name cell, as isSelected() sees it. The ranges of a selection never
// overlap, so each selected row is in exactly one range that starts at column 0.
QVector<int> ModelJobRows::selectedRows() {
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

bool ModelJobRows::isSelected(int row) {
    return valid(row) && m_selection.isSelected(m_model.index(row, ColName));
}

void ModelJobRows::setSelected(int row, bool selected) {
    if (!valid(row))
        return;
    m_selection.select(m_model.index(row, ColName),
                       (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                           QItemSelectionModel::Rows);
}

void ModelJobRows::setSelectedRows(const QVector<int>& rows, bool selected) {
    QVector<int> sorted;
    sorted.reserve(rows.size());
    for (int row : rows)
        if (valid(row))
            sorted.append(row);
    if (sorted.isEmpty())
        return;
    std::sort(sorted.begin(), sorted.end());
    QItemSelection ranges;
    const int lastColumn = m_model.columnCount() - 1;
    for (qsizetype i = 0; i < sorted.size();) {
        qsizetype j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] <= sorted[j] + 1)
            ++j;
        ranges.select(m_model.index(sorted[i], ColName), m_model.index(sorted[j], lastColumn));
        i = j + 1;
    }
    m_selection.select(ranges, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

} // namespace norvi
