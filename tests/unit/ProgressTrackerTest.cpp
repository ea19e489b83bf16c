#include "shared/Big5.h"
#include "shared/Progress.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using namespace norvi;

namespace {

const QDateTime kStart(QDate(2024, 5, 6), QTime(10, 0, 0));

QDateTime after(qint64 ms) {
    return kStart.addMSecs(ms);
}

// Records the states posted to it, as the progress window would receive them.
class StateRecorder : public QObject {
public:
    std::vector<int> states;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::Type(WM_SHOWPROCESS))
            return QObject::event(e);
        states.push_back(static_cast<ShowProcessEvent*>(e)->state());
        return true;
    }
};

} // namespace

TEST(ProgressTracker, SaveOfThreeRowsEndsWithTheFullCountAndAFiveLineSummary) {
    ProgressTracker t;
    t.start(3);
    EXPECT_FALSE(t.handle(StateLogSaving, after(0)));
    EXPECT_FALSE(t.handle(StateLogSaving, after(1000)));
    EXPECT_FALSE(t.handle(StateLogSaving, after(2000)));
    EXPECT_EQ(t.progressText(), QStringLiteral("3 / 3(100%)"));
    EXPECT_FALSE(t.done());
    EXPECT_TRUE(t.handle(StateLogSaved, after(2500)));
    EXPECT_TRUE(t.done());
    EXPECT_EQ(t.statusText(), QString::fromUtf8("發訊紀錄儲存完成"));
    EXPECT_EQ(t.summary(), QString::fromUtf8("狀態：發訊紀錄儲存完成\r\n"
                                             "開始時間：2024/05/06 10:00:00\r\n"
                                             "總共耗費時間：2 秒\r\n"
                                             "                平均：1.20 筆/秒\r\n"
                                             "完成：3 / 3(100%)"));
}

TEST(ProgressTracker, StepTextsFollowEachStep) {
    ProgressTracker t;
    t.start(4);
    t.handle(StateSending, after(0));
    EXPECT_TRUE(t.started());
    EXPECT_EQ(t.startTimeText(), QStringLiteral("2024/05/06 10:00:00"));
    EXPECT_EQ(t.progressText(), QStringLiteral("1 / 4(25%)"));
    t.handle(StateSending, after(1999));
    EXPECT_EQ(t.progressText(), QStringLiteral("2 / 4(50%)"));
    EXPECT_EQ(t.elapsedText(), QString::fromUtf8("1 秒"));
    EXPECT_EQ(t.averageText(), QString::fromUtf8("1.00 筆/秒"));
    t.handle(StateSending, after(3000));
    EXPECT_EQ(t.progressText(), QStringLiteral("3 / 4(75%)"));
    EXPECT_EQ(t.startTimeText(), QStringLiteral("2024/05/06 10:00:00")); // the first step fixed it
}

TEST(ProgressTracker, RunShorterThanAMillisecondShowsTheCountAsItsRate) {
    ProgressTracker t;
    t.start(3);
    for (int i = 0; i < 3; ++i)
        t.handle(StateQuerying, kStart);
    t.handle(StateQueried, kStart);
    EXPECT_EQ(t.elapsedText(), QString::fromUtf8("0 秒"));
    EXPECT_EQ(t.averageText(), QString::fromUtf8("3.00 筆/秒"));
}

TEST(ProgressTracker, EndWithoutAnyStepStartsAndEndsAtTheEndTime) {
    ProgressTracker t;
    t.start(5);
    EXPECT_TRUE(t.handle(StateListLoaded, after(1234)));
    EXPECT_EQ(t.startTimeText(), QStringLiteral("2024/05/06 10:00:01"));
    EXPECT_EQ(t.elapsedText(), QString::fromUtf8("0 秒"));
    EXPECT_EQ(t.averageText(), QString::fromUtf8("0.00 筆/秒"));
    EXPECT_EQ(t.progressText(), QStringLiteral("0 / 5(0%)"));
    EXPECT_EQ(t.summary().count(QStringLiteral("\r\n")), 4);
}

TEST(ProgressTracker, CountBeyondTheMaximumKeepsCountingWhileTheBarStops) {
    ProgressTracker t;
    t.start(5);
    for (int i = 0; i < 7; ++i)
        t.handle(StateSending, after(i));
    EXPECT_EQ(t.position(), 7);
    EXPECT_EQ(t.barValue(), 5);
    EXPECT_EQ(t.progressText(), QStringLiteral("7 / 5(140%)"));
}

TEST(ProgressTracker, ZeroMaximumShowsZeroPercent) {
    ProgressTracker t;
    t.start(0);
    t.handle(StateLogLoading, after(0));
    t.handle(StateLogLoading, after(10));
    EXPECT_EQ(t.progressText(), QStringLiteral("2 / 0(0%)"));
    EXPECT_EQ(t.barValue(), 0);
}

