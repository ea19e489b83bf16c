#include "core/sendlog/SendLogBlocks.h"

#include <gtest/gtest.h>

#include <random>

using namespace norvi;

namespace {

using Row = SendLogBlocks::Row;

// Inserts and takes at random places, across block splits and emptied blocks, against a plain vector.
TEST(SendLogBlocks, PositionsMatchAPlainListThroughSplitsAndEmptiedBlocks) {
    SendLogBlocks blocks;
    std::vector<Row*> mirror;
    std::mt19937 random(7);
    quint64 id = 0;
    const auto check = [&](const char* when) {
        ASSERT_EQ(blocks.count(), int(mirror.size())) << when;
        for (int p = 0; p < blocks.count(); ++p) {
            ASSERT_EQ(blocks.rowAt(p), mirror[std::size_t(p)]) << when << " at " << p;
            ASSERT_EQ(blocks.positionOf(mirror[std::size_t(p)]), p) << when << " at " << p;
        }
    };
    for (int i = 0; i < 5000; ++i) {
        auto* r = new Row;
        r->id = ++id;
        const int at = int(random() % (mirror.size() + 1));
        blocks.insertAt(at, r);
        mirror.insert(mirror.begin() + at, r);
    }
    check("after inserts");
    // Empties whole blocks from the front, then takes at random.
    for (int i = 0; i < 1500; ++i) {
        delete blocks.takeAt(0);
        mirror.erase(mirror.begin());
    }
    for (int i = 0; i < 2000; ++i) {
        const int at = int(random() % mirror.size());
        Row* r = blocks.takeAt(at);
        ASSERT_EQ(r, mirror[std::size_t(at)]);
        ASSERT_EQ(r->block, nullptr);
        delete r;
        mirror.erase(mirror.begin() + at);
    }
    check("after takes");
    std::reverse(mirror.begin(), mirror.end());
    blocks.rebuild(mirror);
    check("after a rebuild");
    blocks.insertAt(blocks.count(), new Row);
    mirror.push_back(blocks.rowAt(blocks.count() - 1));
    check("after an append");
}

TEST(SendLogBlocks, PartitionPointFindsTheFirstRowPastThePrefix) {
    SendLogBlocks blocks;
    for (int i = 0; i < 3000; ++i) {
        auto* r = new Row;
        r->id = quint64(i);
        blocks.insertAt(i, r);
    }
    for (const int k : {0, 1, 1023, 1024, 1025, 2999, 3000})
        EXPECT_EQ(blocks.partitionPoint([k](const Row* r) { return r->id < quint64(k); }), k);
    SendLogBlocks empty;
    EXPECT_EQ(empty.partitionPoint([](const Row*) { return true; }), 0);
}

} // namespace
