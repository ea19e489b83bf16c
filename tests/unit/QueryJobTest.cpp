#include "support/WorkerFixture.h"

#include "core/gateway/ResultCodes.h"
#include "core/shared/RunActivity.h"
#include "core/workers/FollowUpRound.h"
#include "core/workers/QueryJob.h"
#include "support/GatewayPeer.h"

#include <numeric>

namespace norvi::test {
namespace {

QByteArray sentQueryResult(const QByteArray& msgId) {
    return big5("訊息已成功送出(MsgId:") + msgId + ")";
}

class QueryJobTest : public WorkerFixture {
protected:
    // A message the simulator accepted, sent by a client of our own: its MsgId.
    QByteArray sendDirect(bool reservation) {
        const QByteArray msgId = test::sendAcceptedMessage(sim->port(), reservation);
        EXPECT_FALSE(msgId.isEmpty());
        return msgId;
    }
    // The MsgIds that reached the simulator in requests of `type`, in order.
    QList<QByteArray> askedIds(uint8_t type) const {
        QList<QByteArray> ids;
        for (const sGwRequest& r : requestsOf(type))
            ids.append(params(r).value(0));
        return ids;
    }
};

TEST_F(QueryJobTest, AllRowsAsksOnlyTheEligibleOnesAndSelectsThem) {
    const QByteArray waiting = sendDirect(true), booked = sendDirect(true), fresh = sendDirect(false);
    log.append("failed", "-1", big5("網路連線失敗"));                          // 0: the send failed
    log.append("again", "0", sentQueryResult(waiting), "20");                  // 1: still waiting, ask again
    log.append("unknown", "0", sentQueryResult("X1"), "2");                    // 2: final answer
    log.append("booked", "0", sentQueryResult(booked), "0", ImageReservation); // 3: a delivered reservation
    log.append("delivered", "0", sentQueryResult("X2"), "0");                  // 4: final answer
    log.append("new", "0", sentQueryResult(fresh));                            // 5: never asked
    log.append("foreign", "0", big5("訊息已成功送出"));                        // 6: no MsgId to ask with
    log.append("cut", "abc", sentQueryResult("X3"));                           // 7: send code not a number
    QueryAll = true;

    ASSERT_TRUE(runJob(WorkerMode::Query, &log));

    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{waiting, booked, fresh}));
    EXPECT_EQ(log.selection(), (QVector<int>{1, 3, 5}));
    EXPECT_EQ(cell(1, ColQueryCode), "20");
    EXPECT_TRUE(cell(1, ColQueryResult).startsWith(big5("預約簡訊，等待傳送中(")));
    EXPECT_EQ(cell(3, ColQueryCode), "20");
    EXPECT_FALSE(cell(5, ColQueryCode).isEmpty());
    for (int skipped : {0, 2, 4, 6, 7})
        EXPECT_TRUE(cell(skipped, ColQueryResult).isEmpty()) << skipped;
    EXPECT_EQ(progress.steps(StateQuerying), 8);
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
    EXPECT_EQ(requestsOf(GwLogin).size(), 4); // three by sendDirect, one for the whole job
    EXPECT_EQ(linesWith("查詢結果: 20, "), 2);
    EXPECT_EQ(log.offThreadCalls, 0);
}

TEST_F(QueryJobTest, SelectedRowsKeepTheAskedOnesSelectedAndStepThroughAll) {
    const QByteArray a = sendDirect(true), b = sendDirect(true), c = sendDirect(true);
    log.append("one", "0", sentQueryResult(a), "", ImageNone, true);
    log.append("idle", "0", sentQueryResult(c)); // eligible, but not selected
    log.append("failed", "-1", big5("Send()逾時"), "", ImageNone, true);
    log.append("two", "0", sentQueryResult(b), "", ImageNone, true);
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{a, b}));
    EXPECT_EQ(log.selection(), (QVector<int>{0, 3}));
    EXPECT_TRUE(cell(1, ColQueryCode).isEmpty());
    EXPECT_EQ(progress.steps(StateQuerying), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
}

