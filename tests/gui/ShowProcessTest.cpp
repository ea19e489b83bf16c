#include "support/FileBytes.h"
#include "support/WindowTest.h"

#include "core/shared/OpLog.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace norvi;
using namespace norvi::test;

namespace {

// The progress window of the window set, shown for an operation the way the program's operations show it:
// the test stands in for the operation that sets the owner and posts the states.
class ShowProcess : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // The gateway commands are on, so the query dialog can be opened as an owner.
        writeConfig(m_dir.path());
        startWindows();
        SetMessageAreaSink([this](const QString& line) { m_area << line; });
    }
    void TearDown() override {
        SetMessageAreaSink(nullptr);
        WindowTest::TearDown();
    }

    template <typename T> T* control(const char* name) { return findControl<T>(&progress(), name); }
    QString text(const char* labelName) { return control<QLabel>(labelName)->text(); }
    QPushButton* button() { return control<QPushButton>("ButtonOk"); }
    void post(int state) { jobs().channel().postShowProcess(ProgressState(state)); }
    void deliver() { QCoreApplication::sendPostedEvents(&progress()); }
    void startFor(QWidget* owner, int maximum, bool closeOwner = false) {
        progress().startOperation(owner, closeOwner, maximum);
    }

    QStringList m_area;
};

} // namespace

TEST_F(ShowProcess, ShowingStartsARunningOperationWithTheOwnerDisabledAndItsButtonUsable) {
    EXPECT_EQ(progress().windowTitle(), QStringLiteral("作業進度"));
    EXPECT_EQ(jobs().channel().progressTarget(), &progress());
    EXPECT_FALSE(progress().windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(progress().windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(progress().isModal());
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->width(), 250);

    startFor(&mainWindow(), 3);
    EXPECT_EQ(button()->text(), QStringLiteral("中斷"));
    // The clock and the counts show from the start, before any step: nothing is done yet.
    for (const char* name : {"LabelProgress", "LabelStartTime", "LabelElapsed", "LabelAverage"})
        EXPECT_FALSE(control<QLabel>(name)->isHidden()) << name;
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("0 / 3(0%)"));
    EXPECT_FALSE(mainWindow().isEnabled());
    EXPECT_EQ(progress().width(), 417);
    // Disabling the owner must not reach the window that is to enable it again, and it stays above it.
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(progress().windowHandle()->transientParent(), mainWindow().windowHandle());
}

// A run waiting on a silent gateway moves no step, yet its clock runs: the elapsed time and the rate follow
// the clock (here one that moves a second each time it is read) while the bar still reads 0 / 1.
TEST_F(ShowProcess, TheElapsedTimeRunsWhileTheFirstAnswerIsAwaited) {
    Clock::setFixed(QDateTime(QDate(2024, 4, 1), QTime(8, 0, 0)), 1000);
    startFor(&mainWindow(), 1);
    ASSERT_TRUE(QTest::qWaitFor([this] { return text("LabelElapsed").split(u' ').value(0).toInt() >= 3; }, 5000))
        << text("LabelElapsed").toStdString();
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("0 / 1(0%)"));
    EXPECT_EQ(text("LabelStartTime"), QStringLiteral("2024/04/01 08:00:00"));
    EXPECT_EQ(text("LabelAverage"), QStringLiteral("0.00 筆/秒"));
}

