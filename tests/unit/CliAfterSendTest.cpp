// norvi-cli after a send: who a log's messages did not reach (undelivered), a resend of just them
// (resend --delivery-failed) against a simulator whose queries answer some numbers as undeliverable, and the
// month's usage over hand-made logs.
#include "core/shared/XlsxReader.h"
#include "support/CliFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace norvi {
namespace {

using test::CliRun;
using test::readCsv;
using test::readLog;
using test::textList;

const QByteArray kFailA = "0912000101";
const QByteArray kFailB = "0912000102";
const QByteArray kFailStopped = "0912000103";
const QByteArray kFine = "0912000104";

class CliAfterSendTest : public test::CliTest {
protected:
    void SetUp() override {
        test::CliTest::SetUp();
        // Delivered (or not) as soon as it is sent: a query right after the send has its final answer.
        gwsim::SimOptions options;
        options.deliverAfterSeconds = 0;
        options.failDelivery = {kFailA, kFailB, kFailStopped};
        restartSim(options);
    }

    // The CSV's data lines, by 行動電話 (the header checked on the way).
    static std::map<QByteArray, QList<QByteArray>> listed(const QByteArray& csv) {
        test::CsvTable table = readCsv(csv.startsWith("\xEF\xBB\xBF") ? csv.mid(3) : csv);
        EXPECT_TRUE(table.ok);
        std::map<QByteArray, QList<QByteArray>> byNumber;
        if (table.records.isEmpty())
            return byNumber;
        EXPECT_EQ(table.records.takeFirst(),
                  (QList<QByteArray>{"名稱", "行動電話", "訊息內容", "類別", "原因", "傳送時間", "MsgId"}));
        for (const QList<QByteArray>& record : table.records)
            if (record.size() == 7)
                byNumber[record.at(1)] = record;
        return byNumber;
    }
};

// A row as the log holds it: the texts (given as UTF-8) in Big5.
SendLogRow logRow(const QByteArray& mobile, const QByteArray& time, const QByteArray& code, const char* result,
                  const QByteArray& queryCode = {}, const char* queryResult = "") {
    SendLogRow row;
    row.image = ImageTyped;
    row.texts = {"", mobile, time, code, big5(result), queryCode, big5(queryResult), "hi"};
    return row;
}

// The whole road: a send, a query that finds two deliveries failed, the list of them, and a resend that sends
// each once, leaves the delivered and the stopped number alone, and has nothing left to send a second time.
TEST_F(CliAfterSendTest, UndeliveredListsTheFailedDeliveriesAndResendSendsThemOnce) {
    const QString log = path("run.log");
    ASSERT_EQ(run(textList({"send", "--text", "hello", "--log", log}) +
                  QStringList{QString::fromLatin1(kFailA), QString::fromLatin1(kFailB),
                              QString::fromLatin1(kFailStopped), QString::fromLatin1(kFine)})
                  .exitCode,
              0);
    const CliRun query = run({"query", "--log", log});
    ASSERT_TRUE(query.exitCode == 0 || query.exitCode == 2) << query.err.toStdString();
    const CliRun list = run({"undelivered", "--log", log});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const std::map<QByteArray, QList<QByteArray>> failed = listed(list.stdoutBytes);
    ASSERT_EQ(failed.size(), 3u);
    for (const QByteArray& number : {kFailA, kFailB, kFailStopped}) {
        const QList<QByteArray>& line = failed.at(number);
        EXPECT_EQ(line.at(3), QByteArray("失敗"));
        EXPECT_TRUE(line.at(4).startsWith("訊息無法送達對方")) << line.at(4).constData();
        EXPECT_TRUE(line.at(6).startsWith("NV")) << line.at(6).constData();
    }
    ASSERT_EQ(run({"optout", "add", QString::fromLatin1(kFailStopped)}).exitCode, 0);

    const std::size_t before = sentNumbers().size();
    const CliRun resend = run({"resend", "--log", log, "--delivery-failed"});
    EXPECT_EQ(resend.exitCode, 0) << resend.err.toStdString();
    EXPECT_EQ(sendsSince(before), (std::map<QByteArray, int>{{kFailA, 1}, {kFailB, 1}}));
    EXPECT_TRUE(resend.err.contains(QStringLiteral("拒收名單中的 0912000103 未重發"))) << resend.err.toStdString();
    EXPECT_EQ(readLog(log).size(), 6u);

    runSteps({{textList({"resend", "--log", log, "--delivery-failed"}),
               0,
               {},
               {"沒有確定未送達的訊息需要重新傳送！"},
               sendRequests()}});

    // The resent messages now wait for their query; the stopped one is still a failure.
    EXPECT_EQ(listed(run({"undelivered", "--log", log}).stdoutBytes).size(), 1u);
    const auto notAsked = listed(run({"undelivered", "--log", log, "--classes", "未查詢,失敗"}).stdoutBytes);
    EXPECT_EQ(notAsked.size(), 3u);
    EXPECT_EQ(notAsked.at(kFailA).at(3), QByteArray("未查詢"));
}

// Which message a resend of failed deliveries takes, by its history in the log.
TEST_F(CliAfterSendTest, ResendOfFailedDeliveriesGoesByEachMessagesLatestRow) {
    const QString log = path("hand.log");
    writeLog(
        log,
        {
            // a failed send, resent and then delivered: never again
            logRow("0912000201", "20261201090000", "11", "系統暫時無法傳送訊息(x)"),
            logRow("0912000201", "20261201091000", "0", "訊息已成功送出(MsgId:A1)", "0", "訊息已送達對方(d)"),
            // accepted, then undeliverable: resent
            logRow("0912000202", "20261201090000", "0", "訊息已成功送出(MsgId:A2)", "17", "訊息無法送達對方(u)"),
            // the send itself failed: 失敗重發's, not this one's
            logRow("0912000203", "20261201090000", "11", "系統暫時無法傳送訊息(x)"),
            // the gateway no longer knows it: only when asked for
            logRow("0912000204", "20261201090000", "0", "訊息已成功送出(MsgId:A4)", "2", "系統無此messageID的資料(n)"),
            // delivered
            logRow("0912000205", "20261201090000", "0", "訊息已成功送出(MsgId:A5)", "0", "訊息已送達對方(d)"),
            // a reservation the user cancelled: not undelivered, so never sent by this
            logRow("0912000206", "20261203100000", "0", "訊息已成功送出(MsgId:A6)", "21", "預約簡訊，已取消傳送(c)"),
        });
    const struct {
        QStringList extra;
        std::map<QByteArray, int> sends;
    } cases[] = {
        {{}, {{"0912000202", 1}}},
        {textList({"--include-uncertain"}), {{"0912000204", 1}}}, // 0912000202 went in the first run
    };
    for (const auto& c : cases) {
        const std::size_t before = sentNumbers().size();
        const CliRun r = run(textList({"resend", "--log", log, "--delivery-failed"}) + c.extra);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(sendsSince(before), c.sends) << c.extra.join(u' ').toStdString();
    }
    const CliRun plain = run({"resend", "--log", log, "--delivery-failed"});
    EXPECT_TRUE(plain.out.contains(QStringLiteral("沒有確定未送達的訊息需要重新傳送！")));
}

TEST_F(CliAfterSendTest, UndeliveredRefusesBadClassesAndOutputsThatAreNoOutput) {
    const QString log = path("hand.log");
    writeLog(log, {logRow("0912000202", "20261201090000", "0", "訊息已成功送出(MsgId:A2)", "17", "=HYPERLINK(x)")});
    const QByteArray logBytes = readBytes("hand.log");
    const struct {
        QStringList args;
        int exitCode;
        const char* says;
    } cases[] = {
        {textList({"--classes", "已送達"}), 1, "沒有這個類別：已送達"},
        {textList({"--classes", ","}), 1, "請指定至少一個類別"},
        {textList({"--out", "NorviSMSAp.cfg"}), 1, ""},
        {QStringList{QStringLiteral("--out"), log}, 1, "不能寫到正在讀取的傳送紀錄檔"},
        {QStringList{QStringLiteral("--xlsx"), log}, 1, "不能寫到正在讀取的傳送紀錄檔"},
        {textList({"--xlsx", "AddressBook.bin"}), 1, ""},
        {textList({"--out", "a.csv", "--xlsx", "a.xlsx"}), 1, "--out 與 --xlsx 只能擇一"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(textList({"undelivered", "--log", log}) + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(readBytes("hand.log"), logBytes);
    // A result the gateway wrote is never run by a spreadsheet.
    const CliRun out = run({"undelivered", "--log", log, "--out", path("list.csv")});
    ASSERT_EQ(out.exitCode, 0) << out.err.toStdString();
    EXPECT_EQ(listed(readBytes("list.csv")).at("0912000202").at(4), QByteArray("'=HYPERLINK(x)"));
    // The same list as a workbook: text cells, the number with its 0, the reason as the gateway wrote it.
    ASSERT_EQ(run({"undelivered", "--log", log, "--xlsx", path("list.xlsx")}).exitCode, 0);
    XlsxReader sheet;
    ASSERT_TRUE(sheet.open(path("list.xlsx"))) << sheet.error().toStdString();
    SheetRow header, row;
    ASSERT_TRUE(sheet.nextRow(&header) && sheet.nextRow(&row));
    ASSERT_EQ(row.cells.size(), 7);
    EXPECT_EQ(row.cells.at(1).text, QStringLiteral("0912000202"));
    EXPECT_EQ(row.cells.at(4).text, QStringLiteral("=HYPERLINK(x)"));
}

// Two months of hand-made logs, one log that is none, and the month's counts day by day.
TEST_F(CliAfterSendTest, UsageCountsEachDayOfTheMonthAndNamesLogsItCannotRead) {
    QDir(m_dir.path()).mkpath(QStringLiteral("logfiles"));
    const QString folder = path("logfiles");
    writeLog(QDir(folder).filePath(QStringLiteral("a.log")),
             {
                 logRow("0912000301", "20261130235959", "0", "訊息已成功送出(MsgId:B1)", "0", "訊息已送達對方(d)"),
                 logRow("0912000302", "20261201000000", "0", "訊息已成功送出(MsgId:B2)", "0", "訊息已送達對方(d)"),
                 logRow("0912000303", "20261201120000", "0", "訊息已成功送出(MsgId:B3)", "17", "訊息無法送達對方(u)"),
                 logRow("0912000304", "20261201120000", "11", "系統暫時無法傳送訊息(x)"),
             });
    writeLog(QDir(folder).filePath(QStringLiteral("b.log")),
             {
                 logRow("0912000305", "20261231235959", "0", "訊息已成功送出(MsgId:B5)"),
                 logRow("0912000306", "20261231100000", "-1", "Recv()逾時，可能已送出"),
                 logRow("0912000307", "20261399000000", "0", "訊息已成功送出(MsgId:B7)"),
             });
    writeFile("logfiles/broken.log", QByteArray("no log"));
    writeFile("logfiles/notes.txt", QByteArray("not counted"));

    const CliRun december = run({"usage", "--month", "2026-12", "--json"});
    EXPECT_EQ(december.exitCode, 2); // a log could not be read: the totals are short, and said to be
    EXPECT_TRUE(december.err.contains(QStringLiteral("broken.log"))) << december.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(december.out.toUtf8()).object();
    const QJsonArray days = json.value(QStringLiteral("days")).toArray();
    ASSERT_EQ(days.size(), 31);
    const struct {
        int day;
        int shortMessages, sent, failed, uncertain, delivered, deliveryFailed, notAsked;
    } cases[] = {
        {1, 3, 2, 1, 0, 1, 1, 0},
        {2, 0, 0, 0, 0, 0, 0, 0},
        {31, 2, 1, 0, 1, 0, 0, 1},
    };
    for (const auto& c : cases) {
        const QJsonObject day = days.at(c.day - 1).toObject();
        const QJsonObject delivery = day.value(QStringLiteral("delivery")).toObject();
        EXPECT_EQ(day.value(QStringLiteral("date")).toString(),
                  QStringLiteral("2026-12-") + QString::number(c.day).rightJustified(2, u'0'));
        EXPECT_EQ(day.value(QStringLiteral("shortMessages")).toInt(), c.shortMessages) << c.day;
        EXPECT_EQ(day.value(QStringLiteral("sent")).toInt(), c.sent) << c.day;
        EXPECT_EQ(day.value(QStringLiteral("failed")).toInt(), c.failed) << c.day;
        EXPECT_EQ(day.value(QStringLiteral("uncertain")).toInt(), c.uncertain) << c.day;
        EXPECT_EQ(delivery.value(QStringLiteral("已送達")).toInt(), c.delivered) << c.day;
        EXPECT_EQ(delivery.value(QStringLiteral("失敗")).toInt(), c.deliveryFailed) << c.day;
        EXPECT_EQ(delivery.value(QStringLiteral("未查詢")).toInt(), c.notAsked) << c.day;
    }
    EXPECT_EQ(json.value(QStringLiteral("total")).toObject().value(QStringLiteral("shortMessages")).toInt(), 5);
    // broken.log reads as a log cut before its first record: named, and read as far as it goes.
    EXPECT_EQ(json.value(QStringLiteral("logsRead")).toInt(), 3);
    EXPECT_EQ(json.value(QStringLiteral("undated")).toInt(), 1);

    // November as CSV: its one day with a row, and the total line.
    const CliRun november = run({"usage", "--month", "2026-11"});
    test::CsvTable csv = readCsv(november.stdoutBytes.mid(3));
    ASSERT_EQ(csv.records.size(), 1 + 30 + 1);
    EXPECT_EQ(csv.records.at(30).mid(0, 3), (QList<QByteArray>{"2026/11/30", "1", "1"}));
    EXPECT_EQ(csv.records.last().mid(0, 3), (QList<QByteArray>{"合計", "1", "1"}));

    for (const char* month : {"2026-13", "2026/12", "26-12"}) {
        const CliRun bad = run({"usage", "--month", month});
        EXPECT_EQ(bad.exitCode, 1) << month;
        EXPECT_TRUE(bad.err.contains(QStringLiteral("月份格式錯誤"))) << bad.err.toStdString();
    }
}

} // namespace
} // namespace norvi
