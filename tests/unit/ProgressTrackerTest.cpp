#include "core/shared/Big5.h"
#include "core/shared/Progress.h"
#include "core/workers/JobChannel.h"

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
        states.push_back(static_cast<ShowProcessEvent*>(e)->report().state);
        return true;
    }
};

} // namespace

TEST(ProgressTracker, TextsFollowTheStepsAndTheTime) {
    const struct {
        int maximum;
        int steps;
        qint64 stepMs;  // time between steps
        qint64 finalMs; // time of the end state after the first step
        const char* progress;
        int bar;
        const char* elapsed;
        const char* average;
    } cases[] = {{4, 2, 1999, 1999, "2 / 4(50%)", 2, "1 秒", "1.00 筆/秒"},
                 // Faster than a millisecond: the rate is the count itself.
                 {3, 3, 0, 0, "3 / 3(100%)", 3, "0 秒", "3.00 筆/秒"},
                 // Steps beyond the maximum stretch it: bar and text stay in step.
                 {5, 7, 1, 6, "7 / 7(100%)", 7, "0 秒", "1166.67 筆/秒"},
                 {3, 5, 0, 0, "5 / 5(100%)", 5, "0 秒", "5.00 筆/秒"},
                 {0, 2, 10, 10, "2 / 0(0%)", 0, "0 秒", "200.00 筆/秒"},
                 // Whole days count; a clock set back shows no time at all.
                 {2, 2, 86405000, 86405000, "2 / 2(100%)", 2, "86405 秒", "0.00 筆/秒"},
                 {2, 1, 0, -30000, "1 / 2(50%)", 1, "0 秒", "1.00 筆/秒"},
                 // An end without any step starts and ends at the end time.
                 {5, 0, 0, 1234, "0 / 5(0%)", 0, "0 秒", "0.00 筆/秒"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " steps of " << c.maximum << ", ending at " << c.finalMs);
        ProgressTracker t;
        t.start(c.maximum);
        for (int i = 0; i < c.steps; ++i)
            EXPECT_FALSE(t.handle(StateSending, after(i * c.stepMs)));
        EXPECT_TRUE(t.handle(StateSent, after(c.finalMs)));
        EXPECT_TRUE(t.done());
        EXPECT_EQ(t.progressText(), QString::fromUtf8(c.progress));
        EXPECT_EQ(t.barValue(), c.bar);
        EXPECT_EQ(t.elapsedText(), QString::fromUtf8(c.elapsed));
        EXPECT_EQ(t.averageText(), QString::fromUtf8(c.average));
    }
}

TEST(ProgressTracker, SaveOfThreeRowsEndsWithAFiveLineSummary) {
    ProgressTracker t;
    t.start(3);
    for (int i = 0; i < 3; ++i)
        t.handle(StateLogSaving, after(i * 1000));
    t.handle(StateLogSaved, after(2500));
    EXPECT_EQ(t.summary(), QString::fromUtf8("狀態：發訊紀錄儲存完成\r\n"
                                             "開始時間：2024/05/06 10:00:00\r\n"
                                             "總共耗費時間：2 秒\r\n"
                                             "                平均：1.20 筆/秒\r\n"
                                             "完成：3 / 3(100%)"));

    t.start(2);
    t.handle(StateListLoaded, after(1234));
    EXPECT_EQ(t.startTimeText(), QStringLiteral("2024/05/06 10:00:01"));
}

TEST(ProgressTracker, CountingStateOnlyChangesTheStatusAndTheMaximumMayComeLater) {
    ProgressTracker t;
    t.start(0);
    t.handle(StateCounting, after(0));
    EXPECT_EQ(t.statusText(), QStringLiteral("簡訊通數計算中..."));
    EXPECT_FALSE(t.started());
    // The count is done while the first answer is awaited: the text says so, no step is counted.
    t.handle(ReportOf(StateSending, {}, 0), after(0).toMSecsSinceEpoch());
    EXPECT_EQ(t.statusText(), QStringLiteral("簡訊傳送中..."));
    EXPECT_FALSE(t.started());
    t.setMaximum(2);
    t.handle(StateSending, after(100));
    EXPECT_EQ(t.progressText(), QStringLiteral("1 / 2(50%)"));
    EXPECT_EQ(t.startTimeText(), QStringLiteral("2024/05/06 10:00:00"));
    // Unknown states are never posted; one that is changes nothing.
    EXPECT_FALSE(t.handle(ProgressState(99), after(200)));
    EXPECT_EQ(t.statusText(), QStringLiteral("簡訊傳送中..."));

    t.start(8); // the next run forgets this one
    EXPECT_FALSE(t.done() || t.started());
    EXPECT_EQ(t.position(), 0);
    EXPECT_TRUE(t.progressText().isEmpty());
}

// Every state names itself within its 20-byte Big5 slot, the ones that move the bar say the work goes on
// ("...") and the ones that end a run do not; past the last state there is no text.
TEST(ProgressStates, EachStateHasAFittingTextThatAgreesWithItsKind) {
    int states = 0;
    for (; !ProgressStateText(states).isEmpty(); ++states) {
        const QString text = ProgressStateText(states);
        QByteArray bytes;
        EXPECT_TRUE(toBig5(text, bytes)) << states;
        EXPECT_LT(bytes.size(), 20) << states;
        const bool goesOn = text.endsWith(QStringLiteral("..."));
        EXPECT_TRUE(!IsStepState(states) || goesOn) << states;
        EXPECT_TRUE(!IsEndState(states) || !goesOn) << states;
        EXPECT_FALSE(IsStepState(states) && IsEndState(states)) << states;
    }
    EXPECT_GT(states, 0);
}

