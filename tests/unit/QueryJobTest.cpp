#include "WorkerFixture.h"

#include "gateway/GwRecords.h"
#include "gateway/ResultCodes.h"
#include "gateway/SMSendNorviGw.h"
#include "workers/QueryJob.h"
#include "workers/RowCodes.h"

namespace norvi::test {
namespace {

QByteArray sentResult(const QByteArray& msgId) {
    return big5("訊息已成功送出(MsgId:") + msgId + ")";
}

class QueryJobTest : public WorkerFixture {
protected:
    // A message accepted by the simulator, sent by a client of our own: its MsgId.
    QByteArray sendDirect(bool reservation) {
        SMSendNorviGw client;
        client.SetHost("127.0.0.1");
        client.SetPort(sim->port());
        client.SetAccount("demo");
        client.SetPassword("demo");
        EXPECT_TRUE(client.Login());
        client.Clear();
        if (reservation)
            client.SetScheduleTime(Clock::now().addDays(1).toString(QStringLiteral("yyMMddHHmm")).toLatin1() + "00");
        client.SetType(GwSendDomestic);
        client.SetCoding(1);
        client.SetMobile("0912345678");
        client.SetContent(5, "hello");
        QByteArray msgId;
        EXPECT_EQ(client.Send(msgId), 0);
        client.Logout();
        return msgId;
    }

    // The MsgIds that reached the simulator in requests of `type`, in order.
    QList<QByteArray> askedIds(uint8_t type) const {
        QList<QByteArray> ids;
        for (const sGwRequest& r : requestsOf(type))
            ids.append(params(r).value(0));
        return ids;
    }

    QByteArray cell(int row, int column) const { return log.rows.at(row).cells[column]; }
};

TEST_F(QueryJobTest, AllRowsAsksOnlyTheEligibleOnesAndSelectsThem) {
    const QByteArray waiting = sendDirect(true);
    const QByteArray reservation = sendDirect(true);
    const QByteArray fresh = sendDirect(false);
    log.append("failed", ImageTyped, "-1", big5("網路連線失敗"));                          // 0 never asked
    log.append("again", ImageTyped, "0", sentResult(waiting), "20");                       // 1 asked again
    log.append("unknown", ImageTyped, "0", sentResult("X1"), "2");                         // 2 final
    log.append("booked", ImageTyped, "0", sentResult(reservation), "0", ImageReservation); // 3 asked again
    log.append("delivered", ImageTyped, "0", sentResult("X2"), "0");                       // 4 final
    log.append("new", ImageTyped, "0", sentResult(fresh));                                 // 5 never asked yet
    log.append("foreign", ImageTyped, "0", big5("訊息已成功送出"));                        // 6 no MsgId
    log.append("cut", ImageTyped, "abc", sentResult("X3"));                                // 7 code not a number
    QueryAll = true;

    ASSERT_TRUE(runJob(ModeQuery, &log));

    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{waiting, reservation, fresh}));
    EXPECT_EQ(log.selection(), (QVector<int>{1, 3, 5}));
    EXPECT_EQ(cell(1, ColQueryCode), "20");
    EXPECT_TRUE(cell(1, ColQueryResult).startsWith(big5("預約簡訊，等待傳送中(")));
    EXPECT_EQ(cell(3, ColQueryCode), "20");
    EXPECT_FALSE(cell(5, ColQueryCode).isEmpty());
    // Skipped rows keep their cells.
    EXPECT_TRUE(cell(0, ColQueryCode).isEmpty());
    EXPECT_EQ(cell(2, ColQueryCode), "2");
    EXPECT_EQ(cell(4, ColQueryCode), "0");
    EXPECT_TRUE(cell(6, ColQueryCode).isEmpty());
    EXPECT_TRUE(cell(7, ColQueryCode).isEmpty());
    EXPECT_EQ(progress.steps(StateQuerying), 8);
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
    EXPECT_EQ(requestsOf(GwLogin).size() - 3, 1); // three by sendDirect, one for the whole job
    EXPECT_EQ(log.offThreadCalls, 0);
    // Code 20 is not 0, so each asked reservation leaves a line.
    EXPECT_EQ(linesWith("查詢結果: 20, "), 2);
}

TEST_F(QueryJobTest, SelectedRowsKeepTheAskedOnesSelectedAndStepThroughAll) {
    const QByteArray a = sendDirect(true);
    const QByteArray b = sendDirect(true);
    const QByteArray c = sendDirect(true);
    log.append("one", ImageTyped, "0", sentResult(a), QByteArray(), ImageNone, true);
    log.append("idle", ImageTyped, "0", sentResult(c)); // eligible, but not selected
    log.append("failed", ImageTyped, "-1", big5("Send()逾時"), QByteArray(), ImageNone, true);
    log.append("two", ImageTyped, "0", sentResult(b), QByteArray(), ImageNone, true);
    QueryAll = false;

    ASSERT_TRUE(runJob(ModeQuery, &log));

    EXPECT_EQ(askedIds(GwQuery), (QList<QByteArray>{a, b}));
    EXPECT_EQ(log.selection(), (QVector<int>{0, 3}));
    EXPECT_TRUE(cell(1, ColQueryCode).isEmpty());
    EXPECT_TRUE(cell(2, ColQueryCode).isEmpty());
    EXPECT_EQ(progress.steps(StateQuerying), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateQueried});
}

