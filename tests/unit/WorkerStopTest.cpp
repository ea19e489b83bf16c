#include "support/WorkerFixture.h"

#include "core/gateway/LoginTest.h"
#include "core/gateway/Sockets.h"
#include "core/shared/Config.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/FollowUpRound.h"
#include "core/workers/QueryJob.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/StopRows.h"
#include "support/GatewayPeer.h"
#include "support/ThreadState.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

// A stop inside a wait on the gateway, the rows it leaves, and giving up on a gateway that does not answer.
// Waits are real: the gateway simulator takes the login and then keeps silent. The bounds are generous
// (5 s against a reply wait of 60 s) so they hold under the sanitizers; bench/StopLatencyBench measures the
// latencies themselves.
namespace norvi::test {
namespace {

constexpr qint64 kWorkerStopBoundMs = 5000;
constexpr int kLongReplyWait = 60; // a stop that only took effect when the wait ran out would show

QByteArray sentResult(const QByteArray& msgId) {
    return big5("訊息已成功送出(MsgId:") + msgId + ")";
}

class WorkerStopTest : public WorkerFixture {
protected:
    void SetUp() override {
        WorkerFixture::SetUp();
        replyWaitSeconds = kLongReplyWait;
    }

    // Starts a send of SendQueue and stops it as stopInsideTheWait does.
    qint64 sendAndStopInsideTheWait(const std::function<bool()>& asked, const std::function<void(SendThd*)>& stop) {
        SendThd* worker = nullptr;
        QString error;
        EXPECT_TRUE(startSend(&log, &worker, &error));
        return stopInsideTheWait(worker, asked, stop);
    }
    // Calls `stop` once `asked` holds: the request to be cut has reached the gateway, which keeps its answer
    // back, so the worker waits for it. Returns the milliseconds from the stop to the worker's end, or -1 when
    // the worker ended first.
    qint64 stopInsideTheWait(SendThd* worker, const std::function<bool()>& asked,
                             const std::function<void(SendThd*)>& stop) {
        QPointer<SendThd> alive(worker);
        const bool reached = QTest::qWaitFor([&] { return !alive || asked(); }, 20000);
        QElapsedTimer sinceStop;
        if (reached && alive) {
            sinceStop.start();
            stop(alive.data());
        }
        EXPECT_TRUE(waitUntilGone(worker));
        return sinceStop.isValid() ? sinceStop.elapsed() : -1;
    }
    // Whether the gateway holds `count` requests of `type`.
    std::function<bool()> holds(int count, uint8_t type) const {
        return [this, count, type] { return requestsOf(type).size() >= count; };
    }

