#include "core/sendlog/SendLogModel.h"

#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/ShownText.h"

#include <algorithm>

namespace norvi {

namespace {

const char* const kPlainCaptions[kSendLogColumns] = {
    "名稱", "行動電話", "傳送時間", "傳送碼", "傳送結果", "查詢碼", "查詢結果", "訊息內容",
};

// A row is one line: the line breaks and tabs of a message show as spaces (the content viewer shows them
// as they are); any other control character, and every one in a text from a file or the gateway, shows
// as "\xNN".
QString shownCell(const QByteArray& text, int column) {
    QString shown = fromBig5(text);
    if (column == ColContent) {
        for (QChar& c : shown)
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
                c = QLatin1Char(' ');
    }
    return escapeControls(shown);
}

} // namespace

SendLogModel::SendLogModel(QObject* parent) : QAbstractTableModel(parent) {}

SendLogModel::~SendLogModel() = default;

QString SendLogModel::plainCaption(int column) {
    if (column < 0 || column >= kSendLogColumns)
        return QString();
    return QString::fromUtf8(kPlainCaptions[column]);
}

int SendLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.count();
}

int SendLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSendLogColumns;
}

QVariant SendLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.count() || index.column() >= kSendLogColumns)
        return QVariant();
    const Row* r = m_rows.rowAt(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return shownCell(r->data.texts[std::size_t(column)], column);
    case Qt::TextAlignmentRole:
        return column == ColName ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    case ImageRole:
        if (column == ColName)
            return r->data.image;
        return column == ColSendCode ? r->data.codeImage : int(ImageNone);
    case RowIdRole:
        return r->id;
    default:
        return QVariant();
    }
}

QVariant SendLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kSendLogColumns)
        return QVariant();
    if (role == Qt::DisplayRole) {
        QString caption = plainCaption(section);
        if (section == m_markedColumn)
            caption += m_sortAscending ? QStringLiteral(" ↑") : QStringLiteral(" ↓");
        return caption;
    }
    if (role == Qt::TextAlignmentRole)
        return section == ColName ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    return QVariant();
}

Qt::ItemFlags SendLogModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

const SendLogRow& SendLogModel::row(int position) const {
    return m_rows.rowAt(position)->data;
}

quint64 SendLogModel::rowId(int position) const {
    return m_rows.rowAt(position)->id;
}

quint32 SendLogModel::rowRun(int position) const {
    return m_rows.rowAt(position)->run;
}

int SendLogModel::positionOf(quint64 id) const {
    if (id < m_firstId || id - m_firstId >= m_byId.size())
        return -1;
    const Row* r = m_byId[std::size_t(id - m_firstId)];
    return r ? m_rows.positionOf(r) : -1;
}

// ---- order ----

const QByteArray& SendLogModel::key(const Row* r) const {
    return r->data.texts[std::size_t(m_sortColumn)];
}

bool SendLogModel::keyBefore(const QByteArray& a, const QByteArray& b) const {
    return m_sortAscending ? compareSendLogKeys(a, b) < 0 : compareSendLogKeys(b, a) < 0;
}

bool SendLogModel::before(const Row* a, const Row* b) const {
    return keyBefore(key(a), key(b));
}

// First position whose key sorts after k: a new row goes after its equals. The list must be in order.
int SendLogModel::upperBound(const QByteArray& k) const {
    return m_rows.partitionPoint([&](const Row* r) { return !keyBefore(k, key(r)); });
}

// First position whose key does not sort before k.
int SendLogModel::lowerBound(const QByteArray& k) const {
    return m_rows.partitionPoint([&](const Row* r) { return keyBefore(key(r), k); });
}

