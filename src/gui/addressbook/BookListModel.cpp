#include "gui/addressbook/BookListModel.h"

#include "core/shared/Big5.h"
#include "gui/shared/IconTable.h"

#include <algorithm>

namespace norvi {

int BookIconFor(RowKind kind) {
    switch (kind) {
    case RowKind::Member:
        return BookIcon::Member;
    case RowKind::Group:
        return BookIcon::Group;
    case RowKind::ListFileRow:
        return BookIcon::ListFileRow;
    case RowKind::TypedNumber:
        return BookIcon::TypedNumber;
    }
    return -1;
}

BookListModel::BookListModel(int columns, QObject* parent) : QAbstractTableModel(parent), m_columns(columns) {}

int BookListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int BookListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant BookListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return QVariant();
    const BookRow& r = m_rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        if (role == Qt::ToolTipRole && index.column() != 0)
            return QVariant();
        return fromBig5(r.text(index.column()));
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(IconTable::icon(BookIconFor(r.kind))) : QVariant();
    case IdRole:
        return r.id;
    case ImageRole:
        return BookIconFor(r.kind);
    default:
        return QVariant();
    }
}

QVariant BookListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_captions.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_captions.at(section);
}

Qt::ItemFlags BookListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

void BookListModel::setRows(std::vector<BookRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int BookListModel::findId(int32_t id, RowKind kind) const {
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        if (m_rows[r].id == id && m_rows[r].kind == kind)
            return int(r);
    return -1;
}

void BookListModel::appendRow(const BookRow& row) {
    insertRowAt(int(m_rows.size()), row);
}

void BookListModel::insertRowAt(int position, const BookRow& row) {
    position = std::clamp(position, 0, int(m_rows.size()));
    beginInsertRows(QModelIndex(), position, position);
    m_rows.insert(m_rows.begin() + position, row);
    endInsertRows();
}

void BookListModel::replaceRow(int r, const BookRow& row) {
    if (r < 0 || r >= int(m_rows.size()))
        return;
    m_rows[std::size_t(r)] = row;
    emit dataChanged(index(r, 0), index(r, m_columns - 1));
}

void BookListModel::removeRowsAt(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, a run of neighbouring rows at a time.
    int i = int(rows.size()) - 1;
    while (i >= 0) {
        const int last = rows[i];
        int first = last;
        while (i > 0 && rows[i - 1] == first - 1)
            first = rows[--i];
        --i;
        if (first < 0 || last >= int(m_rows.size()))
            continue;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
    }
}

void BookListModel::setCaptions(const QStringList& captions) {
    m_captions = captions;
    emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
}

void BookListModel::sortRows(int column, bool ascending) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The persistent indexes (selection, current row) follow their rows to their new places.
    const std::vector<std::size_t> order = SortedOrder(m_rows, column, ascending);
    std::vector<int> newPosition(m_rows.size());
    std::vector<BookRow> rows;
    rows.reserve(m_rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newPosition[order[i]] = int(i);
        rows.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(rows);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before)
        after.append(index(newPosition[std::size_t(idx.row())], idx.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BookListModel::sortByCaptionLocale() {
    std::vector<BookRow> rows = m_rows;
    std::stable_sort(rows.begin(), rows.end(), [](const BookRow& a, const BookRow& b) {
        return QString::localeAwareCompare(fromBig5(a.caption), fromBig5(b.caption)) < 0;
    });
    setRows(std::move(rows));
}

int BookListModel::captionLocalePosition(const BookRow& row) const {
    const QString caption = fromBig5(row.caption);
    const auto it = std::upper_bound(m_rows.begin(), m_rows.end(), caption, [](const QString& c, const BookRow& r) {
        return QString::localeAwareCompare(c, fromBig5(r.caption)) < 0;
    });
    return int(it - m_rows.begin());
}

} // namespace norvi
