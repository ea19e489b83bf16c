#include "core/ProcessState.h"

#include "core/exchange/ExchangeState.h"
#include "core/shared/Clock.h"
#include "core/shared/Global.h"
#include "core/workers/SendThd.h"
#include "core/workers/WorkerState.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace norvi;

namespace {

// Leaves a mark in every process-wide container and flag a test can change.
void dirtyEverything() {
    SendEvent.reset();
    StopFlag = true;
    Clock::setFixed(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
    SendThd::setReplyWaitSeconds(1);
}

} // namespace

TEST(ProcessState, ResetPutsEveryContainerAndFlagBackAsAtStart) {
    dirtyEverything();
    ASSERT_TRUE(ResetProcessState());
    EXPECT_TRUE(SendEvent.isSet());
    EXPECT_FALSE(StopFlag.load());
    EXPECT_NE(Clock::now().date().year(), 2001);
    EXPECT_EQ(SendThd::replyWaitSeconds(), SMSendNorviGw::kReplyWaitSeconds);
}

// A registered worker still reads the queue and the flags: nothing is taken from under it.
TEST(ProcessState, ResetLeavesEverythingWhileAWorkerIsRegistered) {
    dirtyEverything();
    WorkerList.push_back(sSendThd{nullptr, 1});
    EXPECT_FALSE(ResetProcessState());
    EXPECT_TRUE(StopFlag.load());
    WorkerList.clear();
    EXPECT_TRUE(ResetProcessState());
}
