#include "support/CliFixture.h"
#include "support/SpecialFiles.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

// norvi-cli at the edges of the command line: exit codes a script can rely on, outputs that are never the
// program's own files nor anything but a regular file, list lines too long to keep, the follow-up's time limit,
// and settings the gateway cannot take whole.
namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

using CliEdgesTest = test::CliTest;
using test::numbers;

// query, cancel and resend exit 2 when a row failed or was not asked, whatever the number of rows: a script
// must never read success from a run that got no answer.
TEST_F(CliEdgesTest, RowCommandsExitTwoWhenAnyRowFailedWhateverTheNumberOfRows) {
    sendTo(path("two.log"), numbers(2));
    sendTo(path("six.log"), numbers(6));
    sendTo(path("booked.log"), numbers(2), textList({"--at", test::reservationTime(86400)}));
    sim->failNextSends(10, 2);
    const CliRun failed = run({"send", "--text", "hi", "--log", path("failed.log"), "0912000001", "0912000002"});
    ASSERT_EQ(failed.exitCode, 2);
    ASSERT_EQ(run({"query", "--log", path("two.log"), "--out", path("answered.log")}).exitCode, 0);

    const auto gone = test::StopAndHoldPort(sim); // nobody answers from here on
    runSteps({
        {textList({"query", "--log", path("two.log")}), 2, {}, {"未能查詢 2 筆"}},
        {textList({"query", "--log", path("two.log"), "--rows", "1"}), 2, {}, {"未能查詢 1 筆"}},
        {textList({"query", "--log", path("six.log")}), 2, {}, {"未能查詢 3 筆"}},
        {textList({"cancel", "--log", path("booked.log")}), 2, {}, {"未能取消 2 筆"}},
        {textList({"cancel", "--log", path("booked.log"), "--rows", "0"}), 2, {}, {"未能取消 1 筆"}},
        {textList({"resend", "--log", path("failed.log")}), 2, {}, {"失敗 2 筆"}},
        // Rows whose answers are final are passed by: nothing was left unasked, so the run succeeded.
        {textList({"query", "--log", path("answered.log")}), 0},
    });
}

// A file name given as "" (or spaces) is no name: each command asks for it as when none is given, rather
// than report a file it could not read or write.
TEST_F(CliEdgesTest, AnEmptyFileNameIsAskedForAsAMissingOne) {
    runSteps({
        {textList({"log2csv", ""}), 1, {"請指定一個傳送紀錄檔。"}},
        {textList({"finish", " "}), 1, {"請指定一個未完成的傳送紀錄檔。"}},
        {textList({"book", "export", "  "}), 1, {"請指定匯出的檔案。"}},
        {textList({"query", "--log", ""}), 1, {"選項 --log 需要一個檔案名稱。"}},
        {textList({"undelivered", "--log", path("x.log"), "--out", " "}), 1, {"選項 --out 需要一個檔案名稱。"}},
        {textList({"log2csv", path("x.log"), "--xlsx="}), 1, {"選項 --xlsx 需要一個檔案名稱。"}},
        {textList({"send", "--text", "hi", "--list", ""}), 1, {"選項 --list 需要一個檔案名稱。"}},
        {textList({"send", "--text-file", ""}), 1, {"選項 --text-file 需要一個檔案名稱。"}},
    });
    EXPECT_FALSE(QFile::exists(path("  ")));
}