TEST_F(QueryJobTest, CancellingAReservationWritesSuccessAndKeepsTheRowEligible) {
    const QByteArray booked = sendDirect(true), now = sendDirect(false);
    log.append("booked", "0", sentQueryResult(booked), "", ImageReservation);
    log.append("now", "0", sentQueryResult(now));
    log.append("final", "0", sentQueryResult("X"), "2");
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));

    // A message sent at once was never a reservation: cancelling cannot be undone, so it is not tried.
    EXPECT_EQ(askedIds(GwCancel), (QList<QByteArray>{booked}));
    EXPECT_EQ(cell(0, ColQueryCode), "0");
    EXPECT_TRUE(cell(0, ColQueryResult).startsWith(big5("取消成功(")));
    EXPECT_EQ(cell(1, ColQueryCode), "");
    EXPECT_EQ(linesWith("預約取消結果"), 0);
    EXPECT_EQ(progress.steps(StateCancelling), 3);
    EXPECT_EQ(
        RunOutcomeText(StateCancelled, jobs.activity().outcome()),
        QStringLiteral(
            "預約簡訊取消完成，取消 3 筆：已取消 1 筆、未能取消 0 筆、略過 2 筆（已有最後結果 1 筆、不是預約 1 筆）"));
    EXPECT_EQ(progress.endStates(), QList<int>{StateCancelled});

    // Cancelled is known: cancelling the list again passes it by, its answer never replaced by a refusal
    // or by "not known".
    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));
    EXPECT_EQ(askedIds(GwCancel), (QList<QByteArray>{booked}));
    EXPECT_TRUE(cell(0, ColQueryResult).startsWith(big5("取消成功(")));

    // The reservation image keeps the cancelled row eligible: a later query sees it cancelled.
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{booked, now}));
    EXPECT_EQ(cell(0, ColQueryCode), "21");
}

TEST_F(QueryJobTest, ListCancelWithEveryRowSkippedStillPostsItsEnd) {
    log.append("failed", "-1", big5("網路連線失敗"));
    log.append("final", "0", sentQueryResult("X"), "2");
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_EQ(progress.states, (QList<int>{StateCancelling, StateCancelling, StateCancelled}));
}

TEST_F(QueryJobTest, TransportFailuresAreRetriedOnANewConnectionAndWrittenWhenTheyPersist) {
    const QByteArray a = sendDirect(true), b = sendDirect(true);
    const int before = sim->connectionCount();
    sim->setCloseAfter(2); // the login and one query per connection
    log.append("a", "0", sentQueryResult(a));
    log.append("b", "0", sentQueryResult(b));
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(cell(0, ColQueryCode), "20");
    EXPECT_EQ(cell(1, ColQueryCode), "20");
    EXPECT_EQ(sim->connectionCount() - before, 2);

    // With the gateway gone, the failure is reported and the answers already known stay.
    stopSimulator();
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(cell(i, ColQueryCode), "20");
    EXPECT_EQ(linesWith("Login to Server fail, -1:網路連線失敗"), 2);
    EXPECT_EQ(linesWith("查詢結果: -1, 網路連線失敗"), 2);
}

// A gateway that follows every answer with a copy of it: an answer with bytes behind it may be a late copy of
// another row's, so each question is asked again on a new connection, and when that is out of step too the row
// gets no answer: an earlier one stays, a cancellation may have taken effect.
TEST_F(QueryJobTest, AnswersWithBytesBehindThemAreAskedAgainAndNeverTaken) {
    const QByteArray a = sendDirect(true), b = sendDirect(true);
    log.append("answered", "0", sentQueryResult(a), "20", ImageReservation);
    log.append("new", "0", sentQueryResult(b), "", ImageReservation);
    QueryAll = true;
    gwsim::ReplyFaults twice;
    twice.twice = true;
    sim->setReplyFaults(twice);
    const int before = sim->connectionCount();
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{a, a, b, b}));
    EXPECT_EQ(sim->connectionCount() - before, 4) << "each question on a connection of its own";
    EXPECT_EQ(cell(0, ColQueryCode), "20") << "the earlier answer stays";
    EXPECT_EQ(cell(1, ColQueryCode), "-1");
    EXPECT_EQ(cell(1, ColQueryResult), big5("閘道回覆不同步"));

    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));
    EXPECT_EQ(askedIds(GwCancel), (QList<QByteArray>{a, a, b, b}));
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(cell(row, ColQueryResult), big5("取消結果不明，請再查詢")) << row;

    sim->setReplyFaults({});
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(cell(1, ColQueryCode), "21") << "cancelled by the first request of the cancellation";
}