    bool sentOk(int row) const {
        return cell(row, ColSendCode) == "0" && cell(row, ColSendResult).startsWith(big5("訊息已成功送出(MsgId:"));
    }
    bool notSent(int row) const {
        return cell(row, ColSendCode) == "-1" && cell(row, ColSendResult) == big5("未傳送：作業已中斷");
    }
    RunOutcome lastOutcome() const { return progress.outcomes.value(progress.outcomes.size() - 1); }
    // A list job over `log`, as the send log window starts one.
    SendThd* startListJob(WorkerMode mode) {
        SendThd* worker = nullptr;
        QString error;
        EXPECT_TRUE(StartRowJob(jobs, gateway(), mode, QueryAll, &owner, &log, &log, nullptr, &error, &worker));
        return worker;
    }
    static void stopTheWorker(SendThd* worker) {
        ASSERT_NE(worker, nullptr);
        worker->requestStop();
    }
};

TEST_F(WorkerStopTest, StopInsideAReplyWaitEndsTheRunAtOnceWithTheCutRowAndARowForEveryOtherSegment) {
    sim->setSilentAfter(2); // the login and the first send are answered, the second send is not
    SendQueue.push_back(record("0911111111"));
    SendQueue.push_back(record("0922222222"));
    SendQueue.push_back(record("0933333333", 2, KindAddressBook, big5("王小明")));
    SendQueue.push_back(record("0944444444"));
    const qint64 latency = sendAndStopInsideTheWait(holds(2, GwSendDomestic), [](SendThd* w) { w->requestStop(); });

    ASSERT_GE(latency, 0) << "the stop never came";
    EXPECT_LT(latency, kWorkerStopBoundMs);
    ASSERT_EQ(log.rows.size(), 5);
    EXPECT_TRUE(sentOk(0));
    const QByteArray cut = big5("已中斷：閘道未回覆，可能已送出"), notReached = big5("未傳送：作業已中斷");
    EXPECT_EQ(column(ColSendCode).mid(1), QList<QByteArray>(4, "-1"));
    EXPECT_EQ(column(ColSendResult).mid(1), (QList<QByteArray>{cut, notReached, notReached, notReached}));
    EXPECT_EQ(column(ColMobile),
              (QList<QByteArray>{"0911111111", "0922222222", "0933333333", "0933333333", "0944444444"}));
    EXPECT_EQ(column(ColContent), (QList<QByteArray>{"part1", "part1", "part1", "part2", "part1"}));
    EXPECT_EQ(cell(2, ColName), big5("王小明"));
    // The rows not reached carry the stop's time, all the same.
    EXPECT_EQ(cell(2, ColSendTime), cell(4, ColSendTime));
    EXPECT_GE(cell(2, ColSendTime), cell(1, ColSendTime));
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 2);
    EXPECT_EQ(progress.steps(StateSending), 2);
    ASSERT_EQ(progress.endStates(), QList<int>{StateSent});
    const RunOutcome o = lastOutcome();
    EXPECT_TRUE(o.known && o.stopped && !o.gaveUp);
    EXPECT_EQ(o.succeeded, 1);
    EXPECT_EQ(o.uncertain, 1);
    EXPECT_EQ(o.notReached, 3);
    EXPECT_EQ(RunOutcomeText(StateSent, o),
              QStringLiteral("簡訊傳送已中斷：成功 1 筆，失敗 0 筆，不確定 1 筆，未傳送 3 筆"));
    EXPECT_EQ(linesWith("作業已中斷"), 1);
}

// The thread's own stop (as the job owner asks a worker to end) wakes the wait the same way; a stop while
// the login is awaited leaves the message unsent, since the gateway never got it.
TEST_F(WorkerStopTest, WorkerStopDuringTheLoginLeavesEveryMessageNotSent) {
    sim->setSilentAfter(0);
    for (const char* n : {"0911111111", "0922222222", "0933333333"})
        SendQueue.push_back(record(n));
    const qint64 latency = sendAndStopInsideTheWait(holds(1, GwLogin), stopTheWorker);
    ASSERT_GE(latency, 0);
    EXPECT_LT(latency, kWorkerStopBoundMs);
    ASSERT_EQ(log.rows.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(notSent(i)) << i;
    EXPECT_TRUE(requestsOf(GwSendDomestic).isEmpty());
    const RunOutcome o = lastOutcome();
    EXPECT_TRUE(o.stopped);
    EXPECT_EQ(o.failed, 0);
    EXPECT_EQ(o.notReached, 3);
}

TEST_F(WorkerStopTest, StopBeforeTheRunBeginsStillGivesEveryRecipientItsRow) {
    SendQueue.push_back(record("0911111111", 2));
    SendThd* worker = nullptr;
    QString error;
    ASSERT_TRUE(startSend(&log, &worker, &error));
    worker->requestStop();
    ASSERT_TRUE(waitUntilGone(worker));
    ASSERT_EQ(log.rows.size(), 2);
    EXPECT_TRUE(notSent(0) && notSent(1));
    EXPECT_EQ(sim->connectionCount(), 0);
}

// Nobody listens: every exchange fails on the transport at once. The owner is asked after three in a row,
// says yes, is asked again after three more, says no; the rest are not sent.
TEST_F(WorkerStopTest, ThreeTransportFailuresInARowAskTheOwnerAndNoStopsTheRun) {
    stopSimulator();
    for (int i = 0; i < 9; ++i)
        SendQueue.push_back(record("09110000" + QByteArray::number(10 + i)));
    owner.continueAnswers = {true, false};
    ASSERT_TRUE(runJob(WorkerMode::Send, &log));
    EXPECT_EQ(owner.continueAsked, (QList<int>{3, 6}));
    EXPECT_EQ(owner.offThreadCalls, 0);
    ASSERT_EQ(log.rows.size(), 9);
    EXPECT_EQ(column(ColSendCode), QList<QByteArray>(9, "-1"));
    EXPECT_EQ(column(ColSendResult),
              QList<QByteArray>(6, big5("網路連線失敗")) + QList<QByteArray>(3, big5("未傳送：作業已中斷")));
    const RunOutcome o = lastOutcome();
    EXPECT_TRUE(o.stopped && o.gaveUp);
    EXPECT_EQ(o.failed, 6);
    EXPECT_EQ(o.notReached, 3);
    EXPECT_EQ(RunOutcomeText(StateSent, o),
              QStringLiteral("簡訊傳送已中斷（閘道沒有回應）：成功 0 筆，失敗 6 筆，未傳送 3 筆"));
    EXPECT_EQ(linesWith("閘道連續 6 次沒有回應，作業已停止。"), 1);

    // Resend after the give-up takes exactly the rows with code -1, the unsent ones among them.
    int queued = 0;
    QString error;
    ASSERT_TRUE(QueueFailedRows(jobs, log, SendQueue, &queued, &error));
    EXPECT_EQ(queued, 9);
}

// Two recipients in a row that get no answer, then one that does: nothing is asked and nothing is left out.
TEST_F(WorkerStopTest, FewerThanThreeFailuresInARowNeverStopTheRun) {
    replyWaitSeconds = 1;
    gwsim::SimOptions options;
    options.port = 0;
    options.plan.silentFrom = 3; // the second recipient's send and login, the third one's two logins
    options.plan.silentCount = 4;
    sim = std::make_unique<gwsim::GatewaySimulator>(options);
    ASSERT_TRUE(sim->start());
    m_dir.config().edit([this](sConfig& c) { c.gwPort = sim->port(); });
    for (int i = 0; i < 5; ++i)
        SendQueue.push_back(record("09220000" + QByteArray::number(10 + i)));
    ASSERT_TRUE(runJob(WorkerMode::Send, &log));
    EXPECT_TRUE(owner.continueAsked.isEmpty());
    ASSERT_EQ(log.rows.size(), 5);
    EXPECT_EQ(column(ColSendCode), (QList<QByteArray>{"0", "-1", "-1", "0", "0"}));
    EXPECT_FALSE(lastOutcome().stopped);
    // The second recipient's request went out unanswered; the third one's logins failed, so it surely did not.
    EXPECT_EQ(RunOutcomeText(StateSent, lastOutcome()),
              QStringLiteral("簡訊傳送完成：成功 3 筆，失敗 1 筆，不確定 1 筆"));
}

class QueryStopTest : public WorkerStopTest {
protected:
    // Reservations, so a cancellation tries them too.
    void addSentRows(int count) {
        for (int i = 0; i < count; ++i)
            log.append(QByteArray::number(i), "0", sentResult(test::sendAcceptedMessage(sim->port(), false)), "",
                       ImageReservation);
    }
};

TEST_F(QueryStopTest, StopInsideAQueryWaitCutsThatRowAndTheRowsNotAskedSaySo) {
    addSentRows(4);
    log.append("failed", "-1", big5("網路連線失敗")); // never asked, and left alone
    sim->setSilentAfter(2);
    QueryAll = true;
    const qint64 latency = stopInsideTheWait(startListJob(WorkerMode::Query), holds(2, GwQuery), stopTheWorker);
    ASSERT_GE(latency, 0);
    EXPECT_LT(latency, kWorkerStopBoundMs);
    // The first answered (at the message centre, not delivered yet); the last never asked.
    EXPECT_EQ(column(ColQueryCode), (QList<QByteArray>{"4", "-1", "-1", "-1", ""}));
    const QByteArray notAsked = big5("未查詢：作業已中斷");
    EXPECT_EQ(column(ColQueryResult).mid(1, 3), (QList<QByteArray>{big5("已中斷：閘道未回覆"), notAsked, notAsked}));
    const RunOutcome o = lastOutcome();
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
    EXPECT_EQ(RunOutcomeText(StateQueried, o),
              QStringLiteral("簡訊查詢已中斷，查詢 4 筆：有回覆 1 筆（處理中 1 筆）、未能查詢 1 筆、未查詢 2 筆"));
    // A row not asked is asked by the next query, and is no failed message for a resend.
    EXPECT_FALSE(IsFailedRow("0", "-1"));
}

TEST_F(QueryStopTest, CancelRunGivesUpAfterThreeTransportFailuresWhenTheOwnerSaysNo) {
    addSentRows(5);
    stopSimulator();
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));
    EXPECT_EQ(owner.continueAsked, QList<int>{3});
    EXPECT_EQ(column(ColQueryResult),
              QList<QByteArray>(3, big5("網路連線失敗")) + QList<QByteArray>(2, big5("未取消：作業已中斷")));
    EXPECT_EQ(RunOutcomeText(StateCancelled, lastOutcome()),
              QStringLiteral("預約簡訊取消已中斷（閘道沒有回應），取消 5 筆：已取消 0 筆、未能取消 3 筆、未取消 2 筆"));
}

