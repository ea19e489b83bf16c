#include "support/CliFixture.h"
#include "support/SpecialFiles.h"

#include <QFileInfo>

#include <csignal>

// norvi-cli among damaged files, devices, pipes, signals and full disks.
namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

class CliSurroundingsTest : public test::CliTest {
protected:
    std::set<QByteArray> sentNumberSet() const {
        const std::vector<QByteArray> numbers = sentNumbers();
        return {numbers.begin(), numbers.end()};
    }
};

TEST_F(CliSurroundingsTest, DamagedAddressBookRefusesTheNameAndSaysWhichRecordIsWrong) {
    // As a damaged file holds them: a member with a negative id, a group with a positive one, and a group
    // whose slots name an entry that is not there.
    book.putMember(test::member(-5, big5("王小明"), "0911000001"));
    book.putMember(test::member(7, big5("陳美麗"), "0911000007"));
    book.putGroup(test::named(test::group(3, {{0, 7}}), big5("正數群組")));
    book.putGroup(test::named(test::group(-1, {{0, 99}, {1, 7}}), big5("業務部")));
    ASSERT_TRUE(SaveAddressBook(book, path("AddressBook.bin")).ok);

    for (const char* name : {"=王小明", "=正數群組"}) {
        const CliRun r = run({"send", "--text", "hi", QString::fromUtf8(name)});
        EXPECT_EQ(r.exitCode, 1) << name << r.err.toStdString(); // never an abort
        EXPECT_TRUE(says(r.err, QStringLiteral("第 1 筆成員紀錄「王小明」的識別碼 -5 不是正數")));
        EXPECT_TRUE(says(r.err, QStringLiteral("第 2 筆群組紀錄「正數群組」的識別碼 3 不是負數")));
        EXPECT_TRUE(says(r.err, QStringLiteral("通訊錄中沒有名為「%1」").arg(QString::fromUtf8(name).mid(1))));
    }
    EXPECT_EQ(sendRequests(), 0);

    // The sound part of the book still works; the dead slot is named and skipped.
    const CliRun group = run({"send", "--text", "hi", "--log", path("group.log"), QStringLiteral("=業務部")});
    ASSERT_EQ(group.exitCode, 0) << group.err.toStdString();
    EXPECT_EQ(sentNumbers(), std::vector<QByteArray>{"0911000007"});
    EXPECT_TRUE(says(group.err, QStringLiteral("群組「業務部」中的成員（識別碼 99）不在通訊錄中，已略過。")));
}

// SIGTERM from a service manager and SIGHUP from a closed terminal stop the run as Ctrl+C does: every
// message the gateway accepted is in the saved log, the one whose reply the stop cut says it may have gone,
// and every recipient not reached has a row saying it was not sent.
class CliStopSignalTest : public CliSurroundingsTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliStopSignalTest, RunStopsAndTheLogHoldsARowForEveryRecipient) {
    sim->setReplyPacing(
        gwsim::ReplyPacing::split()); // each reply takes a tenth of a second: the run is still going at the signal
    writeFile("list.txt", test::numbers(40).join(QLatin1Char('\n')).toUtf8() + "\n");

    QProcess process;
    startCli(process, textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", path("stopped.log")}));
    waitForRequests(GwSendDomestic, 3);
    ASSERT_TRUE(signalCli(process, GetParam()));
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2) << process.readAllStandardError().constData();

    const std::vector<SendLogRow> rows = readLog(path("stopped.log"));
    EXPECT_EQ(rows.size(), 40u);
    std::set<QByteArray> reached, notSent;
    int cut = 0;
    for (const SendLogRow& row : rows) {
        if (row.texts[ColSendCode] == "0") {
            EXPECT_TRUE(row.texts[ColSendResult].contains("MsgId:"));
            reached.insert(row.texts[ColMobile]);
            continue;
        }
        EXPECT_EQ(row.texts[ColSendCode], "-1");
        if (row.texts[ColSendResult] == big5("已中斷：閘道未回覆，可能已送出")) {
            ++cut;
            reached.insert(row.texts[ColMobile]);
            continue;
        }
        EXPECT_EQ(row.texts[ColSendResult], big5("未傳送：作業已中斷"));
        notSent.insert(row.texts[ColMobile]);
    }
    EXPECT_LE(cut, 1);
    EXPECT_EQ(reached, sentNumberSet());
    EXPECT_EQ(reached.size() + notSent.size(), 40u);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStopSignalTest, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(info.param == SIGTERM ? "Term" : "Hangup"); });

