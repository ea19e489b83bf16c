#include "support/WorkerFixture.h"

#include "core/compose/OptOutList.h"
#include "core/compose/SegmentMessage.h"
#include "core/exchange/AddressText.h"
#include "core/shared/Big5.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobChannel.h"
#include "core/workers/JobQuestion.h"
#include "core/workers/RowHandOver.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/StopRows.h"
#include "support/ThreadState.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace norvi::test {
namespace {

class WorkerTest : public WorkerFixture {};

TEST_F(WorkerTest, SecondJobIsRefusedWhileOneIsRegisteredAndNothingIsEmptied) {
    SendQueue.push_back(record("0912345678"));
    log.append("failed", "-1", "x");
    QString error, sendError, resendError;
    bool refused = false, sendRefused = false, resendRefused = false;
    size_t workersWhileBusy = 0, queueWhileBusy = 0;
    // The first worker is still registered while it waits for its result box to be dismissed.
    owner.whileBoxShown = [&] {
        FakeSendLog other;
        SendThd* second = nullptr;
        refused = !StartWorker(jobs, RowJob{WorkerMode::Query, gateway(), &owner, QByteArray(), false, {}}, &other,
                               &error, &second) &&
                  !second;
        sendRefused = !StartSendRun(jobs, SendRun::ofQueue({sSendContent{}}, gateway(), &owner), &other, &sendError);
        resendRefused = !QueueFailedRows(jobs, log, SendQueue, nullptr, &resendError);
        workersWhileBusy = jobs.workerRegistered() ? 1u : 0u;
        queueWhileBusy = SendQueue.size();
        EXPECT_FALSE(jobs.noJobRunning());
    };
    ASSERT_TRUE(runJob(WorkerMode::Query, nullptr, "ID1"));
    EXPECT_TRUE(refused && sendRefused && resendRefused);
    EXPECT_EQ(error, QStringLiteral("上一個作業尚未結束，請稍候再試。"));
    EXPECT_EQ(sendError, error);
    EXPECT_EQ(resendError, error);
    EXPECT_EQ(workersWhileBusy, 1u);
    EXPECT_EQ(queueWhileBusy, 1u);
    EXPECT_TRUE(log.selection().isEmpty());
    EXPECT_FALSE(jobs.workerRegistered());
    EXPECT_TRUE(jobs.noJobRunning());

    // Once it is over the next job starts; the registry tells that a job runs from its start to its end.
    SendThd* worker = nullptr;
    ASSERT_TRUE(startSend(&log, &worker, &error));
    EXPECT_FALSE(jobs.noJobRunning());
    QPointer<SendThd> alive(worker);
    while (!jobs.noJobRunning() && alive)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_TRUE(jobs.noJobRunning());
    ASSERT_TRUE(waitUntilGone(alive));
}

// Each program has its own jobs: a job in one leaves another free. One that goes while its worker still waits
// for the gateway stops that worker and waits for it, so the worker never writes into freed memory and its row
// (sent, never answered: uncertain) still reaches the send log.
TEST_F(WorkerTest, ARegistryOfItsOwnStopsAndOutlastsItsWorker) {
    sim->setSilentAfter(1); // the login is answered, the send is not
    replyWaitSeconds = 60;
    SendQueue.push_back(record("0912345678"));
    QPointer<SendThd> alive;
    {
        JobRegistry other;
        SendThd* worker = nullptr;
        QString error;
        ASSERT_TRUE(StartSendWorker(other, SendRun::ofQueue(SendQueue, gateway(), &owner), &log, &error, &worker));
        alive = worker;
        EXPECT_TRUE(other.workerRegistered());
        EXPECT_FALSE(jobs.workerRegistered());
        ASSERT_TRUE(QTest::qWaitFor([this] { return requestsOf(GwSendDomestic).size() == 1; }, 10000));
    }
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_TRUE(StopRows::isUncertain(cell(0, ColSendCode), cell(0, ColSendResult)));
    ASSERT_TRUE(waitUntilGone(alive));
}

TEST_F(WorkerTest, StartSendRunAnnouncesTheCountAndSendsTheRun) {
    SendQueue.push_back(record("0911111111", 2));
    SendQueue.push_back(record("0922222222", 3));
    SendThd* worker = nullptr;
    QString error;
    ASSERT_TRUE(StartSendRun(jobs, SendRun::ofQueue(SendQueue, gateway(), &owner), &log, &error, &worker));
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(log.rows.size(), 5);
    EXPECT_EQ(progress.states.value(0), StateCounting);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

// The rows a resend takes: a send that did not go through, or one whose query says it failed.
TEST(FailedRowTest, ASendThatFailedOrAQuerySayingSoMakesAFailedRow) {
    const struct {
        const char *sendCode, *queryCode;
        bool failed;
    } cases[] = {{"0", "", false},   {"0", "16", true},  {"0", "0", false},  {"0", "1", false},  {"0", "3", false},
                 {"0", "4", false},  {"0", "19", false}, {"0", "20", false}, {"0", "31", false}, {"0", "40", false},
                 {"0", "41", false}, {"0", "2", true},   {"0", "21", true},  {"0", "x", false},  {"-1", "", true},
                 {"11", "", true},   {"abc", "", true},  {"", "", true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsFailedRow(c.sendCode, c.queryCode), c.failed) << c.sendCode << " / " << c.queryCode;
}

TEST_F(WorkerTest, ResendKeepsOrMakesTheFailedRowsSelectedAndQueuesThemInListOrder) {
    // Rows of three messages: each its own number.
    log.append("ok", "0", "(MsgId:1)", "", ImageNone, true).cells[ColMobile] = "0912000001";
    log.append("bad", "11", "x", "", ImageNone, true, ImageMember).cells[ColMobile] = "0912000002";
    log.append("bad-unselected", "-1", "x");
    int queued = 0;
    QString error;
    QVector<int> resent;
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error, false, nullptr, &resent));
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(resent, QVector<int>{1}) << "the selection the list shows";
    ASSERT_EQ(SendQueue.size(), 1u);
    EXPECT_EQ(getField(SendQueue.front().name), "bad");
    log.selectExactly(resent);

    // Without a selection every failed row is taken and becomes selected.
    log.rows[1].selected = false;
    FakeSendLog::Row& cut = log.append(QByteArray(150, 'n'), "abc", "x", "", ImageNone, false, ImageListRow);
    cut.cells[ColMobile] = "0912000004";
    cut.cells[ColContent] = QByteArray(200, 'c');
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error, false, nullptr, &resent));
    EXPECT_EQ(queued, 3);
    EXPECT_EQ(resent, (QVector<int>{1, 2, 3}));
    std::vector<sSendContent> q(SendQueue.begin(), SendQueue.end());
    EXPECT_EQ(q[0].seq, 0);
    EXPECT_EQ(q[2].seq, 2);
    EXPECT_EQ(q[0].kind, KindAddressBook);
    EXPECT_EQ(q[1].kind, KindTyped);
    EXPECT_EQ(q[2].kind, KindListRow);
    EXPECT_EQ(getField(q[1].msisdn), "0912345678");
    EXPECT_EQ(getField(q[1].segments[0]), "hello");
    EXPECT_EQ(q[1].segmentCount, 1);
    EXPECT_EQ(QByteArray(q[1].segments[1], kSegmentSize * 5), QByteArray(kSegmentSize * 5, '\0'));
    EXPECT_EQ(getField(q[2].name), QByteArray(99, 'n')); // cut to the field
    EXPECT_EQ(getField(q[2].segments[0]), QByteArray(160, 'c'));

    // Nothing failed: nothing queued.
    FakeSendLog fine;
    fine.append("fine", "0", "(MsgId:1)");
    ASSERT_TRUE(QueueFailedRows(jobs, fine, SendQueue, &queued, &error));
    EXPECT_EQ(queued, 0);
    EXPECT_TRUE(SendQueue.empty());
}