// A single MsgId whose answer never comes: its box says whether the wait ran out or was cut by a stop.
TEST_F(QueryStopTest, SingleMsgIdTimedOutOrStoppedInItsWaitSaysWhich) {
    const struct {
        const char* label;
        WorkerMode mode;
        bool stopped;
        const char* box;
    } cases[] = {
        {"query timed out", WorkerMode::Query, false, "結果碼：-1\r\n查詢結果：閘道沒有回應（Recv()逾時）"},
        {"cancel stopped", WorkerMode::Cancel, true, "預約取消碼：-1\r\n預約取消結果：已中斷：閘道未回覆，可能已取消"}};
    sim->setSilentAfter(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        owner.boxes.clear();
        replyWaitSeconds = c.stopped ? kLongReplyWait : 1;
        // The stop comes once the cancellation has reached the gateway, which keeps its answer back.
        QElapsedTimer sinceStop;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (requestsOf(GwCancel).isEmpty())
                return;
            watch.stop();
            sinceStop.start();
            jobs.requestStop();
        });
        if (c.stopped)
            watch.start(1);
        ASSERT_TRUE(runJob(c.mode, nullptr, "X1"));
        if (c.stopped) {
            EXPECT_LT(sinceStop.elapsed(), kWorkerStopBoundMs);
        }
        ASSERT_EQ(owner.boxes.size(), 1);
        EXPECT_EQ(fromBig5(owner.boxes[0].second), QString::fromUtf8(c.box));
    }
}

