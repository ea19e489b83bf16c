#include "support/FaultRun.h"

#include <gtest/gtest.h>

namespace norvi::test {
namespace {

// The long fault run's pattern on fewer segments (bench/FaultRunBench runs the 100,000): connections
// dropped, code 11 refusals that are tried again, replies in parts and a stretch of silence.
TEST(SendFaultRunTest, EverySegmentGetsOneRowAndEveryAcceptedMessageItsOwnMsgId) {
    constexpr int kSegments = 10000;
    constexpr int kReplyWaitSeconds = 1;
    const gwsim::FaultPlan plan = standardFaultPlan(kSegments);
    const FaultRunResult r = runSendUnderFaults(kSegments, plan, kReplyWaitSeconds, 45);
    EXPECT_TRUE(r.broken.isEmpty()) << r.broken.join(QLatin1Char('\n')).toStdString();

    // Every fault of the plan happened, so the run above went through each of them.
    EXPECT_GE(r.counts.drops, 3);
    EXPECT_GE(r.counts.refusals, kSegments / 13);
    EXPECT_GE(r.counts.splits, kSegments / 101);
    EXPECT_EQ(r.counts.silences, 3);
    // A refusal is sent again and a dropped connection reopened, so a row fails only when both of its
    // attempts meet a fault: the segment whose two attempts met the silence (the third silent request
    // is the next segment's login, tried again), and at most one segment per dropped connection (a
    // refusal and a drop on the two attempts, either way round).
    EXPECT_GE(r.failed, 1);
    EXPECT_LE(r.failed, 2 + r.counts.drops);
    EXPECT_EQ(r.accepted + r.failed, kSegments);
}

} // namespace
} // namespace norvi::test