TEST_F(QueryJobTest, CancellingAReservationWritesSuccessAndKeepsTheRowEligible) {
    const QByteArray booked = sendDirect(true);
    log.append("booked", ImageTyped, "0", sentResult(booked), QByteArray(), ImageReservation);
    QueryAll = true;

    ASSERT_TRUE(runJob(ModeCancel, &log));

    EXPECT_EQ(askedIds(GwCancel), QList<QByteArray>{booked});
    EXPECT_EQ(cell(0, ColQueryCode), "0");
    EXPECT_TRUE(cell(0, ColQueryResult).startsWith(big5("取消成功(")))
        << fromBig5(cell(0, ColQueryResult)).toStdString();
    EXPECT_TRUE(cell(0, ColQueryResult).endsWith(")"));
    EXPECT_EQ(progress.steps(StateCancelling), 1);
    EXPECT_EQ(progress.endStates(), QList<int>{StateCancelled});
    EXPECT_EQ(linesWith("預約取消結果"), 0);
    // Because of its reservation image the row is asked again by a later query.
    EXPECT_TRUE(
        QueryJob::planRow(cell(0, ColSendCode), ImageReservation, cell(0, ColQueryCode), cell(0, ColSendResult)).ask);

    // A later query sees the cancelled reservation.
    ASSERT_TRUE(runJob(ModeQuery, &log));
    EXPECT_EQ(askedIds(GwQuery), QList<QByteArray>{booked});
    EXPECT_EQ(cell(0, ColQueryCode), "21");
}

TEST_F(QueryJobTest, CancelOfAnImmediateMessageReportsTheRefusal) {
    const QByteArray now = sendDirect(false);
    log.append("now", ImageTyped, "0", sentResult(now));
    QueryAll = true;
    ASSERT_TRUE(runJob(ModeCancel, &log));
    EXPECT_EQ(cell(0, ColQueryCode), "1");
    EXPECT_TRUE(cell(0, ColQueryResult).startsWith(big5("此簡訊目前非預約狀態(")));
    EXPECT_EQ(linesWith("預約取消結果: 1, 此簡訊目前非預約狀態("), 1);
    // The line names the row by its send result.
    const QByteArray named = "訊息已成功送出(MsgId:" + now + ") 預約取消結果: 1, ";
    EXPECT_EQ(linesWith(named.constData()), 1);
}

TEST_F(QueryJobTest, ListCancelWithEveryRowSkippedStillPostsItsEnd) {
    log.append("failed", ImageTyped, "-1", big5("網路連線失敗"));
    log.append("final", ImageTyped, "0", sentResult("X"), "2");
    QueryAll = true;
    ASSERT_TRUE(runJob(ModeCancel, &log));
    EXPECT_TRUE(requestsOf(GwCancel).isEmpty());
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_EQ(progress.steps(StateCancelling), 2);
    EXPECT_EQ(progress.endStates(), QList<int>{StateCancelled});
}

TEST_F(QueryJobTest, TransportFailureIsRetriedOnANewConnection) {
    const QByteArray a = sendDirect(true);
    const QByteArray b = sendDirect(true);
    const int before = sim->connectionCount();
    sim->setCloseAfter(2); // the login and one query per connection
    log.append("a", ImageTyped, "0", sentResult(a));
    log.append("b", ImageTyped, "0", sentResult(b));
    QueryAll = true;
    ASSERT_TRUE(runJob(ModeQuery, &log));
    EXPECT_EQ(cell(0, ColQueryCode), "20");
    EXPECT_EQ(cell(1, ColQueryCode), "20");
    EXPECT_GE(sim->connectionCount() - before, 2);
}

TEST_F(QueryJobTest, UnreachableGatewayWritesTheTransportFailureIntoEveryAskedRow) {
    log.append("a", ImageTyped, "0", sentResult("A1"));
    log.append("b", ImageTyped, "0", sentResult("B1"));
    pointAtClosedPort();
    QueryAll = true;
    ASSERT_TRUE(runJob(ModeQuery, &log));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(cell(i, ColQueryCode), "-1");
        EXPECT_EQ(cell(i, ColQueryResult), big5("網路連線失敗"));
    }
    EXPECT_EQ(linesWith("Login to Server fail, -1:網路連線失敗"), 2);
    EXPECT_EQ(linesWith("查詢結果: -1, 網路連線失敗"), 2);
}