// A Ctrl+C heard twice, by the handler and then passed on by the job's starter, is one stop: the answer on its
// way keeps its grace. Only a stop asked for again ends the grace.
TEST_F(QueryStopTest, AStopHeardTwiceKeepsTheAnswerOnItsWay) {
    addSentRows(2);
    sim->setReplyFaults({800, false, 0});
    QueryAll = true;
    const struct {
        bool passedOnOnce;
        const char* code;
    } cases[] = {{true, "4"}, {false, "-1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.passedOnOnce ? "passed on once" : "asked again");
        for (int i = 0; i < 2; ++i)
            log.rows[i].cells[ColQueryCode].clear();
        const int asked = int(requestsOf(GwQuery).size());
        stopInsideTheWait(startListJob(WorkerMode::Query), holds(asked + 2, GwQuery), [&](SendThd*) {
            StopRunningJobs(); // the signal handler
            if (c.passedOnOnce)
                jobs.requestStopOnce();
            else
                jobs.requestStop();
        });
        EXPECT_EQ(cell(1, ColQueryCode), c.code);
    }
}

// A cancellation's answer with bytes behind it may be another row's, so it is asked again on a new connection.
// A stop that came during the wait ends that: the cancellation went out and may have taken effect, so the row
// says its fate is unknown and the user asks again. It is never taken for an answer, and never cancelled again.
TEST_F(QueryStopTest, AStopDuringACancelWaitLeavesAnOutOfStepAnswerUncertain) {
    addSentRows(2);
    sim->setReplyFaults({800, false, 8});
    QueryAll = true;
    // The first cancellation's answer is 800 ms late: the stop comes while it is awaited.
    ASSERT_GE(stopInsideTheWait(startListJob(WorkerMode::Cancel), holds(1, GwCancel), stopTheWorker), 0);

    int cancels = 0;
    for (const sGwRequest& r : sim->requests())
        cancels += r.msg_type == GwCancel ? 1 : 0;
    EXPECT_EQ(cancels, 1) << "asked again after the stop";
    EXPECT_EQ(cell(0, ColQueryCode), "-1");
    EXPECT_EQ(cell(0, ColQueryResult), big5("取消結果不明，請再查詢"));
    EXPECT_EQ(cell(1, ColQueryResult), big5("未取消：作業已中斷"));
    EXPECT_EQ(RunOutcomeText(StateCancelled, lastOutcome()),
              QStringLiteral("預約簡訊取消已中斷，取消 2 筆：已取消 0 筆、未能取消 0 筆、結果不明 1 筆、未取消 1 筆"));
}

// The gateway client alone: where a stop finds it decides what the caller may assume.
class ClientStopTest : public WorkerFixture {
protected:
    void pointClient(SMSendNorviGw& client) {
        pointAt(client, sim->port());
        client.SetStopSignal(&m_stop);
        client.SetReplyWaitSeconds(kLongReplyWait);
    }
    int sendOne(SMSendNorviGw& client) {
        client.Clear();
        client.SetType(GwSendDomestic);
        client.SetCoding(1);
        client.SetMobile("0912345678");
        client.SetContent(2, "hi");
        QByteArray text;
        return client.Send(text);
    }
    // Raises the stop from another thread once the simulator holds `requests` requests: the client wrote the
    // last of them whole and waits for its answer, or is about to.
    std::thread raiseOnceAsked(std::size_t requests) {
        return std::thread([this, requests] {
            Eventually([&] { return sim->requests().size() >= requests; });
            m_stop.raise();
        });
    }
    StopSignal m_stop;
};

TEST_F(ClientStopTest, StopPointsAndTheWaitsTheyEnd) {
    sim->setSilentAfter(1);
    SMSendNorviGw client;
    pointClient(client);
    RunActivity activity;
    client.SetActivity(&activity);
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(activity.waitingMs(), -1);

    // In the reply wait: the request went out, its fate is unknown.
    QElapsedTimer timer;
    timer.start();
    std::thread raiser = raiseOnceAsked(sim->requests().size() + 1);
    EXPECT_EQ(sendOne(client), -1);
    raiser.join();
    EXPECT_LT(timer.elapsed(), kWorkerStopBoundMs);
    EXPECT_EQ(client.lastStop(), SMSendNorviGw::StopPoint::AwaitingReply);
    EXPECT_EQ(client.message(), SMSendNorviGw::StoppedText());
    EXPECT_FALSE(client.loggedIn());
    EXPECT_FALSE(client.lastTimedOut());
    EXPECT_EQ(activity.waitingMs(), -1) << "the wait is over";

    // Still raised: nothing more reaches the gateway.
    const std::size_t before = sim->requests().size();
    EXPECT_FALSE(client.Login());
    EXPECT_EQ(client.lastStop(), SMSendNorviGw::StopPoint::BeforeRequest);
    EXPECT_EQ(sim->requests().size(), before);

    // Cleared: the next login waits for a gateway that keeps silent, and a stop ends that too.
    m_stop.clear();
    sim->setSilentAfter(0);
    timer.restart();
    raiser = raiseOnceAsked(before + 1);
    EXPECT_FALSE(client.Login());
    raiser.join();
    EXPECT_LT(timer.elapsed(), kWorkerStopBoundMs);
    EXPECT_EQ(client.lastStop(), SMSendNorviGw::StopPoint::BeforeRequest);
}

TEST(SocketsWake, AWaitEndsWhenTheWakeIsRaisedButTakesWhatHasArrivedFirst) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    StopSignal stop;
    EXPECT_FALSE(stop.raised());
    EXPECT_EQ(sockets::WaitReadableMs(pair[0], 20, stop.fd()), sockets::Wait::TimedOut);
    stop.raise();
    stop.raise();
    EXPECT_TRUE(stop.raised());
    EXPECT_TRUE(sockets::WakeRaised(stop.fd()));
    EXPECT_EQ(sockets::WaitReadableMs(pair[0], -1, stop.fd()), sockets::Wait::Woken);
    EXPECT_EQ(sockets::WaitReadable(pair[0], 30, stop.fd()), sockets::Wait::Woken) << "it stays raised";
    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    EXPECT_EQ(sockets::WaitReadableMs(pair[0], -1, stop.fd()), sockets::Wait::Ready);
    stop.clear();
    EXPECT_FALSE(stop.raised());
    EXPECT_FALSE(sockets::WakeRaised(-1));
    ::close(pair[0]);
    ::close(pair[1]);
}

