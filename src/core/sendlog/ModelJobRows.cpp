#include "core/sendlog/ModelJobRows.h"

#include "core/sendlog/SendLogModel.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace norvi {

namespace {
// How long the rows a walk came to may wait to be shown: soon enough to look at once.
constexpr int kShowWalkEveryMs = 100;
} // namespace

ModelJobRows::ModelJobRows(SendLogModel& model, QItemSelectionModel& selection)
    : m_model(model), m_selection(selection), m_showEveryMs(kShowWalkEveryMs) {
    QObject::connect(&m_selection, &QItemSelectionModel::selectionChanged, &m_watch, [this] {
        if (!m_marking)
            m_jobSelection = false;
        if (!m_showingWalk)
            m_walkRuns.clear();
    });
    // Rows that move take the walk's runs with them: from then on its marks are not widened over them.
    const auto rowsMoved = [this] { m_walkRuns.clear(); };
    QObject::connect(&m_model, &QAbstractItemModel::rowsInserted, &m_watch, rowsMoved);
    QObject::connect(&m_model, &QAbstractItemModel::rowsRemoved, &m_watch, rowsMoved);
    QObject::connect(&m_model, &QAbstractItemModel::rowsMoved, &m_watch, rowsMoved);
    QObject::connect(&m_model, &QAbstractItemModel::layoutChanged, &m_watch, rowsMoved);
    QObject::connect(&m_model, &QAbstractItemModel::modelReset, &m_watch, rowsMoved);
    m_showLater.setSingleShot(true);
    QObject::connect(&m_showLater, &QTimer::timeout, &m_watch, [this] { showWalkedRows(); });
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

void ModelJobRows::walkBegins(bool allRows) {
    showWalkedRows();
    m_walkAll = allRows;
    m_walkRuns.clear();
}

void ModelJobRows::walked(const QVector<quint64>& rowIds, bool asked) {
    // An all-rows job selects the rows it asks about; a selected-rows job lets go of the rows it passes by.
    if (asked == m_walkAll)
        m_walked += rowIds;
}

// Answers that come faster than the list is shown are shown together; a selection of a walk that skipped
// every other row has a range a row, and each change of it costs more than the one before.
void ModelJobRows::settle() {
    if (m_walked.isEmpty())
        return;
    if (m_showEveryMs <= 0 || !m_sinceShown.isValid() || m_sinceShown.hasExpired(m_showEveryMs)) {
        showWalkedRows();
        return;
    }
    if (!m_showLater.isActive())
        m_showLater.start(int(std::max<qint64>(0, m_showEveryMs - m_sinceShown.elapsed())));
}

void ModelJobRows::showWalkedRows() const {
    if (m_walked.isEmpty())
        return;
    QVector<int> positions;
    positions.reserve(m_walked.size());
    for (const quint64 id : std::as_const(m_walked))
        if (const int position = m_model.positionOf(id); position >= 0)
            positions.append(position);
    m_walked.clear();
    m_showLater.stop();
    m_sinceShown.start();
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (positions.isEmpty())
        return;
    m_showingWalk = true;
    if (!m_walkAll) {
        replaceSelection(withoutRows(m_selection.selection(), positions));
        m_showingWalk = false;
        return;
    }
    const QItemSelection ranges = walkRanges(positions);
    // The rows asked are shown, but the marks are the job's: a later command of the whole list still takes
    // every row, as it did now, until the user selects rows.
    m_marking = true;
    m_selection.select(ranges, QItemSelectionModel::Select);
    m_marking = false;
    m_showingWalk = false;
    m_jobSelection = true;
}

QItemSelection ModelJobRows::walkRanges(const QVector<int>& rows) const {
    // Each run joins the runs shown before that it touches; the selection's own merge then drops the ranges the
    // widened one covers.
    std::vector<int> joined; // the first rows of the runs that changed
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        int first = rows[i];
        int last = rows[j];
        auto next = m_walkRuns.upper_bound(first);
        if (next != m_walkRuns.begin()) {
            const auto before = std::prev(next);
            if (before->second >= first - 1) {
                first = before->first;
                last = std::max(last, before->second);
                m_walkRuns.erase(before);
            }
        }
        for (next = m_walkRuns.lower_bound(first); next != m_walkRuns.end() && next->first <= last + 1;) {
            last = std::max(last, next->second);
            next = m_walkRuns.erase(next);
        }
        m_walkRuns[first] = last;
        joined.push_back(first);
        i = j + 1;
    }
    QItemSelection ranges;
    const int lastColumn = m_model.columnCount() - 1;
    int shown = -1; // a run that took in a later one is shown once
    for (const int first : joined) {
        const auto run = std::prev(m_walkRuns.upper_bound(first));
        if (run->first == shown)
            continue;
        shown = run->first;
        ranges.select(m_model.index(run->first, ColName), m_model.index(run->second, lastColumn));
    }
    return ranges;
}

void ModelJobRows::answered(quint64 rowId, const QByteArray& code, const QByteArray& result) {
    const int position = m_model.positionOf(rowId);
    if (position < 0)
        return;
    m_model.setAnswer(position, code, result);
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
    showWalkedRows();
    return m_jobSelection ? QVector<int>() : selectedRows();
}

// A row counts as selected by its name cell. The ranges of a selection never overlap, so each selected row
// is in exactly one range that starts at column 0.
QVector<int> ModelJobRows::selectedRows() const {
    showWalkedRows();
    QVector<int> rows;
    for (const QItemSelectionRange& range : m_selection.selection())
        if (range.left() == ColName)
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.append(r);
    std::sort(rows.begin(), rows.end());
    return rows;
}

int ModelJobRows::selectedCount() const {
    showWalkedRows();
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
    showWalkedRows();
    const QItemSelection ranges = rangesOf(rows);
    if (!ranges.isEmpty())
        m_selection.select(ranges, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void ModelJobRows::selectExactly(const QVector<int>& rows) {
    showWalkedRows();
    replaceSelection(rangesOf(rows));
}

// The toolkit compares the old selection with the new one range by range, and splits one by the other: a
// selection of many ranges replaced by another of many (a resend's rows after a whole-list query, the rows a
// walk lets go of) would cost their product. Emptied first, there is nothing to compare.
void ModelJobRows::replaceSelection(const QItemSelection& ranges) const {
    m_selection.clearSelection();
    if (!ranges.isEmpty())
        m_selection.select(ranges, QItemSelectionModel::Select);
}

QItemSelection ModelJobRows::withoutRows(const QItemSelection& selection, const QVector<int>& rows) {
    QItemSelection kept;
    for (const QItemSelectionRange& range : selection) {
        const QModelIndex parent = range.parent();
        int top = range.top();
        const auto keep = [&](int bottom) {
            if (top <= bottom)
                kept.append(QItemSelectionRange(range.model()->index(top, range.left(), parent),
                                                range.model()->index(bottom, range.right(), parent)));
        };
        for (auto it = std::lower_bound(rows.cbegin(), rows.cend(), top); it != rows.cend() && *it <= range.bottom();
             ++it) {
            keep(*it - 1);
            top = *it + 1;
        }
        keep(range.bottom());
    }
    return kept;
}

} // namespace norvi
