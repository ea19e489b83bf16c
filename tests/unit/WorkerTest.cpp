#include "WorkerFixture.h"

#include "workers/SendLogJobs.h"
#include "workers/UiThreadSendLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <thread>

namespace norvi::test {
namespace {

class WorkerTest : public WorkerFixture {};

TEST(WorkerName, FormatByMode) {
    EXPECT_EQ(SendThd::formatThreadName(ModeSend, 1, 0x1A2B), big5("傳送執行緒1(00001A2B)"));
    EXPECT_EQ(SendThd::formatThreadName(ModeQuery, 1, 0xFFFFFFFF), big5("查詢執行緒1(FFFFFFFF)"));
    EXPECT_EQ(SendThd::formatThreadName(ModeCancel, 1, 0xabc), big5("取消預約執行緒1(00000ABC)"));
    EXPECT_EQ(SendThd::formatThreadName(ModeSend, 12, 0), big5("傳送執行緒12(00000000)"));
}

TEST_F(WorkerTest, NameCarriesTheIdOfTheWorkersOwnThread) {
    log.append("a", ImageTyped, "-1", "x");
    QueryAll = true;
    ASSERT_TRUE(runJob(ModeCancel, &log));
    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression name(QString::fromUtf8("取消預約執行緒1\\(([0-9A-F]{8})\\) start$"));
    const QRegularExpressionMatch m = name.match(lines[0]);
    ASSERT_TRUE(m.hasMatch()) << lines[0].toStdString();
    // Not the id of the thread that started it.
    EXPECT_NE(m.captured(1).toUInt(nullptr, 16), CurrentThreadNumber());
}

TEST_F(WorkerTest, StartAndShutDownLinesReachTheOperationLog) {
    ASSERT_TRUE(runJob(ModeSend, &log));
    QFile file(QDir(m_dir.path()).filePath(Clock::now().toString(QStringLiteral("yyyyMMdd")) + ".dbg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString text = fromBig5(file.readAll());
    EXPECT_EQ(text.count(QString::fromUtf8("傳送執行緒1(")), 2);
    EXPECT_TRUE(text.contains(" start"));
    EXPECT_TRUE(text.contains(" shut down"));
}

TEST_F(WorkerTest, SecondJobIsRefusedWhileOneIsRegistered) {
    SendQueue.push_back(record("0912345678"));
    bool refused = false;
    bool queueKept = false;
    QString error;
    // While the first worker waits in its result box it is still registered.
    struct BusyOwner : TestOwner {
        std::function<void()> whileShown;
        void showResultBox(const QByteArray& id, const QByteArray& text) override {
            TestOwner::showResultBox(id, text);
            whileShown();
        }
    } busy;
    busy.whileShown = [&] {
        FakeSendLog other;
        SendThd* second = nullptr;
        refused = !StartWorker(ModeQuery, &owner, &other, QByteArray(), &error, &second) && !second;
        int total = -1;
        QString sendError;
        const bool sendRefused = !StartSendRun(
            &owner, &other, [] { return 1; }, &total, &sendError);
        int queued = -1;
        QString resendError;
        log.append("failed", ImageTyped, "-1", "x");
        const bool resendRefused = !QueueFailedRows(log, &queued, &resendError);
        queueKept = sendRefused && resendRefused && SendQueue.size() == 1 && sendError == WorkerBusyText() &&
                    resendError == WorkerBusyText() && WorkerList.size() == 1;
    };
    SendThd* first = nullptr;
    ASSERT_TRUE(StartWorker(ModeQuery, &busy, nullptr, "ID1", &error, &first));
    EXPECT_TRUE(WorkerRegistered());
    EXPECT_FALSE(SendEvent.isSet());
    ASSERT_TRUE(waitUntilGone(first));
    EXPECT_TRUE(refused);
    EXPECT_EQ(error, QString::fromUtf8("上一個作業尚未結束，請稍候再試。"));
    EXPECT_TRUE(queueKept);
    EXPECT_FALSE(WorkerRegistered());
    EXPECT_TRUE(SendEvent.isSet());
    // Once the first job is over the next one starts.
    QueryAll = true;
    EXPECT_TRUE(runJob(ModeQuery, &log));
}

TEST_F(WorkerTest, SendEventIsSetByTheLastWorkerWhileTheCallerPumpsEvents) {
    SendQueue.push_back(record("0912345678"));
    SendThd* worker = nullptr;
    QString error;
    ASSERT_TRUE(StartWorker(ModeSend, &owner, &log, QByteArray(), &error, &worker));
    QPointer<SendThd> alive(worker);
    EXPECT_FALSE(SendEvent.isSet());
    QDeadlineTimer deadline(30000);
    while (!SendEvent.wait(std::chrono::milliseconds(0)) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(SendEvent.isSet());
    EXPECT_FALSE(WorkerRegistered());
    ASSERT_TRUE(waitUntilGone(alive));
    EXPECT_EQ(log.rows.size(), 1);
}

TEST_F(WorkerTest, StartSendRunFillsTheQueueThenStarts) {
    SendQueue.push_back(record("0900000000")); // left over from an earlier run
    StopFlag = true;
    int total = 0;
    SendThd* worker = nullptr;
    QString error;
    const bool started = StartSendRun(
        &owner, &log,
        [] {
            SendQueue.push_back(record("0911111111", 2));
            SendQueue.push_back(record("0922222222", 3));
            return 5;
        },
        &total, &error, &worker);
    ASSERT_TRUE(started) << error.toStdString();
    EXPECT_EQ(total, 5);
    EXPECT_FALSE(StopFlag.load());
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(log.rows.size(), 5);
    EXPECT_EQ(progress.states.value(0), StateCounting);
    EXPECT_EQ(progress.steps(StateSending), 5);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

TEST_F(WorkerTest, ListJobWithoutASendLogIsNotStarted) {
    QString error;
    EXPECT_FALSE(StartWorker(ModeQuery, &owner, nullptr, QByteArray(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(WorkerRegistered());
}

TEST(UiThreadTest, RunsOnTheUserInterfaceThreadAndWaits) {
    // Directly on this thread.
    bool ran = false;
    EXPECT_TRUE(UiThread::run([&] { ran = true; }));
    EXPECT_TRUE(ran);

    // From another thread: the routine runs here, and the caller sees its effect when run returns.
    QThread* ranOn = nullptr;
    int seenAfter = 0;
    QEventLoop loop;
    std::thread other([&] {
        int value = 0;
        UiThread::run([&] {
            ranOn = QThread::currentThread();
            value = 42;
        });
        seenAfter = value;
        UiThread::post([&loop] { loop.quit(); });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    other.join();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(seenAfter, 42);
}

TEST(UiThreadTest, SendLogCallsAllRunOnTheUserInterfaceThread) {
    FakeSendLog fake;
    fake.append("a", ImageMember, "0", "(MsgId:1)", "", ImageReservation, true);
    UiThreadSendLog wrapped(fake);
    QEventLoop loop;
    int count = 0, image = 0, code = 0;
    QVector<int> selected;
    QByteArray text;
    std::thread other([&] {
        const quint64 id = wrapped.addRow("b", ImageTyped, "0922", "20240101000000");
        wrapped.fillSendResult(id, "0", ImageNone, "ok", "hi");
        wrapped.fillSendResult(id + 100, "9", ImageNone, "no such row", "lost"); // ignored
        wrapped.setQueryResult(0, "20", "r");
        wrapped.setSelected(1, true);
        count = wrapped.rowCount();
        image = wrapped.rowImage(0);
        code = wrapped.codeImage(0);
        selected = wrapped.selectedRows();
        text = wrapped.text(1, ColContent);
        wrapped.batch([](SendLogAccess& l) { l.setSelected(0, !l.isSelected(0)); });
        UiThread::post([&loop] { loop.quit(); });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    other.join();
    EXPECT_EQ(fake.offThreadCalls, 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(image, ImageMember);
    EXPECT_EQ(code, ImageReservation);
    EXPECT_EQ(selected, (QVector<int>{0, 1}));
    EXPECT_EQ(text, "hi");
    EXPECT_EQ(fake.rows[0].cells[ColQueryCode], "20");
    EXPECT_EQ(fake.selection(), QVector<int>{1});
    EXPECT_EQ(fake.fillCalls, 1);
}

TEST(UiThreadTest, FlushReturnsOnceEveryQueuedWriteIsApplied) {
    FakeSendLog fake;
    UiThreadSendLog wrapped(fake);
    QEventLoop loop;
    int rowsSeenAtFlush = -1;
    std::thread other([&] {
        for (int i = 0; i < 50; ++i)
            wrapped.addRow("r", ImageTyped, "09", "20240101000000");
        wrapped.flush();
        // Runs on the user-interface thread after the flush: every row must already be there.
        UiThread::run([&] { rowsSeenAtFlush = int(fake.rows.size()); });
        UiThread::post([&loop] { loop.quit(); });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    other.join();
    EXPECT_EQ(rowsSeenAtFlush, 50);
    EXPECT_EQ(fake.offThreadCalls, 0);
}

TEST(CutBig5Test, NeverSplitsACharacter) {
    const QByteArray chinese = big5("傳送"); // two characters, four bytes
    EXPECT_EQ(CutBig5("abcdef", 4), "abcd");
    EXPECT_EQ(CutBig5("abc", 4), "abc");
    EXPECT_EQ(CutBig5(chinese, 4), chinese);
    EXPECT_EQ(CutBig5(chinese, 3), chinese.left(2));
    EXPECT_EQ(CutBig5("a" + chinese, 2), "a");
    EXPECT_EQ(CutBig5("a" + chinese, 3), "a" + chinese.left(2));
}

} // namespace
} // namespace norvi::test