// No output is one of the program's own files or anything but a regular file: every command that writes a file
// the user names refuses it by name before anything is sent or written, and leaves it as it was. A named pipe
// nobody reads is refused at once, never waited on.
TEST_F(CliEdgesTest, OutputsThatAreTheProgramsOwnFilesOrNoRegularFileAreRefusedByName) {
    sendTo(path("one.log"), numbers(1));
    book.putMember(test::member(1, "Amy", "0912000009"));
    ASSERT_TRUE(SaveAddressBook(book, path("AddressBook.bin")).ok);
    ASSERT_TRUE(QDir().mkpath(path("logfiles/sub")));
    writeFile("logfiles/left.log.Ab12Cd.partial", QByteArray());
    writeFile("logfiles/left.log.Ab12Cd.partial.plan", "plan");
    writeFile("norvi-journal-20240101090000-7.log.plan", "plan");
    writeFile("OptOut.txt", "0912000008,20240301,stop\r\n");
    writeFile("NorviSMSAp.ini", "[QuietHours]\nenabled=false\n");
    writeFile("logfiles/20240101.dbg", "2024/01/01 09:00:00 start\r\n");
    ASSERT_EQ(::link(QFile::encodeName(path("OptOut.txt")).constData(),
                     QFile::encodeName(path("stops-copy.csv")).constData()),
              0);
    ASSERT_EQ(::link(QFile::encodeName(path("NorviSMSAp.cfg")).constData(),
                     QFile::encodeName(path("settings-copy.log")).constData()),
              0);
    ASSERT_TRUE(QFile::link(path("NorviSMSAp.cfg"), path("through-link.log")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.log")).constData(), 0600), 0);
    const QString device = test::nullDevice(m_dir.path());

    const QStringList targets = {path("NorviSMSAp.cfg"),
                                 path("AddressBook.bin"),
                                 path("OptOut.txt"),
                                 path("NorviSMSAp.ini"),
                                 path("logfiles/20240101.dbg"),
                                 path("logfiles/left.log.Ab12Cd.partial.plan"),
                                 path("one.log.lock"),
                                 path("settings-copy.log"),
                                 path("through-link.log"),
                                 path("pipe.log"),
                                 path("logfiles/sub"),
                                 device,
                                 path("stops-copy.csv"),
                                 path("norvi-journal-20240101090000-7.log.plan")};
    const std::function<QStringList(const QString&)> commands[] = {
        [](const QString& t) {
            return textList({"send", "--text", "hi", "--log", t, "0912000001"});
        },
        [this](const QString& t) {
            return textList({"query", "--log", path("one.log"), "--out", t});
        },
        [this](const QString& t) {
            return textList({"cancel", "--log", path("one.log"), "--out", t});
        },
        [this](const QString& t) {
            return textList({"resend", "--log", path("one.log"), "--out", t});
        },
        [](const QString& t) {
            return textList({"book", "export", t});
        },
        [this](const QString& t) {
            return textList({"finish", path("logfiles/left.log.Ab12Cd.partial"), "--out", t});
        },
        [this](const QString& t) {
            return textList({"undelivered", "--log", path("one.log"), "--classes", "未查詢", "--out", t});
        },
        [this](const QString& t) {
            return textList({"log2csv", path("one.log"), "--xlsx", t});
        },
        [](const QString& t) {
            return textList({"optout", "export", t});
        },
    };
    std::map<QString, QByteArray> before;
    for (const QString& t : targets)
        before[t] = QFileInfo(t).isFile() ? test::readAll(t) : QByteArray();
    const int requestsBefore = int(sim->requests().size());
    for (const auto& command : commands) {
        for (const QString& target : targets) {
            const QStringList args = command(target);
            // finish, undelivered and log2csv know no start folder, so they cannot tell another name of its
            // files; finish refuses it as any log that is there already.
            const bool knowsNoStartFolder = args.first() == QLatin1String("finish") ||
                                            args.first() == QLatin1String("undelivered") ||
                                            args.first() == QLatin1String("log2csv");
            const bool otherName = target == path("settings-copy.log") || target == path("stops-copy.csv");
            if (knowsNoStartFolder && otherName && args.first() != QLatin1String("finish"))
                continue;
            const CliRun r = run(args);
            SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
            EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
            if (knowsNoStartFolder && otherName)
                continue;
            EXPECT_TRUE(says(r.err, target + QStringLiteral(" 是")));
            EXPECT_TRUE(says(r.err, QStringLiteral("不能做為輸出檔")) || says(r.err, QStringLiteral("不能匯出到這裡")));
        }
    }
    EXPECT_EQ(int(sim->requests().size()), requestsBefore) << "nothing reached the gateway";
    for (const QString& t : targets) {
        if (QFileInfo(t).isFile()) {
            EXPECT_EQ(test::readAll(t), before[t]) << t.toStdString();
        }
    }
    EXPECT_TRUE(test::isFifo(path("pipe.log")));
    EXPECT_FALSE(QFileInfo::exists(path("pipe.log.lock")));
    EXPECT_TRUE(test::isCharDevice(device));
}

// A list line past 64 KB is checked for its encoding to its end, as a short one is: a Big5 line given as UTF-8
// (or the other way round) is refused with the same message, wherever in the line its first foreign byte is.
// A long line that is text keeps its first 64 KB and is named.
TEST_F(CliEdgesTest, ListLinesPastTheCapAreCheckedForTheirEncodingToTheirEnd) {
    const QByteArray head = "0912000001\n0912000002\n0912000003\n0912000004 ";
    const QByteArray big5Text = QByteArray("\xA4\xA4\xA4\xE5").repeated(512 * 1024); // 中文, 2 MB
    struct Case {
        const char* name;
        QByteArray line4;
        bool big5;
        int exitCode;
        const char* said;
    };
    const Case cases[] = {
        {"Big5ThroughoutAsUtf8", big5Text, false, 1, "第 4 行不是 UTF-8 文字"},
        {"Big5PastTheCapAsUtf8", QByteArray(70 * 1024, 'a') + big5Text.left(4), false, 1, "第 4 行不是 UTF-8 文字"},
        {"Utf8PastTheCapAsBig5", QByteArray(70 * 1024, 'a') + QStringLiteral("中文").toUtf8(), true, 1,
         "第 4 行不是 Big5 文字"},
        {"CharacterCutAtTheLineEnd", QByteArray(70 * 1024, 'a') + "\xE4\xB8", false, 1, "第 4 行不是 UTF-8 文字"},
        // Long enough to cross the reads' piece ends inside a character.
        {"Utf8Throughout", QStringLiteral("中").toUtf8().repeated(400 * 1024), false, 0, "第 4 行超過 64 KB"},
        {"Big5Throughout", big5Text, true, 0, "第 4 行超過 64 KB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("list.txt", head + c.line4 + "\n0912000005\n");
        const int before = sendRequests();
        const QString log = path(QStringLiteral("%1.log").arg(QString::fromLatin1(c.name)));
        QStringList args = textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", log});
        if (c.big5)
            args << QStringLiteral("--big5");
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE(says(r.err, QString::fromUtf8(c.said)));
        EXPECT_EQ(sendRequests() - before, c.exitCode == 0 ? 5 + 5 : 0) << "the long line is cut to six messages";
    }
}

// --for bounds the whole follow-up, its rounds included: a round still waiting for slow answers when the time
// is up is stopped, so the run ends within the time and one reply wait, not after every row was asked.
TEST_F(CliEdgesTest, FollowUpEndsWithinItsTimeWhileAnswersAreSlow) {
    gwsim::SimOptions options;
    options.deliverAfterSeconds = 3600;
    restartSim(options);
    sendTo(path("slow.log"), numbers(8));
    sim->setReplyFaults({1500, false, 0});

    QElapsedTimer took;
    took.start();
    const CliRun r = run({"--reply-wait", "5", "query", "--log", path("slow.log"), "--follow", "--for", "2s"});
    EXPECT_LT(took.elapsed(), 2000 + 5000) << "longer than --for and one reply wait";
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(says(r.err, QStringLiteral("追蹤時間已到")));
    EXPECT_LT(requestsOf(GwQuery), 8) << "every row was asked although the time was up";
    EXPECT_EQ(readLog(path("slow.log")).size(), 8u);
}

// The login carries 8 bytes of the account and of the password: a longer one is said to be cut before the
// gateway can only answer "密碼錯誤". With -v, a configuration others can read is named.
TEST_F(CliEdgesTest, SettingsTheGatewayCannotTakeWholeAreNamed) {
    struct Case {
        const char* account;
        const char* password;
        bool cut;
    };
    const Case cases[] = {{"demo", "demo", false}, {"demo", "demo12345", true}, {"longaccount", "demo", true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(
            m_dir.writeConfig({QFile::encodeName(path("logfiles")), "127.0.0.1", sim->port(), c.account, c.password}));
        const CliRun r = run({"login-test"});
        EXPECT_EQ(r.err.contains(QStringLiteral("帳號和密碼只會送出前 8 個字元")), c.cut)
            << c.account << " " << c.password << ": " << r.err.toStdString();
    }

    const QByteArray cfg = QFile::encodeName(path("NorviSMSAp.cfg"));
    const QString readable = QStringLiteral("其他使用者也可以讀取");
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0644)}) {
        ASSERT_EQ(::chmod(cfg.constData(), mode), 0);
        EXPECT_EQ(run({"-v", "login-test"}).err.contains(readable), mode != 0600) << std::oct << mode;
        EXPECT_FALSE(run({"login-test"}).err.contains(readable)) << "said only with -v";
    }
}

} // namespace
} // namespace norvi
