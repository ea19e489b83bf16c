#include "support/WorkerFixture.h"

#include "core/compose/StreamedSendRun.h"
#include "core/gateway/ResultCodes.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/RunActivity.h"
#include "core/workers/SendLogJobs.h"
#include "support/CheckedModel.h"
#include "support/FileBytes.h"
#include "support/GatewayPeer.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QRegularExpression>

#include <algorithm>

namespace norvi::test {
namespace {

class SendJobTest : public WorkerFixture {
protected:
    bool runSend() { return runJob(WorkerMode::Send, &log); }
    bool sentOk(int row) const {
        return cell(row, ColSendCode) == "0" && cell(row, ColSendResult).startsWith(big5("訊息已成功送出(MsgId:"));
    }
    // The next row of a table starts from an empty log and queue and a gateway that has seen nothing.
    void startAfresh() {
        log.rows.clear();
        SendQueue.clear();
        lines.clear();
        startSimulator();
    }
};

TEST_F(SendJobTest, ThreeSegmentRecordGivesThreeRowsThreeStepsAndTheEndState) {
    SendQueue.push_back(record("0912345678", 3, KindAddressBook, big5("王小明")));
    SendQueue.push_back(record("0922222222", 1, KindListRow));
    SendQueue.push_back(record("0933333333", 1, KindTyped));
    ASSERT_TRUE(runSend());

    ASSERT_EQ(log.rows.size(), 5);
    EXPECT_EQ(column(ColName).mid(0, 3), QList<QByteArray>(3, big5("王小明")));
    EXPECT_EQ(column(ColMobile).mid(0, 3), QList<QByteArray>(3, "0912345678"));
    EXPECT_EQ(column(ColContent), (QList<QByteArray>{"part1", "part2", "part3", "part1", "part1"}));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{14}$"))
                        .match(QString::fromLatin1(cell(i, ColSendTime)))
                        .hasMatch());
        EXPECT_TRUE(sentOk(i)) << fromBig5(cell(i, ColSendResult)).toStdString();
        EXPECT_EQ(log.rows[i].codeImage, ImageNone);
    }
    EXPECT_NE(cell(0, ColSendResult), cell(1, ColSendResult)); // each segment is its own message
    QList<int> images;
    for (const FakeSendLog::Row& row : log.rows)
        images.append(row.image);
    EXPECT_EQ(images, (QList<int>{ImageMember, ImageMember, ImageMember, ImageListRow, ImageTyped}));
    EXPECT_EQ(progress.steps(StateSending), 5);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
    EXPECT_EQ(requestsOf(GwLogin).size(), 1); // one login for the whole run
    EXPECT_EQ(log.offThreadCalls, 0);
    EXPECT_EQ(owner.offThreadCalls, 0);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("  傳送執行緒1\\([0-9A-F]{8}\\) start$")).match(lines[0]).hasMatch())
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(lines[0]
                                      .mid(lines[0].indexOf(QStringLiteral("  ")))
                                      .replace(QStringLiteral(" start"), QStringLiteral(" shut down"))));
}

// A row's step reaches the progress window after its fill, so the window never counts a row the log shows
// unfilled, and the message line of a refused row comes after the row; the rows carry the local time of
// their send, to the second.
TEST_F(SendJobTest, EachStepFollowsItsRowsFillAndRowsCarryTheTimeOfTheirSend) {
    class FilledAtStep : public QObject {
    public:
        explicit FilledAtStep(const FakeSendLog& log) : m_log(log) {}
        QList<int> filled; // rows with a send code when each step arrived
    protected:
        bool event(QEvent* e) override {
            if (e->type() != QEvent::Type(WM_SHOWPROCESS))
                return QObject::event(e);
            // A sending report of no step only says the count is done.
            const ProgressReport& report = static_cast<ShowProcessEvent*>(e)->report();
            if (report.state != StateSending || report.steps == 0)
                return true;
            filled.append(int(std::count_if(m_log.rows.begin(), m_log.rows.end(), [](const FakeSendLog::Row& r) {
                return !r.cells[ColSendCode].isEmpty();
            })));
            return true;
        }

    private:
        const FakeSendLog& m_log;
    } steps(log);
    jobs.channel().setProgressTarget(&steps);
    QList<int> rowsAtRefusal;
    SetMessageAreaSink([&](const QString& line) {
        if (line.contains(QStringLiteral("傳送失敗")))
            rowsAtRefusal.append(int(log.rows.size()));
    });
    sim->failNextSends(10, 1);
    const auto stamp = [] { return Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1(); };
    for (const char* number : {"0911111111", "0922222222", "0933333333", "0944444444"})
        SendQueue.push_back(record(number));
    const QByteArray before = stamp();
    ASSERT_TRUE(runSend());
    const QByteArray after = stamp();
    jobs.channel().setProgressTarget(&progress);

    EXPECT_EQ(steps.filled, (QList<int>{1, 2, 3, 4}));
    // The line is shown with its batch: after its row, perhaps with later rows of the same batch.
    ASSERT_EQ(rowsAtRefusal.size(), 1);
    EXPECT_GE(rowsAtRefusal[0], 1);
    ASSERT_EQ(log.rows.size(), 4);
    EXPECT_EQ(cell(0, ColSendCode), "10");
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(cell(i, ColSendTime), before) << i;
        EXPECT_LE(cell(i, ColSendTime), after) << i;
    }
}