TEST_F(CliSurroundingsTest, FullStandardOutputIsAnErrorWithItsOwnExitCode) {
    const auto toFullDevice = [](QProcess& p) { p.setStandardOutputFile(QStringLiteral("/dev/full")); };
    const CliRun sent = run({"send", "--text", "hi", "--log", path("sent.log"), "0912000001"}, {}, toFullDevice);
    EXPECT_EQ(sent.exitCode, 4);
    EXPECT_TRUE(says(sent.err, QStringLiteral("無法寫出標準輸出：磁碟已滿"))) << "the reason in the program's words";
    EXPECT_EQ(readLog(path("sent.log")).size(), 1u) << "the log is saved before anything is printed";

    const CliRun csv = run({"log2csv", path("sent.log")}, {}, toFullDevice);
    EXPECT_EQ(csv.exitCode, 4);
    EXPECT_TRUE(csv.err.contains(QStringLiteral("無法寫出標準輸出")));
    EXPECT_EQ(run({"--help"}, {}, toFullDevice).exitCode, 4);
}

TEST_F(CliSurroundingsTest, DamagedLogIsNotReplacedThroughALinkOrAnotherSpellingOfItsPath) {
    ASSERT_EQ(run({"send", "--text", "hi", "--log", path("whole.log"), "0912000001", "0912000002"}).exitCode, 0);
    const QByteArray whole = readBytes("whole.log");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    const struct {
        QByteArray bytes;
        const char* said;
    } damaged[] = {{whole.chopped(10), "傳送紀錄檔案不完整：僅讀入 1 筆（檔案標示 2 筆）。"},
                   {whole + "tail", "傳送紀錄檔案已損壞（結尾多出 4 位元組無法辨識的資料），已讀入 2 筆。"}};
    for (const auto& d : damaged) {
        writeFile("bad.log", d.bytes);
        QFile::remove(path("link.log"));
        ASSERT_TRUE(QFile::link(path("bad.log"), path("link.log")));
        for (const QString& out : {QString(), path("link.log"), path("sub/../bad.log"), path("./bad.log")}) {
            QStringList args = textList({"query", "--log", path("bad.log")});
            if (!out.isEmpty())
                args += textList({"--out", out});
            const CliRun r = run(args);
            EXPECT_EQ(r.exitCode, 1) << out.toStdString();
            EXPECT_TRUE(says(r.err, QString::fromUtf8(d.said)));
            EXPECT_TRUE(says(r.err, QStringLiteral("的傳送紀錄檔不會被覆寫")));
            EXPECT_EQ(readBytes("bad.log"), d.bytes);
            EXPECT_TRUE(QFileInfo(path("link.log")).isSymLink());
        }
        EXPECT_EQ(run({"query", "--log", path("bad.log"), "--out", path("elsewhere.log")}).exitCode, 0);
        const CliRun csv = run({"log2csv", path("bad.log")});
        EXPECT_EQ(csv.exitCode, 2);
        EXPECT_TRUE(says(csv.err, QString::fromUtf8(d.said)));
    }
}

TEST_F(CliSurroundingsTest, RelativeLogFolderIsUnderTheStartFolderWhereverTheCommandIsTyped) {
    m_dir.config().edit([](sConfig& c) { putField(c.logFiles, QByteArray("relative-logs")); });
    ASSERT_TRUE(WriteConfig(m_dir.config()));
    QTemporaryDir elsewhere;
    const auto typedElsewhere = [&elsewhere](QProcess& p) { p.setWorkingDirectory(elsewhere.path()); };
    const CliRun r = run({"send", "--text", "hi", "0912000001"}, {}, typedElsewhere);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QDir logs(path("relative-logs"));
    EXPECT_EQ(logs.entryList({QStringLiteral("*.log")}).size(), 1);
    EXPECT_EQ(logs.entryList({QStringLiteral("*.dbg")}).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(QDir(elsewhere.path()).filePath(QStringLiteral("relative-logs"))));
}

struct BadInput {
    const char* name;
    QByteArray bytes;
    bool asList;
    bool big5;
    const char* message;
};

