#include "sendlog/SendLogModel.h"

#include "shared/Big5.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace norvi {

namespace {

// A block splits when it grows past kMaxBlock rows; a full sort fills blocks to kFillBlock so the rows
// that arrive afterwards find room without splitting at once.
constexpr std::size_t kMaxBlock = 1024;
constexpr std::size_t kFillBlock = 512;

const char* const kPlainCaptions[kSendLogColumns] = {
    "名稱", "行動電話", "傳送時間", "傳送碼", "傳送結果", "查詢碼", "查詢結果", "訊息內容",
};

inline unsigned char foldAsciiLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

} // namespace

struct SendLogModel::Row {
    SendLogRow data;
    quint64 id = 0;
    Block* block = nullptr;
    bool moved = false; // its key changed after it was placed
};

struct SendLogModel::Block {
    std::vector<Row*> rows;
    int start = 0;         // list position of rows[0]
    std::size_t index = 0; // position of this block in m_blocks
};

SendLogModel::SendLogModel(QObject* parent) : QAbstractTableModel(parent) {}

SendLogModel::~SendLogModel() {
    for (const auto& b : m_blocks)
        for (Row* r : b->rows)
            delete r;
}

QString SendLogModel::plainCaption(int column) {
    if (column < 0 || column >= kSendLogColumns)
        return QString();
    return QString::fromUtf8(kPlainCaptions[column]);
}

namespace {

// The first position from `from` on where the texts differ, or n. Eight bytes at a time: the texts of a
// log often share long beginnings (one message sent to many people).
qsizetype firstDifference(const unsigned char* a, const unsigned char* b, qsizetype from, qsizetype n) {
    qsizetype i = from;
    for (; i + 8 <= n; i += 8) {
        quint64 wa, wb;
        std::memcpy(&wa, a + i, 8);
        std::memcpy(&wb, b + i, 8);
        if (wa != wb) // the lowest differing byte in memory order is the first difference
            return i + qsizetype(qCountTrailingZeroBits(qFromLittleEndian(wa) ^ qFromLittleEndian(wb)) / 8);
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

int SendLogModel::compareKeys(const QByteArray& a, const QByteArray& b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(a.constData());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.constData());
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = firstDifference(pa, pb, 0, n); i < n; i = firstDifference(pa, pb, i + 1, n)) {
        unsigned char ca = pa[i];
        unsigned char cb = pb[i];
        // Folding only matters when a lower-case letter is involved, and only outside a Big5 character:
        // its second byte may look like an ASCII letter but compares by value. Byte i is such a second byte
        // when an odd run of lead-range bytes precedes it (the byte before the run cannot start a
        // character, so the run pairs up from its start). Bytes before i are equal up to the case of ASCII
        // letters, which are never lead bytes, so the run is the same in both texts.
        if (foldAsciiLetter(ca) != ca || foldAsciiLetter(cb) != cb) {
            qsizetype run = 0;
            while (run < i && isBig5LeadByte(pa[i - 1 - run]))
                ++run;
            if (run % 2 == 0) {
                ca = foldAsciiLetter(ca);
                cb = foldAsciiLetter(cb);
            }
        }
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int SendLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int SendLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kSendLogColumns;
}

QVariant SendLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_count || index.column() >= kSendLogColumns)
        return QVariant();
    const Row* r = rowAt(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return fromBig5(r->data.texts[std::size_t(column)]);
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

// ---- rows by position ----

SendLogModel::Row* SendLogModel::rowAt(int position) const {
    Q_ASSERT(position >= 0 && position < m_count);
    if (m_lastBlock < m_blocks.size()) {
        const Block* b = m_blocks[m_lastBlock].get();
        if (position >= b->start && position < b->start + int(b->rows.size()))
            return b->rows[std::size_t(position - b->start)];
    }
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), position,
                               [](int p, const std::unique_ptr<Block>& b) { return p < b->start; });
    const Block* b = (it - 1)->get();
    m_lastBlock = b->index;
    return b->rows[std::size_t(position - b->start)];
}

int SendLogModel::positionOfRow(const Row* r) const {
    const auto& rows = r->block->rows;
    return r->block->start + int(std::find(rows.begin(), rows.end(), r) - rows.begin());
}

const SendLogRow& SendLogModel::row(int position) const {
    return rowAt(position)->data;
}

quint64 SendLogModel::rowId(int position) const {
    return rowAt(position)->id;
}

int SendLogModel::positionOf(quint64 id) const {
    const Row* r = m_byId.value(id, nullptr);
    return r ? positionOfRow(r) : -1;
}

void SendLogModel::shiftStarts(std::size_t fromBlock, int delta) {
    for (std::size_t i = fromBlock; i < m_blocks.size(); ++i)
        m_blocks[i]->start += delta;
}