TEST_F(QueryJobTest, SingleMsgIdShowsTheBoxClosesTheOwnerAndPostsNoProgress) {
    const QByteArray booked = sendDirect(true);
    ASSERT_TRUE(runJob(ModeQuery, nullptr, booked));
    ASSERT_EQ(owner.boxes.size(), 1);
    EXPECT_EQ(owner.boxes[0].first, booked);
    EXPECT_TRUE(owner.boxes[0].second.startsWith(big5("結果碼：20\r\n查詢結果：預約簡訊，等待傳送中(")));
    EXPECT_EQ(owner.closeCalls, 1);
    EXPECT_TRUE(progress.states.isEmpty());
    EXPECT_EQ(owner.offThreadCalls, 0);
    EXPECT_EQ(linesWith("查詢執行緒1("), 2);

    owner.boxes.clear();
    ASSERT_TRUE(runJob(ModeCancel, nullptr, booked));
    ASSERT_EQ(owner.boxes.size(), 1);
    EXPECT_TRUE(owner.boxes[0].second.startsWith(big5("預約取消碼：0\r\n預約取消結果：取消成功(")));
    EXPECT_EQ(owner.closeCalls, 2);
    EXPECT_TRUE(progress.states.isEmpty());
}

TEST_F(QueryJobTest, SingleMsgIdWithARefusedLoginShowsTheLoginText) {
    putField(Config.gwPasswd, QByteArray("wrong"));
    ASSERT_TRUE(runJob(ModeQuery, nullptr, "ANY"));
    ASSERT_EQ(owner.boxes.size(), 1);
    const QByteArray text = owner.boxes[0].second;
    const QByteArray prefix = big5("結果碼：");
    ASSERT_TRUE(text.startsWith(prefix));
    const int code = text.mid(prefix.size(), text.indexOf('\r') - prefix.size()).toInt();
    EXPECT_GT(code, 0);
    EXPECT_TRUE(text.contains(big5("\r\n查詢結果：") + CodeText(CodeTable::Login, code) + "("));
    EXPECT_EQ(requestsOf(GwQuery).size(), 0);
    EXPECT_EQ(linesWith("Login to Server fail"), 0); // the single form reports nothing
}

struct PlanCase {
    const char* sendCode;
    int image;
    const char* queryCode;
    const char* sendResult;
    bool ask;
    const char* msgId;
};

class PlanRowTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanRowTest, EligibilityAndMsgId) {
    const PlanCase c = GetParam();
    const QueryJob::RowPlan plan = QueryJob::planRow(c.sendCode, c.image, c.queryCode, big5(c.sendResult));
    EXPECT_EQ(plan.ask, c.ask);
    if (c.ask) {
        EXPECT_EQ(plan.msgId, QByteArray(c.msgId));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlanRowTest,
    ::testing::Values(
        PlanCase{"0", -1, "", "訊息已成功送出(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "x", "(MsgId:AB12)", true, "AB12"}, PlanCase{"-1", -1, "", "(MsgId:AB12)", false, ""},
        PlanCase{"11", -1, "", "(MsgId:AB12)", false, ""}, PlanCase{"", -1, "", "(MsgId:AB12)", false, ""},
        PlanCase{"0", -1, "0", "(MsgId:AB12)", false, ""}, PlanCase{"0", 16, "0", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", 16, "2", "(MsgId:AB12)", false, ""}, PlanCase{"0", -1, "2", "(MsgId:AB12)", false, ""},
        PlanCase{"0", -1, "21", "(MsgId:AB12)", false, ""}, PlanCase{"0", -1, "-1", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "1", "(MsgId:AB12)", true, "AB12"}, PlanCase{"0", -1, "3", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "4", "(MsgId:AB12)", true, "AB12"}, PlanCase{"0", -1, "19", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "20", "(MsgId:AB12)", true, "AB12"}, PlanCase{"0", -1, "31", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "40", "(MsgId:AB12)", true, "AB12"}, PlanCase{"0", -1, "41", "(MsgId:AB12)", true, "AB12"},
        PlanCase{"0", -1, "", "訊息已成功送出", false, ""}, PlanCase{"0", -1, "", "(MsgId:)", false, ""},
        PlanCase{"0", -1, "", "(MsgId:12345", true, "12345"}, PlanCase{"0", -1, "", "x(MsgId:12)(y)", true, "12"}));

TEST(RowCodesTest, CellsThatAreNumbers) {
    int v = 99;
    EXPECT_TRUE(RowCodes::parse("0", &v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(RowCodes::parse("-1", &v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(RowCodes::parse("41", &v));
    EXPECT_EQ(v, 41);
    EXPECT_FALSE(RowCodes::parse("", &v));
    EXPECT_FALSE(RowCodes::parse("1a", &v));
    EXPECT_FALSE(RowCodes::parse(big5("訊息"), &v));
    EXPECT_EQ(RowCodes::valueOr("abc"), -1);
    EXPECT_EQ(RowCodes::valueOr("16"), 16);
}

} // namespace
} // namespace norvi::test
