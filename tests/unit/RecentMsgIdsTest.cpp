#include "core/workers/RecentMsgIds.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <deque>
#include <random>
#include <set>
#include <string>

using namespace norvi;

namespace {

QByteArray idOf(int n) {
    return "NV" + QByteArray::number(n).rightJustified(18, '0');
}

// Against a plain model (the last `capacity` distinct ids in order), over runs long enough to wrap the slots
// many times: every id ever used is asked after each step, so a chain broken by a removal shows at once.
class RecentMsgIdsModelTest : public ::testing::TestWithParam<int> {};

TEST_P(RecentMsgIdsModelTest, KeepsExactlyTheLatestAndForgetsTheOldestFirst) {
    const int capacity = GetParam();
    RecentMsgIds kept{std::size_t(capacity)};
    std::deque<int> order;
    std::set<int> model;
    std::mt19937 random{unsigned(capacity)};
    // Few distinct ids, so the same one comes again while kept and after it was forgotten.
    std::uniform_int_distribution<int> pick(0, 3 * capacity + 5);
    for (int step = 0; step < 40 * capacity + 200; ++step) {
        const int n = pick(random);
        ASSERT_EQ(kept.insert(idOf(n)), model.count(n) == 0) << "step " << step;
        if (model.insert(n).second) {
            order.push_back(n);
            if (int(order.size()) > capacity) {
                model.erase(order.front());
                order.pop_front();
            }
        }
        ASSERT_EQ(kept.size(), model.size()) << "step " << step;
        for (int probe = 0; probe <= 3 * capacity + 5; ++probe)
            ASSERT_EQ(kept.contains(idOf(probe)), model.count(probe) == 1) << "step " << step << ", id " << probe;
    }
}

INSTANTIATE_TEST_SUITE_P(Capacities, RecentMsgIdsModelTest, ::testing::Values(1, 2, 7, 8, 9, 100));

TEST(RecentMsgIds, TellsIdsApartByEveryByteAndKeepsNoneLongerThanAMsgId) {
    RecentMsgIds kept;
    EXPECT_TRUE(kept.insert("NV1"));
    EXPECT_FALSE(kept.insert("NV1"));
    EXPECT_TRUE(kept.contains("NV1"));
    EXPECT_FALSE(kept.contains("NV"));
    EXPECT_FALSE(kept.contains("NV10"));
    EXPECT_FALSE(kept.contains(QByteArray("NV1\0", 4)));
    const QByteArray longest(int(RecentMsgIds::kMaxBytes), '7');
    kept.insert(longest);
    const QByteArray tooLong = longest + "7";
    kept.insert(tooLong);
    EXPECT_TRUE(kept.contains(longest));
    EXPECT_FALSE(kept.contains(tooLong));
    EXPECT_EQ(kept.size(), 2u);
}

} // namespace