void SendLogModel::insertAt(int position, Row* r) {
    if (m_blocks.empty()) {
        m_blocks.push_back(std::make_unique<Block>());
    }
    Block* b;
    if (position == m_count) {
        b = m_blocks.back().get();
    } else {
        rowAt(position);
        b = m_blocks[m_lastBlock].get();
    }
    b->rows.insert(b->rows.begin() + (position - b->start), r);
    r->block = b;
    ++m_count;
    shiftStarts(b->index + 1, 1);
    if (b->rows.size() <= kMaxBlock)
        return;

    // Split the full block in two halves.
    auto second = std::make_unique<Block>();
    const std::size_t half = b->rows.size() / 2;
    second->rows.assign(b->rows.begin() + std::ptrdiff_t(half), b->rows.end());
    b->rows.resize(half);
    second->start = b->start + int(half);
    for (Row* moved : second->rows)
        moved->block = second.get();
    m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(b->index + 1), std::move(second));
    for (std::size_t i = b->index + 1; i < m_blocks.size(); ++i)
        m_blocks[i]->index = i;
}

SendLogModel::Row* SendLogModel::takeAt(int position) {
    Row* r = rowAt(position);
    Block* b = r->block;
    b->rows.erase(b->rows.begin() + (position - b->start));
    --m_count;
    shiftStarts(b->index + 1, -1);
    if (b->rows.empty()) {
        const std::size_t index = b->index;
        m_blocks.erase(m_blocks.begin() + std::ptrdiff_t(index));
        for (std::size_t i = index; i < m_blocks.size(); ++i)
            m_blocks[i]->index = i;
        m_lastBlock = 0;
    }
    r->block = nullptr;
    return r;
}

void SendLogModel::rebuildBlocks(const std::vector<Row*>& ordered) {
    m_blocks.clear();
    for (std::size_t i = 0; i < ordered.size(); i += kFillBlock) {
        auto b = std::make_unique<Block>();
        b->start = int(i);
        b->index = m_blocks.size();
        b->rows.assign(ordered.begin() + std::ptrdiff_t(i),
                       ordered.begin() + std::ptrdiff_t(std::min(ordered.size(), i + kFillBlock)));
        for (Row* r : b->rows)
            r->block = b.get();
        m_blocks.push_back(std::move(b));
    }
    m_count = int(ordered.size());
    m_lastBlock = 0;
}

// ---- order ----

const QByteArray& SendLogModel::key(const Row* r) const {
    return r->data.texts[std::size_t(m_sortColumn)];
}

bool SendLogModel::keyBefore(const QByteArray& a, const QByteArray& b) const {
    return m_sortAscending ? compareKeys(a, b) < 0 : compareKeys(b, a) < 0;
}

bool SendLogModel::before(const Row* a, const Row* b) const {
    return keyBefore(key(a), key(b));
}

// First position whose key sorts after k: a new row goes after its equals. The list must be in order.
int SendLogModel::upperBound(const QByteArray& k) const {
    auto blockIt = std::partition_point(m_blocks.begin(), m_blocks.end(), [&](const std::unique_ptr<Block>& b) {
        return !keyBefore(k, key(b->rows.back()));
    });
    if (blockIt == m_blocks.end())
        return m_count;
    const auto& rows = (*blockIt)->rows;
    auto it = std::partition_point(rows.begin(), rows.end(), [&](const Row* r) { return !keyBefore(k, key(r)); });
    return (*blockIt)->start + int(it - rows.begin());
}

// First position whose key does not sort before k.
int SendLogModel::lowerBound(const QByteArray& k) const {
    auto blockIt = std::partition_point(m_blocks.begin(), m_blocks.end(), [&](const std::unique_ptr<Block>& b) {
        return keyBefore(key(b->rows.back()), k);
    });
    if (blockIt == m_blocks.end())
        return m_count;
    const auto& rows = (*blockIt)->rows;
    auto it = std::partition_point(rows.begin(), rows.end(), [&](const Row* r) { return keyBefore(key(r), k); });
    return (*blockIt)->start + int(it - rows.begin());
}

