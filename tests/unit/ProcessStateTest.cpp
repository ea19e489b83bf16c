#include "core/ProcessState.h"

#include "core/shared/Clock.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace norvi;

namespace {

// Leaves a mark in every process-wide container and flag a test can change.
void dirtyEverything() {
    Clock::setFixed(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
}

} // namespace

TEST(ProcessState, ResetPutsEveryContainerAndFlagBackAsAtStart) {
    dirtyEverything();
    ResetProcessState();
    EXPECT_NE(Clock::now().date().year(), 2001);
}