TEST(ProgressTracker, MaximumSetAfterShowingAppliesWithoutLosingSteps) {
    ProgressTracker t;
    t.start(0);
    t.handle(StateCounting, after(0));
    EXPECT_EQ(t.statusText(), QString::fromUtf8("簡訊通數計算中..."));
    EXPECT_FALSE(t.started()); // the counting state is only a text
    EXPECT_EQ(t.position(), 0);
    t.setMaximum(2);
    t.handle(StateSending, after(100));
    EXPECT_EQ(t.progressText(), QStringLiteral("1 / 2(50%)"));
}

TEST(ProgressTracker, ElapsedTimeCountsWholeDaysAndNeverRunsBackwards) {
    ProgressTracker t;
    t.start(2);
    t.handle(StateSending, kStart);
    t.handle(StateSending, kStart.addDays(1).addSecs(5));
    EXPECT_EQ(t.elapsedText(), QString::fromUtf8("86405 秒"));

    t.start(2);
    t.handle(StateSending, kStart);
    t.handle(StateSent, kStart.addSecs(-30)); // the clock was set back during the run
    EXPECT_EQ(t.elapsedText(), QString::fromUtf8("0 秒"));
    EXPECT_EQ(t.averageText(), QString::fromUtf8("1.00 筆/秒"));
}

TEST(ProgressTracker, StartForgetsThePreviousRun) {
    ProgressTracker t;
    t.start(1);
    t.handle(StateSending, after(0));
    t.handle(StateSent, after(10));
    t.start(8);
    EXPECT_FALSE(t.done());
    EXPECT_FALSE(t.started());
    EXPECT_EQ(t.position(), 0);
    EXPECT_EQ(t.maximum(), 8);
    EXPECT_TRUE(t.statusText().isEmpty());
    EXPECT_TRUE(t.progressText().isEmpty());
}

TEST(ProgressTracker, UnknownStatesChangeNothing) {
    ProgressTracker t;
    t.start(3);
    t.handle(StateSending, after(0));
    EXPECT_FALSE(t.handle(17, after(5)));
    EXPECT_FALSE(t.handle(-1, after(5)));
    EXPECT_EQ(t.statusText(), QString::fromUtf8("簡訊傳送中..."));
    EXPECT_EQ(t.position(), 1);
}

TEST(ProgressStates, EachStateHasItsTextAndKind) {
    struct Expected {
        const char* text;
        char kind; // s step, e end, t text only
    };
    const Expected table[] = {
        {"通訊錄匯入中...", 's'},   {"通訊錄匯入完成", 'e'},   {"通訊錄匯出中...", 's'},   {"通訊錄匯出完成", 'e'},
        {"發訊名單載入中...", 's'}, {"發訊名單載入完成", 'e'}, {"發訊紀錄儲存中...", 's'}, {"發訊紀錄儲存完成", 'e'},
        {"發訊紀錄載入中...", 's'}, {"發訊紀錄載入完成", 'e'}, {"簡訊通數計算中...", 't'}, {"簡訊傳送中...", 's'},
        {"簡訊傳送完成", 'e'},      {"簡訊查詢中...", 's'},    {"簡訊查詢完成", 'e'},      {"預約簡訊取消中...", 's'},
        {"預約簡訊取消完成", 'e'},
    };
    for (int state = 0; state < 17; ++state) {
        EXPECT_EQ(ProgressStateText(state), QString::fromUtf8(table[state].text)) << state;
        EXPECT_EQ(IsStepState(state), table[state].kind == 's') << state;
        EXPECT_EQ(IsEndState(state), table[state].kind == 'e') << state;
        // Each text fits a 20-byte slot with its terminator, as the log and the summary expect.
        EXPECT_LT(big5(table[state].text).size(), 20) << state;
    }
    EXPECT_TRUE(ProgressStateText(17).isEmpty());
}

TEST(ProgressPosting, StatesFromManyThreadsReachTheTargetAndNothingReachesAMissingOne) {
    auto recorder = std::make_unique<StateRecorder>();
    SetProgressTarget(recorder.get());
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i)
        posters.emplace_back([] {
            for (int n = 0; n < 250; ++n)
                PostShowProcess(StateSending);
        });
    for (std::thread& p : posters)
        p.join();
    PostShowProcess(StateSent);
    QCoreApplication::sendPostedEvents(recorder.get());
    ASSERT_EQ(recorder->states.size(), 1001u);
    EXPECT_EQ(recorder->states.back(), int(StateSent)); // posting order is kept

    // A target that goes away unregisters itself.
    recorder.reset();
    EXPECT_EQ(ProgressTarget(), nullptr);
    PostShowProcess(StateSending); // dropped, not delivered to a dead object

    SetProgressTarget(nullptr);
}
