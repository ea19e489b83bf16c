#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QtGlobal>

#include <algorithm>
#include <memory>
#include <vector>

namespace norvi {

// The send log's rows as a list in blocks of bounded size, so that placing one row costs a few block
// operations instead of shifting the whole list, which keeps a send of 100,000 messages fast. It knows
// positions, not order: the model decides where each row goes.
class SendLogBlocks {
public:
    struct Block;
    struct Row {
        SendLogRow data;
        quint64 id = 0;
        Block* block = nullptr;
        std::size_t slot = 0; // its index in block->rows when placed; rows placed before it move it
        bool moved = false;   // its key changed after it was placed
        quint32 run = 0;      // the send run of this program that added it; 0 when read from a file
    };
    struct Block {
        std::vector<Row*> rows;
        int start = 0;         // list position of rows[0]
        std::size_t index = 0; // position of this block in the list of blocks
    };

    SendLogBlocks() = default;
    ~SendLogBlocks(); // deletes the rows still in the list
    SendLogBlocks(const SendLogBlocks&) = delete;
    SendLogBlocks& operator=(const SendLogBlocks&) = delete;

    int count() const { return m_count; }
    Row* rowAt(int position) const;
    int positionOf(const Row* r) const;

    // The list takes the row.
    void insertAt(int position, Row* r);
    // The caller gets the row back: to delete it or insert it again.
    Row* takeAt(int position);
    // The same rows in a new order, in blocks filled half-way so later inserts find room.
    void rebuild(const std::vector<Row*>& ordered);
    // Deletes every row.
    void clear();

    // The first position whose row fails `pred`, for a predicate true on a prefix of the list.
    template <typename Pred> int partitionPoint(Pred pred) const {
        const auto blockIt = std::partition_point(
            m_blocks.begin(), m_blocks.end(), [&](const std::unique_ptr<Block>& b) { return pred(b->rows.back()); });
        if (blockIt == m_blocks.end())
            return m_count;
        const auto& rows = (*blockIt)->rows;
        return (*blockIt)->start + int(std::partition_point(rows.begin(), rows.end(), pred) - rows.begin());
    }

    // Calls f on every row, first to last.
    template <typename F> void forEach(F f) const {
        for (const auto& b : m_blocks)
            for (Row* r : b->rows)
                f(r);
    }

private:
    void shiftStarts(std::size_t fromBlock, int delta);

    std::vector<std::unique_ptr<Block>> m_blocks;
    int m_count = 0;
    mutable std::size_t m_lastBlock = 0; // the model asks for the cells of one row after another
};

} // namespace norvi
