#include "support/CliFixture.h"

#include "core/gateway/GwRecords.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <signal.h>

#include <set>

// norvi-cli against gateways that answer late, twice, with bytes nobody asked for, or refuse the login:
// every message the gateway accepted is on file with its own MsgId, nothing is sent twice by the program's
// own doing, and a stopped query keeps the answers it already had.
namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

QStringList numbers0913(int count) {
    return test::numbers(count, QStringLiteral("09130000"));
}

class CliExactlyOnceTest : public CliTest {
protected:
    // The MsgIds of the accepted rows; every accepted row must have its own.
    static std::set<QByteArray> acceptedIds(const std::vector<SendLogRow>& rows) {
        std::set<QByteArray> ids;
        for (const SendLogRow& row : rows) {
            if (row.texts[ColSendCode] != "0")
                continue;
            const QByteArray result = row.texts[ColSendResult];
            const int at = int(result.indexOf("MsgId:"));
            EXPECT_GE(at, 0) << result.constData();
            const QByteArray id = result.mid(at + 6, result.indexOf(')', at) - at - 6);
            EXPECT_FALSE(id.isEmpty()) << "accepted without a MsgId";
            EXPECT_TRUE(ids.insert(id).second) << "a MsgId on two rows: " << id.constData();
        }
        return ids;
    }
};

// Ctrl+C while a 0.3 s answer is on its way: the answer still arrives within the stop's grace and its MsgId is
// recorded, so nothing the gateway accepted is on no file, and nothing is left for a resend.
TEST_F(CliExactlyOnceTest, StopKeepsTheAnswerInFlightAndEveryAcceptedMessageIsOnFile) {
    gwsim::ReplyFaults late;
    late.delayMs = 300;
    sim->setReplyFaults(late);
    const QString log = path("late.log");
    QProcess process;
    startCli(process, textList({"send", "--text", "hi", "--log", log}) + numbers0913(5));
    waitForRequests(GwSendDomestic, 2); // the second answer is 0.3 s away
    ASSERT_TRUE(signalCli(process, SIGINT));
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(qint64(acceptedIds(rows).size()), sim->counts().accepted);
    EXPECT_EQ(sim->counts().accepted, 2);
    for (const SendLogRow& row : rows)
        EXPECT_FALSE(row.texts[ColSendResult].endsWith(big5("可能已送出"))) << "the answer came within the grace";
}

// A second Ctrl+C ends the grace at once: the silent gateway's message is an uncertain row, the log is whole.
TEST_F(CliExactlyOnceTest, SecondSignalEndsTheGraceAtOnce) {
    sim->setSilentAfter(2);
    const QString log = path("twice.log");
    QProcess process;
    // A grace of a minute: a run that ends well within it had its grace cut short, however busy the machine.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVI_TEST_STOP_GRACE_MS"), QStringLiteral("60000"));
    process.setProcessEnvironment(environment);
    startCli(process, textList({"--reply-wait", "120", "send", "--text", "hi", "--log", log}) + numbers0913(4));
    waitForRequests(GwSendDomestic, 2);
    ASSERT_TRUE(signalCli(process, SIGINT));
    EXPECT_TRUE(test::waitUntilTaken(process.processId(), SIGINT));
    ASSERT_TRUE(signalCli(process, SIGINT));
    ASSERT_TRUE(process.waitForFinished(30000)) << "the second signal did not end the grace";
    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].texts[ColSendResult], big5("已中斷：閘道未回覆，可能已送出"));
}

// A refused password is tried once, whatever the number of recipients: repeated refusals can lock the account.
TEST_F(CliExactlyOnceTest, RefusedPasswordEndsTheRunAfterOneLogin) {
    writeConfig("wrong");
    const QString log = path("refused.log");
    const CliRun r = run(textList({"send", "--text", "hi", "--log", log}) + numbers0913(20));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(requestsOf(GwLogin), 1);
    EXPECT_EQ(readLog(log).size(), 20u);
    EXPECT_TRUE(says(r.out, QStringLiteral("簡訊傳送已中斷（")));
}

// Replies sent twice, or followed by 1 MB of zero bytes: the bytes behind each reply say the stream is out of
// step, so no reply is believed, for it may be a late copy of another message's. Each row sent says its message
// may have gone, none was asked for twice, and after three such answers in a row the run gives up.
TEST_F(CliExactlyOnceTest, RepliesWithBytesBehindThemAreNeverBelieved) {
    for (const bool twice : {true, false}) {
        gwsim::ReplyFaults faults;
        faults.twice = twice;
        faults.junkBytes = twice ? 0 : 1024 * 1024;
        sim->setReplyFaults(faults);
        const int sendsBefore = requestsOf(GwSendDomestic);
        const QString log = path(twice ? "twice.log" : "junk.log");
        const int count = twice ? 20 : 5;
        const CliRun r = run(textList({"send", "--text", "hi", "--log", log}) + numbers0913(count));
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        const std::vector<SendLogRow> rows = readLog(log);
        ASSERT_EQ(rows.size(), std::size_t(count));
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].texts[ColSendResult], big5(i < 3 ? "閘道回覆不同步，可能已送出" : "未傳送：作業已中斷"))
                << twice << " " << i;
        EXPECT_EQ(requestsOf(GwSendDomestic) - sendsBefore, 3) << "a message asked for twice";
    }
}