TEST_F(SendJobTest, EmptyQueueLogsStartAndShutDownPostsTheEndAndNeverConnects) {
    ASSERT_TRUE(runSend());
    EXPECT_TRUE(log.rows.isEmpty());
    EXPECT_EQ(sim->connectionCount(), 0);
    EXPECT_EQ(progress.states, QList<int>{StateSent});
    // The count is done: the status moves on to sending before any answer, without a step.
    EXPECT_EQ(progress.textOnly, QList<int>{StateSending});
    EXPECT_EQ(lines.size(), 2);
    // The same two lines reach the day's operation log.
    QFile opLog(
        QDir(m_dir.path()).filePath(Clock::now().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".dbg")));
    ASSERT_TRUE(opLog.open(QIODevice::ReadOnly));
    const QString text = fromBig5(opLog.readAll());
    EXPECT_EQ(text.count(QStringLiteral("傳送執行緒1(")), 2);
    EXPECT_TRUE(text.contains(QStringLiteral(" start")) && text.contains(QStringLiteral(" shut down")));
}

TEST_F(SendJobTest, TransientCodesAreTriedOnceMore) {
    const struct {
        int code, failures, expectedSends, expectedCode;
        const char* text; // start of the row's 傳送結果
    } cases[] = {{11, 1, 2, 0, "訊息已成功送出(MsgId:"},
                 {11, 2, 2, 11, "系統暫時無法傳送訊息("},
                 {3, 1, 2, 0, "訊息已成功送出"},
                 {31, 1, 2, 0, "訊息已成功送出"},
                 {40, 1, 2, 0, "訊息已成功送出"},
                 {41, 2, 2, 41, "系統內部錯誤("},
                 {10, 1, 1, 10, "目前暫不開放傳送至國外("},
                 {50, 1, 1, 50, "尚未經過密碼檢查就發送("}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " failing " << c.failures << " times");
        startAfresh();
        sim->failNextSends(c.code, c.failures);
        SendQueue.push_back(record("0912345678"));
        ASSERT_TRUE(runSend());
        ASSERT_EQ(log.rows.size(), 1);
        EXPECT_EQ(requestsOf(GwSendDomestic).size(), c.expectedSends);
        EXPECT_EQ(cell(0, ColSendCode), QByteArray::number(c.expectedCode));
        EXPECT_TRUE(cell(0, ColSendResult).startsWith(big5(c.text))) << fromBig5(cell(0, ColSendResult)).toStdString();
        EXPECT_EQ(linesWith(QStringLiteral("0912345678[part1] 傳送失敗: %1, ").arg(c.expectedCode).toUtf8()),
                  c.expectedCode == 0 ? 0 : 1);
    }
}

