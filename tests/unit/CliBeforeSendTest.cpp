// norvi-cli before its first request: duplicates, the stop list, quiet hours and the summary, against the
// gateway simulator.
#include "support/CliFixture.h"

#include "core/compose/OptOutList.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

using namespace norvi;
using namespace norvi::test;

namespace {

class CliBeforeSendTest : public CliTest {
protected:
    // The program's clock starts at `when` (the NORVI_TEST_NOW seam).
    static std::function<void(QProcess&)> clockAt(const QDateTime& when) {
        return [when](QProcess& p) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("NORVI_TEST_NOW"), when.toString(Qt::ISODate));
            p.setProcessEnvironment(env);
        };
    }
    static QDateTime todayAt(int hour, int minute) { return QDateTime(QDate::currentDate(), QTime(hour, minute)); }
    void writeIni(const QByteArray& text) const { writeFile("NorviSMSAp.ini", text); }
};

// One person reached three ways is sent once, and the summary says what was left out; --keep-duplicates
// sends every one. A number with separators is sent without them, with no question.
TEST_F(CliBeforeSendTest, DuplicatesAreLeftOutAndCountedUnlessKept) {
    writeFile("list.txt", "0912-345-678\n0922000111 own text\n886912345678\n");
    const QDateTime day = todayAt(10, 0);
    CliRun r =
        run({"-q", "send", "--text", "hi", "--list", "list.txt", "0912 345 678", "0922000111"}, {}, clockAt(day));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sentNumbers(), (std::vector<QByteArray>{"0912345678", "0922000111", "0922000111"}));
    EXPECT_TRUE(r.err.contains(QStringLiteral("收訊人 3 位、共 3 通簡訊"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("略過：重複 2、拒收 0、號碼不符 0"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("同一門號不同內容 1 筆"))) << r.err.toStdString();

    r = run({"-q", "send", "--keep-duplicates", "--text", "hi", "--list", "list.txt", "0912 345 678", "0922000111"}, {},
            clockAt(day));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 3 + 5);
}

