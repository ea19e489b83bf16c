// The send log written as rows come: a file of its own with the count -1, one write per row, syncs
// batched, the count and the rename at the end; what a reader makes of it at every point; failures.
#include "core/sendlog/LogStream.h"
#include "support/FileBytes.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace norvi;
using norvi::test::readAll;
using norvi::test::writeAll;

namespace {

SendLogRow row(int i) {
    SendLogRow r;
    r.texts[ColName] = big5("王小明");
    r.texts[ColMobile] = "09120" + QByteArray::number(10000 + i);
    r.texts[ColSendTime] = "20240301093000";
    r.texts[ColSendCode] = "0";
    r.texts[ColSendResult] = big5("訊息已成功送出(MsgId:NV") + QByteArray::number(i) + ")";
    r.texts[ColContent] = big5("今晚七點開會");
    r.image = ImageTyped;
    return r;
}

qint32 countOf(const QByteArray& bytes) {
    qint32 le = 0;
    std::memcpy(&le, bytes.constData(), sizeof le);
    return qFromLittleEndian(le);
}

struct Read {
    std::vector<SendLogRow> rows;
    bool unfinished = false;
    bool damaged = false;
    QString message;
};

Read readStreamLog(const QString& path) {
    Read r;
    LogFileReader reader(path);
    if (!reader.open())
        return r;
    SendLogRow one;
    while (reader.next(one))
        r.rows.push_back(one);
    r.unfinished = reader.unfinished();
    r.damaged = reader.damaged();
    r.message = reader.damageMessage();
    return r;
}

class LogStreamTest : public ::testing::Test {
protected:
    void TearDown() override { LogStream::clearFaultForTest(); }
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(LogStreamTest, RowsAreReadableAsTheyComeAndTheFinishedFileIsWhatAWholeSaveWrites) {
    LogStream stream;
    ASSERT_TRUE(stream.create(path("run.partial")));
    EXPECT_EQ(readAll(path("run.partial")).size(), 4);
    EXPECT_EQ(countOf(readAll(path("run.partial"))), -1);
    ASSERT_TRUE(stream.sync());
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(stream.append(row(i)));
        // Each row is in the file at once, whole: a reader takes every one and says the file is unfinished.
        const Read now = readStreamLog(path("run.partial"));
        ASSERT_EQ(now.rows.size(), std::size_t(i + 1));
        EXPECT_EQ(now.rows.back().texts, row(i).texts);
        EXPECT_TRUE(now.unfinished);
        EXPECT_TRUE(now.damaged);
        EXPECT_TRUE(now.message.contains(QStringLiteral("尚未完成"))) << now.message.toStdString();
        EXPECT_TRUE(now.message.contains(QStringLiteral("已讀入 %1 筆").arg(i + 1))) << now.message.toStdString();
    }
    ASSERT_TRUE(stream.finish(path("run.log")));
    EXPECT_FALSE(QFileInfo::exists(path("run.partial")));
    EXPECT_FALSE(stream.isOpen());

    LogFileWriter whole(path("whole.log"));
    ASSERT_TRUE(whole.open(5));
    for (int i = 0; i < 5; ++i)
        whole.write(row(i));
    ASSERT_TRUE(whole.commit());
    EXPECT_EQ(readAll(path("run.log")), readAll(path("whole.log")));
    const Read done = readStreamLog(path("run.log"));
    EXPECT_FALSE(done.damaged);
    EXPECT_EQ(done.rows.size(), 5u);
}

TEST_F(LogStreamTest, StartsOnlyUnderANewNameAndKeepsItLockedWhileOpen) {
    writeAll(path("taken"), "x");
    LogStream taken;
    EXPECT_FALSE(taken.create(path("taken")));
    EXPECT_TRUE(taken.errorString().contains(QStringLiteral("檔案已存在"))) << taken.errorString().toStdString();
    EXPECT_EQ(readAll(path("taken")), "x");

    LogStream stream;
    ASSERT_TRUE(stream.create(path("mine.partial")));
    const int fd = ::open(QFile::encodeName(path("mine.partial")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_SH | LOCK_NB), 0) << "a live writer's file is locked";
    stream.close();
    EXPECT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0) << "a file left behind is not";
    ::close(fd);
    // Closed without finishing, as a crash leaves it: the count -1 and its rows.
    EXPECT_EQ(countOf(readAll(path("mine.partial"))), -1);
}

TEST_F(LogStreamTest, HeadRowsRewritesAndAppendsKeepTheirPlaces) {
    LogStream stream;
    ASSERT_TRUE(stream.create(path("q.partial")));
    std::vector<SendLogRow> head;
    for (int i = 0; i < 600; ++i)
        head.push_back(row(i));
    ASSERT_TRUE(stream.appendRows(head));
    SendLogRow answered = row(7);
    answered.texts[ColQueryCode] = "1";
    answered.texts[ColQueryResult] = big5("已送達");
    ASSERT_TRUE(stream.rewrite(7, answered));
    EXPECT_FALSE(stream.rewrite(600, answered)) << "only rows already in the file";
    ASSERT_TRUE(stream.append(row(600)));
    const Read r = readStreamLog(path("q.partial"));
    ASSERT_EQ(r.rows.size(), 601u);
    EXPECT_EQ(r.rows[7].texts, answered.texts);
    EXPECT_EQ(r.rows[8].texts, row(8).texts);
    EXPECT_EQ(r.rows[600].texts, row(600).texts);
    ASSERT_TRUE(stream.finishInPlace());
    EXPECT_EQ(countOf(readAll(path("q.partial"))), 601);
}