// raised() answers without a system call while nothing is pending: raises from another thread, cleared
// as they come, must never leave the descriptor waking waits while raised() says no.
TEST(StopSignalTest, RaisedAgreesWithTheDescriptorWhileRaisesAndClearsCross) {
    StopSignal stop;
    std::thread raiser([&stop] {
        for (int i = 0; i < 20000; ++i)
            stop.raise();
    });
    int disagreements = 0;
    for (int i = 0; i < 20000; ++i) {
        stop.clear();
        // Only this thread clears, so a descriptor seen raised stays raised for the second look.
        if (sockets::WakeRaised(stop.fd()) && !stop.raised())
            ++disagreements;
    }
    raiser.join();
    EXPECT_EQ(disagreements, 0);
    EXPECT_EQ(stop.raised(), sockets::WakeRaised(stop.fd()));
    stop.clear();
    EXPECT_FALSE(stop.raised());
    stop.raise();
    EXPECT_TRUE(stop.raised());
}

// A job's stop: asked once it wakes every wait, asked again it ends the grace too; a signal reaches the stops
// listed while their jobs run, and no other.
TEST(StopRequest, WakesAskedAgainEndsTheGraceAndSignalsReachOnlyListedStops) {
    StopFlag stop;
    stop.request();
    EXPECT_TRUE(stop.requested());
    EXPECT_TRUE(stop.wake().raised());
    EXPECT_FALSE(stop.now().raised());
    stop.request();
    EXPECT_TRUE(stop.now().raised());
    StopFlag ending;
    ending.requestNow();
    EXPECT_TRUE(ending.requested() && ending.wake().raised() && ending.now().raised());

    StopFlag listed, unlisted;
    {
        const StopReach reach(listed);
        EXPECT_FALSE(StopGraceActive());
        listed.setInGrace(true);
        EXPECT_TRUE(StopGraceActive());
        listed.setInGrace(false);
        EXPECT_TRUE(StopRunningJobs());
    }
    EXPECT_TRUE(listed.requested());
    EXPECT_FALSE(unlisted.requested());
    EXPECT_FALSE(StopRunningJobs()) << "the stop left the list with its job";
}

