#include "core/gateway/ResultCodes.h"
#include "core/sendlog/FileOrderJobRows.h"
#include "core/workers/DeliveryClass.h"
#include "support/CliFixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <signal.h>

// query --follow against a simulator that delivers a few seconds after the send, and report over a log that
// holds every kind of row.
namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

class CliFollowTest : public CliTest {
protected:
    // The simulator answers "submitted" (4) until `seconds` after a message is due.
    void deliverAfter(int seconds) {
        gwsim::SimOptions options;
        options.deliverAfterSeconds = seconds;
        restartSim(options);
    }
    int queries() const { return requestsOf(GwQuery); }
};

SendLogRow logRow(const QByteArray& sendCode, const QByteArray& sendResult, int codeImage,
                  const QByteArray& queryCode = {}, const QByteArray& queryResult = {}) {
    SendLogRow row;
    row.image = ImageTyped;
    row.codeImage = codeImage;
    row.texts = {"", "0912000001", "20240102030405", sendCode, sendResult, queryCode, queryResult, "hi"};
    return row;
}

// A delivered reservation stays a row the query's own rule would ask about; the follow-up must not, or the
// simulator, which never saw its MsgId, would turn it into a failure.
TEST_F(CliFollowTest, FollowAsksTheUnsettledRowsUntilEveryOneIsDelivered) {
    deliverAfter(3);
    const QString log = path("follow.log");
    sendTo(log, test::numbers(3));
    FileOrderJobRows rows;
    ASSERT_TRUE(rows.load(log));
    rows.append(
        logRow("0", big5("訊息已成功送出(MsgId:ELSEWHERE)"), ImageReservation, "0", CodeText(CodeTable::Query, 0)));
    ASSERT_TRUE(rows.save(log));

    const QByteArray before = test::readAll(log);
    const QString out = path("followed.log");
    const CliRun r = run({"query", "--log", log, "--out", out, "--follow", "--every", "1s"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(test::readAll(log), before);
    EXPECT_TRUE(says(r.err, QStringLiteral("追蹤中：3 筆未確定（已送達 1 筆，處理中 3 筆），下次 ")));
    EXPECT_TRUE(says(r.out, QStringLiteral("有回覆 3 筆（已送達 3 筆）")));
    const std::vector<SendLogRow> after = readLog(out);
    ASSERT_EQ(after.size(), 4u);
    for (const SendLogRow& row : after)
        EXPECT_EQ(ClassifyDelivery(DeliveryCellsOf(row)), Delivery::Delivered) << row.texts[ColQueryResult].data();
    EXPECT_EQ(after[3].texts, rows.rows()[3].texts);
    EXPECT_EQ(queries() % 3, 0) << "only the three sent rows are asked, every round";
    EXPECT_GE(queries(), 6);
    EXPECT_EQ(r.rows().size(), 4);
}

// Whatever ends a follow-up before its rows are final, the answers of the rounds it ran stay in the log.
TEST_F(CliFollowTest, FollowThatEndsEarlyKeepsTheAnswersOfItsRounds) {
    deliverAfter(600);
    const QString log = path("slow.log");
    sendTo(log, test::numbers(2));

    const CliRun expired = run({"query", "--log", log, "--rows", "1", "--follow", "--every", "1s", "--for", "2s"});
    EXPECT_EQ(expired.exitCode, 2);
    EXPECT_TRUE(says(expired.err, QStringLiteral("追蹤時間已到：仍有 1 筆未確定（處理中 1 筆）。")));
    EXPECT_EQ(queries(), 2) << "row 1 in each of the two rounds that fit";
    EXPECT_EQ(readLog(log)[0].texts[ColQueryCode], QByteArray());

    const QString other = path("interrupted.log");
    sendTo(other, test::numbers(2, QStringLiteral("09330000")));
    QProcess process;
    startCli(process, textList({"query", "--log", other, "--follow", "--every", "10m"}));
    process.setReadChannel(QProcess::StandardError);
    QByteArray shown;
    QDeadlineTimer deadline(20000);
    while (!shown.contains(QStringLiteral("追蹤中").toUtf8()) && !deadline.hasExpired())
        if (process.waitForReadyRead(int(deadline.remainingTime())))
            shown += process.readAllStandardError();
    ASSERT_TRUE(shown.contains(QStringLiteral("追蹤中").toUtf8())) << shown.data();
    QElapsedTimer stop;
    stop.start();
    signalCli(process, SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_LT(stop.elapsed(), 3000);
    EXPECT_EQ(process.exitCode(), 2);
    shown += process.readAllStandardError();
    EXPECT_TRUE(shown.contains(QStringLiteral("追蹤已中斷：仍有 2 筆未確定").toUtf8())) << shown.data();
    for (const SendLogRow& row : readLog(other))
        EXPECT_EQ(row.texts[ColQueryCode], "4") << "the first round's answer";
}

// Every answer a row can hold, its class, and whether a follow-up asks about it again; then the same rows as
// report counts them.
TEST_F(CliFollowTest, ReportCountsEveryKindOfRowByItsClass) {
    struct Case {
        SendLogRow row;
        Delivery expected;
        bool unsettled;
    };
    const QByteArray sent = big5("訊息已成功送出(MsgId:M1)");
    const auto answered = [&](int code, Delivery d, bool unsettled) {
        return Case{logRow("0", sent, ImageNone, QByteArray::number(code), CodeText(CodeTable::Query, code)), d,
                    unsettled};
    };
    std::vector<Case> cases;
    for (int code : {1, 3, 4, 19, 31})
        cases.push_back(answered(code, Delivery::Pending, true));
    for (int code : {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 22})
        cases.push_back(answered(code, Delivery::Failed, false));
    cases.push_back(answered(2, Delivery::Uncertain, false)); // the gateway knows no such MsgId
    cases.push_back(answered(0, Delivery::Delivered, false));
    cases.push_back(answered(20, Delivery::Reserved, true));
    cases.push_back({logRow("0", sent, ImageNone, "-1", big5("未查詢：作業已中斷")), Delivery::NotAsked, true});
    cases.push_back({logRow("0", sent, ImageNone, "-1", big5("閘道沒有回應")), Delivery::Pending, true});
    cases.push_back({logRow("0", sent, ImageNone), Delivery::NotAsked, true});
    cases.push_back({logRow("0", big5("訊息已成功送出"), ImageNone), Delivery::NotAsked, false}); // no MsgId
    cases.push_back({logRow("11", CodeText(CodeTable::Send, 11), ImageNone), Delivery::Failed, false});
    cases.push_back(
        {logRow("-1", big5("閘道沒有回應（Recv()逾時），可能已送出"), ImageNone), Delivery::Uncertain, false});
    cases.push_back(
        {logRow("0", sent, ImageReservation, "20", CodeText(CodeTable::Query, 20)), Delivery::Reserved, true});
    cases.push_back({logRow("0", sent, ImageReservation, "0", big5("取消成功(cancelled)")), Delivery::Pending, true});
    cases.push_back(
        {logRow("0", sent, ImageReservation, "0", CodeText(CodeTable::Query, 0)), Delivery::Delivered, false});

    FileOrderJobRows log;
    std::map<QString, int> expected;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const DeliveryCells cells = DeliveryCellsOf(cases[i].row);
        EXPECT_EQ(ClassifyDelivery(cells), cases[i].expected) << "case " << i;
        EXPECT_EQ(IsUnsettled(cells), cases[i].unsettled) << "case " << i;
        SendLogRow row = cases[i].row;
        row.texts[ColMobile] = "0913" + QByteArray::number(100000 + int(i)); // a message of its own
        log.append(row);
        ++expected[DeliveryName(cases[i].expected)];
    }
    // A message whose send failed and whose resend was delivered counts once, as delivered.
    log.append(logRow("11", CodeText(CodeTable::Send, 11), ImageNone));
    log.append(answered(0, Delivery::Delivered, false).row);
    ++expected[DeliveryName(Delivery::Delivered)];
    ASSERT_TRUE(log.save(path("all.log")));
    const int total = int(cases.size()) + 1;
    ASSERT_EQ(expected, (std::map<QString, int>{{QStringLiteral("已送達"), 3},
                                                {QStringLiteral("處理中"), 7},
                                                {QStringLiteral("預約中"), 2},
                                                {QStringLiteral("失敗"), 17},
                                                {QStringLiteral("未查詢"), 3},
                                                {QStringLiteral("不確定"), 2}}));

    const CliRun csv = run({"report", "--log", path("all.log")});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    ASSERT_TRUE(csv.stdoutBytes.startsWith("\xEF\xBB\xBF"));
    const test::CsvTable table = test::readCsv(csv.stdoutBytes.mid(3));
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.records.size(), kDeliveryClasses + 2);
    for (int c = 0; c < kDeliveryClasses; ++c) {
        const QString name = DeliveryName(Delivery(c));
        const int n = expected[name];
        EXPECT_EQ(table.records[c + 1], (QList<QByteArray>{name.toUtf8(), QByteArray::number(n),
                                                           QByteArray::number(100.0 * n / total, 'f', 1) + '%'}));
    }
    EXPECT_EQ(table.records[4], (QList<QByteArray>{QStringLiteral("失敗").toUtf8(), "17", "50.0%"}));
    EXPECT_EQ(table.records.last(),
              (QList<QByteArray>{QStringLiteral("總計").toUtf8(), QByteArray::number(total), "100.0%"}));
    const CliRun inBig5 = run({"report", "--log", path("all.log"), "--big5"});
    EXPECT_EQ(test::readCsv(inBig5.stdoutBytes).records.value(1).value(0), big5("已送達"));

    const CliRun json = run({"report", "--log", path("all.log"), "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(json.out.count(QLatin1Char('\n')), 1);
    const QJsonObject counts = QJsonDocument::fromJson(json.stdoutBytes).object();
    for (int c = 0; c < kDeliveryClasses; ++c)
        EXPECT_EQ(counts.value(DeliveryName(Delivery(c))).toInt(-1), expected[DeliveryName(Delivery(c))]);
    EXPECT_EQ(counts.value(QStringLiteral("總計")).toInt(), total);
}

// Refused before the log is read or the gateway asked, each with its reason; the log is left as it was.
TEST_F(CliFollowTest, BadFollowTimesAndReportArgumentsAreRefusedBeforeAnythingIsDone) {
    const QString log = path("kept.log");
    sendTo(log, test::numbers(1));
    const QByteArray before = test::readAll(log);
    test::writeAll(path("cut.log"), before.left(before.size() - 10));
    const std::size_t requests = sim->requests().size();
    const auto follow = [&log](const char* option, const char* value) {
        return textList({"query", "--log", log, "--follow", option, value});
    };
    runSteps({
        {follow("--every", "0"), 1, {"選項 --every 需要 1 秒到 60 分鐘之間的時間"}, {}, 1},
        {follow("--every", "61m"), 1, {"選項 --every 需要 1 秒到 60 分鐘之間的時間（例如 30s、5m、2h）：61m"}, {}, 1},
        {follow("--every", "1.5m"), 1, {"選項 --every 需要"}, {}, 1},
        {follow("--every", ""), 1, {"選項 --every 需要"}, {}, 1},
        {follow("--for", "73h"), 1, {"選項 --for 需要 1 秒到 72 小時之間的時間"}, {}, 1},
        {follow("--for", "+5"), 1, {"選項 --for 需要"}, {}, 1},
        {textList({"query", "--log", log, "--for", "1h"}), 1, {"選項 --for 只能與 --follow 一起使用。"}, {}, 1},
        {textList({"cancel", "--log", log, "--follow"}), 1},
        {textList({"report", "--log", "/dev/null"}), 1, {"不是一般檔案"}},
        {textList({"report", "--log", path("cut.log"), "--json"}), 2, {"不完整"}},
        {textList({"report", log}), 1},
        {textList({"report", "--log", log, "--json", "--big5"}), 1},
    });
    EXPECT_EQ(sim->requests().size(), requests);
    EXPECT_EQ(test::readAll(log), before);
    EXPECT_TRUE(run({"report", "--log", "/dev/null"}).stdoutBytes.isEmpty());
}

} // namespace
} // namespace norvi
