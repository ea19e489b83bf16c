// norvi-cli over logs that earlier resends and killed runs left behind: each message is sent once, whatever
// came before. A resend after one that failed again, was stopped or got no answer takes only the latest row
// of each message; a MsgId the gateway no longer knows is resent only when asked for; a run killed with
// SIGKILL blocks the next job until the command it names finishes the log, and the next resend then sends
// only what never went.
#include "support/CliFixture.h"

#include "core/workers/RowCodes.h"
#include "core/workers/StopRows.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>
#include <map>
#include <set>

namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

QByteArray number(int i) {
    return "0913" + QByteArray::number(200000 + i);
}

class CliHistoryTest : public test::CliTest {
protected:
    // A log of `count` messages whose send failed.
    void writeFailedLog(const test::TestText& name, int count) const {
        std::vector<SendLogRow> rows(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].image = ImageTyped;
            rows[i].texts = {"", number(int(i)), "20240301093000", "11", "x", {}, {}, "hi"};
        }
        writeLog(path(name), rows);
    }

    // norvi-cli killed with SIGKILL once the gateway accepted `accepted` of its messages.
    void killAfter(const QStringList& args, qint64 accepted) const {
        const qint64 before = sim->counts().accepted;
        QProcess process;
        startCli(process, args);
        (void)QTest::qWaitFor([&] { return !(sim->counts().accepted - before < accepted); }, 30000);
        // A run may end by itself between two looks (waitForFinished then says false: nothing left to wait for).
        signalCli(process, SIGKILL);
        ASSERT_TRUE(process.state() == QProcess::NotRunning || process.waitForFinished(10000));
    }

    // A job refused while the killed run's log is unfinished: it names the command that finishes it, which is
    // then run through the shell exactly as printed.
    void followTheAdvice(const CliRun& refused) const {
        EXPECT_EQ(refused.exitCode, 1) << refused.err.toStdString();
        const QRegularExpressionMatch advice =
            QRegularExpression(QStringLiteral("請以 (.+) 把它完成為")).match(refused.err);
        ASSERT_TRUE(advice.hasMatch()) << refused.err.toStdString();
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), advice.captured(1)});
        ASSERT_TRUE(shell.waitForFinished(20000));
        EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().constData();
    }

    // Every message the gateway accepted has its row: with its own MsgId, or (the one whose answer the kill
    // cut) a row saying it may have gone.
    void expectEveryAcceptedMessageOnFile(const test::TestText& log, qint64 acceptedBefore) const {
        std::set<QByteArray> ids;
        int inFlight = 0;
        for (const SendLogRow& row : readLog(path(log))) {
            QByteArray id;
            if (row.texts[ColSendCode] == "0" && RowCodes::msgIdFromResult(row.texts[ColSendResult], &id)) {
                EXPECT_TRUE(ids.insert(id).second) << "a MsgId on two rows: " << id.constData();
            }
            inFlight += row.texts[ColSendResult] == StopRows::inFlightText() ? 1 : 0;
        }
        const qint64 accepted = sim->counts().accepted - acceptedBefore;
        EXPECT_LE(inFlight, 1);
        EXPECT_GE(qint64(ids.size()), accepted - inFlight);
        EXPECT_LE(qint64(ids.size()), accepted);
    }
};

TEST_F(CliHistoryTest, AResendAfterOneThatFailedAgainSendsEachMessageOnce) {
    writeFailedLog("r.log", 5);
    sim->failNextSends(10, 5); // 目前暫不開放傳送至國外: not tried twice
    CliRun first = run({"resend", "--log", path("r.log")});
    EXPECT_EQ(first.exitCode, 2) << first.err.toStdString();
    ASSERT_EQ(readLog(path("r.log")).size(), 10u);

    const std::size_t before = sentNumbers().size();
    const CliRun second = run({"resend", "--log", path("r.log")});
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    const std::map<QByteArray, int> sends = sendsSince(before);
    EXPECT_EQ(sends.size(), 5u);
    for (const auto& [sentTo, times] : sends)
        EXPECT_EQ(times, 1) << sentTo.constData();
    EXPECT_TRUE(says(second.out, QStringLiteral("成功 5 筆，失敗 0 筆；略過 5 筆：已重發過 5 筆")));

    const CliRun third = run({"resend", "--log", path("r.log")});
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(sentNumbers().size(), before + 5) << "nothing is sent a third time";
    EXPECT_TRUE(third.out.contains(QStringLiteral("沒有確定失敗的訊息需要重新傳送！")));
    EXPECT_TRUE(says(third.err, QStringLiteral("略過 10 筆：已重發過 10 筆")));
}