TEST_F(ShowProcess, SaveOfThreeRowsEndsWithTheSummaryInTheMessageAreaAndTheLog) {
    Clock::setFixed(QDateTime(QDate(2024, 4, 1), QTime(8, 0, 0)), 500);
    startFor(&mainWindow(), 3);
    // A save runs on this thread: every state is posted before the window handles any of them.
    for (int i = 0; i < 3; ++i)
        post(StateLogSaving);
    post(StateLogSaved);
    deliver();

    EXPECT_EQ(text("LabelProgress"), QStringLiteral("3 / 3(100%)"));
    EXPECT_EQ(text("LabelStatus"), QStringLiteral("發訊紀錄儲存完成"));
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 3);
    EXPECT_FALSE(control<QLabel>("LabelStartTime")->isHidden());
    EXPECT_EQ(button()->text(), QStringLiteral("確定"));

    const QString summary = QString::fromUtf8("狀態：發訊紀錄儲存完成\r\n"
                                              "開始時間：2024/04/01 08:00:00\r\n"
                                              "總共耗費時間：2 秒\r\n"
                                              "                平均：1.50 筆/秒\r\n"
                                              "完成：3 / 3(100%)");
    ASSERT_EQ(m_area.size(), 1);
    EXPECT_EQ(m_area.first(), QStringLiteral("2024/04/01 08:00:02  ") +
                                  QString(summary).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(readAll(QDir(m_dir.path()).filePath(QStringLiteral("20240401.dbg"))),
              big5(QStringLiteral("2024/04/01 08:00:03  ") + summary + QStringLiteral("\r\n")));
}

TEST_F(ShowProcess, InterruptRequestsTheStopAndSaysSoUntilTheEndArrives) {
    startFor(&mainWindow(), 10);
    post(StateSending);
    deliver();
    QSignalSpy stops(&m_windows->jobs(), &JobSupervisor::stopRequested);
    // Return that confirmed the summary, pressed again, must not stop the run it started; Space on 中斷 does.
    keyClick(button(), Qt::Key_Return);
    keyClick(&progress(), Qt::Key_Enter);
    EXPECT_EQ(stops.size(), 0) << "Return stopped the run";
    keyClick(button(), Qt::Key_Space);
    EXPECT_EQ(stops.size(), 1) << "the running job is asked to stop";
    // The stop was taken: the button says so at once; pressed again it ends the grace of the answer in
    // flight (the job's stop asked twice), and then cannot be pressed any more.
    EXPECT_EQ(button()->text(), QStringLiteral("正在中斷…"));
    click(button());
    EXPECT_EQ(stops.size(), 2);
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_EQ(text("LabelWait"), QStringLiteral("正在中斷…"));
    EXPECT_EQ(button()->geometry().right(), progress().width() - 17) << "the wider button stays at the edge";
    keyClick(&progress(), Qt::Key_Escape); // only the button closes the window
    progress().close();                    // nor does the window manager
    EXPECT_TRUE(progress().isVisible());
    EXPECT_FALSE(mainWindow().isEnabled());
    EXPECT_TRUE(m_area.isEmpty());

    RunOutcome stopped;
    stopped.known = true;
    stopped.succeeded = 1;
    stopped.notReached = 9;
    stopped.stopped = true;
    jobs().channel().postShowProcess(StateSent, stopped);
    deliver();
    EXPECT_EQ(button()->text(), QStringLiteral("確定"));
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(text("LabelWait"), QString());
    EXPECT_EQ(text("LabelStatus"), QStringLiteral("簡訊傳送已中斷：成功 1 筆，失敗 0 筆，未傳送 9 筆"));
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("1 / 10(10%)"));
    ASSERT_EQ(m_area.size(), 1);
    EXPECT_TRUE(m_area.first().contains(QStringLiteral("狀態：簡訊傳送已中斷：成功 1 筆，失敗 0 筆，未傳送 9 筆")));
    keyClick(button(), Qt::Key_Escape);
    progress().close();
    EXPECT_TRUE(progress().isVisible());
    keyClick(button(), Qt::Key_Return); // at the end Return is 確定
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(mainWindow().isEnabled());
    EXPECT_TRUE(mainWindow().isVisible()); // not asked to close it

    // The next operation starts with the button as it was.
    startFor(&mainWindow(), 1);
    EXPECT_EQ(button()->text(), QStringLiteral("中斷"));
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_EQ(progress().width(), 417);
}

