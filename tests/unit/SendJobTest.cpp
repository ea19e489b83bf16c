#include "WorkerFixture.h"

#include "gateway/GwRecords.h"
#include "gateway/ResultCodes.h"
#include "workers/SendJob.h"

#include <QRegularExpression>

namespace norvi::test {
namespace {

class SendJobTest : public WorkerFixture {
protected:
    bool runSend() { return runJob(ModeSend, &log); }

    QByteArray cell(int row, int column) const { return log.rows.at(row).cells[column]; }
    bool sentOk(int row) const {
        return cell(row, ColSendCode) == "0" && cell(row, ColSendResult).startsWith(big5("訊息已成功送出(MsgId:"));
    }
};

TEST_F(SendJobTest, ThreeSegmentRecordGivesThreeRowsThreeStepsAndTheEndState) {
    SendQueue.push_back(record("0912345678", 3, KindAddressBook, big5("王小明")));
    ASSERT_TRUE(runSend());

    ASSERT_EQ(log.rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cell(i, ColName), big5("王小明"));
        EXPECT_EQ(log.rows[i].image, ImageMember);
        EXPECT_EQ(cell(i, ColMobile), "0912345678");
        EXPECT_TRUE(QRegularExpression("^\\d{14}$").match(QString::fromLatin1(cell(i, ColSendTime))).hasMatch());
        EXPECT_TRUE(sentOk(i)) << cell(i, ColSendResult).toStdString();
        EXPECT_EQ(log.rows[i].codeImage, ImageNone);
        EXPECT_EQ(cell(i, ColContent), "part" + QByteArray::number(i + 1));
        EXPECT_TRUE(cell(i, ColQueryCode).isEmpty());
    }
    // Three distinct messages, so three distinct MsgIds.
    EXPECT_NE(cell(0, ColSendResult), cell(1, ColSendResult));
    EXPECT_NE(cell(1, ColSendResult), cell(2, ColSendResult));
    EXPECT_EQ(progress.steps(StateSending), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
    EXPECT_EQ(requestsOf(GwLogin).size(), 1); // the login is kept for the whole run
    EXPECT_EQ(log.offThreadCalls, 0);
    EXPECT_EQ(owner.offThreadCalls, 0);

    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression start(QString::fromUtf8("傳送執行緒1\\([0-9A-F]{8}\\) start$"));
    const QRegularExpression end(QString::fromUtf8("傳送執行緒1\\([0-9A-F]{8}\\) shut down$"));
    EXPECT_TRUE(start.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(end.match(lines[1]).hasMatch()) << lines[1].toStdString();
}

TEST_F(SendJobTest, EmptyQueueLogsStartAndShutDownPostsTheEndAndNeverConnects) {
    ASSERT_TRUE(runSend());
    EXPECT_TRUE(log.rows.isEmpty());
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_EQ(progress.states, QList<int>{StateSent});
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(" start"));
    EXPECT_TRUE(lines[1].endsWith(" shut down"));
    EXPECT_TRUE(SendEvent.isSet());
}

TEST_F(SendJobTest, EachRecipientKindGetsItsRowImage) {
    SendQueue.push_back(record("0911111111", 1, KindAddressBook, "member"));
    SendQueue.push_back(record("0922222222", 1, KindListRow));
    SendQueue.push_back(record("0933333333", 1, KindTyped));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 3);
    EXPECT_EQ(log.rows[0].image, ImageMember);
    EXPECT_EQ(log.rows[1].image, ImageListRow);
    EXPECT_EQ(log.rows[2].image, ImageTyped);
    EXPECT_EQ(cell(0, ColName), "member");
    EXPECT_TRUE(cell(1, ColName).isEmpty());
}

struct RetryCase {
    int code;
    int failures;      // how many sends the gateway refuses with `code`
    int expectedSends; // requests that reach the gateway for the one segment
    int expectedCode;  // the row's 傳送碼
    const char* text;  // start of the row's 傳送結果
};

class SendRetryTest : public SendJobTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(SendRetryTest, TransientCodesAreTriedOnceMore) {
    const RetryCase c = GetParam();
    sim->failNextSends(c.code, c.failures);
    SendQueue.push_back(record("0912345678"));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), c.expectedSends);
    EXPECT_EQ(cell(0, ColSendCode), QByteArray::number(c.expectedCode));
    EXPECT_TRUE(cell(0, ColSendResult).startsWith(big5(c.text))) << fromBig5(cell(0, ColSendResult)).toStdString();
    const QString failLine = QString::fromUtf8("傳送失敗: %1, ").arg(c.expectedCode);
    EXPECT_EQ(int(lines.filter(failLine).size()), c.expectedCode == 0 ? 0 : 1);
    EXPECT_EQ(progress.steps(StateSending), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SendRetryTest,
    ::testing::Values(RetryCase{11, 1, 2, 0, "訊息已成功送出(MsgId:"}, RetryCase{11, 2, 2, 11, "系統暫時無法傳送訊息("},
                      RetryCase{3, 1, 2, 0, "訊息已成功送出"}, RetryCase{31, 1, 2, 0, "訊息已成功送出"},
                      RetryCase{40, 1, 2, 0, "訊息已成功送出"}, RetryCase{41, 2, 2, 41, "系統內部錯誤("},
                      RetryCase{10, 1, 1, 10, "目前暫不開放傳送至國外("},
                      RetryCase{6, 1, 1, 6, "接收手機號碼格式錯誤("},
                      RetryCase{50, 1, 1, 50, "尚未經過密碼檢查就發送("}));

