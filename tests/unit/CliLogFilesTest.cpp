// No log is replaced by a run: `send --log` refuses an existing log before it connects, `--append` keeps
// its rows in front of the run's own, `finish` never writes over a log and keeps every whole record
// whatever the count field says. Each run against the simulator in this process.
#include "support/CliFixture.h"

#include "core/shared/FileLock.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <cstdio>

namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

SendLogRow acceptedRow(int i) {
    SendLogRow row;
    row.texts[ColMobile] = "091200000" + QByteArray::number(i % 10);
    row.texts[ColSendCode] = "0";
    row.texts[ColSendResult] = "ok(MsgId:OLD" + QByteArray::number(i) + ")";
    return row;
}

// A log file as any writer may have left it: `count` in front of `rows` whole records and `cut` bytes of
// one more.
QByteArray logBytes(qint32 count, int rows, int cut = 0) {
    const qint32 le = qToLittleEndian(count);
    QByteArray bytes(reinterpret_cast<const char*>(&le), sizeof le);
    for (int i = 0; i <= rows; ++i) {
        const sLogRecord record = toLogRecord(acceptedRow(i));
        bytes.append(reinterpret_cast<const char*>(&record), i < rows ? qsizetype(sizeof record) : cut);
    }
    return bytes;
}

class CliLogFilesTest : public test::CliTest {
protected:
    QStringList partials() const { return QDir(m_dir.path()).entryList({QStringLiteral("*.partial")}, QDir::Files); }
};

