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
    EXPECT_TRUE(says(r.err, QStringLiteral("收訊人 3 位、共 3 通簡訊")));
    EXPECT_TRUE(says(r.err, QStringLiteral("略過：重複 2、拒收 0、號碼不符 0")));
    EXPECT_TRUE(says(r.err, QStringLiteral("同一門號不同內容 1 筆")));

    r = run({"-q", "send", "--keep-duplicates", "--text", "hi", "--list", "list.txt", "0912 345 678", "0922000111"}, {},
            clockAt(day));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 3 + 5);
}

// A number on the stop list is never sent: typed, in a list file, or by resend of a row that failed before it
// was listed. Everybody on the list: nothing is sent, no log is made, and the reason is given.
TEST_F(CliBeforeSendTest, AStoppedNumberIsNeverSentByAnyPath) {
    sim->failNextSends(8, 2); // refused, and not a code that is tried again
    writeFile("list.txt", "0933000111 own\n0955000333\n");
    runSteps({
        {textList({"-q", "send", "--text", "hi", "0933000111", "0944000222", "--log", "first.log"}), 2, {}, {}, 2},
        {textList({"optout", "add", "+886-933-000-111", "--note", "家長來電"}), 0},
        {textList({"-q", "send", "--text", "hi", "--list", "list.txt", "0933-000-111", "--log", "second.log"}),
         0,
         {"略過：重複 0、拒收 2、號碼不符 0"},
         {},
         3},
        // A line of the list that holds no number (edited by hand) stops nobody, and the resend says so.
        {textList({"-q", "resend", "--log", "first.log"}),
         0,
         {"拒收名單中的 0933000111 未重發", "拒收名單檔案有 1 行不是手機門號，已保留原樣：第 2 行 0944-000-222 王先生"},
         {},
         4,
         {},
         {},
         [this] { writeFile("OptOut.txt", readBytes("OptOut.txt") + big5("0944-000-222 王先生\r\n")); }},
    });
    // The refusal ends the summary; it is said once.
    const CliRun none = run(textList({"-q", "send", "--text", "hi", "0933000111", "--log", "third.log"}));
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err.count(QStringLiteral("所有受訊者都已略過（拒收 1 筆）")), 1) << none.err.toStdString();
    EXPECT_EQ(sendRequests(), 4);
    EXPECT_EQ(sentNumbers(), (std::vector<QByteArray>{"0933000111", "0944000222", "0955000333", "0944000222"}));
    EXPECT_FALSE(QFile::exists(path("third.log")));
}

TEST_F(CliBeforeSendTest, OptOutCommandsKeepTheListFile) {
    writeFile("numbers.csv", "號碼,備註\n0933-000-222,a\n0912345678\n0944000333,b\n");
    runSteps({
        {textList({"optout", "add", "0912-345-678", "--note", "王小明"}), 0, {}, {"已加入拒收名單：0912-345-678"}},
        {textList({"optout", "add", "+886912345678"}), 0, {}, {"+886912345678 已在拒收名單中。"}},
        {textList({"optout", "add", "hello"}), 1, {"「hello」不是手機門號，沒有加入拒收名單。"}},
        {textList({"optout", "add", "0922000111", "extra"}), 1, {"多餘的參數：extra"}},
        {textList({"optout", "remove", "0922000111"}), 1, {"0922000111 不在拒收名單中。"}},
        {textList({"optout", "list", "--note", "x"}), 1, {"選項 --note 只能用於 optout add。"}},
        {textList({"optout", "import", "numbers.csv"}),
         2,
         {},
         {"匯入 2 筆，已在名單中 1 筆，略過 1 行（不是手機門號）：第 1 行 號碼,備註。"}},
        {textList({"optout", "remove", "0933 000 222"}), 0, {}, {"已從拒收名單移除：0933 000 222"}},
        {textList({"optout", "export", "out.txt"}), 0, {}, {"拒收名單 2 筆寫入 out.txt"}},
        {textList({"optout", "export", "OptOut.txt"}), 1, {"是程式自己的檔案"}},
        {textList({"optout", "export", "logfiles/20240101.dbg"}), 1, {"是程式自己的運作記錄檔，不能做為輸出檔。"}},
        {textList({"optout", "export", "logfiles/OptOut.txt"}), 0, {}, {"拒收名單 2 筆寫入 logfiles/OptOut.txt"}},
        {textList({"optout", "purge"}), 1, {"optout 沒有「purge」這個動作"}},
    });
    const CliRun listed = run({"optout", "list"});
    EXPECT_EQ(listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 2);
    EXPECT_TRUE(listed.out.startsWith(QStringLiteral("0912345678\t"))) << listed.out.toStdString();
    EXPECT_TRUE(says(listed.out, QStringLiteral("\t王小明\n")));
    EXPECT_EQ(readBytes("out.txt").count("\r\n"), 2);
    // A number the file holds twice, as written by hand: the export says how many lines it wrote.
    writeFile("OptOut.txt", readBytes("OptOut.txt") + "+886912345678,2024/05/01\r\n");
    runSteps({{textList({"optout", "export", "twice.txt"}), 0, {}, {"拒收名單 3 筆寫入 twice.txt"}}});
    EXPECT_EQ(readBytes("twice.txt").count("\r\n"), 3);
    // Every change is in the operation log.
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QByteArray opLog = readBytes(QString(QStringLiteral("logfiles/") + day + QStringLiteral(".dbg")));
    EXPECT_TRUE(opLog.contains(big5("拒收名單新增 0912-345-678（王小明）"))) << opLog.constData();
    EXPECT_TRUE(opLog.contains(big5("拒收名單移除 0933 000 222"))) << opLog.constData();
}