TEST_F(SendJobTest, UnreachableGatewayFailsEverySegmentAfterTwoConnectionAttempts) {
    stopSimulator();
    SendQueue.push_back(record("0912345678", 2));
    SendQueue.push_back(record("0922222222", 1));
    ASSERT_TRUE(runSend());
    EXPECT_EQ(column(ColSendCode), QList<QByteArray>(3, "-1"));
    EXPECT_EQ(column(ColSendResult), QList<QByteArray>(3, big5("網路連線失敗")));
    EXPECT_EQ(linesWith("Login to Server fail, -1:網路連線失敗"), 3);
    EXPECT_EQ(linesWith("傳送失敗: -1, 網路連線失敗"), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

// A refused password ends the run after one login: every further login would be refused as well, and
// repeated refusals can get the account locked. The recipients not reached say why.
TEST_F(SendJobTest, RefusedLoginEndsTheRunAfterOneLoginAndNamesTheReason) {
    m_dir.config().edit([](sConfig& c) { putField(c.gwPasswd, QByteArray("wrong")); });
    for (int i = 0; i < 20; ++i)
        SendQueue.push_back(record("09123456" + QByteArray::number(10 + i)));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 20);
    const int code = cell(0, ColSendCode).toInt();
    EXPECT_GT(code, 0);
    const QByteArray loginText = cell(0, ColSendResult);
    EXPECT_TRUE(loginText.startsWith(QByteArray(CodeText(CodeTable::Login, code) + "(")));
    EXPECT_EQ(column(ColSendResult).mid(1), QList<QByteArray>(19, big5("未傳送：") + loginText));
    EXPECT_EQ(requestsOf(GwLogin).size(), 1);
    EXPECT_TRUE(requestsOf(GwSendDomestic).isEmpty());
    EXPECT_EQ(linesWith("Login to Server fail, "), 1);
    const RunOutcome outcome = jobs.activity().outcome();
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(RunOutcomeText(StateSent, outcome),
              QStringLiteral("簡訊傳送已中斷（%1）：成功 0 筆，失敗 1 筆，未傳送 19 筆").arg(fromBig5(loginText)));
}

// A request that went out and got no answer, or whose connection the gateway dropped, is never sent again:
// the gateway may have taken it. Its row says so; later messages go on a new connection.
TEST_F(SendJobTest, ClosedOrSilentConnectionMidRunLeavesUncertainRowsAndGoesOnWithoutResending) {
    replyWaitSeconds = 1;
    sim->setCloseAfter(3); // the login and two sends, then the gateway hangs up
    for (int i = 0; i < 4; ++i)
        SendQueue.push_back(record("091234567" + QByteArray::number(i)));
    ASSERT_TRUE(runSend());
    const int firstRun = int(requestsOf(GwSendDomestic).size());
    sim->setCloseAfter(-1);
    sim->setSilentAfter(2); // the login and one send of each connection, then no more replies
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 8);
    const QByteArray dropped = big5("Norvi伺服器已切斷連線，可能已送出");
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(sentOk(i) || (cell(i, ColSendCode) == "-1" && cell(i, ColSendResult) == dropped))
            << i << ": " << fromBig5(cell(i, ColSendResult)).toStdString();
    EXPECT_TRUE(sentOk(3)) << "a new connection after the hang-up";
    const QByteArray silent = big5("Recv()逾時，可能已送出");
    for (int i = 4; i < 8; ++i) {
        if (i % 2 == 0)
            EXPECT_TRUE(sentOk(i)) << i << ": " << fromBig5(cell(i, ColSendResult)).toStdString();
        else
            EXPECT_EQ(cell(i, ColSendResult), silent) << i;
    }
    const QList<sGwRequest> sent = requestsOf(GwSendDomestic);
    EXPECT_EQ(sent.size() - firstRun, 4) << "each message of the silent run requested once";
    QSet<QByteArray> numbers;
    for (int i = 0; i < firstRun; ++i) {
        EXPECT_FALSE(numbers.contains(params(sent[i]).value(0))) << "sent twice: " << params(sent[i]).value(0).data();
        numbers.insert(params(sent[i]).value(0));
    }
}

// A gateway that answers in two parts with a long pause between them, the result code in the first part.
TEST_F(SendJobTest, RepliesPausedMidwayKeepRefusalsAndEachRowsOwnMsgId) {
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 1500));
    sim->failNextSends(6, 2);
    for (int i = 1; i <= 4; ++i)
        SendQueue.push_back(record("090000000" + QByteArray::number(i)));
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 4);
    EXPECT_EQ(column(ColSendCode).mid(0, 2), QList<QByteArray>(2, "6"));
    EXPECT_EQ(column(ColSendResult).mid(0, 2), QList<QByteArray>(2, big5("接收手機號碼格式錯誤(refused (fault))")));
    EXPECT_EQ(linesWith("傳送失敗: 6, "), 2);
    EXPECT_TRUE(sentOk(2) && sentOk(3));
    EXPECT_NE(cell(2, ColSendResult), cell(3, ColSendResult));
    // Each refusal was taken without its padding, which had not come by the next send: a new
    // connection after each of them.
    EXPECT_EQ(sim->connectionCount(), 3);

    // The MsgIds are the gateway's own: a query of every row finds both messages.
    sim->setReplyPacing({});
    QueryAll = true;
    ASSERT_TRUE(runJob(WorkerMode::Query, &log));
    EXPECT_EQ(requestsOf(GwQuery).size(), 2);
    for (int i = 2; i < 4; ++i)
        EXPECT_TRUE(cell(i, ColQueryCode) == "4" || cell(i, ColQueryCode) == "0") << cell(i, ColQueryCode).constData();
}