// A gateway job publishes its waits; the window shows one that lasts, and for whom, without any event.
TEST_F(ShowProcess, AWaitForTheGatewayIsShownWithItsSecondsAndTheRecipient) {
    startFor(&mainWindow(), 3);
    post(StateSending);
    deliver();
    jobs().activity().setSubject("0912345678");
    jobs().activity().beginWait();
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return text("LabelWait").startsWith(QStringLiteral("等待閘道回應… ")); }, 5000));
    EXPECT_TRUE(text("LabelWait").endsWith(QStringLiteral(" 秒：0912345678"))) << text("LabelWait").toStdString();
    jobs().activity().endWait();
    EXPECT_TRUE(QTest::qWaitFor([this] { return text("LabelWait").isEmpty(); }, 5000));
    post(StateSent);
    deliver();
}

// A modal owner that hides itself for its run (the query dialog), or stays on screen (the send dialog), and
// then blocks every other window but those above it: either way the progress window takes the user's click,
// and confirming the end closes the owner, ending its modal show.
TEST_F(ShowProcess, ConfirmingTheEndClosesTheModalOwnerHiddenOrOnScreen) {
    const struct {
        const char* menu;
        QDialog* owner;
        bool hides;
        int steps, step, end; // the run's steps, and the states it posts
    } cases[] = {{"MItemTQuerySMS", &m_windows->querySMS(), true, 1, StateQuerying, StateQueried},
                 {"MItemTSendSMS", &m_windows->sendSMS(), false, 2, StateSending, StateSent}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.menu);
        QSignalSpy finished(c.owner, &QDialog::finished);
        m_prompts.dialogHandlers.push_back([&](QDialog* dialog) {
            if (c.hides)
                dialog->hide();
            startFor(dialog, c.steps, true);
            EXPECT_FALSE(dialog->isEnabled());
            post(c.step);
            post(c.end);
            deliver();
            EXPECT_EQ(dialog->isVisible(), !c.hides);
            EXPECT_EQ(unreachable(button()), QString());
            click(button());
        });
        trigger(menuItem(c.menu));
        ASSERT_EQ(finished.size(), 1);
        EXPECT_EQ(finished.first().first().toInt(), int(QDialog::Rejected));
        EXPECT_FALSE(progress().isVisible());
        EXPECT_FALSE(c.owner->isVisible());
        EXPECT_TRUE(c.owner->isEnabled());
        EXPECT_TRUE(mainWindow().isEnabled());
    }
}

TEST_F(ShowProcess, ShowingAgainStartsAFreshRunAndTheWidthFollowsTheProgressText) {
    startFor(&mainWindow(), 2);
    post(StateSending);
    post(StateSending);
    post(StateSent);
    deliver();
    click(button());

    startFor(&mainWindow(), 1000000);
    EXPECT_EQ(button()->text(), QStringLiteral("中斷"));
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("0 / 1000000(0%)"));
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 0);
    for (int i = 0; i < 3; ++i)
        post(StateQuerying);
    deliver();
    const QLabel* progressText = control<QLabel>("LabelProgress");
    EXPECT_EQ(progressText->text(), QStringLiteral("3 / 1000000(0%)"));
    EXPECT_EQ(progress().width(), progressText->x() + progressText->width() + 16);
    EXPECT_EQ(button()->x() + button()->width() + 16, progress().width());
}

TEST_F(ShowProcess, StepsBeyondTheMaximumKeepTheTextInStepWithTheBar) {
    startFor(&mainWindow(), 3);
    for (int i = 0; i < 5; ++i)
        post(StateCancelling);
    deliver();
    const auto* bar = control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(text("LabelProgress"), QStringLiteral("5 / 5(100%)"));
    EXPECT_EQ(bar->value(), bar->maximum()) << "a full bar beside 100 %";
    EXPECT_EQ(bar->maximum(), 5);

    post(StateCancelled);
    deliver();
    ASSERT_EQ(m_area.size(), 1);
    EXPECT_TRUE(m_area.first().endsWith(QString::fromUtf8("完成：5 / 5(100%)"))) << m_area.first().toStdString();
}