// A number on the stop list is never resent, whichever way its row writes it, failed or uncertain, selected
// or not; its row is left unselected with the rows that are not resent.
TEST_F(WorkerTest, ResendLeavesOutTheStopListsNumbers) {
    const struct {
        const char *mobile, *sendCode, *sendResult;
        bool selected, resent;
    } rows[] = {{"0912-345-678", "11", "x", true, false},
                {"0922000111", "11", "x", true, true},
                {"+886933000222", "-1", "已中斷：閘道未回覆，可能已送出", true, false},
                {"0944000333", "-1", "已中斷：閘道未回覆，可能已送出", false, false}};
    for (const auto& r : rows)
        log.append("row", r.sendCode, big5(r.sendResult), "", ImageNone, r.selected).cells[ColMobile] = r.mobile;
    OptOutList optOut;
    optOut.add("0912345678", {}, QDate(2024, 5, 1));
    optOut.add("0933000222", {}, QDate(2024, 5, 1));

    ResendChoice choice = ChooseResendRows(log);
    EXPECT_EQ(LeaveOutStoppedRows(choice, log, optOut), (QVector<int>{0, 2}));
    EXPECT_EQ(choice.failed, QVector<int>{1});
    EXPECT_TRUE(choice.uncertain.isEmpty());

    int queued = 0;
    QString error;
    QVector<int> stopped;
    QString leftOut;
    QVector<int> resent;
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error, true, &leftOut, &resent, &optOut, &stopped));
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(leftOut, QStringLiteral("略過 2 筆：拒收 2 筆")) << "the resend's end text counts them";
    EXPECT_EQ(getField(SendQueue.front().msisdn), "0922000111");
    EXPECT_EQ(resent, QVector<int>{1}) << "the selection the list shows";
    EXPECT_EQ(StoppedRowTexts(log, stopped), (QStringList{QStringLiteral("拒收名單中的 0912-345-678 未重發"),
                                                          QStringLiteral("拒收名單中的 +886933000222 未重發")}));
}