// A follow-up round names its answers by row id. As in the list query, an answer known before is never
// replaced by none; a round that yielded before it began asks nothing.
TEST_F(QueryJobTest, FollowUpRoundAnswersByRowIdAndKeepsKnownAnswers) {
    const QByteArray waiting = sendDirect(true);
    const std::vector<FollowUpRound::Ask> asks = {{7, waiting, sentQueryResult(waiting), true},
                                                  {9, "X1", sentQueryResult("X1"), false}};
    const auto run = [&](bool yieldFirst) {
        QList<QPair<quint64, QByteArray>> got;
        FollowUpRound round(gateway(), asks);
        // Called on the round's thread; read only after it has ended.
        QObject::connect(&round, &FollowUpRound::answered,
                         [&got](quint64 id, const QByteArray& code, const QByteArray&) {
                             got.append({id, code});
                         });
        if (yieldFirst)
            round.yieldNow();
        round.start();
        round.wait();
        return got;
    };
    using Got = QList<QPair<quint64, QByteArray>>;
    EXPECT_EQ(run(false), (Got{{7, "20"}, {9, "2"}}));
    const auto asked = requestsOf(GwQuery).size();
    EXPECT_EQ(run(true), Got{});
    EXPECT_EQ(requestsOf(GwQuery).size(), asked);
    stopSimulator();
    EXPECT_EQ(run(false), (Got{{9, "-1"}}));
}

// A gateway's general error (30 and above) answers the request, not the question about the message: an answer
// known before stays, in a list query and in a follow-up round alike; a row never answered shows the error.
TEST_F(QueryJobTest, GeneralErrorsNeverReplaceAKnownAnswer) {
    const auto internalErrors = [](int fd) {
        answer(fd, replyWith(0, "login ok"));
        while (answer(fd, replyWith(40, "internal error")))
            ;
    };
    RawTcpServer listGateway(internalErrors);
    m_dir.config().edit([&](sConfig& record) { record.gwPort = listGateway.port(); });
    auto& cancelled = log.append("cancelled", "0", sentQueryResult("X1"), "0", ImageReservation);
    cancelled.cells[ColQueryResult] = big5("取消成功(cancelled)");
    log.append("new", "0", sentQueryResult("X2"));
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(cell(0, ColQueryCode), "0");
    EXPECT_EQ(cell(0, ColQueryResult), big5("取消成功(cancelled)"));
    EXPECT_EQ(cell(1, ColQueryCode), "40");
    EXPECT_EQ(linesWith("查詢結果: 40, "), 2);

    RawTcpServer roundGateway(internalErrors);
    GatewayTarget target = gateway();
    target.port = roundGateway.port();
    QList<QByteArray> got;
    FollowUpRound round(target, {{7, "X1", sentQueryResult("X1"), true}, {9, "X2", sentQueryResult("X2"), false}});
    QObject::connect(&round, &FollowUpRound::answered, [&got](quint64 id, const QByteArray& code, const QByteArray&) {
        got.append(QByteArray::number(id) + ":" + code);
    });
    round.start();
    round.wait();
    EXPECT_EQ(got, QList<QByteArray>{"9:40"});
}