TEST_F(SendJobTest, TrickledRepliesEndWithinTheReplyWaitAndItsRetry) {
    replyWaitSeconds = 1;
    sim->setReplyPacing(gwsim::ReplyPacing::trickle(50)); // a whole reply would take 12 s
    SendQueue.push_back(record("0912345678"));
    ASSERT_TRUE(runSend());
    EXPECT_EQ(cell(0, ColSendCode), "-1");
    EXPECT_EQ(cell(0, ColSendResult), big5("Recv()逾時"));
    EXPECT_EQ(sim->connectionCount(), 2); // each attempt on a connection of its own
    EXPECT_EQ(linesWith("Login to Server fail, -1:Recv()逾時"), 1);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
}

// The send dialog's reservation and limit, or a run without any schedule (the command line's): a row sent at
// once carries the time of its send, a reserved one the reservation's.
TEST_F(SendJobTest, TheSendDialogsReservationAndLimitReachTheWire) {
    Clock::setFixed(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    // A reservation for tomorrow at this minute, as the send dialog builds it.
    const QByteArray orderTime = "20240306140700";
    const QByteArray onWire = orderTime.mid(2);
    struct Case {
        const char* label;
        std::optional<SendSchedule> settings;
        QList<QByteArray> params;
    } const cases[] = {
        {"reserved with a limit", SendSchedule{true, orderTime, 30}, {"0912345678", "04", onWire, "0030"}},
        {"reserved", SendSchedule{true, orderTime, 0}, {"0912345678", "03", onWire}},
        {"a limit only", SendSchedule{false, orderTime, 90}, {"0912345678", "02", "0090"}},
        {"no schedule", std::nullopt, {"0912345678", "01"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        startAfresh();
        schedule = c.settings;
        SendQueue.push_back(record("0912345678", 2));
        ASSERT_TRUE(runSend());
        const QList<sGwRequest> sends = requestsOf(GwSendDomestic);
        ASSERT_EQ(sends.size(), 2);
        EXPECT_EQ(params(sends[1]), c.params);
        const bool scheduled = c.settings && c.settings->scheduled;
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(sentOk(i));
            EXPECT_EQ(cell(i, ColSendTime), scheduled ? orderTime : QByteArray("20240305140709"));
            EXPECT_EQ(log.rows[i].codeImage, scheduled ? ImageReservation : ImageNone);
        }
    }
}

TEST_F(SendJobTest, LongAndPlusNumbersGoAsInternationalMessages) {
    const QByteArray numbers[] = {"0912345678", "09123456789", "+886912345678", "12345"};
    const uint8_t types[] = {GwSendDomestic, GwSendInternational, GwSendInternational, GwSendDomestic};
    for (const QByteArray& n : numbers)
        SendQueue.push_back(record(n));
    ASSERT_TRUE(runSend());
    const std::vector<sGwRequest> sent = sim->requests(); // the login, then the four sends
    ASSERT_EQ(sent.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sent[i + 1].msg_type, types[i]) << numbers[i].toStdString();
        EXPECT_EQ(params(sent[i + 1]).value(0), numbers[i]);
    }
}

TEST_F(SendJobTest, StopBetweenExchangesFinishesTheMessageAndTheRestGetNotSentRows) {
    SendQueue.push_back(record("0911111111", 3));
    SendQueue.push_back(record("0922222222", 2, KindAddressBook, big5("王小明")));
    // The worker hands its rows to this thread without waiting, so the stop below lands while a reply is
    // still on its way only if replies take a while: each one comes in two parts 200 ms apart. The flag
    // alone (no wake-up) is seen between messages, so the current message is finished.
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 200));
    log.onAddRow = [this](int added) {
        if (added == 1)
            stopAtNextCheck(); // 中斷 while the first segment is on its way
    };
    ASSERT_TRUE(runSend());
    ASSERT_EQ(log.rows.size(), 5);
    EXPECT_TRUE(sentOk(0) && sentOk(1) && sentOk(2));
    EXPECT_EQ(column(ColMobile),
              (QList<QByteArray>{"0911111111", "0911111111", "0911111111", "0922222222", "0922222222"}));
    // Every segment of the message not reached has its row: code -1, the stop's time, its own text.
    EXPECT_EQ(column(ColName).mid(3), QList<QByteArray>(2, big5("王小明")));
    EXPECT_EQ(column(ColSendCode).mid(3), QList<QByteArray>(2, "-1"));
    EXPECT_EQ(column(ColSendResult).mid(3), QList<QByteArray>(2, big5("未傳送：作業已中斷")));
    EXPECT_EQ(column(ColContent).mid(3), (QList<QByteArray>{"part1", "part2"}));
    for (int i = 3; i < 5; ++i) {
        EXPECT_EQ(log.rows[i].image, ImageMember) << i;
        EXPECT_EQ(cell(i, ColSendTime).size(), 14) << i;
    }
    EXPECT_EQ(progress.steps(StateSending), 3);
    EXPECT_EQ(progress.endStates(), QList<int>{StateSent});
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 3);

    // A stop also prevents the second attempt of a segment.
    log.rows.clear();
    SendQueue.clear();
    SendQueue.push_back(record("0933333333"));
    log.onAddRow = [this](int) { stopAtNextCheck(); };
    sim->failNextSends(11, 1);
    ASSERT_TRUE(runSend());
    EXPECT_EQ(cell(0, ColSendCode), "11");
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 4);
}