TEST_F(WorkerTest, ResendRunSendsAtOnceAndRowJobsTakeTheSelectionOrElseAllRows) {
    log.append("bad", "-1", "x", "", ImageNone, true, ImageMember);
    log.append("fine", "0", "(MsgId:1)").cells[ColMobile] = "0911111111";
    int queued = 0, maximum = 0;
    QString error;
    SendThd* worker = nullptr;
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error));
    ASSERT_TRUE(StartResend(jobs, gateway(), &owner, &log, SendQueue, &error, &worker));
    ASSERT_TRUE(waitUntilGone(worker));
    ASSERT_EQ(log.rows.size(), 3);
    EXPECT_EQ(cell(2, ColName), "bad");
    EXPECT_EQ(log.rows[2].image, ImageMember);
    EXPECT_EQ(cell(2, ColSendCode), "0");
    EXPECT_EQ(params(requestsOf(GwSendDomestic).value(0)).value(1), "01");

    // Row 0 is still selected: a query of the selection.
    ASSERT_TRUE(StartRowJobFromLog(jobs, gateway(), WorkerMode::Query, &owner, &log, &log, &maximum, &error, &worker));
    EXPECT_FALSE(worker->allRows());
    EXPECT_EQ(maximum, 1);
    ASSERT_TRUE(waitUntilGone(worker));
    log.rows[0].selected = false;
    ASSERT_TRUE(StartRowJobFromLog(jobs, gateway(), WorkerMode::Cancel, &owner, &log, &log, &maximum, &error, &worker));
    EXPECT_TRUE(worker->allRows());
    EXPECT_EQ(maximum, 3);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(progress.steps(StateQuerying), 1);
    EXPECT_EQ(progress.steps(StateCancelling), 3);
    EXPECT_EQ(progress.endStates(), (QList<int>{StateSent, StateQueried, StateCancelled}));
}