// A number on the stop list is never sent: typed, in a list file, or by resend of a row that failed before it
// was listed.
TEST_F(CliBeforeSendTest, AStoppedNumberIsNeverSentByAnyPath) {
    sim->failNextSends(8, 2); // refused, and not a code that is tried again
    CliRun r = run({"-q", "send", "--text", "hi", "0933000111", "0944000222", "--log", "first.log"});
    ASSERT_EQ(r.exitCode, 2) << r.err.toStdString();
    ASSERT_EQ(sendRequests(), 2);

    r = run({"optout", "add", "+886-933-000-111", "--note", "家長來電"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    writeFile("list.txt", "0933000111 own\n0955000333\n");
    r = run({"-q", "send", "--text", "hi", "--list", "list.txt", "0933-000-111", "--log", "second.log"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("略過：重複 0、拒收 2、號碼不符 0"))) << r.err.toStdString();
    EXPECT_EQ(sentNumbers().back(), "0955000333");
    EXPECT_EQ(sendRequests(), 3);

    r = run({"-q", "resend", "--log", "first.log"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("拒收名單中的 0933000111 未重發"))) << r.err.toStdString();
    EXPECT_EQ(sentNumbers().back(), "0944000222");
    EXPECT_EQ(sendRequests(), 4);

    // Everybody on the list: nothing is sent, no log is made, and the reason is given.
    r = run({"-q", "send", "--text", "hi", "0933000111", "--log", "third.log"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("所有受訊者都已略過（拒收 1 筆）"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("third.log")));
    EXPECT_EQ(sendRequests(), 4);
}

TEST_F(CliBeforeSendTest, OptOutCommandsKeepTheListFile) {
    const struct {
        QStringList args;
        int exitCode;
        const char* said; // on standard output, or on standard error when the command fails
    } steps[] = {
        {textList({"optout", "add", "0912-345-678", "--note", "王小明"}), 0, "已加入拒收名單：0912-345-678"},
        {textList({"optout", "add", "+886912345678"}), 0, "+886912345678 已在拒收名單中。"},
        {textList({"optout", "add", "hello"}), 1, "「hello」不是手機門號，沒有加入拒收名單。"},
        {textList({"optout", "add", "0922000111", "extra"}), 1, "多餘的參數：extra"},
        {textList({"optout", "remove", "0922000111"}), 1, "0922000111 不在拒收名單中。"},
        {textList({"optout", "list", "--note", "x"}), 1, "選項 --note 只能用於 optout add。"},
        {textList({"optout", "import", "numbers.csv"}), 2,
         "匯入 2 筆，已在名單中 1 筆，略過 1 行（不是手機門號）：第 1 行 號碼,備註。"},
        {textList({"optout", "remove", "0933 000 222"}), 0, "已從拒收名單移除：0933 000 222"},
        {textList({"optout", "export", "out.txt"}), 0, "拒收名單 2 筆寫入 out.txt"},
        {textList({"optout", "export", "OptOut.txt"}), 1, "是程式自己的檔案"},
        {textList({"optout", "purge"}), 1, "optout 沒有「purge」這個動作"},
    };
    writeFile("numbers.csv", "號碼,備註\n0933-000-222,a\n0912345678\n0944000333,b\n");
    for (const auto& s : steps) {
        const CliRun r = run(s.args);
        EXPECT_EQ(r.exitCode, s.exitCode) << s.args.join(QLatin1Char(' ')).toStdString() << r.err.toStdString();
        EXPECT_TRUE((s.exitCode == 0 ? r.out : r.out + r.err).contains(QString::fromUtf8(s.said)))
            << s.args.join(QLatin1Char(' ')).toStdString() << "\n"
            << r.out.toStdString() << r.err.toStdString();
    }
    const CliRun listed = run({"optout", "list"});
    EXPECT_EQ(listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 2);
    EXPECT_TRUE(listed.out.startsWith(QStringLiteral("0912345678\t"))) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QStringLiteral("\t王小明\n"))) << listed.out.toStdString();
    EXPECT_EQ(readBytes("out.txt").count("\r\n"), 2);
    // Every change is in the operation log.
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QByteArray opLog = readBytes(QString(QStringLiteral("logfiles/") + day + QStringLiteral(".dbg")));
    EXPECT_TRUE(opLog.contains(big5("拒收名單新增 0912-345-678（王小明）"))) << opLog.constData();
    EXPECT_TRUE(opLog.contains(big5("拒收名單移除 0933 000 222"))) << opLog.constData();
}

// A night run warns and goes on; with cliRefuses=true it is refused unless --night-ok, and a reservation
// after the quiet hours goes as it is.
TEST_F(CliBeforeSendTest, ANightRunWarnsOrIsRefusedAsTheSettingsSay) {
    const QDateTime night = todayAt(23, 30);
    CliRun r = run({"-q", "send", "--text", "hi", "0912000001"}, {}, clockAt(night));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("現在是夜間（21:00–08:00）"))) << r.err.toStdString();

    writeIni("[QuietHours]\ncliRefuses=true\n");
    r = run({"-q", "send", "--text", "hi", "0912000002"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--at"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--night-ok"))) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 1);

    r = run({"-q", "send", "--night-ok", "--text", "hi", "0912000003"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString morning = night.addDays(1).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("0900");
    r = run({"-q", "send", "--at", morning, "--text", "hi", "0912000004"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("夜間"))) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 3);

    // With the quiet hours off nothing is said.
    writeIni("[QuietHours]\nenabled=false\ncliRefuses=true\n");
    r = run({"-q", "send", "--text", "hi", "0912000005"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("夜間"))) << r.err.toStdString();
}

// A resend at night is said as a send's is; with cliRefuses=true it is refused unless --night-ok.
TEST_F(CliBeforeSendTest, ANightResendWarnsOrIsRefusedAsTheSettingsSay) {
    sim->failNextSends(8, 1);
    CliRun r = run({"-q", "send", "--text", "hi", "0933000111", "--log", "first.log"}, {}, clockAt(todayAt(10, 0)));
    ASSERT_EQ(r.exitCode, 2) << r.err.toStdString();
    const QDateTime night = todayAt(23, 30);
    writeIni("[QuietHours]\ncliRefuses=true\n");
    r = run({"-q", "resend", "--log", "first.log"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("現在是夜間（21:00–08:00），設定為命令列也拒絕夜間傳送，沒有重發任何簡訊")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--night-ok"))) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 1);

    r = run({"-q", "resend", "--night-ok", "--log", "first.log"}, {}, clockAt(night));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("現在是夜間（21:00–08:00）"))) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 2);
}