TEST_F(SendJobTest, RunAndQueryThroughTheRealSendLogModel) {
    CheckedModel<SendLogModel> model;
    QItemSelectionModel selection(&model);
    ModelJobRows access(model, selection);
    // Sorted by name, descending: each new name lands before the rows added earlier, so positions move
    // under the run.
    for (const char* name : {"a", "b", "c"})
        SendQueue.push_back(record("0912345678", 2, KindAddressBook, name));
    ASSERT_TRUE(runJob(WorkerMode::Send, &access));
    ASSERT_EQ(access.rowCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(access.row(i).texts[ColName], QByteArray(1, "ccbbaa"[i])) << i;
        EXPECT_EQ(access.row(i).texts[ColSendCode], "0") << i;
        EXPECT_EQ(access.row(i).texts[ColContent], i % 2 ? "part2" : "part1") << i;
    }
    // The rows of "b", selected, are queried; the rest are not touched.
    access.setSelectedRows({2, 3}, true);
    int maximum = 0;
    QString error;
    SendThd* worker = nullptr;
    ASSERT_TRUE(
        StartRowJob(jobs, gateway(), WorkerMode::Query, false, &owner, &access, &access, &maximum, &error, &worker));
    EXPECT_EQ(maximum, 2);
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_EQ(requestsOf(GwQuery).size(), 2);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(access.row(i).texts[ColQueryCode].isEmpty(), i != 2 && i != 3) << i;
    EXPECT_EQ(access.selectedRows(), (QVector<int>{2, 3}));
}