// Every way a run could replace or build on a log it must not is refused before the gateway hears a
// word, the log byte for byte as it was and no partial file left.
TEST_F(CliLogFilesTest, SendRefusesToReplaceALogOrToAppendToOneThatIsNotWholeBeforeConnecting) {
    const struct {
        const char* name;
        QByteArray bytes;
        bool append;
        const char* said;
    } cases[] = {
        {"an existing log without --append", logBytes(2, 2), false, "--append"},
        {"not finished", logBytes(-7, 2), true, "norvi-cli finish"},
        {"cut", logBytes(3, 2, 100), true, "不完整"},
        {"no send log", QByteArray(4 + 556, '\x01'), true, "不是發訊紀錄檔"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("kept.log", c.bytes);
        QStringList args = textList({"send", "--text", "hi", "--log", path("kept.log"), "0912000001"});
        if (c.append)
            args << QStringLiteral("--append");
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(says(r.err, QString::fromUtf8(c.said)));
        EXPECT_EQ(readBytes("kept.log"), c.bytes);
        EXPECT_TRUE(partials().isEmpty());
    }
    const CliRun noLog = run({"send", "--text", "hi", "--append", "0912000001"});
    EXPECT_EQ(noLog.exitCode, 1);
    EXPECT_TRUE(says(noLog.err, QStringLiteral("--log")));
    EXPECT_TRUE(sim->requests().empty()) << "not even a login";
    EXPECT_EQ(sim->counts().accepted, 0);
}

// --append: the old rows are in the new partial file before the first message goes, the log stays locked
// while the run goes, and the log at the end holds the old rows, unchanged, then the new.
TEST_F(CliLogFilesTest, AppendKeepsTheOldRowsThenTheNewAndHoldsTheLogsLock) {
    const QByteArray old = logBytes(2, 2);
    writeFile("day.log", old);
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 300)); // each answer takes 0.3 s
    QProcess process;
    startCli(process,
             textList({"send", "--text", "hi", "--log", path("day.log"), "--append", "0912000001", "0912000002"}));
    waitForRequests(GwSendDomestic, 1);
    FileLock lock(path("day.log"));
    EXPECT_FALSE(lock.tryLock()) << "another run could change the log meanwhile";
    ASSERT_EQ(partials().size(), 1);
    const std::vector<SendLogRow> copied = readLog(path(partials().first()));
    ASSERT_GE(copied.size(), 2u);
    EXPECT_EQ(copied[1].texts[ColSendResult], "ok(MsgId:OLD1)");
    EXPECT_EQ(readBytes("day.log"), old) << "replaced only at the end";
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();

    const QByteArray now = readBytes("day.log");
    EXPECT_EQ(now.mid(4, old.size() - 4), old.mid(4)) << "the old records, byte for byte, first";
    const std::vector<SendLogRow> rows = readLog(path("day.log"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(qFromLittleEndian<qint32>(now.constData()), 4);
    EXPECT_EQ(rows[2].texts[ColMobile], "0912000001");
    EXPECT_EQ(rows[3].texts[ColMobile], "0912000002");
    EXPECT_TRUE(partials().isEmpty());
}

// A program that does not take the lock (the desktop's 儲存紀錄) replaces the log while a run on it goes:
// the run's end leaves that file as it was and keeps its own rows in the partial file, whatever the run.
TEST_F(CliLogFilesTest, ARunNeverReplacesALogSavedUnderItByAnotherProgram) {
    const struct {
        const char* name;
        bool existed;
        QStringList args;
    } cases[] = {
        {"query written back", true, textList({"query", "--log", "day.log"})},
        {"send --append", true,
         textList({"send", "--text", "hi", "--log", "day.log", "--append", "0912000001", "0912000002", "0912000003"})},
        {"send to a new name", false,
         textList({"send", "--text", "hi", "--log", "day.log", "0912000001", "0912000002", "0912000003"})},
    };
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 1000)); // each answer takes a second
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path("day.log"));
        for (const QString& name : partials())
            QFile::remove(path(name));
        if (c.existed)
            writeFile("day.log", logBytes(3, 3));
        const std::size_t before = sim->requests().size();
        QProcess process;
        process.setProgram(QStringLiteral(NORVI_CLI_PATH));
        process.setWorkingDirectory(m_dir.path());
        process.setArguments(QStringList{QStringLiteral("-q"), QStringLiteral("-C"), m_dir.path()} + c.args);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000));
        (void)QTest::qWaitFor([&] { return sim->requests().size() >= before + 2; }, 20000); // the login and one more
        const QByteArray saved = logBytes(1, 1);
        writeFile("saved.tmp", saved);
        ASSERT_EQ(std::rename(QFile::encodeName(path("saved.tmp")).constData(),
                              QFile::encodeName(path("day.log")).constData()),
                  0);
        ASSERT_TRUE(process.waitForFinished(30000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 3) << err.toStdString();
        EXPECT_TRUE(says(err, QStringLiteral("被其他程式變更"))) << err.toStdString();
        EXPECT_EQ(readBytes("day.log"), saved);
        EXPECT_EQ(partials().size(), 1);
    }
}

// finish takes every whole record, whatever the count field says, writes their true count, says what
// differed, and removes the partial file once the log is in place; it never writes over a log, --out or not.
TEST_F(CliLogFilesTest, FinishKeepsEveryWholeRecordWhateverTheCountAndNeverWritesOverALog) {
    const struct {
        qint32 count;
        const char* said;
    } cases[] = {{5, "筆數欄標示 5 筆，實有 10 筆"}, {0, "筆數欄標示 0 筆，實有 10 筆"}, {-7, "-7"}, {-1, "尚未完成"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const QString partial = path(QStringLiteral("run%1.log.Ab12Cd.partial").arg(c.count));
        const QString target = path(QStringLiteral("run%1.log").arg(c.count));
        test::writeAll(partial, logBytes(c.count, 10, 200));
        writeFile("other.log", "someone else's log");

        // A refused finish that lost the partial file would fail the next row.
        runSteps({{textList({"finish", partial, "--out", path("other.log")}), 1, {"已存在"}},
                  {textList({"finish", partial}), 0, {c.said, "200 位元組"}}});
        EXPECT_EQ(readBytes("other.log"), "someone else's log");
        EXPECT_EQ(test::readAll(target), logBytes(10, 10));
        EXPECT_FALSE(QFileInfo::exists(partial));
    }
}

} // namespace
} // namespace norvi