// A night run (or resend) warns and goes on; with cliRefuses=true it is refused unless --night-ok, and a
// reservation after the quiet hours goes as it is. With the quiet hours off nothing is said.
TEST_F(CliBeforeSendTest, ANightRunWarnsOrIsRefusedAsTheSettingsSay) {
    const auto atNight = clockAt(todayAt(23, 30));
    const QString morning = todayAt(23, 30).addDays(1).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("0900");
    const auto refuse = [this] { writeIni("[QuietHours]\ncliRefuses=true\n"); };
    const auto off = [this] { writeIni("[QuietHours]\nenabled=false\ncliRefuses=true\n"); };
    const auto defaults = [this] { writeIni("[QuietHours]\n"); };
    sim->failNextSends(8, 1);
    runSteps({
        {textList({"-q", "send", "--text", "hi", "0933000111", "--log", "first.log"}),
         2,
         {},
         {},
         1,
         {},
         clockAt(todayAt(10, 0))},
        {textList({"-q", "send", "--text", "hi", "0912000001"}),
         0,
         {"現在是夜間（21:00–08:00）"},
         {},
         2,
         {},
         atNight,
         defaults},
        {textList({"-q", "send", "--text", "hi", "0912000002"}), 1, {"--at", "--night-ok"}, {}, 2, {}, atNight, refuse},
        {textList({"-q", "resend", "--log", "first.log"}),
         1,
         {"現在是夜間（21:00–08:00），設定為命令列也拒絕夜間傳送，沒有重發任何簡訊", "--night-ok"},
         {},
         2,
         {},
         atNight},
        {textList({"-q", "send", "--night-ok", "--text", "hi", "0912000003"}), 0, {}, {}, 3, {}, atNight},
        {textList({"-q", "send", "--at", morning, "--text", "hi", "0912000004"}), 0, {}, {}, 4, {"夜間"}, atNight},
        {textList({"-q", "resend", "--night-ok", "--log", "first.log"}),
         0,
         {"現在是夜間（21:00–08:00）"},
         {},
         5,
         {},
         atNight},
        {textList({"-q", "send", "--text", "hi", "0912000005"}), 0, {}, {}, 6, {"夜間"}, atNight, off},
    });
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
    EXPECT_TRUE(says(refused.err, QStringLiteral("0977000555 缺 $1$")));
    EXPECT_TRUE(says(refused.err, QStringLiteral("--allow-empty-fields")));

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
    EXPECT_TRUE(says(lines.out, QStringLiteral("收訊人 4 位、共 5 通簡訊")));
    EXPECT_TRUE(says(lines.out, QStringLiteral("訊息含有網址")));

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
// Allowed, both go to the gateway (which refuses "abc").
TEST_F(CliBeforeSendTest, OddNumbersStillRefuseTheRunUnlessAllowed) {
    runSteps({
        {textList({"-q", "send", "--dry-run", "--text", "hi", "abc", "0912000001"}), 1, {"--allow-odd-numbers"}, {}, 0},
        {textList({"-q", "send", "--allow-odd-numbers", "--text", "hi", "abc", "0912000001"}), 2, {}, {}, 2},
    });
    EXPECT_EQ(sentNumbers(), (std::vector<QByteArray>{"abc", "0912000001"}));
}

// A 一般簡訊 message written as a template is warned of, not refused: the dry run and the run say so, and it goes
// as written. With --replace it is filled in and nothing is said.
TEST_F(CliBeforeSendTest, MarksOfAPlainMessageAreWarnedOfAndSentAsWritten) {
    const TestText warning("一般簡訊不填入名單的值：訊息中的 $1$ 會照原樣送出，要填入請改用替代簡訊");
    runSteps({
        {textList({"send", "--dry-run", "--text", "您好$1$", "0912000001"}), 0, {}, {warning}, 0},
        {textList({"-q", "send", "--text", "您好$1$", "0912000001"}), 0, {warning}, {}, 1},
        {textList({"-q", "send", "--replace", "--allow-empty-fields", "--text", "您好$1$", "0912000001"}),
         0,
         {},
         {},
         2,
         {"照原樣送出", "原文"}},
    });

    // "替代簡訊" fills in only "$…$" values, and only where the message has "$1$" (not a full-width "＄1＄", not
    // only "$2$"): any other row reaches its phone as the list holds it, which is said.
    writeFile("values.txt",
              QStringLiteral("0912000011 $王小明$$100$\n0912000012 王小明,100\n0912000013 $李$$50$\n").toUtf8());
    const auto asWritten = [](int rows, int line) {
        return QStringLiteral("替代簡訊沒有填入 %1 筆名單（名單列沒有 $…$ 的值，或訊息中沒有 $1$），這些受訊者會收到"
                              "名單上的原文，第一筆在第 %2 行")
            .arg(rows)
            .arg(line);
    };
    const QStringList values = textList({"send", "--replace", "--list", path("values.txt")});
    runSteps({
        {QStringList(values) << textList({"--dry-run", "--text", "親愛的＄1＄"}), 0, {}, {asWritten(3, 1)}, 2},
        {QStringList(values) << textList({"--dry-run", "--text", "親愛的$1$"}), 0, {}, {asWritten(1, 2)}},
        {QStringList(values) << textList({"--dry-run", "--json", "--text", "您好$2$"}), 0, {}, {"\"rowsAsWritten\":3"}},
    });
}

// A message blank once filled in never reaches the gateway, which refuses an empty one (code 4) however often
// it is resent: the dry run counts it, the run leaves it out and says so, and a resend of such a row skips it.
TEST_F(CliBeforeSendTest, ABlankMessageIsNeverSentNorResent) {
    writeFile("list.txt", big5("0912000001\n0912000002 $王$\n"));
    const QStringList filled = textList({"--replace", "--allow-empty-fields", "--big5", "--list", "list.txt"});
    const TestText said("1 位受訊者的訊息是空白的，不會傳送，第一筆在第 1 行");
    runSteps({
        {textList({"send"}) + filled + textList({"--dry-run", "--json", "--text", "$1$"}),
         0,
         {},
         {"\"blankTexts\":1", "\"blankTextsFirstLine\":1"},
         0},
        {textList({"-q", "send"}) + filled + textList({"--text", "$1$"}), 0, {said}, {"略過 1 筆：空白訊息 1 筆"}, 1},
        {textList({"send", "--text", " \n ", "0912000003"}), 1, {"請輸入訊息內容！"}, {}, 1},
    });

    // A log of an earlier version, which sent the empty text and had it refused.
    const SendLogRow blank{{"", "0912000004", "20261201090000", "4", "x", "", "", ""}};
    const SendLogRow failed{{"", "0912000005", "20261201090000", "4", "x", "", "", "hi"}};
    writeLog(path("old.log"), {blank, failed});
    runSteps({{textList({"-q", "resend", "--log", "old.log"}), 0, {}, {"略過 1 筆：空白訊息 1 筆"}, 2}});
    EXPECT_EQ(sentNumbers(), (std::vector<QByteArray>{"0912000002", "0912000005"}));
}

} // namespace