// Two jobs at once, each with its own stop: a send run stopped leaves the follow-up round beside it to ask
// every row, and a round that yields leaves the send run to send every message.
TEST_F(WorkerStopTest, StoppingOneOfTwoRunningJobsLeavesTheOtherToFinish) {
    std::vector<FollowUpRound::Ask> asks;
    for (quint64 id = 1; id <= 3; ++id) {
        const QByteArray msgId = test::sendAcceptedMessage(sim->port(), true);
        asks.push_back({id, msgId, big5("訊息已成功送出(MsgId:") + msgId + ')', false});
    }
    // Every reply comes in two parts 150 ms apart, so the two jobs overlap.
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 150));
    for (const bool stopTheSend : {true, false}) {
        SCOPED_TRACE(stopTheSend ? "the send stopped" : "the round yields");
        log.rows.clear();
        SendQueue.clear();
        for (int i = 0; i < 3; ++i)
            SendQueue.push_back(record("091100000" + QByteArray::number(i)));
        FollowUpRound round(gateway(), asks);
        QSignalSpy answered(&round, &FollowUpRound::answered);
        round.start();
        SendThd* worker = nullptr;
        QString error;
        ASSERT_TRUE(startSend(&log, &worker, &error));
        // The send is stopped once its first message is done, the round once it has its first answer; the other
        // job goes on to its end meanwhile.
        log.onAddRow = [&](int added) {
            if (stopTheSend && added == 2)
                worker->requestStop();
        };
        // The round's own thread asks it to yield as it gives its first answer: a queued call would leave events
        // behind for a receiver gone at the end of the case.
        QObject yielding;
        if (!stopTheSend)
            QObject::connect(
                &round, &FollowUpRound::answered, &yielding, [&round] { round.yieldNow(); }, Qt::DirectConnection);
        ASSERT_TRUE(waitUntilGone(worker));
        ASSERT_TRUE(round.wait(20000));
        log.onAddRow = nullptr;
        ASSERT_EQ(log.rows.size(), 3);
        if (stopTheSend) {
            EXPECT_TRUE(lastOutcome().stopped);
            EXPECT_TRUE(notSent(2));
            EXPECT_FALSE(round.yielded());
            EXPECT_EQ(answered.size(), 3) << "the round asked every row";
        } else {
            EXPECT_FALSE(lastOutcome().stopped);
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(sentOk(i)) << i;
            EXPECT_TRUE(round.yielded());
            EXPECT_LT(answered.size(), 3);
        }
    }
}