TEST_F(SendJobTest, UnreachableGatewayFailsEverySegmentAfterTwoConnectionAttempts) {
    pointAtClosedPort();
    SendQueue.push_back(record("0912345678", 2));
    SendQueue.push_back(record("0922222222", 1));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cell(i, ColSendCode), "-1");
        EXPECT_EQ(cell(i, ColSendResult), big5("網路連線失敗"));
    }
    EXPECT_EQ(linesWith("Login to Server fail, -1:網路連線失敗"), 3);
    EXPECT_EQ(linesWith("傳送失敗: -1, 網路連線失敗"), 3);
    EXPECT_EQ(linesWith("0912345678[part2] 傳送失敗"), 1);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

TEST_F(SendJobTest, RefusedLoginUsesTheLoginTable) {
    putField(Config.gwPasswd, QByteArray("wrong"));
    SendQueue.push_back(record("0912345678"));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_NE(cell(0, ColSendCode), "0");
    EXPECT_NE(cell(0, ColSendCode), "-1");
    EXPECT_EQ(requestsOf(GwLogin).size(), 2);
    EXPECT_TRUE(requestsOf(GwSendDomestic).isEmpty());
    EXPECT_EQ(linesWith("Login to Server fail, "), 1);
    // Whatever the code, its text comes from the login table, not the send table.
    const QByteArray result = cell(0, ColSendResult);
    const int code = cell(0, ColSendCode).toInt();
    EXPECT_TRUE(result.startsWith(CodeText(CodeTable::Login, code) + "(")) << fromBig5(result).toStdString();
}

TEST_F(SendJobTest, ClosedConnectionMidRunReconnectsAndGoesOn) {
    sim->setCloseAfter(3); // the login and two sends, then the gateway hangs up
    for (int i = 0; i < 5; ++i)
        SendQueue.push_back(record("091234567" + QByteArray::number(i)));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(sentOk(i)) << i << ": " << fromBig5(cell(i, ColSendResult)).toStdString();
    EXPECT_GE(sim->connectionCount(), 2);
}

TEST_F(SendJobTest, SilentGatewayEndsTheExchangeWithAReplyTimeOutAndTheRunStillEnds) {
    SendThd::setReplyWaitSeconds(1);
    sim->setSilentAfter(1); // answers the login on each connection, then nothing
    SendQueue.push_back(record("0922222222"));
    const bool ended = runSend();
    SendThd::setReplyWaitSeconds(SMSendNorviGw::kReplyWaitSeconds);
    ASSERT_TRUE(ended);
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_EQ(cell(0, ColSendCode), "-1");
    EXPECT_EQ(cell(0, ColSendResult), big5("Recv()逾時"));
    // The second attempt reconnected and logged in again.
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 2);
    EXPECT_EQ(requestsOf(GwLogin).size(), 2);
    EXPECT_EQ(linesWith("0922222222[part1] 傳送失敗: -1, Recv()逾時"), 1);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

TEST_F(SendJobTest, ReplyTimeOutMidRunIsRetriedOnANewConnection) {
    SendThd::setReplyWaitSeconds(1);
    sim->setSilentAfter(2); // the login and one send on each connection
    SendQueue.push_back(record("0911111111"));
    SendQueue.push_back(record("0922222222"));
    const bool ended = runSend();
    SendThd::setReplyWaitSeconds(SMSendNorviGw::kReplyWaitSeconds);
    ASSERT_TRUE(ended);
    ASSERT_EQ(log.rows.size(), 2);
    EXPECT_TRUE(sentOk(0));
    EXPECT_TRUE(sentOk(1));
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 3);
    EXPECT_EQ(linesWith("傳送失敗"), 0);
}

