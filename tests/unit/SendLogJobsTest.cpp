#include "WorkerFixture.h"

#include "workers/SendLogJobs.h"

namespace norvi::test {
namespace {

struct FailedCase {
    const char* sendCode;
    const char* queryCode;
    bool failed;
};

class FailedRowTest : public ::testing::TestWithParam<FailedCase> {};

TEST_P(FailedRowTest, Rule) {
    const FailedCase c = GetParam();
    EXPECT_EQ(IsFailedRow(c.sendCode, c.queryCode), c.failed) << c.sendCode << " / " << c.queryCode;
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FailedRowTest,
    ::testing::Values(FailedCase{"0", "", false}, FailedCase{"0", "16", true}, FailedCase{"0", "0", false},
                      FailedCase{"0", "1", false}, FailedCase{"0", "3", false}, FailedCase{"0", "4", false},
                      FailedCase{"0", "19", false}, FailedCase{"0", "20", false}, FailedCase{"0", "31", false},
                      FailedCase{"0", "40", false}, FailedCase{"0", "41", false}, FailedCase{"0", "-1", false},
                      FailedCase{"0", "2", true}, FailedCase{"0", "21", true}, FailedCase{"0", "x", false},
                      FailedCase{"-1", "", true}, FailedCase{"11", "", true}, FailedCase{"abc", "", true},
                      FailedCase{"", "", true}));

class ResendTest : public WorkerFixture {};

TEST_F(ResendTest, SelectedRowsKeepOnlyTheFailedOneSelected) {
    log.append("ok", ImageMember, "0", "(MsgId:1)", "", ImageNone, true);
    log.append("bad", ImageTyped, "11", "x", "", ImageNone, true);
    log.append("ok2", ImageTyped, "0", "(MsgId:2)", "0", ImageNone, true);
    log.append("bad-unselected", ImageTyped, "-1", "x");
    int queued = 0;
    QString error;
    ASSERT_TRUE(QueueFailedRows(log, &queued, &error));
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(log.selection(), QVector<int>{1});
    ASSERT_EQ(SendQueue.size(), 1u);
    EXPECT_EQ(getField(SendQueue.front().name), "bad");
}

TEST_F(ResendTest, WithoutSelectionTheFailedRowsBecomeSelectedInListOrder) {
    log.append("first", ImageTyped, "-1", "x");
    log.append("fine", ImageListRow, "0", "(MsgId:1)");
    log.append("second", ImageMember, "0", "(MsgId:2)", "16");
    log.append("third", ImageListRow, "abc", "x");
    log.rows[0].cells[ColContent] = big5("第一則");
    log.rows[0].cells[ColMobile] = "+886912345678";
    int queued = 0;
    QString error;
    ASSERT_TRUE(QueueFailedRows(log, &queued, &error));
    EXPECT_EQ(queued, 3);
    EXPECT_EQ(log.selection(), (QVector<int>{0, 2, 3}));
    ASSERT_EQ(SendQueue.size(), 3u);
    auto it = SendQueue.begin();
    const sSendContent first = *it++;
    const sSendContent second = *it++;
    const sSendContent third = *it;
    EXPECT_EQ(first.seq, 0);
    EXPECT_EQ(second.seq, 1);
    EXPECT_EQ(third.seq, 2);
    EXPECT_EQ(first.kind, KindTyped);
    EXPECT_EQ(second.kind, KindAddressBook);
    EXPECT_EQ(third.kind, KindListRow);
    EXPECT_EQ(getField(first.msisdn), "+886912345678");
    EXPECT_EQ(getField(first.segments[0]), big5("第一則"));
    EXPECT_EQ(first.segmentCount, 1);
    for (int k = 1; k < kSegmentCount; ++k)
        EXPECT_EQ(QByteArray(first.segments[k], kSegmentSize), QByteArray(kSegmentSize, '\0')) << k;
}

TEST_F(ResendTest, NothingFailedQueuesNothing) {
    log.append("fine", ImageTyped, "0", "(MsgId:1)");
    SendQueue.push_back(record("0900000000"));
    int queued = -1;
    QString error;
    ASSERT_TRUE(QueueFailedRows(log, &queued, &error));
    EXPECT_EQ(queued, 0);
    EXPECT_TRUE(SendQueue.empty());
    EXPECT_TRUE(log.selection().isEmpty());
    EXPECT_EQ(NothingToResendText(), QString::fromUtf8("沒有確定失敗的訊息需要重新傳送！"));
}

TEST_F(ResendTest, LongCellsAreCutToTheirFields) {
    log.append(QByteArray(150, 'n'), ImageTyped, "-1", "x");
    log.rows[0].cells[ColMobile] = QByteArray(40, '9');
    log.rows[0].cells[ColContent] = QByteArray(200, 'c');
    const sSendContent r = ResendRecord(log, 0, 7);
    EXPECT_EQ(r.seq, 7);
    EXPECT_EQ(getField(r.name), QByteArray(99, 'n'));
    EXPECT_EQ(getField(r.msisdn), QByteArray(29, '9'));
    EXPECT_EQ(getField(r.segments[0]), QByteArray(160, 'c'));
}

TEST_F(ResendTest, ResendRunSendsTheFailedRowsAgainAtOnce) {
    owner.sendDialog = false;
    owner.schedule = SendSchedule{true, "20991231235900", 30};
    log.append("bad", ImageMember, "-1", "x");
    log.rows[0].cells[ColMobile] = "0911111111";
    log.append("fine", ImageTyped, "0", "(MsgId:1)");
    int queued = 0;
    QString error;
    ASSERT_TRUE(QueueFailedRows(log, &queued, &error));
    StopFlag = true;
    SendThd* worker = nullptr;
    ASSERT_TRUE(StartResend(&owner, &log, &error, &worker));
    EXPECT_FALSE(StopFlag.load());
    ASSERT_TRUE(waitUntilGone(worker));
    ASSERT_EQ(log.rows.size(), 3);
    EXPECT_EQ(log.rows[2].cells[ColName], "bad");
    EXPECT_EQ(log.rows[2].image, ImageMember);
    EXPECT_EQ(log.rows[2].cells[ColMobile], "0911111111");
    EXPECT_EQ(log.rows[2].cells[ColSendCode], "0");
    EXPECT_EQ(log.rows[2].codeImage, ImageNone);
    EXPECT_EQ(params(requestsOf(GwSendDomestic).value(0)).value(1), "01");
}

TEST_F(ResendTest, RowJobFromTheLogTakesTheSelectionOrElseAllRows) {
    log.append("a", ImageTyped, "-1", "x");
    log.append("b", ImageTyped, "-1", "x", "", ImageNone, true);
    log.append("c", ImageTyped, "-1", "x");
    int maximum = 0;
    QString error;
    SendThd* worker = nullptr;
    StopFlag = true;
    ASSERT_TRUE(StartRowJobFromLog(ModeQuery, &owner, &log, &maximum, &error, &worker));
    EXPECT_FALSE(QueryAll.load());
    EXPECT_FALSE(StopFlag.load());
    EXPECT_EQ(maximum, 1);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(progress.steps(StateQuerying), 1);

    log.rows[1].selected = false;
    ASSERT_TRUE(StartRowJobFromLog(ModeCancel, &owner, &log, &maximum, &error, &worker));
    EXPECT_TRUE(QueryAll.load());
    EXPECT_EQ(maximum, 3);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(progress.steps(StateCancelling), 3);
    EXPECT_EQ(progress.endStates(), (QList<int>{StateQueried, StateCancelled}));
}

} // namespace
} // namespace norvi::test