// The second of two messages gets an answer that cannot be its own: a MsgId the run already recorded (a late
// copy of the first reply), one longer than a query can carry, a text that fills the reply without its end, or
// bytes behind the answer. The row says the message may have gone and nothing is sent again.
TEST_F(SendJobTest, AnAnswerThatMayNotBeTheMessagesOwnLeavesAnUncertainRow) {
    const struct {
        const char* name;
        uint8_t code;
        QByteArray text;
        std::size_t behind; // zero bytes right behind the reply
        const char* sendCode;
        const char* result;
    } cases[] = {
        {"its own MsgId", 0, "NV310506100000000002", 0, "0", "訊息已成功送出(MsgId:NV310506100000000002)"},
        {"the first message's MsgId", 0, "NV310506100000000001", 0, "-1", "閘道回覆重複的MsgId，可能已送出"},
        {"a MsgId of 21 bytes", 0, "NV3105061000000000021", 0, "-1", "閘道回覆的MsgId超過 20 個字元，可能已送出"},
        {"a text filling the reply", 0, QByteArray(160, 'N'), 0, "-1", "閘道回覆的MsgId超過 20 個字元，可能已送出"},
        {"an acceptance with bytes behind", 0, "NV310506100000000002", 1, "-1", "閘道回覆不同步，可能已送出"},
        // Code 11 is tried again when it is believed; a refusal that may be another message's is not.
        {"a refusal with bytes behind", 11, "busy", 1, "-1", "閘道回覆不同步，可能已送出"}};
    replyWaitSeconds = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.rows.clear();
        long requestBytesAfter = -1;
        {
            RawTcpServer server([&](int fd) {
                answer(fd, replyWith(0, "ok"));
                answer(fd, replyWith(0, "NV310506100000000001"));
                sGwRequest q;
                RawTcpServer::readExactly(fd, &q, sizeof q);
                const sGwReply r = replyWith(c.code, c.text);
                QByteArray bytes(reinterpret_cast<const char*>(&r), int(sizeof r));
                bytes.append(QByteArray(int(c.behind), '\0'));
                RawTcpServer::writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
                requestBytesAfter = RawTcpServer::drainUntilClosed(fd);
            });
            m_dir.config().edit([&server](sConfig& record) { record.gwPort = server.port(); });
            SendQueue.clear();
            SendQueue.push_back(record("0912000001"));
            SendQueue.push_back(record("0912000002"));
            ASSERT_TRUE(runSend());
        }
        ASSERT_EQ(log.rows.size(), 2);
        EXPECT_TRUE(sentOk(0));
        EXPECT_EQ(cell(1, ColSendCode), QByteArray(c.sendCode));
        EXPECT_EQ(cell(1, ColSendResult), big5(c.result));
        EXPECT_EQ(requestBytesAfter, 0) << "asked the gateway again on the same connection";
    }
}

TEST_F(SendJobTest, DamagedSegmentCountNeverReadsPastTheBlock) {
    sSendContent r = record("0912345678", 6);
    r.segmentCount = 9;
    SendQueue.push_back(r);
    ASSERT_TRUE(runSend());
    EXPECT_EQ(log.rows.size(), 6);
}

// norvi-cli's run reads its list file as it goes; a file changed since it was checked ends the run there, after the
// recipients named one by one. The starter hears of it from the feed it shares with the run, once the worker is gone.
TEST_F(SendJobTest, AStreamedRunTellsItsStarterOfAListFileChangedBeforeItBegan) {
    const QString list = QDir(m_dir.path()).filePath(QStringLiteral("list.txt"));
    writeAll(list, "0922222222\n0933333333\n");
    AddressBook book;
    const auto feed = std::make_shared<StreamedSendRun>(book);
    sMtData named{};
    named.kind = KindTyped;
    putCString(named.label, "0911111111");
    feed->setRecipients({named});
    ASSERT_TRUE(feed->setListFile(list, true));
    feed->setInput(ComposeInput::fromText("hi", false));
    ASSERT_TRUE(feed->prepare().ok);
    writeAll(list, "0944444444\n");
    SendThd* worker = nullptr;
    QString error;
    ASSERT_TRUE(StartSendWorker(jobs, SendRun{feed, std::nullopt, gateway(), &owner}, &log, &error, &worker));
    ASSERT_TRUE(waitUntilGone(worker));
    ASSERT_EQ(log.rows.size(), 1);
    EXPECT_EQ(cell(0, ColMobile), "0911111111");
    EXPECT_EQ(feed->lateProblem(), QStringLiteral("發訊名單檔案在傳送前被更改，作業已停止。"));
    EXPECT_EQ(feed.use_count(), 1) << "the ended run still holds the list file";
}

} // namespace
} // namespace norvi::test

// The wait's subject is put together when it is read; a plain subject set after a counted one must not
// keep the count, and a new job starts with none.
TEST(RunActivitySubject, ReadsAsItWasLastSet) {
    norvi::RunActivity activity;
    activity.setSubject("0912000003", 3);
    EXPECT_EQ(norvi::fromBig5(activity.subject()), QStringLiteral("第 3 通 0912000003"));
    activity.setSubject("MSG7", 4, true);
    EXPECT_EQ(norvi::fromBig5(activity.subject()), QStringLiteral("第 4 筆 MSG7"));
    activity.setSubject("MSG8");
    EXPECT_EQ(activity.subject(), QByteArray("MSG8"));
    activity.setSubject("0912000004", 5);
    activity.reset();
    EXPECT_TRUE(activity.subject().isEmpty());
}