// A stop that lands between a first attempt whose request went out unanswered and the second attempt: the
// exchange reads as cut while awaiting its answer (the gateway may have acted), never as not asked.
TEST_F(ClientStopTest, AStopBeforeTheSecondAttemptKeepsTheFirstThatWentOut) {
    const QByteArray msgId = test::sendAcceptedMessage(sim->port(), true);
    const struct {
        bool cancel;
        int closeAfter; // the query's request is read and its connection closed: no answer
        int junkBytes;  // the cancellation's answer comes with bytes behind it: not to be trusted
    } cases[] = {{false, 1, 0}, {true, -1, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancel ? "cancel" : "query");
        sim->setCloseAfter(c.closeAfter);
        sim->setReplyFaults({0, false, c.junkBytes});
        m_stop.clear();
        SMSendNorviGw client;
        pointClient(client);
        // The signal arrives just after the check that lets the second attempt start.
        const GatewayExchange ex = AskGateway(client, msgId, c.cancel, [this] {
            m_stop.raise();
            return false;
        });
        EXPECT_TRUE(ex.written);
        EXPECT_EQ(ex.stop, SMSendNorviGw::StopPoint::AwaitingReply);
    }
}

TEST(NameLookupStop, ARaisedStopEndsTheLookupAndAnAddressNeedsNone) {
    StopSignal stop;
    stop.raise();
    QByteArray dotted;
    QString error;
    EXPECT_FALSE(ResolveAddress("localhost", &dotted, &error, &stop));
    EXPECT_EQ(error, LookupStoppedText());
    EXPECT_TRUE(ResolveAddress("127.0.0.1", &dotted, &error, &stop));
    EXPECT_EQ(dotted, "127.0.0.1");
    stop.clear();
    ASSERT_TRUE(ResolveAddress("localhost", &dotted, &error, &stop)) << error.toStdString();
    EXPECT_EQ(dotted, "127.0.0.1");
}

// The connection test off the user-interface thread: cancelled inside the wait of a silent gateway, and
// destroyed while it waits.
TEST_F(ClientStopTest, ConnectionTestRunIsCancelledInsideItsWait) {
    sim->setSilentAfter(0);
    LoginTestRun run;
    QSignalSpy finished(&run, &LoginTestRun::finished);
    LoginTestSettings settings{"localhost", sim->port(), "demo", "demo", kLongReplyWait};
    ASSERT_TRUE(run.start(settings));
    EXPECT_FALSE(run.start(settings)) << "one test at a time";
    ASSERT_TRUE(QTest::qWaitFor([&run] { return run.waitingMs() >= 0; }, 5000));
    QElapsedTimer timer;
    timer.start();
    run.cancel();
    ASSERT_TRUE(finished.wait(int(kWorkerStopBoundMs)));
    EXPECT_LT(timer.elapsed(), kWorkerStopBoundMs);
    const auto result = finished.takeFirst().at(0).value<LoginTestResult>();
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.loggedIn);
    EXPECT_FALSE(run.running());

    // Answered this time; a signal's stop of the running jobs does not touch the test's own.
    sim->setSilentAfter(-1);
    StopRunningJobs();
    ASSERT_TRUE(run.start(settings));
    ASSERT_TRUE(finished.wait(int(kWorkerStopBoundMs)));
    const auto answered = finished.takeFirst().at(0).value<LoginTestResult>();
    EXPECT_TRUE(answered.loggedIn);
    EXPECT_EQ(answered.text, big5("帳號/密碼檢查成功"));

    sim->setSilentAfter(0);
    timer.restart();
    {
        LoginTestRun leftRunning;
        ASSERT_TRUE(leftRunning.start(settings));
        ASSERT_TRUE(QTest::qWaitFor([&leftRunning] { return leftRunning.waitingMs() >= 0; }, 5000));
    }
    EXPECT_LT(timer.elapsed(), kWorkerStopBoundMs) << "destroying a running test ends it at once";
}

} // namespace
} // namespace norvi::test
