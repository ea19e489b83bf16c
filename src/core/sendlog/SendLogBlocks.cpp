#include "core/sendlog/SendLogBlocks.h"

namespace norvi {

namespace {

// A block splits when it grows past kMaxBlock rows; a rebuild fills blocks to kFillBlock so the rows
// that arrive afterwards find room without splitting at once.
constexpr std::size_t kMaxBlock = 1024;
constexpr std::size_t kFillBlock = 512;

} // namespace

SendLogBlocks::~SendLogBlocks() {
    clear();
}

SendLogBlocks::Row* SendLogBlocks::rowAt(int position) const {
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

int SendLogBlocks::positionOf(const Row* r) const {
    // A send run fills each row right after placing it: its slot is then still where it was placed.
    const auto& rows = r->block->rows;
    if (r->slot < rows.size() && rows[r->slot] == r)
        return r->block->start + int(r->slot);
    return r->block->start + int(std::find(rows.begin(), rows.end(), r) - rows.begin());
}

void SendLogBlocks::shiftStarts(std::size_t fromBlock, int delta) {
    for (std::size_t i = fromBlock; i < m_blocks.size(); ++i)
        m_blocks[i]->start += delta;
}

void SendLogBlocks::insertAt(int position, Row* r) {
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
    r->slot = std::size_t(position - b->start);
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

SendLogBlocks::Row* SendLogBlocks::takeAt(int position) {
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

void SendLogBlocks::rebuild(const std::vector<Row*>& ordered) {
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

void SendLogBlocks::clear() {
    forEach([](Row* r) { delete r; });
    m_blocks.clear();
    m_count = 0;
    m_lastBlock = 0;
}

} // namespace norvi