TEST_F(CliHistoryTest, AResendAfterAStoppedResendSendsOnlyWhatWasNotSent) {
    constexpr int kMessages = 40;
    writeFailedLog("r.log", kMessages);
    sim->setReplyFaults({20, false, 0});
    QProcess process;
    startCli(process, textList({"resend", "--log", path("r.log")}));
    (void)QTest::qWaitFor([&] { return !(sim->counts().accepted < 10); }, 30000);
    signalCli(process, SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 2);
    const qint64 accepted = sim->counts().accepted;
    ASSERT_LT(accepted, kMessages) << "stopped before the end";
    ASSERT_EQ(readLog(path("r.log")).size(), std::size_t(2 * kMessages)) << "a row for each, sent or not";

    sim->setReplyFaults({});
    const CliRun again = run({"resend", "--log", path("r.log")});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    const std::map<QByteArray, int> sends = sendsSince(0);
    EXPECT_EQ(sends.size(), std::size_t(kMessages));
    for (const auto& [sentTo, times] : sends)
        EXPECT_EQ(times, 1) << sentTo.constData();
    EXPECT_EQ(sim->counts().accepted, kMessages);
}

TEST_F(CliHistoryTest, AnUnansweredResendIsSentAgainOnlyWhenAskedFor) {
    writeFailedLog("r.log", 1);
    sim->setReplyFaults({1500, false, 0}); // the gateway takes it, and answers after the wait
    const CliRun unanswered = run({"--reply-wait", "1", "resend", "--log", path("r.log")});
    EXPECT_EQ(unanswered.exitCode, 2) << unanswered.err.toStdString();
    sim->setReplyFaults({});
    // The failed first row is not sent through again.
    runSteps({{textList({"resend", "--log", path("r.log")}), 0, {"1 筆可能已送出，沒有重發"}, {}, 1},
              {textList({"resend", "--log", path("r.log"), "--include-uncertain"}), 0, {}, {}, 2}});
}

// A MsgId a restarted gateway no longer knows (查詢碼 2): resent only when asked for, and only once.
TEST_F(CliHistoryTest, AMessageTheGatewayNoLongerKnowsIsResentOnlyAsItsLatestRowWhenAskedFor) {
    ASSERT_EQ(run(textList({"send", "--text", "hi", "--log", path("s.log")}) +
                  QStringList{QString::fromLatin1(number(0)), QString::fromLatin1(number(1))})
                  .exitCode,
              0);
    gwsim::SimOptions options;
    options.deliverAfterSeconds = 0;
    restartSim(options);
    run({"query", "--log", path("s.log")});
    for (const SendLogRow& row : readLog(path("s.log")))
        ASSERT_EQ(row.texts[ColQueryCode], "2");

    const QStringList uncertainToo = textList({"resend", "--log", path("s.log"), "--include-uncertain"});
    runSteps({
        {textList({"resend", "--log", path("s.log")}), 0, {"2 筆可能已送出，沒有重發"}, {}, 0},
        {uncertainToo, 0, {}, {}, 2},
        {uncertainToo, 0, {}, {}, 2}, // the resent rows speak for the messages now
        {textList({"report", "--log", path("s.log"), "--json"}), 0, {}, {"\"不確定\":0", "\"總計\":2"}},
    });
}

// A resend, or a send appended to a log, killed with SIGKILL: the next job is refused until the log is
// finished as it says; finish gives every message of the run a row (the unreached ones 未傳送) after the log's
// own, and the next resend sends only what never went.
TEST_F(CliHistoryTest, AKilledRunIsFinishedAndNotRepeated) {
    constexpr int kMessages = 150;
    QByteArray list;
    for (int i = 0; i < kMessages; ++i)
        list += number(i) + '\n';
    writeFile("list.txt", list);
    const struct {
        const char* log;
        int failedRows; // the log's own, before the run
        QStringList args;
    } cases[] = {
        {"resend.log", kMessages, textList({"resend", "--log", path("resend.log")})},
        {"append.log", 2,
         textList({"send", "--append", "--log", path("append.log"), "--text", "hi", "--list", path("list.txt")})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        gwsim::SimOptions options;
        options.deliverAfterSeconds = 0;
        restartSim(options); // the counts of this run alone
        writeFailedLog(c.log, c.failedRows);
        sim->setReplyFaults({3, false, 0});
        killAfter(c.args, 40);
        sim->setReplyFaults({});
        ASSERT_LT(sim->counts().accepted, kMessages) << "killed before the end";
        const int sentBefore = sendRequests();

        followTheAdvice(run(c.args));
        EXPECT_EQ(sendRequests(), sentBefore) << "the refused run sent nothing";
        const std::vector<SendLogRow> finished = readLog(path(c.log));
        EXPECT_EQ(finished.size(), std::size_t(c.failedRows + kMessages));
        EXPECT_EQ(finished.at(0).texts[ColMobile], number(0)) << "the log's own rows first";
        const CliRun resent = run({"resend", "--log", path(c.log)});
        EXPECT_EQ(resent.exitCode, 0) << resent.err.toStdString();

        for (const auto& [sentTo, times] : sendsSince(0))
            EXPECT_EQ(times, 1) << sentTo.constData() << " sent twice";
        EXPECT_GE(sim->counts().accepted, kMessages - 1) << "all but the one whose answer the kill cut";
        EXPECT_EQ(readLog(path(c.log)).size(), std::size_t(c.failedRows + kMessages + sendRequests() - sentBefore))
            << "a row for each message resent";
        expectEveryAcceptedMessageOnFile(c.log, 0);
        EXPECT_TRUE(QDir(m_dir.path()).entryList({QStringLiteral("*.partial")}).isEmpty());
    }
}

} // namespace
} // namespace norvi
