#include "core/shared/OpLog.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace norvi;

namespace {

class OpLog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        SetOpLogFolder(m_dir.path());
    }

    QByteArray dayFile(const char* yyyymmdd) const {
        QFile f(m_dir.filePath(QString::fromLatin1(yyyymmdd) + QStringLiteral(".dbg")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

TEST_F(OpLog, LineIsStampedAndEndsInCrLfAlsoInsideAMultiLineText) {
    Clock::setFixed(at(2024, 3, 5, 9, 7, 2));
    WriteOpLog(big5("傳送執行緒1 start"));
    WriteOpLog("one\ntwo\r\nthree");
    EXPECT_EQ(dayFile("20240305"),
              big5("2024/03/05 09:07:02  傳送執行緒1 start\r\n") + "2024/03/05 09:07:02  one\r\ntwo\r\nthree\r\n");
}

TEST_F(OpLog, LinesEitherSideOfMidnightLandInTheFilesOfTheirOwnDates) {
    Clock::setFixed(at(2024, 1, 31, 23, 59, 59, 900));
    WriteOpLog("last of January");
    Clock::setFixed(at(2024, 2, 1, 0, 0, 0, 100));
    WriteOpLog("first of February");
    EXPECT_EQ(dayFile("20240131"), QByteArray("2024/01/31 23:59:59  last of January\r\n"));
    EXPECT_EQ(dayFile("20240201"), QByteArray("2024/02/01 00:00:00  first of February\r\n"));
}

TEST_F(OpLog, LinesAreAppendedToWhatTheFileAlreadyHolds) {
    Clock::setFixed(at(2024, 6, 1, 12, 0, 0));
    {
        QFile f(m_dir.filePath(QStringLiteral("20240601.dbg")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier run\r\n");
    }
    WriteOpLog("later run");
    EXPECT_EQ(dayFile("20240601"), QByteArray("earlier run\r\n2024/06/01 12:00:00  later run\r\n"));
}

TEST_F(OpLog, ThreadsWritingAtOnceLeaveOnlyCompleteLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 400;
    Clock::setFixed(at(2024, 7, 8, 10, 0, 0));
    auto writer = [](int id) {
        const QByteArray body = QByteArray(120, char('a' + id));
        for (int i = 0; i < kLines; ++i)
            WriteOpLog(QByteArray::number(id) + ":" + QByteArray::number(i) + ":" + body);
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id)
        threads.emplace_back(writer, id);
    for (std::thread& t : threads)
        t.join();

    const QByteArray all = dayFile("20240708");
    QList<QByteArray> lines = all.split('\n');
    ASSERT_TRUE(lines.last().isEmpty()); // the file ends with a line end
    lines.removeLast();
    ASSERT_EQ(lines.size(), kThreads * kLines);
    const QRegularExpression shape(QStringLiteral("^2024/07/08 10:00:00  (\\d):(\\d+):([a-z]{120})\\r$"));
    std::set<std::pair<int, int>> seen;
    for (const QByteArray& line : lines) {
        const auto m = shape.match(QString::fromLatin1(line));
        ASSERT_TRUE(m.hasMatch()) << line.constData();
        const int id = m.captured(1).toInt();
        EXPECT_EQ(m.captured(3), QString(120, QLatin1Char(char('a' + id))));
        seen.insert({id, m.captured(2).toInt()});
    }
    EXPECT_EQ(seen.size(), size_t(kThreads * kLines));
}

// A folder that is gone is not made anew (the user chose it) and its failure is said; with no folder
// configured there is nowhere to write and nothing to say.
TEST_F(OpLog, NoLineIsWrittenWhenTheFolderIsMissingOrNotConfigured) {
    QStringList said;
    SetOpLogFailureReporter([&said](const QString& text) { said.append(text); });
    Clock::setFixed(at(2024, 1, 2, 3, 4, 5));
    SetOpLogFolder(m_dir.filePath(QStringLiteral("gone")));
    WriteOpLog("nowhere to go");
    EXPECT_FALSE(QDir(m_dir.filePath(QStringLiteral("gone"))).exists());
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.first().contains(QStringLiteral("gone/20240102.dbg"))) << said.first().toStdString();

    SetOpLogFolder(QString());
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    WriteOpLog("no folder configured");
    QDir::setCurrent(cwd);
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(said.size(), 1);
}

TEST_F(OpLog, MessageAreaGetsTheStampedTextWithPlainLineBreaks) {
    QStringList shown;
    SetMessageAreaSink([&shown](const QString& line) { shown << line; });
    Clock::setFixed(at(2024, 12, 25, 18, 30, 0));
    ShowMsgLine(big5("狀態：完成\r\n完成：1 / 1(100%)"));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.first(), QStringLiteral("2024/12/25 18:30:00  狀態：完成\n完成：1 / 1(100%)"));
    EXPECT_EQ(StampedLine(QStringLiteral("x")), QStringLiteral("2024/12/25 18:30:00  x"));

    SetMessageAreaSink(nullptr);
    ShowMsgLine("nobody listens"); // must not crash
    EXPECT_EQ(shown.size(), 1);
    ShowMessageAreaLines({QStringLiteral("nobody")});

    // A worker's line is stamped when said; lines shown together reach a batch sink in one call, else the
    // line sink one by one.
    const QString said = MessageAreaLine(big5("拒收\r\n第二行"));
    EXPECT_EQ(said, QStringLiteral("2024/12/25 18:30:00  拒收\n第二行"));
    SetMessageAreaSink([&shown](const QString& line) { shown << line; });
    ShowMessageAreaLines({said, QStringLiteral("b")});
    EXPECT_EQ(shown.mid(1), (QStringList{said, QStringLiteral("b")}));
    QList<QStringList> batches;
    SetMessageAreaBatchSink([&batches](const QStringList& lines) { batches << lines; });
    ShowMessageAreaLines({said, QStringLiteral("b")});
    ShowMessageAreaLines({});
    SetMessageAreaBatchSink(nullptr);
    SetMessageAreaSink(nullptr);
    EXPECT_EQ(batches, QList<QStringList>{(QStringList{said, QStringLiteral("b")})});
    EXPECT_EQ(shown.size(), 3);
}

// A line that does not fit on the disk is dropped whole, never left cut for the next line to join; a
// failed write is said once, and again only after a line was written in between.
TEST_F(OpLog, AFailedWriteDropsTheLineWholeAndIsSaidOnce) {
    QStringList said;
    SetOpLogFailureReporter([&said](const QString& text) { said.append(text); });
    Clock::setFixed(at(2024, 3, 5, 9, 7, 2));
    // A log folder that is a file: nothing can be opened in it.
    const QString notFolder = m_dir.filePath(QStringLiteral("plain"));
    QFile(notFolder).open(QIODevice::WriteOnly);
    SetOpLogFolder(notFolder);
    WriteOpLog("one");
    WriteOpLog("two");
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.first().contains(QStringLiteral("無法寫入運作記錄檔"))) << said.first().toStdString();
    SetOpLogFolder(m_dir.path());
    WriteOpLog("three");
    EXPECT_EQ(said.size(), 1);

    // A disk that fills up in the middle of a line (a small tmpfs, when this runs as root).
    const QString disk = m_dir.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(disk));
    if (::geteuid() != 0 || ::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=8k") != 0) {
        SetOpLogFailureReporter(nullptr);
        GTEST_SKIP() << "a full disk needs a tmpfs (root)";
    }
    SetOpLogFolder(disk);
    WriteOpLog("first");
    WriteOpLog(QByteArray(10000, 'x')); // more than the disk has left
    WriteOpLog("last");
    QFile dbg(disk + QStringLiteral("/20240305.dbg"));
    ASSERT_TRUE(dbg.open(QIODevice::ReadOnly));
    const QByteArray written = dbg.readAll();
    dbg.close();
    ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
    SetOpLogFailureReporter(nullptr);
    EXPECT_EQ(written, "2024/03/05 09:07:02  first\r\n2024/03/05 09:07:02  last\r\n");
    EXPECT_EQ(said.size(), 2);
}