// A gateway that answers after 0.3 s and sends a copy of each reply 0.45 s later: the copy arrives while the next
// request waits for its answer. No row takes another message's MsgId or another row's delivery state for its
// own; a row whose answer cannot be told says so.
TEST_F(CliExactlyOnceTest, LateCopiesOfRepliesAreNeverTakenForAnswers) {
    gwsim::ReplyFaults late;
    late.delayMs = 300;
    late.staleCopyAfterMs = 450;
    sim->setReplyFaults(late);
    const QString sent = path("copies.log");
    const CliRun r = run(textList({"send", "--text", "hi", "--log", sent}) + numbers0913(8));
    EXPECT_EQ(r.exitCode, 2) << "a row that may have gone is no success";
    const std::vector<SendLogRow> rows = readLog(sent);
    ASSERT_EQ(rows.size(), 8u);
    // The simulator numbers its MsgIds in the order it accepts messages: the nth accepted is the nth request.
    const std::vector<QByteArray> requested = sentNumbers();
    ASSERT_EQ(requested.size(), 8u) << "each message asked for once";
    int uncertain = 0;
    for (const SendLogRow& row : rows) {
        if (row.texts[ColSendCode] != "0") {
            EXPECT_TRUE(row.texts[ColSendResult].endsWith(big5("可能已送出"))) << row.texts[ColSendResult].data();
            ++uncertain;
            continue;
        }
        const QByteArray result = row.texts[ColSendResult];
        const int n = result.mid(result.indexOf("MsgId:") + 6 + 14, 6).toInt();
        ASSERT_TRUE(n >= 1 && n <= 8) << result.data();
        EXPECT_EQ(requested[std::size_t(n - 1)], row.texts[ColMobile]) << "another message's MsgId: " << result.data();
    }
    EXPECT_GE(uncertain, 1) << "no copy was caught";
    acceptedIds(rows);

    // Delivered messages and waiting reservations in turns: a late copy taken for the next row's answer would
    // give it the other state.
    sim->setReplyFaults({});
    const QString mixed = path("mixed.log");
    for (int i = 0; i < 8; ++i) {
        QStringList args = textList({"send", "--text", "hi", "--log", mixed});
        if (i > 0)
            args << QStringLiteral("--append");
        if (i % 2 == 1)
            args << QStringLiteral("--at") << test::reservationTime(86400);
        ASSERT_EQ(run(args << numbers0913(8).at(i)).exitCode, 0);
    }
    sim->setReplyFaults(late);
    const CliRun queried = run({"query", "--log", mixed});
    int answered = 0;
    const std::vector<SendLogRow> states = readLog(mixed);
    ASSERT_EQ(states.size(), 8u);
    for (std::size_t i = 0; i < states.size(); ++i) {
        const QByteArray code = states[i].texts[ColQueryCode];
        if (code == "-1")
            continue;
        ++answered;
        EXPECT_EQ(code, i % 2 == 1 ? "20" : "0") << "row " << i << " took another row's answer";
    }
    EXPECT_EQ(queried.exitCode, answered == 8 ? 0 : 2) << queried.out.toStdString();
    EXPECT_GE(answered, 6) << "a late copy costs a row its answer only when even a new connection cannot tell";
}

// Ten reservations already answered are asked again, and the query is stopped while the gateway
// is silent: all ten keep their answers, in the rows and in the saved log.
TEST_F(CliExactlyOnceTest, InterruptedRequeryKeepsEveryEarlierAnswer) {
    const QString log = path("booked.log");
    ASSERT_EQ(
        run(textList({"send", "--text", "hi", "--at", test::reservationTime(3600), "--log", log}) + numbers0913(10))
            .exitCode,
        0);
    ASSERT_EQ(run({"query", "--log", log}).exitCode, 0);
    const std::vector<SendLogRow> before = readLog(log);
    ASSERT_EQ(before.size(), 10u);
    for (const SendLogRow& row : before)
        ASSERT_FALSE(row.texts[ColQueryCode].isEmpty());

    sim->setSilentAfter(1);
    const int queriesBefore = requestsOf(GwQuery);
    QProcess process;
    startCli(process, textList({"--reply-wait", "60", "query", "--log", log}));
    waitForRequests(GwQuery, queriesBefore + 1);
    ASSERT_TRUE(signalCli(process, SIGINT));
    ASSERT_TRUE(process.waitForFinished(10000));
    const std::vector<SendLogRow> after = readLog(log);
    ASSERT_EQ(after.size(), 10u);
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].texts[ColQueryCode], before[i].texts[ColQueryCode]) << i;
        EXPECT_EQ(after[i].texts[ColQueryResult], before[i].texts[ColQueryResult]) << i;
    }
}

} // namespace
} // namespace norvi
