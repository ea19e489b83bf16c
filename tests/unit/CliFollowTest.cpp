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
using test::textList;

class CliFollowTest : public CliTest {
protected:
    // The simulator answers "submitted" (4) until `seconds` after a message is due.
    void deliverAfter(int seconds) {
        sim.reset();
        gwsim::SimOptions options;
        options.port = 0;
        options.deliverAfterSeconds = seconds;
        sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        writeConfig("demo");
    }

    int queries() const {
        int n = 0;
        for (const sGwRequest& r : sim->requests())
            n += r.msg_type == GwQuery ? 1 : 0;
        return n;
    }

    void sendTo(const QString& log, const QStringList& numbers) {
        const CliRun sent = run(textList({"send", "--text", "hi", "--log", log}) + numbers);
        ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    }
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
    EXPECT_TRUE(r.err.contains(QStringLiteral("追蹤中：3 筆未確定（已送達 1 筆，處理中 3 筆），下次 ")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("有回覆 3 筆（已送達 3 筆）"))) << r.out.toStdString();
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
    EXPECT_TRUE(expired.err.contains(QStringLiteral("追蹤時間已到：仍有 1 筆未確定（處理中 1 筆）。")))
        << expired.err.toStdString();
    EXPECT_EQ(queries(), 2) << "row 1 in each of the two rounds that fit";
    EXPECT_EQ(readLog(log)[0].texts[ColQueryCode], QByteArray());

    const QString other = path("interrupted.log");
    sendTo(other, test::numbers(2, QStringLiteral("09330000")));
    QProcess process;
    process.start(QStringLiteral(NORVI_CLI_PATH),
                  textList({"-C", m_dir.path(), "query", "--log", other, "--follow", "--every", "10m"}));
    ASSERT_TRUE(process.waitForStarted(10000));
    process.setReadChannel(QProcess::StandardError);
    QByteArray shown;
    QDeadlineTimer deadline(20000);
    while (!shown.contains(QStringLiteral("追蹤中").toUtf8()) && !deadline.hasExpired())
        if (process.waitForReadyRead(int(deadline.remainingTime())))
            shown += process.readAllStandardError();
    ASSERT_TRUE(shown.contains(QStringLiteral("追蹤中").toUtf8())) << shown.data();
    QElapsedTimer stop;
    stop.start();
    ::kill(pid_t(process.processId()), SIGINT);
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
    const std::size_t requests = sim->requests().size();
    const struct {
        const char* option;
        const char* value;
        const char* says;
    } cases[] = {
        {"--every", "0", "選項 --every 需要 1 秒到 60 分鐘之間的時間"},
        {"--every", "61m", "選項 --every 需要 1 秒到 60 分鐘之間的時間（例如 30s、5m、2h）：61m"},
        {"--every", "1.5m", "選項 --every 需要"},
        {"--every", "", "選項 --every 需要"},
        {"--for", "73h", "選項 --for 需要 1 秒到 72 小時之間的時間"},
        {"--for", "+5", "選項 --for 需要"},
    };
    for (const auto& c : cases) {
        const CliRun r = run({"query", "--log", log, "--follow", c.option, c.value});
        EXPECT_EQ(r.exitCode, 1) << c.option << ' ' << c.value;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
    }
    const CliRun alone = run({"query", "--log", log, "--for", "1h"});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_TRUE(alone.err.contains(QStringLiteral("選項 --for 只能與 --follow 一起使用。")));
    EXPECT_EQ(run({"cancel", "--log", log, "--follow"}).exitCode, 1);
    EXPECT_EQ(sim->requests().size(), requests);
    EXPECT_EQ(test::readAll(log), before);

    const CliRun device = run({"report", "--log", "/dev/null"});
    EXPECT_EQ(device.exitCode, 1);
    EXPECT_TRUE(device.err.contains(QStringLiteral("不是一般檔案"))) << device.err.toStdString();
    EXPECT_TRUE(device.stdoutBytes.isEmpty());
    const CliRun cut = [&] {
        test::writeAll(path("cut.log"), before.left(before.size() - 10));
        return run({"report", "--log", path("cut.log"), "--json"});
    }();
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_TRUE(cut.err.contains(QStringLiteral("不完整"))) << cut.err.toStdString();
    EXPECT_EQ(run({"report", log}).exitCode, 1);
    EXPECT_EQ(run({"report", "--log", log, "--json", "--big5"}).exitCode, 1);
}

} // namespace
} // namespace norvi