class CliBadInputTest : public CliSurroundingsTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(CliBadInputTest, FileThatIsNotTextInItsEncodingIsRefusedByLine) {
    const BadInput& c = GetParam();
    writeFile("input.txt", c.bytes);
    QStringList args{QStringLiteral("send")};
    args += c.asList ? textList({"--text", "hi", "--list", path("input.txt")})
                     : textList({"--text-file", path("input.txt"), "0912000001"});
    if (c.big5)
        args += QStringLiteral("--big5");
    const CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(says(r.err, QString::fromUtf8(c.message)));
    EXPECT_EQ(sendRequests(), 0);
    EXPECT_TRUE(QDir(path("logfiles")).entryList({QStringLiteral("*.log")}).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliBadInputTest,
    ::testing::Values(
        BadInput{"Big5TextWithBytesOutsideBig5", "\x80\x80\xFF\xFF", false, true, "第 1 行不是 Big5 文字"},
        BadInput{"Big5ListWithACutCharacter", "0912000001\r\n0912000002 ok\r\n0912000003 \xA4\r\n", true, true,
                 "第 3 行不是 Big5 文字"},
        BadInput{"Big5ListWithAnUnassignedCode", "0912000001 \xA3\xC0\n", true, true, "第 1 行不是 Big5 文字"},
        BadInput{"Utf8ListWithBig5Bytes", "0912000001\n0912000002 \xA4\xA4\n", true, false, "第 2 行不是 UTF-8 文字"},
        BadInput{"Utf8ListWithANulInsideANumber", QByteArray("0912000001\n0912") + '\0' + "000002 hi\n", true, false,
                 "發訊名單第 2 行含有空字元"},
        BadInput{"Big5ListWithANulInsideANumber", QByteArray("0912000001\r\n0912000002\r\n0912") + '\0' + "3", true,
                 true, "發訊名單第 3 行含有空字元"},
        BadInput{"TextLongerThanAnyMessage", QByteArray(8 * 1024 + 1, 'a'), false, false, "超過 8 KB"},
        // A NUL is a character of either encoding that no message may hold, named as any control character is.
        BadInput{"Utf8TextWithANul", QByteArray("hi") + '\0' + "there", false, false,
                 "訊息內容的第 3 個字是看不見的控制字元（U+0000），手機無法顯示"},
        BadInput{"Big5TextWithANul", QByteArray("\xA4\xA4\n") + '\0', false, true,
                 "訊息內容的第 3 個字是看不見的控制字元（U+0000）"},
        BadInput{"Utf8TextWithANulOnALineNotUtf8", QByteArray("ok\n\xA4\xA4") + '\0', false, false,
                 "第 2 行不是 UTF-8 文字"},
        BadInput{"Utf8ListWithAnEscapeInARowsText", "0912000001 ok\n0912000002 hi\x1b[0m\n", true, false,
                 "發訊名單第 2 行有看不見的控制字元（U+001B），手機無法顯示，請刪除後再傳送。"},
        BadInput{"Big5ListWithAControlCharacter", "0912000001 \xA4\xA4\x01\xA4\xA4\r\n", true, true,
                 "發訊名單第 1 行有看不見的控制字元（U+0001）"},
        BadInput{"Utf8ListWithAC1Control", "0912000001 \xC2\x80\n", true, false,
                 "發訊名單第 1 行有看不見的控制字元（U+0080）"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every input is opened without waiting and must be a regular file: a pipe nobody writes would hold the
// program for ever (a run that does not end fails), a device could give bytes without end. Every message about
// a file that could not be read or written names the system's reason on a line of its own: a path through a
// plain file ("plain/child") fails as "not a folder" and a missing one as missing, whoever runs the tests (root
// is not stopped by permissions).
TEST_F(CliSurroundingsTest, FilesThatCannotBeUsedAreRefusedAtOnceWithTheirReason) {
    const QString pipe = path("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QTemporaryDir other;
    const QString config = QDir(other.path()).filePath(QStringLiteral("NorviSMSAp.cfg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(config).constData(), 0600), 0);
    writeFile("plain", "x");
    writeFile("people.csv", "名稱,行動電話\r\nAnn,0912345678\r\n");
    ASSERT_EQ(run({"send", "--text", "hi", "--log", path("sent.log"), "0912000001"}).exitCode, 0);
    const int sent = sendRequests();

    const auto notRegular = [](const QString& file, const char* what) {
        return QString(QStringLiteral("無法讀取檔案 ") + file + QStringLiteral("：這是") + QString::fromUtf8(what));
    };
    const QString isPipe = notRegular(pipe, "具名管道，不是一般檔案");
    const QString notAFolder = QStringLiteral("\n路徑中有一段不是目錄\n");
    const QString missing = QStringLiteral("\n檔案或目錄不存在\n");
    const QString child = path("plain/child");
    const QString gone = path("missing.log");
    const QString exportTo = path("no-folder/out.csv");
    const auto unread = [](const QString& file, const QString& reason) {
        return QString(QStringLiteral("無法讀取檔案：") + file + reason);
    };
    const auto logUnread = [](const QString& file, const QString& reason) {
        return QString(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + file + reason);
    };
    runSteps({
        {textList({"send", "--text", "hi", "--list", pipe}), 1, {isPipe}},
        {textList({"send", "--text-file", pipe, "0912000001"}), 1, {isPipe}},
        {textList({"send", "--text", "hi", "--list", m_dir.path()}), 1, {notRegular(m_dir.path(), "資料夾")}},
        {textList({"send", "--text-file", "/dev/zero", "0912000001"}),
         1,
         {notRegular(QStringLiteral("/dev/zero"), "字元裝置")}},
        {textList({"book", "import", pipe}), 1, {isPipe}},
        {textList({"query", "--log", pipe}), 1, {isPipe}},
        {textList({"log2csv", pipe}), 1, {isPipe}},
        // A pipe standing for the configuration is said as such under the usual line.
        {textList({"-C", other.path(), "send", "--text", "hi", "0912000001"}),
         1,
         {QString(QStringLiteral("讀取設定檔錯誤，請重新執行設定功能\n") +
                  notRegular(config, "具名管道，不是一般檔案"))}},
        {textList({"send", "--text-file", child, "0912345678"}), 1, {unread(child, notAFolder)}},
        {textList({"send", "--text", "hi", "--list", gone, "0912345678"}), 1, {unread(gone, missing)}},
        {textList({"send", "--text", "hi", "--list", child}), 1, {unread(child, notAFolder)}},
        {textList({"log2csv", gone}), 1, {logUnread(gone, missing)}},
        {textList({"report", "--log", child}), 1, {logUnread(child, notAFolder)}},
        {textList({"resend", "--log", gone}), 1, {logUnread(gone, missing)}},
        {textList({"finish", gone, "--out", path("done.log")}), 1, {logUnread(gone, missing)}},
        {textList({"book", "import", child}),
         1,
         {QString(QStringLiteral("匯入檔") + child + QStringLiteral("無法讀取，沒有匯入任何資料。") + notAFolder)}},
        {textList({"book", "export", exportTo}),
         1,
         {QString(QStringLiteral("匯出檔") + exportTo + QStringLiteral("開啟失敗\n無法建立暫存檔 ") + exportTo +
                  QStringLiteral("：") + missing.mid(1))}},
        // An address book that cannot be replaced leaves the import unsaved: here the book's name is a link
        // into a path through a plain file.
        {textList({"book", "import", path("people.csv")}),
         3,
         {QString(QStringLiteral("寫入通訊錄檔案失敗！\n無法建立暫存檔 ") + child + QStringLiteral("：") +
                  notAFolder.mid(1))},
         {},
         -1,
         {},
         {},
         [this] { ASSERT_TRUE(QFile::link(path("plain/child"), path("AddressBook.bin"))); }},
    });
    EXPECT_EQ(sendRequests(), sent);
    EXPECT_TRUE(test::isFifo(pipe));
}

// A cut configuration would send with a zero port or an empty password: it is refused like a missing one,
// before anything is sent or made.
TEST_F(CliSurroundingsTest, CutConfigurationIsRefusedWithItsSizeAndNothingIsMade) {
    const QByteArray whole = readBytes("NorviSMSAp.cfg");
    ASSERT_EQ(whole.size(), 328);
    for (const int size : {0, 10, 164}) {
        writeFile("NorviSMSAp.cfg", whole.left(size));
        const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        const CliRun r = run({"send", "--text", "hi", "--log", path("cut.log"), "0912000001"});
        EXPECT_EQ(r.exitCode, 1) << size;
        EXPECT_TRUE(
            r.err.contains(QStringLiteral("讀取設定檔錯誤，請重新執行設定功能\n設定檔不完整（%1 位元組）").arg(size)))
            << r.err.toStdString();
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before) << size;
        EXPECT_EQ(readBytes("NorviSMSAp.cfg").size(), size);
    }
    // A whole file with a port no gateway listens on (edited by hand) is named instead of failing every send.
    writeFile("NorviSMSAp.cfg", QByteArray(whole).replace(284, 4, QByteArray(4, '\xff')));
    const CliRun r = run({"send", "--text", "hi", "--log", path("cut.log"), "0912000001"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("設定檔的 Gateway PORT 不正確（-1），必須是 1 到 65535 之間的整數")))
        << r.err.toStdString();
    EXPECT_EQ(sendRequests(), 0);
}

// The lock files and the day's operation log are written in place: a link planted at one of their names
// (or a pipe) is refused, named, and the file it leads to keeps every byte.
TEST_F(CliSurroundingsTest, LinksPlantedAtLockFilesAndTheOperationLogAreRefusedAndTheirTargetsKept) {
    ASSERT_EQ(run({"send", "--text", "hi", "--log", path("kept.log"), "0912000001"}).exitCode, 0);
    writeFile("in.csv", "Lin,0933000001,x\r\n");
    const QString dbg =
        QDir(path("logfiles"))
            .filePath(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".dbg"));
    const QByteArray precious("precious bytes\n");
    const struct {
        QString planted;
        QStringList args;
    } places[] = {
        {path("new.log.lock"), textList({"send", "--text", "hi", "--append", "--log", path("new.log"), "0912000002"})},
        {path("kept.log.lock"), textList({"query", "--log", path("kept.log")})},
        {path("AddressBook.bin.lock"), textList({"book", "import", path("in.csv")})},
        {dbg, textList({"send", "--text", "hi", "--append", "--log", path("dbg.log"), "0912000003"})},
    };
    enum Plant { SymbolicLink, DanglingLink, HardLink, Pipe };
    for (const auto& place : places) {
        for (const Plant plant : {SymbolicLink, DanglingLink, HardLink, Pipe}) {
            const QByteArray name = QFile::encodeName(place.planted);
            writeFile("victim", precious);
            QFile::remove(path("nowhere"));
            ::unlink(name.constData());
            const QByteArray victim = QFile::encodeName(path("victim"));
            const QByteArray nowhere = QFile::encodeName(path("nowhere"));
            const int made = plant == SymbolicLink   ? ::symlink(victim.constData(), name.constData())
                             : plant == DanglingLink ? ::symlink(nowhere.constData(), name.constData())
                             : plant == HardLink     ? ::link(victim.constData(), name.constData())
                                                     : ::mkfifo(name.constData(), 0600);
            ASSERT_EQ(made, 0) << name.constData();
            const CliRun r = run(place.args);
            const std::string what = place.planted.toStdString() + " #" + std::to_string(plant);
            EXPECT_TRUE(r.err.contains(place.planted + QStringLiteral("：這")) &&
                        r.err.contains(QStringLiteral("不會寫入它")))
                << what << "\n"
                << r.err.toStdString();
            EXPECT_EQ(readBytes("victim"), precious) << what;
            EXPECT_FALSE(QFileInfo::exists(path("nowhere"))) << what;
        }
        ::unlink(QFile::encodeName(place.planted).constData());
    }
}

// The password goes to the gateway and into NorviSMSAp.cfg, nowhere else: not into a message, not into the
// day's operation log, not into a send log, whatever the gateway answers.
TEST_F(CliSurroundingsTest, PasswordNeverReachesAMessageOrALog) {
    const QByteArray password("Qz7-unmistakable");
    for (const QByteArray& pw : {password, QByteArray("demo")}) {
        writeConfig(pw);
        QString said;
        for (const QStringList& args :
             {textList({"login-test"}),
              textList({"send", "--text", "hi", "--append", "--log", path("pw.log"), "0912000001"}),
              textList({"query", "--log", path("pw.log")})}) {
            const CliRun r = run(args);
            said += r.out + r.err;
        }
        EXPECT_TRUE(saysNot(said, QString::fromLatin1(password)));
    }
    EXPECT_GT(sendRequests(), 0) << "the right password was let in";
    for (const QFileInfo& file : QDir(path("logfiles")).entryInfoList(QDir::Files) +
                                     QDir(m_dir.path()).entryInfoList({QStringLiteral("*.log")})) {
        QFile f(file.filePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(f.readAll().contains(password)) << file.filePath().toStdString();
    }
}

} // namespace
} // namespace norvi
