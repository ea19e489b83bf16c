// norvi-cli killed with SIGKILL while it writes a large send log over the old one, again and again: the
// file is each time the old one or the new one, byte for byte; what the killed run was writing is left as
// an unfinished log of every row, which the next run names with the command that finishes it, and does not
// start before; the next run leaves nothing behind itself.

#include "support/CliFixture.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/SaveFile.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>

#include <iterator>

namespace norvi {
namespace {

constexpr int kRows = 10000; // a 5.6 MB file: the save takes long enough to be hit
// How much of the new file is written when each kill comes: from its first bytes to past its rename (above 1).
constexpr double kKillAtShare[] = {0, 0.001, 0.1, 0.5, 0.95, 2};

class CliCrashTest : public test::CliTest {
protected:
    void writeBigLog() {
        LogFileWriter writer(path("big.log"));
        ASSERT_TRUE(writer.open(kRows));
        for (int i = 0; i < kRows; ++i) {
            SendLogRow row;
            row.texts[ColMobile] = "09" + QByteArray::number(10000000 + i);
            row.texts[ColSendTime] = "20240301093000";
            row.texts[ColSendCode] = "0";
            row.texts[ColSendResult] = "ok(MsgId:NV" + QByteArray::number(i) + ")";
            row.texts[ColContent] = QByteArray(150, 'x');
            writer.write(row);
        }
        ASSERT_TRUE(writer.commit());
    }

    QStringList leftovers() const {
        return QDir(m_dir.path()).entryList({QStringLiteral("big.log.*.partial")}, QDir::Files | QDir::Hidden);
    }

    // Starts a query of row 0, which saves the whole log in place at its end.
    void startQuery(QProcess& process) const {
        startCli(process, test::textList({"query", "--log", path("big.log"), "--rows", "0"}));
    }
};

TEST_F(CliCrashTest, KilledDuringALargeSaveLeavesTheOldOrTheNewFileAndTheNextRunCleansUp) {
    writeBigLog();
    const QByteArray old = readBytes("big.log");
    ASSERT_EQ(old.size(), 4 + kRows * 556);
    // The new file, from a run that is not disturbed.
    ASSERT_EQ(run({"query", "--log", path("big.log"), "--rows", "0"}).exitCode, 0);
    const QByteArray fresh = readBytes("big.log");
    ASSERT_EQ(fresh.size(), old.size());
    ASSERT_NE(fresh, old);

    int midSave = 0;
    int oldAfter = 0;
    int newAfter = 0;
    for (std::size_t i = 0; i < std::size(kKillAtShare); ++i) {
        SCOPED_TRACE(i);
        writeFile("big.log", old);
        // Kill once the writing has begun (its file is there), later each time: the folder and then the file
        // being written tell of each change as it happens.
        const QStringList before = leftovers();
        QFileSystemWatcher watcher({m_dir.path()});
        QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
        QSignalSpy grown(&watcher, &QFileSystemWatcher::fileChanged);
        QProcess process;
        startQuery(process);
        const auto writing = [&] {
            for (const QString& name : leftovers())
                if (!before.contains(name))
                    return path(name);
            return QString();
        };
        const auto ended = [&] { return process.state() == QProcess::NotRunning; };
        QDeadlineTimer deadline(20000);
        while (writing().isEmpty() && !ended() && !deadline.hasExpired())
            changed.wait(100);
        const QString file = writing();
        if (!file.isEmpty())
            watcher.addPath(file);
        const auto reached = [&] {
            if (ended() || writing().isEmpty())
                return true; // past the rename
            return kKillAtShare[i] <= 1 && QFileInfo(file).size() >= kKillAtShare[i] * old.size();
        };
        while (!reached() && !deadline.hasExpired())
            grown.wait(100);
        const bool saving = leftovers() != before;
        process.kill();
        ASSERT_TRUE(process.waitForFinished(10000));

        const QByteArray after = readBytes("big.log");
        EXPECT_TRUE(after == old || after == fresh) << "a mix of " << after.size() << " bytes";
        oldAfter += after == old ? 1 : 0;
        newAfter += after == fresh ? 1 : 0;
        midSave += saving && after == old ? 1 : 0;
        // What the killed run was writing: every row it had, whole, and marked unfinished, unless the kill
        // came after its count was written and before the rename (then the file is whole). A kill between
        // creating the file and writing its count leaves fewer bytes than a count, and no row.
        for (const QString& name : leftovers()) {
            LogFileReader reader(path(name));
            if (QFileInfo(path(name)).size() < 4)
                continue;
            ASSERT_TRUE(reader.open());
            if (reader.unfinished())
                EXPECT_LE(reader.available(), kRows);
            else
                EXPECT_EQ(reader.available(), kRows);
        }

        // The next run does not start while what the killed one left is unfinished: it names it with the
        // command that finishes it, which leaves the old file or the new one, and then the run goes.
        const QStringList left = leftovers();
        if (!left.isEmpty()) {
            const test::CliRun refused = run({"query", "--log", path("big.log"), "--rows", "0"});
            EXPECT_EQ(refused.exitCode, 1) << refused.err.toStdString();
            EXPECT_EQ(readBytes("big.log"), after);
            for (const QString& name : left) {
                EXPECT_TRUE(test::says(refused.err, name));
                EXPECT_EQ(run({"finish", path(name)}).exitCode, 0);
            }
            const QByteArray finished = readBytes("big.log");
            EXPECT_TRUE(finished == old || finished == fresh) << "a mix of " << finished.size() << " bytes";
            EXPECT_TRUE(leftovers().isEmpty());
        }
        const test::CliRun next = run({"query", "--log", path("big.log"), "--rows", "0"});
        EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
        EXPECT_EQ(readBytes("big.log"), fresh);
        EXPECT_TRUE(leftovers().isEmpty());
        EXPECT_TRUE(QDir(m_dir.path())
                        .entryList({SaveFile::temporaryPrefix(QStringLiteral("big.log")) + QLatin1Char('*')},
                                   QDir::Files | QDir::Hidden)
                        .isEmpty());
    }
    RecordProperty("killed_mid_save", midSave);
    RecordProperty("old_after_kill", oldAfter);
    RecordProperty("new_after_kill", newAfter);
    EXPECT_GE(midSave, 1) << "at least one kill landed while the file was being written";
}

} // namespace
} // namespace norvi