// --dry-run sends nothing and makes no log; its counts are what the real run then sends.
TEST_F(CliBeforeSendTest, ADryRunSendsNothingAndCountsWhatTheRunSends) {
    ASSERT_EQ(run({"optout", "add", "0955000333"}).exitCode, 0);
    writeFile("list.txt", QByteArray("0912000001 $王$\n0912-000-001 $王$\n0912000001 $李$\n0955000333\n0966000444 ") +
                              QByteArray(200, 'x') + "\n");
    const QStringList withValues = textList(
        {"--text", "親愛的$1$，請見 https://x.tw", "--replace", "--list", "list.txt", "--limit", "90", "0977000555"});
    // The typed recipient has no value for $1$: the run is refused, and the dry run says so and counts it.
    const CliRun refused = run(textList({"send", "--json", "--dry-run"}) + withValues);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(QJsonDocument::fromJson(refused.stdoutBytes).object().value(QStringLiteral("emptyFields")).toInt(), 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("0977000555 缺 $1$"))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--allow-empty-fields"))) << refused.err.toStdString();

    const QStringList args = withValues + textList({"--allow-empty-fields"});
    const CliRun dry = run(textList({"send", "--json", "--dry-run"}) + args);
    ASSERT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(sendRequests(), 0);
    EXPECT_TRUE(QDir(path("logfiles")).entryList({QStringLiteral("*.log")}).isEmpty());
    const QJsonObject counts = QJsonDocument::fromJson(dry.stdoutBytes).object();
    EXPECT_EQ(counts.value(QStringLiteral("recipients")).toInt(), 4);
    EXPECT_EQ(counts.value(QStringLiteral("messages")).toInt(), 5);
    EXPECT_EQ(counts.value(QStringLiteral("duplicates")).toInt(), 1);
    EXPECT_EQ(counts.value(QStringLiteral("optedOut")).toInt(), 1);
    EXPECT_EQ(counts.value(QStringLiteral("sameNumberOtherText")).toInt(), 1);
    EXPECT_EQ(counts.value(QStringLiteral("validityMinutes")).toInt(), 90);
    EXPECT_TRUE(counts.value(QStringLiteral("link")).toBool());
    EXPECT_EQ(counts.value(QStringLiteral("emptyFields")).toInt(), 1);

    const CliRun lines = run(textList({"send", "--dry-run"}) + args);
    EXPECT_TRUE(lines.out.contains(QStringLiteral("收訊人 4 位、共 5 通簡訊"))) << lines.out.toStdString();
    EXPECT_TRUE(lines.out.contains(QStringLiteral("訊息含有網址"))) << lines.out.toStdString();

    const CliRun real = run(textList({"-q", "send"}) + args);
    ASSERT_EQ(real.exitCode, 0) << real.err.toStdString();
    // One row and one request a short message; the recipients are the rows that begin a message.
    const QList<QStringList> rows = real.rows();
    EXPECT_EQ(rows.size(), counts.value(QStringLiteral("messages")).toInt());
    EXPECT_EQ(sendRequests(), counts.value(QStringLiteral("messages")).toInt());
    const auto firstParts = std::count_if(
        rows.begin(), rows.end(), [](const QStringList& row) { return !row.at(7).startsWith(QStringLiteral("2/")); });
    EXPECT_EQ(firstParts, counts.value(QStringLiteral("recipients")).toInt());

    EXPECT_EQ(run({"send", "--json", "--text", "hi", "0912000001"}).exitCode, 1);
}

// Text that is no number still refuses the run, after the summary says so; the dry run says the same.
TEST_F(CliBeforeSendTest, OddNumbersStillRefuseTheRunUnlessAllowed) {
    CliRun r = run({"-q", "send", "--dry-run", "--text", "hi", "abc", "0912000001"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--allow-odd-numbers"))) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 0);
    // Allowed, both go to the gateway (which refuses "abc").
    r = run({"-q", "send", "--allow-odd-numbers", "--text", "hi", "abc", "0912000001"});
    EXPECT_NE(r.exitCode, 1) << r.err.toStdString();
    const std::vector<QByteArray> numbers = sentNumbers();
    EXPECT_NE(std::find(numbers.begin(), numbers.end(), "abc"), numbers.end());
    EXPECT_EQ(numbers.back(), "0912000001");
}

} // namespace