// Runs `body` on another thread while this one pumps events, as a worker would be run.
void onOtherThread(const JobChannel& channel, const std::function<void()>& body) {
    QEventLoop loop;
    std::thread other([&] {
        body();
        channel.post([&loop] { loop.quit(); });
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    other.join();
}

TEST(JobChannelTest, RoutinesRunOnTheUserInterfaceThreadInOrder) {
    const auto channel = std::make_shared<JobChannel>();
    bool direct = false;
    EXPECT_TRUE(channel->run([&] { direct = true; }));
    EXPECT_TRUE(direct);

    QThread* ranOn = nullptr;
    int seenAfter = 0;
    onOtherThread(*channel, [&] {
        int value = 0;
        channel->run([&] { ranOn = QThread::currentThread(), value = 42; });
        seenAfter = value;
    });
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(seenAfter, 42);

    // Queued rows, fills and answers of the send log arrive in the order they were made; a flush waits for all.
    FakeSendLog fake;
    fake.append("a", "0", "(MsgId:1)", "", ImageReservation, true, ImageMember);
    const quint64 first = fake.rows[0].id;
    fake.walkBegins(false);
    RowHandOver wrapped(&fake, &fake, channel);
    int rowsAtFlush = 0;
    QByteArray answerAtFlush;
    onOtherThread(*channel, [&] {
        for (int i = 0; i < 20; ++i)
            wrapped.fillSendResult(wrapped.addRow("b", ImageTyped, "09", "20240101000000"), "0", -1, "ok", "hi");
        wrapped.fillSendResult(999, "9", -1, "no such row", "lost"); // ignored
        wrapped.answered(first, "4", "first");
        wrapped.answered(first, "20", "r"); // the later answer stands
        wrapped.walked({first}, false);
        wrapped.addRow("c", ImageTyped, "09", "20240101000000");
        wrapped.flush();
        channel->run([&] {
            rowsAtFlush = int(fake.rows.size());
            answerAtFlush = fake.rows[0].cells[ColQueryResult];
        });
    });
    EXPECT_EQ(rowsAtFlush, 22);
    EXPECT_EQ(answerAtFlush, "r");
    EXPECT_TRUE(fake.selection().isEmpty()) << "a selected-rows job lets go of the row it passed by";
    EXPECT_EQ(fake.rows[20].cells[ColContent], "hi");
    EXPECT_EQ(fake.fillCalls, 20);
    EXPECT_EQ(fake.rows[0].cells[ColQueryCode], "20");
    EXPECT_EQ(fake.offThreadCalls, 0);

    // A fill still held when its wrapper goes lands after its row.
    auto late = std::make_unique<RowHandOver>(&fake, nullptr, channel);
    std::thread writer([&] { late->fillSendResult(late->addRow("d", ImageTyped, "09", "x"), "5", -1, "late", "d"); });
    writer.join();
    late.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(fake.rows.last().cells[ColSendCode], "5");
}

// A worker's question: the answer the routine gets comes back; a stop while nobody answers ends the wait,
// and so does a routine that goes unrun (its application went first). A routine that runs after the stop
// asks nothing: nobody would close that box. Without an answer the run stops.
TEST(JobChannelTest, AQuestionsWaitEndsWithItsAnswerAStopOrItsDroppedRoutine) {
    const auto stop = std::make_shared<StopFlag>();
    int asked = 0;
    const auto ask = [&asked] { return ++asked > 0; };
    {
        const JobQuestion question(stop);
        question.asking(ask)();
        EXPECT_EQ(question.wait(), std::optional<bool>(true));
    }
    {
        const JobQuestion question(stop);
        (void)question.asking(ask);
        EXPECT_EQ(question.wait(), std::nullopt);
    }
    const JobQuestion question(stop);
    std::function<void()> unanswered = question.asking(ask);
    // The stop comes once this thread sleeps in the wait.
    std::thread stopper([stop, waiter = ThisThreadId()] {
        ThreadBlocks(waiter);
        stop->request();
    });
    EXPECT_EQ(question.wait(), std::nullopt);
    stopper.join();
    // Another job's stop takes nothing back: only the asking job's does.
    const JobQuestion other(std::make_shared<StopFlag>());
    other.asking(ask)();
    EXPECT_EQ(other.wait(), std::optional<bool>(true));
    unanswered();
    EXPECT_EQ(asked, 2) << "the question that came after the stop was asked";
}

// Writes gather into batches that the user-interface thread runs on its own time: a worker that hands more
// rows over than one batch holds and then waits (as on a silent gateway) still has every row, fill and
// step in the log and the progress window while it waits; only the last fill waits for the next call.
TEST(JobChannelTest, ABatchReachesTheLogWhileItsWorkerWaitsElsewhere) {
    FakeSendLog fake;
    const auto channel = std::make_shared<JobChannel>();
    ProgressRecorder progress;
    channel->setProgressTarget(&progress);
    auto wrapped = std::make_unique<RowHandOver>(&fake, nullptr, channel);
    std::promise<void> release;
    std::thread worker([&, released = release.get_future()] {
        for (int i = 0; i < 700; ++i) {
            wrapped->fillSendResult(wrapped->addRow("b", ImageTyped, "09", "20240101000000"), "0", -1, "ok", "hi");
            wrapped->stepAfterFill(StateSending);
        }
        wrapped->fillSendResult(wrapped->addRow("c", ImageTyped, "09", "20240101000000"), "0", -1, "ok", "hi");
        released.wait();
    });
    const bool arrived = QTest::qWaitFor([&] { return fake.rows.size() == 701 && fake.fillCalls == 700; }, 5000);
    release.set_value();
    worker.join();
    EXPECT_TRUE(arrived) << fake.rows.size() << " rows, " << fake.fillCalls << " fills";
    EXPECT_EQ(progress.steps(StateSending), 700);
    EXPECT_EQ(fake.offThreadCalls, 0);
    wrapped.reset();
    EXPECT_EQ(fake.fillCalls, 701) << "the held fill lands as its wrapper goes";
}

// The batch timer stops once a turn finds nothing and starts again with the next row: rows that come in
// bursts with pauses longer than a batch (a slow gateway) each reach the log and the progress window while
// their worker waits, however the bursts fall against the timer's turns.
TEST(JobChannelTest, RowsAfterAPauseReachTheLogWithoutAnotherCall) {
    FakeSendLog fake;
    const auto channel = std::make_shared<JobChannel>();
    ProgressRecorder progress;
    channel->setProgressTarget(&progress);
    auto wrapped = std::make_unique<RowHandOver>(&fake, nullptr, channel);
    std::atomic<int> handed{0};
    std::mutex gateLock;
    std::condition_variable gateMoved;
    int released = 0; // under gateLock
    std::thread worker([&] {
        for (int burst = 1; burst <= 6; ++burst) {
            for (int i = 0; i < burst; ++i) {
                wrapped->fillSendResult(wrapped->addRow("b", ImageTyped, "09", "20240101000000"), "0", -1, "ok", "hi");
                wrapped->stepAfterFill(StateSending);
            }
            handed = handed + burst;
            std::unique_lock<std::mutex> guard(gateLock);
            gateMoved.wait(guard, [&] { return released >= burst; });
        }
    });
    int landed = 0;
    for (int burst = 1; burst <= 6; ++burst) {
        const int expected = burst * (burst + 1) / 2;
        // The next burst comes once the timer has stopped: a pause longer than a batch.
        if (QTest::qWaitFor([&] { return handed.load() == expected; }, 5000) &&
            QTest::qWaitFor([&] { return fake.fillCalls == expected && progress.steps(StateSending) == expected; },
                            5000) &&
            QTest::qWaitFor([&] { return !wrapped->batchTimerArmed(); }, 5000))
            landed = expected;
        {
            const std::lock_guard<std::mutex> guard(gateLock);
            released = burst;
        }
        gateMoved.notify_one();
    }
    worker.join();
    EXPECT_EQ(landed, 21) << fake.fillCalls << " fills, " << progress.steps(StateSending) << " steps";
    EXPECT_EQ(int(fake.rows.size()), 21);
    EXPECT_EQ(fake.offThreadCalls, 0);
}

// A worker whose user-interface thread is busy elsewhere stops handing rows over after a bounded few, and
// goes on once that thread runs them: the rows on their way never grow with the length of the run.
TEST(JobChannelTest, AWorkerFarAheadOfTheUserInterfaceThreadWaitsForIt) {
    constexpr int kRows = 5000;
    FakeSendLog fake;
    auto wrapped = std::make_unique<RowHandOver>(&fake, nullptr, std::make_shared<JobChannel>());
    std::atomic<int> handed{0};
    std::atomic<pid_t> workerId{0};
    std::thread worker([&] {
        workerId = ThisThreadId();
        for (int i = 0; i < kRows; ++i) {
            wrapped->fillSendResult(wrapped->addRow("b", ImageTyped, "09", "20240101000000"), "0", -1, "ok", "hi");
            wrapped->stepAfterFill(StateSending);
            ++handed;
        }
    });
    // This thread runs no event meanwhile: the worker hands rows over until it waits for them to land.
    EXPECT_TRUE(Eventually([&] { return workerId.load() != 0; }));
    ThreadBlocks(workerId);
    const int whileBusy = handed.load();
    const bool finished = QTest::qWaitFor([&] { return handed.load() == kRows; }, 20000);
    worker.join();
    wrapped->flush();
    EXPECT_LT(whileBusy, kRows / 2);
    EXPECT_TRUE(finished);
    EXPECT_EQ(int(fake.rows.size()), kRows);
    EXPECT_EQ(fake.fillCalls, kRows);
    EXPECT_EQ(fake.offThreadCalls, 0);
}

// A worker's lines about its rows travel with the rows: each is shown once its row is in the log, lines said
// one after another are shown with one append, in order, and a routine run after them (a question, the end)
// finds every earlier line shown. A step of a list job lands once the answers before it are in the log.
TEST(JobChannelTest, RowLinesAndStepsTravelBehindTheirRowsAndShowTogether) {
    FakeSendLog fake;
    const auto channel = std::make_shared<JobChannel>();
    // The first row's query code as each query step arrives.
    class AnswerAtStep : public ProgressRecorder {
    public:
        explicit AnswerAtStep(const FakeSendLog& log) : m_log(log) {}
        QByteArrayList codes;

    protected:
        bool event(QEvent* e) override {
            if (e->type() == QEvent::Type(WM_SHOWPROCESS) &&
                static_cast<ShowProcessEvent*>(e)->report().state == StateQuerying)
                codes << m_log.rows[0].cells[ColQueryCode];
            return ProgressRecorder::event(e);
        }

    private:
        const FakeSendLog& m_log;
    } progress(fake);
    channel->setProgressTarget(&progress);
    struct Append {
        QStringList lines;
        int rows;
    };
    QList<Append> appends;
    SetMessageAreaBatchSink([&](const QStringList& lines) { appends.append({lines, int(fake.rows.size())}); });
    auto wrapped = std::make_unique<RowHandOver>(&fake, &fake, channel);
    // Handed over while this thread runs no event: the batch is there whole when it does.
    std::thread worker([&] {
        for (int i = 0; i < 30; ++i) {
            const quint64 id = wrapped->addRow("r", ImageTyped, "09", "20240101000000");
            wrapped->showLine("refused " + QByteArray::number(i));
            wrapped->fillSendResult(id, "10", -1, "no", "hi");
            wrapped->stepAfterFill(StateSending);
        }
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.fillCalls == 30; }, 10000));
    ASSERT_EQ(appends.size(), 1);
    EXPECT_EQ(appends[0].rows, 30);
    ASSERT_EQ(appends[0].lines.size(), 30);
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(appends[0].lines[i].endsWith(QStringLiteral("  refused %1").arg(i))) << i;

    int linesAtQuestion = 0;
    onOtherThread(*channel, [&] {
        wrapped->showLine("before the question");
        wrapped->runAfterWrites([&] { linesAtQuestion = int(appends.size()); });
        wrapped->answered(fake.rows[0].id, "4", "pending");
        wrapped->step(ReportOf(StateQuerying, {}, 1, fake.rows[0].id));
        wrapped->showLine("last");
        wrapped->flush();
    });
    SetMessageAreaBatchSink(nullptr);
    EXPECT_EQ(linesAtQuestion, 2) << "the line before the question was not shown before it";
    ASSERT_EQ(appends.size(), 3);
    EXPECT_TRUE(appends[2].lines.last().endsWith(QStringLiteral("  last")));
    EXPECT_EQ(progress.codes, QByteArrayList{"4"});
    EXPECT_EQ(progress.steps(StateSending), 30);

    // Said on the user-interface thread itself, a line is shown at once, one by one without a batch sink.
    QStringList direct;
    SetMessageAreaSink([&](const QString& line) { direct << line; });
    wrapped->showLine("here");
    SetMessageAreaSink(nullptr);
    ASSERT_EQ(direct.size(), 1);
    EXPECT_TRUE(direct[0].endsWith(QStringLiteral("  here")));
    EXPECT_EQ(fake.offThreadCalls, 0);
}

TEST_F(WorkerTest, ResendOfAFullContentCellCutsAtACharacterBoundary) {
    // A cell loaded from a file fills all 161 bytes: 159 one-byte characters, then one of two bytes.
    const QByteArray straddling = QByteArray(159, 'a') + big5("傳");
    log.append("wide", "-1", "x").cells[ColContent] = straddling;
    // 160 one-byte characters and one more: the segment keeps 160.
    log.append("narrow", "-1", "x").cells[ColContent] = QByteArray(161, 'b');
    // Two-byte characters all along: 80 of them fill the 160 bytes exactly.
    QByteArray chinese;
    while (chinese.size() < 161)
        chinese += big5("會");
    log.append("chinese", "-1", "x").cells[ColContent] = chinese.left(161);

    int queued = 0;
    QString error;
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error));
    ASSERT_EQ(queued, 3);
    std::vector<sSendContent> q(SendQueue.begin(), SendQueue.end());
    EXPECT_EQ(getField(q[0].segments[0]), QByteArray(159, 'a')) << "never half a character";
    EXPECT_EQ(getField(q[1].segments[0]), QByteArray(160, 'b'));
    EXPECT_EQ(getField(q[2].segments[0]), chinese.left(160));
}