TEST_F(QueryJobTest, SingleMsgIdShowsTheBoxClosesTheOwnerAndPostsNoProgress) {
    const QByteArray booked = sendDirect(true);
    ASSERT_TRUE(runJob(WorkerMode::Query, nullptr, booked));
    ASSERT_EQ(owner.boxes.size(), 1);
    EXPECT_EQ(owner.boxes[0].first, booked);
    EXPECT_TRUE(owner.boxes[0].second.startsWith(big5("結果碼：20\r\n查詢結果：預約簡訊，等待傳送中(")));
    EXPECT_EQ(owner.closeCalls, 1);
    // Start, the answer (named by its MsgId, as a row's by its send result) and end: the box is gone once read.
    EXPECT_EQ(linesWith("查詢執行緒1("), 3);
    EXPECT_EQ(linesWith("MsgId:" + booked + " 查詢結果: 20, 預約簡訊，等待傳送中("), 1);

    ASSERT_TRUE(runJob(WorkerMode::Cancel, nullptr, booked));
    ASSERT_EQ(owner.boxes.size(), 2);
    EXPECT_TRUE(owner.boxes[1].second.startsWith(big5("預約取消碼：0\r\n預約取消結果：取消成功(")));
    EXPECT_EQ(owner.closeCalls, 2);
    EXPECT_EQ(linesWith("取消預約執行緒1("), 3);
    EXPECT_EQ(linesWith("MsgId:" + booked + " 預約取消結果: 0, 取消成功("), 1);

    // A cancellation that went out and got no answer may have taken effect; the box says so, as a row would.
    const QByteArray other = sendDirect(true);
    sim->setCloseAfter(1);
    ASSERT_TRUE(runJob(WorkerMode::Cancel, nullptr, other));
    ASSERT_TRUE(runJob(WorkerMode::Query, nullptr, other));
    ASSERT_EQ(owner.boxes.size(), 4);
    EXPECT_EQ(owner.boxes[2].second,
              big5("預約取消碼：-1\r\n預約取消結果：取消結果不明，請再查詢（Norvi伺服器已切斷連線）"));
    EXPECT_EQ(owner.boxes[3].second, big5("結果碼：-1\r\n查詢結果：Norvi伺服器已切斷連線"));
    sim->setCloseAfter(-1);
    owner.boxes.clear();

    // A refused login shows the login table's text; no login line is reported, only the answer's.
    m_dir.config().edit([](sConfig& c) { putField(c.gwPasswd, QByteArray("wrong")); });
    ASSERT_TRUE(runJob(WorkerMode::Query, nullptr, booked));
    ASSERT_EQ(owner.boxes.size(), 1);
    const QByteArray text = owner.boxes[0].second, prefix = big5("結果碼：");
    const int code = text.mid(prefix.size(), text.indexOf('\r') - prefix.size()).toInt();
    EXPECT_GT(code, 0);
    EXPECT_TRUE(text.contains(QByteArray(big5("\r\n查詢結果：") + CodeText(CodeTable::Login, code) + "(")));
    EXPECT_EQ(linesWith("Login to Server fail"), 0);
    EXPECT_EQ(linesWith("MsgId:" + booked + " 查詢結果: " + QByteArray::number(code) + ", "), 1);
    EXPECT_TRUE(progress.states.isEmpty());
    EXPECT_EQ(owner.offThreadCalls, 0);
}

TEST_F(QueryJobTest, LongWalksHandPassedRowsOverInBatchesWithTheSameStepsAndSelection) {
    // More rows than one hand-over of passed rows takes, asked ones here and there, each boundary crossed.
    const QByteArray waiting = sendDirect(true);
    const int rows = QueryJob::kPassedPerReport * 2 + 7;
    QVector<int> asked, selectedSkipped;
    for (int i = 0; i < rows; ++i) {
        const bool ask = i % 97 == 3 || i == QueryJob::kPassedPerReport - 1 || i == QueryJob::kPassedPerReport;
        const bool selected = i % 2 == 0 || ask;
        log.append(QByteArray::number(i), ask ? "0" : "-1", sentQueryResult(waiting), "", ImageReservation, selected);
        if (ask)
            asked.append(i);
        else if (selected)
            selectedSkipped.append(i);
    }

    // All rows: every row one step, the asked ones selected and answered, the others left as they were.
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(progress.steps(StateQuerying), rows);
    EXPECT_EQ(askedIds(GwQuery).size(), asked.size());
    for (int i : asked)
        EXPECT_EQ(cell(i, ColQueryCode), "20") << i;
    EXPECT_EQ(log.selection().size(), asked.size() + selectedSkipped.size());
    // Rows passed by travel together: before each asked row and a thousand at a time, never one per row.
    const int handOvers = 2 * int(asked.size()) + rows / QueryJob::kPassedPerReport + 2;
    EXPECT_LE(log.selectionWrites, handOvers);

    // The selected rows: the skipped ones leave the selection, the asked ones stay.
    progress.states.clear();
    log.selectionWrites = 0;
    QueryAll = false;
    ASSERT_TRUE(runJob(WorkerMode::Cancel, &log));
    EXPECT_EQ(progress.steps(StateCancelling), asked.size() + selectedSkipped.size());
    EXPECT_EQ(log.selection(), asked);
    EXPECT_LE(log.selectionWrites, handOvers);
    EXPECT_EQ(log.offThreadCalls, 0);
}