// Rearranges the rows as one layout change, keeping every persistent index (and so the selection of
// a view) on its row.
template <typename Rearrange> void SendLogModel::changeLayout(Rearrange rearrange) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<Row*> rowsOfFrom;
    rowsOfFrom.reserve(std::size_t(from.size()));
    for (const QModelIndex& index : from)
        rowsOfFrom.push_back(index.isValid() && index.row() < m_count ? rowAt(index.row()) : nullptr);
    rearrange();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype i = 0; i < from.size(); ++i) {
        const Row* r = rowsOfFrom[std::size_t(i)];
        to.append(r ? index(positionOfRow(r), from.at(i).column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

namespace {

// The first eight bytes of a key as compareKeys sees them (ASCII letters folded, second bytes of Big5
// characters kept), big-endian and zero-padded: keys whose prefixes differ are ordered by the prefixes
// alone, so most comparisons of a sort touch no text. Zero padding agrees with "a proper prefix first".
quint64 foldedPrefix(const QByteArray& key) {
    quint64 prefix = 0;
    bool second = false;
    const qsizetype n = std::min<qsizetype>(key.size(), 8);
    for (qsizetype i = 0; i < 8; ++i) {
        unsigned char c = 0;
        if (i < n) {
            c = static_cast<unsigned char>(key[i]);
            if (!second)
                c = foldAsciiLetter(c);
            second = !second && isBig5LeadByte(static_cast<unsigned char>(key[i]));
        }
        prefix = (prefix << 8) | c;
    }
    return prefix;
}

} // namespace

void SendLogModel::sortAll() {
    changeLayout([this] {
        struct SortItem {
            quint64 prefix;
            const QByteArray* key;
            Row* row;
        };
        std::vector<SortItem> items;
        items.reserve(std::size_t(m_count));
        for (const auto& b : m_blocks)
            for (Row* r : b->rows)
                items.push_back({foldedPrefix(key(r)), &key(r), r});
        auto less = [](const SortItem& a, const SortItem& b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            return compareKeys(*a.key, *b.key) < 0;
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
        rebuildBlocks(ordered);
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
            moved.push_back({r, positionOfRow(r), 0});
        std::sort(moved.begin(), moved.end(),
                  [](const Placement& a, const Placement& b) { return a.position < b.position; });
        for (auto it = moved.rbegin(); it != moved.rend(); ++it)
            takeAt(it->position);
        for (std::size_t i = 0; i < moved.size(); ++i) {
            const int unchangedBefore = moved[i].position - int(i);
            const QByteArray& k = key(moved[i].row);
            moved[i].slot = std::clamp(unchangedBefore, lowerBound(k), upperBound(k));
        }
        std::stable_sort(moved.begin(), moved.end(), [this](const Placement& a, const Placement& b) {
            return a.slot != b.slot ? a.slot < b.slot : before(a.row, b.row);
        });
        for (std::size_t t = 0; t < moved.size(); ++t) {
            insertAt(moved[t].slot + int(t), moved[t].row);
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

quint64 SendLogModel::addRow(const SendLogRow& row) {
    placeMovedRows();
    auto* r = new Row;
    r->data = row;
    r->id = m_nextId++;
    // The row is placed before its cells count: by its caption, or as an empty key.
    const int position = upperBound(m_sortColumn == ColName ? row.caption() : QByteArray());
    beginInsertRows(QModelIndex(), position, position);
    insertAt(position, r);
    m_byId.insert(r->id, r);
    endInsertRows();
    if (m_sortColumn != ColName && !row.texts[std::size_t(m_sortColumn)].isEmpty())
        markMoved(r);
    return r->id;
}

void SendLogModel::setText(int position, int column, const QByteArray& text) {
    Row* r = rowAt(position);
    QByteArray& cell = r->data.texts[std::size_t(column)];
    if (cell == text)
        return;
    cell = text;
    emit dataChanged(index(position, column), index(position, column), {Qt::DisplayRole});
    if (column == m_sortColumn)
        markMoved(r);
    if (column == ColName)
        placeMovedRows();
}

void SendLogModel::setRowImage(int position, int image) {
    Row* r = rowAt(position);
    if (r->data.image == image)
        return;
    r->data.image = image;
    emit dataChanged(index(position, ColName), index(position, ColName), {ImageRole});
}

void SendLogModel::setCodeImage(int position, int image) {
    Row* r = rowAt(position);
    if (r->data.codeImage == image)
        return;
    r->data.codeImage = image;
    emit dataChanged(index(position, ColSendCode), index(position, ColSendCode), {ImageRole});
}

void SendLogModel::removePositions(QVector<int> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(std::remove_if(positions.begin(), positions.end(), [this](int p) { return p < 0 || p >= m_count; }),
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
            Row* r = takeAt(p);
            m_byId.remove(r->id);
            if (r->moved)
                m_moved.erase(std::find(m_moved.begin(), m_moved.end(), r));
            delete r;
        }
        endRemoveRows();
        end = first;
    }
}

void SendLogModel::clear() {
    if (m_count == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, m_count - 1);
    for (const auto& b : m_blocks)
        for (Row* r : b->rows)
            delete r;
    m_blocks.clear();
    m_byId.clear();
    m_moved.clear();
    m_count = 0;
    m_lastBlock = 0;
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