TEST(ProgressPosting, StatesFromManyThreadsArriveInOrderAndNothingReachesAGoneTarget) {
    JobChannel channel;
    auto recorder = std::make_unique<StateRecorder>();
    channel.setProgressTarget(recorder.get());
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i)
        posters.emplace_back([&channel] {
            for (int n = 0; n < 250; ++n)
                channel.postShowProcess(StateSending);
        });
    for (std::thread& p : posters)
        p.join();
    channel.postShowProcess(StateSent);
    QCoreApplication::sendPostedEvents(recorder.get());
    ASSERT_EQ(recorder->states.size(), 1001u);
    EXPECT_EQ(recorder->states.back(), int(StateSent));

    recorder.reset(); // a target that goes away unregisters itself
    EXPECT_EQ(channel.progressTarget(), nullptr);
    channel.postShowProcess(StateSending);
}

// The end of a gateway run states its counts; a stopped run says 已中斷, one in which nothing succeeded 失敗.
TEST(RunOutcomeTexts, StateTheCountsAndHowTheRunEnded) {
    const struct {
        int state, succeeded, failed, notReached;
        bool stopped, gaveUp;
        const char* text;
    } cases[] = {{StateSent, 18, 2, 0, false, false, "簡訊傳送完成：成功 18 筆，失敗 2 筆"},
                 {StateSent, 0, 2, 0, false, false, "簡訊傳送失敗：成功 0 筆，失敗 2 筆"},
                 {StateSent, 5, 1, 24, true, false, "簡訊傳送已中斷：成功 5 筆，失敗 1 筆，未傳送 24 筆"},
                 {StateSent, 0, 0, 0, true, false, "簡訊傳送已中斷：成功 0 筆，失敗 0 筆，未傳送 0 筆"},
                 {StateQueried, 2, 3, 7, true, true,
                  "簡訊查詢已中斷（閘道沒有回應），查詢 12 筆：有回覆 2 筆、未能查詢 3 筆、未查詢 7 筆"},
                 {StateCancelled, 1, 0, 0, false, false, "預約簡訊取消完成，取消 1 筆：已取消 1 筆、未能取消 0 筆"},
                 {StateCancelled, 0, 1, 2, true, false,
                  "預約簡訊取消已中斷，取消 3 筆：已取消 0 筆、未能取消 1 筆、未取消 2 筆"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RunOutcome o;
        o.known = true;
        o.succeeded = c.succeeded;
        o.failed = c.failed;
        o.notReached = c.notReached;
        o.stopped = c.stopped;
        o.gaveUp = c.gaveUp;
        EXPECT_EQ(RunOutcomeText(c.state, o), QString::fromUtf8(c.text));
        ProgressTracker tracker;
        tracker.start(3);
        tracker.handle(ProgressState(c.state), kStart, o);
        EXPECT_EQ(tracker.statusText(), QString::fromUtf8(c.text));
        EXPECT_TRUE(tracker.summary().startsWith(QStringLiteral("狀態：") + QString::fromUtf8(c.text) +
                                                 QStringLiteral("\r\n")));
    }
}

// A list query's end names each part once, with what the answers say and why rows were passed by; the parts
// add up to the rows it walked.
TEST(RunOutcomeTexts, AQueryNamesEachPartOnce) {
    RunOutcome o;
    o.known = true;
    o.succeeded = 16;
    o.skippedNotSent = 14;
    o.results = QStringLiteral("已送達 2 筆、失敗 14 筆");
    EXPECT_EQ(RunOutcomeText(StateQueried, o),
              QStringLiteral("簡訊查詢完成，查詢 30 筆：有回覆 16 筆（已送達 2 筆、失敗 14 筆）、未能查詢 0 筆、"
                             "略過 14 筆（未成功送出）"));
    o.skippedFinal = 6;
    o.failed = 1;
    EXPECT_EQ(RunOutcomeText(StateQueried, o),
              QStringLiteral("簡訊查詢完成，查詢 37 筆：有回覆 16 筆（已送達 2 筆、失敗 14 筆）、未能查詢 1 筆、"
                             "略過 20 筆（已有最後結果 6 筆、未成功送出 14 筆）"));
}

TEST(RunOutcomeTexts, AnOutcomeNotKnownLeavesTheStatesOwnText) {
    EXPECT_EQ(RunOutcomeText(StateLogSaved, RunOutcome{}), QStringLiteral("發訊紀錄儲存完成"));
    ProgressTracker tracker;
    tracker.start(1);
    tracker.handle(StateSent, kStart);
    EXPECT_EQ(tracker.statusText(), QStringLiteral("簡訊傳送完成"));
}

// Rows a query passes by travel as one report of many steps: the window counts every one of them, and the
// end's text comes with the report, as the sender made it.
TEST(ProgressReports, AReportOfManyStepsCountsThemAllAndTheEndCarriesItsText) {
    ProgressTracker tracker;
    tracker.start(300);
    tracker.handle(ReportOf(StateQuerying, {}, 256, 0), kStart.toMSecsSinceEpoch());
    tracker.handle(ReportOf(StateQuerying, {}, 1, 42), kStart.toMSecsSinceEpoch());
    EXPECT_EQ(tracker.progressText(), QStringLiteral("257 / 300(85%)"));
    RunOutcome counts;
    counts.known = true;
    counts.succeeded = 1;
    const ProgressReport end = ReportOf(StateQueried, counts);
    EXPECT_EQ(end.text, RunOutcomeText(StateQueried, counts));
    EXPECT_TRUE(tracker.handle(end, kStart.toMSecsSinceEpoch()));
    EXPECT_EQ(tracker.statusText(), end.text);
    EXPECT_EQ(ReportOf(StateLogSaved).text, QStringLiteral("發訊紀錄儲存完成"));
}