TEST_F(LogStreamTest, ManyRowsShareADiskSyncAndAnIdleStreamNone) {
    LogStream stream(std::chrono::milliseconds(100));
    ASSERT_TRUE(stream.create(path("s.partial")));
    const qint64 before = stream.syncCount();
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(stream.append(row(i)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return stream.syncCount() > before; }, 5000)) << "the rows reached the disk";
    // A sync that began while rows were still coming leaves the last ones to the next: on a slow machine
    // (the sanitizer builds) that one comes after the first was seen. Idle means no sync for two intervals.
    qint64 idle = stream.syncCount();
    for (int turn = 0; turn < 10 && QTest::qWaitFor([&] { return stream.syncCount() != idle; }, 250); ++turn)
        idle = stream.syncCount();
    EXPECT_LE(idle - before, 5) << "not one sync per row";
    EXPECT_FALSE(QTest::qWaitFor([&] { return stream.syncCount() != idle; }, 300)) << "no rows, no syncs";
    ASSERT_TRUE(stream.finish(path("s.log")));
}

TEST_F(LogStreamTest, AFullDiskStopsTheStreamWithWholeRecordsAndSaysSo) {
    LogStream stream;
    ASSERT_TRUE(stream.create(path("f.partial")));
    ASSERT_TRUE(stream.append(row(0)));
    ASSERT_TRUE(stream.append(row(1)));
    LogStream::failAtForTest(LogStream::Step::Write, 1); // half a record goes in, then the disk is full
    EXPECT_FALSE(stream.append(row(2)));
    EXPECT_TRUE(stream.failed());
    EXPECT_TRUE(stream.errorString().contains(QStringLiteral("磁碟已滿"))) << stream.errorString().toStdString();
    EXPECT_FALSE(stream.append(row(3))) << "nothing more is written once it failed";
    EXPECT_EQ(readAll(path("f.partial")).size(), 4 + 2 * 556) << "the half record is taken back";
    EXPECT_FALSE(stream.finish(path("f.log")));
    EXPECT_FALSE(QFileInfo::exists(path("f.log")));
    EXPECT_EQ(readStreamLog(path("f.partial")).rows.size(), 2u) << "what was written stays, unfinished";
}

TEST_F(LogStreamTest, FailuresToStartToSyncOrToRenameAreReportedAndLeaveTheTargetAlone) {
    struct Case {
        LogStream::Step step;
        const char* said;
    } cases[] = {{LogStream::Step::Create, "無法建立傳送紀錄檔"},
                 {LogStream::Step::Sync, "無法寫入磁碟"},
                 {LogStream::Step::Rename, "無法以"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.step));
        QFile::remove(path("c.partial"));
        writeAll(path("c.log"), "old");
        LogStream::failAtForTest(c.step, 1);
        LogStream stream;
        bool ok = stream.create(path("c.partial"));
        if (ok) {
            ok = stream.append(row(0)) && stream.sync();
            ok = ok && stream.finish(path("c.log"));
        }
        EXPECT_FALSE(ok);
        EXPECT_TRUE(stream.errorString().contains(QString::fromUtf8(c.said))) << stream.errorString().toStdString();
        EXPECT_EQ(readAll(path("c.log")), "old");
        LogStream::clearFaultForTest();
    }
}

TEST_F(LogStreamTest, AReplacedLogKeepsItsPermissionsAndANewOneGetsTheUsualOnes) {
    writeAll(path("kept.log"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path("kept.log")).constData(), 0640), 0);
    LogStream a;
    ASSERT_TRUE(a.create(path("a.partial")));
    ASSERT_TRUE(a.finish(path("kept.log")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path("kept.log")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    const mode_t mask = ::umask(022);
    LogStream b;
    ASSERT_TRUE(b.create(path("b.partial")));
    ASSERT_TRUE(b.finish(path("new.log")));
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(path("new.log")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    // A user's log that root writes back (a query run as root) stays the user's; only root can see this.
    if (::geteuid() != 0)
        return;
    ASSERT_EQ(::chown(QFile::encodeName(path("kept.log")).constData(), 65534, 65534), 0);
    LogStream c;
    ASSERT_TRUE(c.create(path("c.partial")));
    ASSERT_TRUE(c.finish(path("kept.log")));
    ASSERT_EQ(::stat(QFile::encodeName(path("kept.log")).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, uid_t(65534));
    EXPECT_EQ(st.st_gid, gid_t(65534));
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(LogStreamTest, AFileCutInsideARecordReadsItsWholeRecordsAndNamesTheCutBytes) {
    LogStream stream;
    ASSERT_TRUE(stream.create(path("cut.partial")));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stream.append(row(i)));
    stream.close();
    QFile file(path("cut.partial"));
    ASSERT_TRUE(file.resize(4 + 2 * 556 + 100));
    const Read r = readStreamLog(path("cut.partial"));
    EXPECT_EQ(r.rows.size(), 2u);
    EXPECT_TRUE(r.unfinished);
    EXPECT_TRUE(r.message.contains(QStringLiteral("最後 100 位元組"))) << r.message.toStdString();
}

TEST_F(LogStreamTest, RowsFromSeveralThreadsAreEachWholeOnce) {
    LogStream stream(std::chrono::milliseconds(5));
    ASSERT_TRUE(stream.create(path("t.partial")));
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&stream, t] {
            for (int i = 0; i < 250; ++i)
                stream.append(row(t * 1000 + i));
        });
    for (std::thread& w : writers)
        w.join();
    ASSERT_TRUE(stream.finish(path("t.log")));
    const Read r = readStreamLog(path("t.log"));
    ASSERT_EQ(r.rows.size(), 1000u);
    std::set<QByteArray> numbers;
    for (const SendLogRow& one : r.rows)
        numbers.insert(one.texts[ColMobile]);
    EXPECT_EQ(numbers.size(), 1000u);
}