TEST_F(QueryJobTest, StopEndsTheWalkAndTheRowsNotAskedSaySo) {
    const QByteArray waiting = sendDirect(true);
    for (int i = 0; i < 40; ++i)
        log.append(QByteArray::number(i), "0", sentQueryResult(waiting));
    // 中斷 pressed as the first answer reaches the list: the worker is asking a row or two further by then. The
    // answers come slower than the list shows them, as from a real gateway; from the simulator at full speed
    // every row would be asked before the first batch of answers is shown.
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 50));
    log.onQueryResult = [this](int) { stopAtNextCheck(); };
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));

    const int walked = progress.steps(StateQuerying);
    EXPECT_GE(walked, 1);
    EXPECT_LT(walked, 40);
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
    // Exactly the walked rows were asked, answered and selected; the rest say they were not asked.
    QVector<int> walkedRows(walked);
    std::iota(walkedRows.begin(), walkedRows.end(), 0);
    EXPECT_EQ(log.selection(), walkedRows);
    for (int i = 0; i < 40; ++i) {
        if (i < walked) {
            EXPECT_NE(cell(i, ColQueryCode), "-1") << i;
            continue;
        }
        EXPECT_EQ(cell(i, ColQueryCode), "-1") << i;
        EXPECT_EQ(cell(i, ColQueryResult), big5("未查詢：作業已中斷")) << i;
    }
    EXPECT_EQ(askedIds(GwQuery).size(), walked);
}

struct PlanCase {
    const char *sendCode, *queryCode;
    int codeImage;
    const char* sendResult;
    const char* msgId; // nullptr: the row is skipped
    WorkerMode mode = WorkerMode::Query;
    const char* queryResult = "";
};
class PlanRowTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanRowTest, EligibilityAndMsgId) {
    const PlanCase c = GetParam();
    const QueryJob::RowPlan plan =
        QueryJob::planRow(c.sendCode, c.codeImage, c.queryCode, big5(c.sendResult), c.mode, big5(c.queryResult));
    EXPECT_EQ(plan.ask, c.msgId != nullptr);
    EXPECT_EQ(plan.msgId, c.msgId ? QByteArray(c.msgId) : plan.msgId);
}

const char* const kId = "(MsgId:AB12)";
INSTANTIATE_TEST_SUITE_P(
    Rows, PlanRowTest,
    ::testing::Values(PlanCase{"0", "", -1, "訊息已成功送出(MsgId:AB12)", "AB12"}, PlanCase{"0", "x", -1, kId, "AB12"},
                      PlanCase{"-1", "", -1, kId, nullptr}, PlanCase{"11", "", -1, kId, nullptr},
                      PlanCase{"", "", -1, kId, nullptr}, PlanCase{"0", "0", -1, kId, nullptr},
                      PlanCase{"0", "0", 16, kId, "AB12"}, PlanCase{"0", "2", 16, kId, nullptr},
                      PlanCase{"0", "21", -1, kId, nullptr}, PlanCase{"0", "-1", -1, kId, "AB12"},
                      PlanCase{"0", "1", -1, kId, "AB12"}, PlanCase{"0", "3", -1, kId, "AB12"},
                      PlanCase{"0", "4", -1, kId, "AB12"}, PlanCase{"0", "19", -1, kId, "AB12"},
                      PlanCase{"0", "20", -1, kId, "AB12"}, PlanCase{"0", "31", -1, kId, "AB12"},
                      PlanCase{"0", "40", -1, kId, "AB12"}, PlanCase{"0", "41", -1, kId, "AB12"},
                      PlanCase{"0", "", -1, "訊息已成功送出", nullptr}, PlanCase{"0", "", -1, "(MsgId:)", nullptr},
                      PlanCase{"0", "", -1, "(MsgId:12345", "12345"}, PlanCase{"0", "", -1, "x(MsgId:12)(y)", "12"},
                      // A delivered reservation is asked again by a query, never cancelled: the gateway would only
                      // refuse, and its refusal (or no answer) would stand over "delivered".
                      PlanCase{"0", "0", 16, kId, "AB12", WorkerMode::Query, "訊息已送達對方(delivered)"},
                      PlanCase{"0", "0", 16, kId, nullptr, WorkerMode::Cancel, "訊息已送達對方(delivered)"},
                      PlanCase{"0", "0", 16, kId, nullptr, WorkerMode::Cancel, "取消成功(cancelled)"},
                      PlanCase{"0", "20", 16, kId, "AB12", WorkerMode::Cancel, "預約簡訊，等待傳送中"}));

} // namespace
} // namespace norvi::test