TEST_F(SendJobTest, ScheduledRunSendsTheReservationAndMarksTheRows) {
    // A reservation for tomorrow at this minute, as the send dialog builds it.
    const QByteArray orderTime = Clock::now().addDays(1).toString(QStringLiteral("yyyyMMddHHmm")).toLatin1() + "00";
    const QByteArray schedule = orderTime.mid(2);
    struct Case {
        int limit;
        QList<QByteArray> params;
    };
    const Case cases[] = {{30, {"0912345678", "04", schedule, "0030"}}, {0, {"0912345678", "03", schedule}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        log.rows.clear();
        SendQueue.clear();
        startSimulator(gwsim::SimOptions{});
        owner.schedule = SendSchedule{true, orderTime, c.limit};
        SendQueue.push_back(record("0912345678", 2));
        ASSERT_TRUE(runSend());
        const QList<sGwRequest> sends = requestsOf(GwSendDomestic);
        ASSERT_EQ(sends.size(), 2);
        EXPECT_EQ(params(sends[0]), c.params);
        ASSERT_EQ(log.rows.size(), 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(cell(i, ColSendTime), orderTime);
            EXPECT_EQ(log.rows[i].codeImage, ImageReservation);
            EXPECT_TRUE(sentOk(i));
        }
    }
}

TEST_F(SendJobTest, ResendSendsAtOnceWithoutLimitWhateverTheSendDialogShows) {
    owner.sendDialog = false;
    owner.schedule = SendSchedule{true, "20991231235900", 30};
    Clock::setFixed(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    SendQueue.push_back(record("0912345678"));
    ASSERT_TRUE(runSend());
    const QList<sGwRequest> sends = requestsOf(GwSendDomestic);
    ASSERT_EQ(sends.size(), 1);
    EXPECT_EQ(params(sends[0]), (QList<QByteArray>{"0912345678", "01"}));
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_EQ(cell(0, ColSendTime), "20240305140709");
    EXPECT_EQ(log.rows[0].codeImage, ImageNone);
    EXPECT_EQ(owner.scheduleReads, 0);
}

TEST_F(SendJobTest, ImmediateRunOfTheSendDialogHonoursItsLimit) {
    owner.schedule = SendSchedule{false, "20991231235900", 90};
    SendQueue.push_back(record("0912345678"));
    ASSERT_TRUE(runSend());
    const QList<sGwRequest> sends = requestsOf(GwSendDomestic);
    ASSERT_EQ(sends.size(), 1);
    EXPECT_EQ(params(sends[0]), (QList<QByteArray>{"0912345678", "02", "0090"}));
    EXPECT_NE(cell(0, ColSendTime), "20991231235900");
    EXPECT_EQ(log.rows[0].codeImage, ImageNone);
}

TEST_F(SendJobTest, LongAndPlusNumbersGoAsInternationalMessages) {
    const QByteArray numbers[] = {"0912345678", "09123456789", "+886912345678", "12345"};
    const uint8_t types[] = {GwSendDomestic, GwSendInternational, GwSendInternational, GwSendDomestic};
    for (const QByteArray& n : numbers)
        SendQueue.push_back(record(n));
    ASSERT_TRUE(runSend());
    std::vector<sGwRequest> sends;
    for (const sGwRequest& r : sim->requests())
        if (r.msg_type != GwLogin)
            sends.push_back(r);
    ASSERT_EQ(sends.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(numbers[i].toStdString());
        EXPECT_EQ(sends[i].msg_type, types[i]);
        EXPECT_EQ(params(sends[i]).value(0), numbers[i]);
        EXPECT_EQ(sends[i].msg_coding, 1);
    }
}

TEST_F(SendJobTest, StopFinishesTheCurrentMessageAndSkipsTheRest) {
    SendQueue.push_back(record("0911111111", 3));
    SendQueue.push_back(record("0922222222", 1));
    SendQueue.push_back(record("0933333333", 1));
    // 中斷 pressed while the first segment is on its way.
    log.onAddRow = [](int added) {
        if (added == 1)
            StopFlag = true;
    };
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cell(i, ColMobile), "0911111111");
        EXPECT_TRUE(sentOk(i));
    }
    EXPECT_EQ(progress.steps(StateSending), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
    EXPECT_EQ(linesWith(" shut down"), 1);
}

TEST_F(SendJobTest, StopPreventsTheSecondAttempt) {
    sim->failNextSends(11, 1);
    SendQueue.push_back(record("0911111111"));
    log.onAddRow = [](int) { StopFlag = true; };
    ASSERT_TRUE(runSend());
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 1);
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_EQ(cell(0, ColSendCode), "11");
}

TEST_F(SendJobTest, BadSegmentCountNeverReadsPastTheBlock) {
    sSendContent r = record("0912345678", 6);
    r.segmentCount = 9;
    SendQueue.push_back(r);
    ASSERT_TRUE(runSend());
    EXPECT_EQ(log.rows.size(), 6);
}

TEST(SendJobRules, RetryCodesAndRowImages) {
    for (int code = -2; code < 60; ++code) {
        const bool retry = code == -1 || code == 3 || code == 11 || code == 31 || code == 40 || code == 41;
        EXPECT_EQ(SendJob::isRetryCode(code), retry) << code;
    }
    EXPECT_EQ(SendJob::rowImage(KindAddressBook), ImageMember);
    EXPECT_EQ(SendJob::rowImage(KindListRow), ImageListRow);
    EXPECT_EQ(SendJob::rowImage(KindTyped), ImageTyped);
    EXPECT_EQ(SendJob::rowImage(7), ImageTyped);
}

} // namespace
} // namespace norvi::test