// Rearranges the rows as one layout change, keeping every persistent index (and so the selection of
// a view) on its row.
template <typename Rearrange> void SendLogModel::changeLayout(Rearrange rearrange) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<Row*> rowsOfFrom;
    rowsOfFrom.reserve(std::size_t(from.size()));
    for (const QModelIndex& index : from)
        rowsOfFrom.push_back(index.isValid() && index.row() < m_rows.count() ? m_rows.rowAt(index.row()) : nullptr);
    rearrange();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype i = 0; i < from.size(); ++i) {
        const Row* r = rowsOfFrom[std::size_t(i)];
        to.append(r ? index(m_rows.positionOf(r), from.at(i).column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SendLogModel::sortAll() {
    changeLayout([this] {
        struct SortItem {
            quint64 prefix;
            const QByteArray* key;
            Row* row;
        };
        std::vector<SortItem> items;
        items.reserve(std::size_t(m_rows.count()));
        m_rows.forEach([&](Row* r) { items.push_back({sendLogKeyPrefix(key(r)), &key(r), r}); });
        auto less = [](const SortItem& a, const SortItem& b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            return compareSendLogKeys(*a.key, *b.key) < 0;
        };
        if (m_sortAscending)
            std::stable_sort(items.begin(), items.end(), less);
        else
            std::stable_sort(items.begin(), items.end(),
                             [&less](const SortItem& a, const SortItem& b) { return less(b, a); });
        std::vector<Row*> ordered;
        ordered.reserve(items.size());
        for (const SortItem& item : items)
            ordered.push_back(item.row);
        m_rows.rebuild(ordered);
        for (Row* r : m_moved)
            r->moved = false;
        m_moved.clear();
        m_needsSort = false;
    });
}

void SendLogModel::markMoved(Row* r) {
    if (!r->moved) {
        r->moved = true;
        m_moved.push_back(r);
    }
}

// Puts every row whose key changed where a stable sort of the whole list would put it. The other rows
// are still in order among themselves, so each changed row only needs its slot among them: after the
// rows with a smaller key, and among the rows with an equal key at the place its current position gives
// it (a stable sort keeps that relative order). Changed rows sharing a slot go in key order.
void SendLogModel::placeMovedRows() {
    if (m_needsSort) {
        sortAll();
        return;
    }
    if (m_moved.empty())
        return;
    changeLayout([this] {
        struct Placement {
            Row* row;
            int position; // before the change
            int slot;     // number of unchanged rows before it afterwards
        };
        std::vector<Placement> moved;
        moved.reserve(m_moved.size());
        for (Row* r : m_moved)
            moved.push_back({r, m_rows.positionOf(r), 0});
        std::sort(moved.begin(), moved.end(),
                  [](const Placement& a, const Placement& b) { return a.position < b.position; });
        for (auto it = moved.rbegin(); it != moved.rend(); ++it)
            m_rows.takeAt(it->position);
        for (std::size_t i = 0; i < moved.size(); ++i) {
            const int unchangedBefore = moved[i].position - int(i);
            const QByteArray& k = key(moved[i].row);
            moved[i].slot = std::clamp(unchangedBefore, lowerBound(k), upperBound(k));
        }
        std::stable_sort(moved.begin(), moved.end(), [this](const Placement& a, const Placement& b) {
            return a.slot != b.slot ? a.slot < b.slot : before(a.row, b.row);
        });
        for (std::size_t t = 0; t < moved.size(); ++t) {
            m_rows.insertAt(moved[t].slot + int(t), moved[t].row);
            moved[t].row->moved = false;
        }
        m_moved.clear();
    });
}

// ---- changes ----

quint64 SendLogModel::addRow(const QByteArray& caption, int image) {
    SendLogRow row;
    row.texts[ColName] = caption;
    row.image = image;
    return addRow(row);
}

quint64 SendLogModel::addRow(const SendLogRow& row, quint32 run) {
    const bool batched = m_batchDepth > 0;
    if (!batched)
        placeMovedRows();
    auto* r = new Row;
    r->data = row;
    r->id = m_nextId++;
    r->run = run;
    // The row is placed before its cells count: by its caption, or as an empty key. In a batch it waits at
    // the bottom, where an insertion moves no other row.
    const int position = batched ? m_rows.count() : upperBound(m_sortColumn == ColName ? row.caption() : QByteArray());
    beginInsertRows(QModelIndex(), position, position);
    m_rows.insertAt(position, r);
    m_byId.push_back(r);
    endInsertRows();
    if (batched || (m_sortColumn != ColName && !row.texts[std::size_t(m_sortColumn)].isEmpty()))
        markMoved(r);
    return r->id;
}

void SendLogModel::endRowBatch() {
    if (m_batchDepth > 0 && --m_batchDepth == 0)
        placeMovedRows();
}

void SendLogModel::setText(int position, int column, const QByteArray& text) {
    Row* r = m_rows.rowAt(position);
    QByteArray& cell = r->data.texts[std::size_t(column)];
    if (cell == text)
        return;
    cell = text;
    emit dataChanged(index(position, column), index(position, column), {Qt::DisplayRole});
    if (column == m_sortColumn)
        markMoved(r);
    if (column == ColName && m_batchDepth == 0)
        placeMovedRows();
}

void SendLogModel::setAnswer(int position, const QByteArray& code, const QByteArray& result) {
    const SendLogRow& before = row(position);
    const bool changed = before.texts[ColQueryCode] != code || before.texts[ColQueryResult] != result;
    setText(position, ColQueryCode, code);
    setText(position, ColQueryResult, result);
    if (changed && m_journal)
        m_journal->answered(row(position));
}

void SendLogModel::answersDone() {
    if (m_journal)
        m_journal->answersDone();
}

void SendLogModel::setCodeImage(int position, int image) {
    Row* r = m_rows.rowAt(position);
    if (r->data.codeImage == image)
        return;
    r->data.codeImage = image;
    emit dataChanged(index(position, ColSendCode), index(position, ColSendCode), {ImageRole});
}

void SendLogModel::setSendResult(int position, const QByteArray& code, int codeImage, const QByteArray& result,
                                 const QByteArray& content) {
    Row* r = m_rows.rowAt(position);
    bool changed = r->data.codeImage != codeImage;
    bool keyChanged = false;
    r->data.codeImage = codeImage;
    for (const auto& [column, text] :
         {std::pair<int, const QByteArray&>{ColSendCode, code}, {ColSendResult, result}, {ColContent, content}}) {
        QByteArray& cell = r->data.texts[std::size_t(column)];
        if (cell == text)
            continue;
        cell = text;
        changed = true;
        keyChanged = keyChanged || column == m_sortColumn;
    }
    // A send run fills a row for every message: the roles are made once.
    static const QList<int> roles{Qt::DisplayRole, ImageRole};
    if (changed)
        emit dataChanged(index(position, ColSendCode), index(position, ColContent), roles);
    if (keyChanged)
        markMoved(r);
}

void SendLogModel::removePositions(QVector<int> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(
        std::remove_if(positions.begin(), positions.end(), [this](int p) { return p < 0 || p >= m_rows.count(); }),
        positions.end());
    // From the bottom up, one contiguous run at a time, so the positions still to come stay valid.
    qsizetype end = positions.size();
    while (end > 0) {
        qsizetype first = end - 1;
        while (first > 0 && positions[first - 1] == positions[first] - 1)
            --first;
        const int top = positions[first];
        const int bottom = positions[end - 1];
        beginRemoveRows(QModelIndex(), top, bottom);
        for (int p = bottom; p >= top; --p) {
            Row* r = m_rows.takeAt(p);
            m_byId[std::size_t(r->id - m_firstId)] = nullptr;
            if (r->moved)
                m_moved.erase(std::find(m_moved.begin(), m_moved.end(), r));
            delete r;
        }
        endRemoveRows();
        end = first;
    }
}

void SendLogModel::clear() {
    if (m_rows.count() == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, m_rows.count() - 1);
    m_rows.clear();
    m_byId.clear();
    m_firstId = m_nextId;
    m_moved.clear();
    endRemoveRows();
}

// ---- sort rule ----

void SendLogModel::columnClick(int column) {
    if (column < 0 || column >= kSendLogColumns)
        return;
    if (column != m_sortColumn)
        m_sortAscending = false;
    m_sortAscending = !m_sortAscending;
    m_sortColumn = column;
    m_markedColumn = column;
    emit headerDataChanged(Qt::Horizontal, 0, kSendLogColumns - 1);
    sortAll();
}

void SendLogModel::resetColumnCaptions() {
    m_sortColumn = ColName;
    m_sortAscending = false;
    m_markedColumn = -1;
    m_needsSort = true;
    emit headerDataChanged(Qt::Horizontal, 0, kSendLogColumns - 1);
}

} // namespace norvi