TEST(SingleMsgIdTest, TypedMsgIdIsTrimmedAndRefusedWhenEmptyUnmappableOrTooLong) {
    QByteArray id;
    QString error;
    EXPECT_TRUE(ParseSingleMsgId(QStringLiteral("  A1B2 "), &id, &error));
    EXPECT_EQ(id, "A1B2");
    EXPECT_TRUE(ParseSingleMsgId(QString(20, QLatin1Char('9')), &id, &error));
    EXPECT_EQ(id.size(), 20);

    EXPECT_FALSE(ParseSingleMsgId(QStringLiteral("   "), &id, &error));
    EXPECT_EQ(error, QString::fromUtf8("請輸入MsgId！"));
    EXPECT_FALSE(ParseSingleMsgId(QString(21, QLatin1Char('9')), &id, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("20"))) << error.toStdString();
    EXPECT_FALSE(ParseSingleMsgId(QString::fromUtf8("AB😀"), &id, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("U+1F600"))) << error.toStdString();
    EXPECT_EQ(id, QByteArray(20, '9')) << "a refused MsgId leaves the last good one alone";
}

TEST(CutBig5Test, NeverSplitsACharacter) {
    const struct {
        const char* text;
        int bytes;
        const char* kept;
    } cases[] = {{"abcdef", 4, "abcd"}, {"abc", 2, "ab"},          {"傳送", 4, "傳送"},     {"傳送", 3, "傳"},
                 {"a傳送", 2, "a"},     {"a王小明", 7, "a王小明"}, {"a王小明", 6, "a王小"}, {"a王小明", 4, "a王"}};
    // The send run's cut and the address exchange's give the same.
    for (const auto& c : cases) {
        EXPECT_EQ(CutBig5(big5(c.text), c.bytes), big5(c.kept)) << c.text << " to " << c.bytes;
        EXPECT_EQ(CutBig5(QByteArrayView(big5(c.text)), qsizetype(c.bytes)), big5(c.kept))
            << c.text << " to " << c.bytes;
    }
    // The segmentation's rule itself: a text that fits stays whole, even one that ends in a lead byte.
    const QByteArray chinese = big5("傳送");
    EXPECT_EQ(WholeCharsLength(chinese.left(3), 3), 3);
    EXPECT_EQ(WholeCharsLength(chinese, 0), 0);
    EXPECT_EQ(WholeCharsLength(QByteArray(), 5), 0);
}

} // namespace
} // namespace norvi::test
