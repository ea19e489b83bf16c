// The record of accepted messages survives: norvi-cli killed at any point of a run, stopped twice, run six
// times at once, two jobs on one log, a full disk. Each run against the simulator in this process.
#include "support/CliFixture.h"

#include "core/sendlog/LogStream.h"
#include "core/workers/StopRows.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <iterator>
#include <map>
#include <set>

namespace norvi {
namespace {

using test::CliRun;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

constexpr int kRecipients = 600;

QByteArray numberList(int count, int first = 0) {
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += "0913" + QByteArray::number(100000 + first + i) + "\n";
    return list;
}

class CliDurableTest : public test::CliTest {
protected:
    // The partial files of `target` in its folder.
    QStringList partials(const QString& target) const {
        const QFileInfo info(target);
        QStringList found;
        for (const QString& name :
             QDir(info.path()).entryList({info.fileName() + QStringLiteral(".*.partial")}, QDir::Files))
            found.append(QDir(info.path()).filePath(name));
        return found;
    }

    qint64 accepted() const { return sim->counts().accepted; }
};

// Killed with SIGKILL at many points of a run: every message the simulator accepted is in the log file
// the run left (at most the one whose answer was on its way is missing), and `finish` puts it in place.
TEST_F(CliDurableTest, KilledAnywhereInARunTheLogHoldsEveryAcceptedMessage) {
    writeFile("list.txt", numberList(kRecipients));
    // After how many accepted messages each kill comes; kAtStart as soon as the program runs, kAtItsLog as
    // soon as its log is there, and the last after a count drawn at random.
    constexpr int kAtStart = 0, kAtItsLog = -1;
    QRandomGenerator random(24);
    const int killAfter[] = {1, 2, 9, 40, 150, 420, kAtStart, kAtItsLog, int(random.bounded(1, kRecipients))};
    int checked = 0;
    for (std::size_t k = 0; k < std::size(killAfter); ++k) {
        SCOPED_TRACE(k);
        const QString log = path(QStringLiteral("run%1.log").arg(k));
        const qint64 before = accepted();
        const std::size_t requestsBefore = sentNumbers().size();
        QProcess process;
        startCli(process, textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", log}));
        const auto reached = [&] {
            if (process.state() == QProcess::NotRunning)
                return true;
            if (killAfter[k] == kAtItsLog)
                return !partials(log).isEmpty() || QFileInfo::exists(log);
            return accepted() - before >= killAfter[k];
        };
        (void)QTest::qWaitFor(reached, 30000);
        // A run may reach its end first on a busy machine; waitForFinished says false for one already over.
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGKILL);
            ASSERT_TRUE(process.waitForFinished(10000));
        }
        const qint64 issued = accepted() - before;

        const QStringList left = partials(log);
        const QString file = left.isEmpty() ? log : left.first();
        ASSERT_LE(left.size(), 1);
        if (issued == 0 && left.isEmpty())
            continue; // killed before its log was started: nothing was sent
        ASSERT_TRUE(QFileInfo::exists(file)) << "accepted " << issued;
        const std::vector<SendLogRow> rows = readLog(file);
        std::set<QByteArray> requested;
        const std::vector<QByteArray> numbers = sentNumbers();
        for (std::size_t i = requestsBefore; i < numbers.size(); ++i)
            requested.insert(numbers[i]);
        std::set<QByteArray> logged;
        qint64 withMsgId = 0;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const SendLogRow& row = rows[r];
            // The row written before its request, whose answer the kill cut: it says the message may have gone.
            if (row.texts[ColSendResult] == StopRows::inFlightText())
                EXPECT_EQ(r + 1, rows.size()) << "only the last row can be on its way";
            else
                EXPECT_TRUE(row.texts[ColSendResult].contains("MsgId:") && requested.count(row.texts[ColMobile]))
                    << row.texts[ColSendResult].constData();
            withMsgId += row.texts[ColSendResult].contains("MsgId:") ? 1 : 0;
            logged.insert(row.texts[ColMobile]);
        }
        EXPECT_EQ(logged.size(), rows.size());
        EXPECT_GE(qint64(rows.size()), issued) << "every message the gateway took has its row";
        EXPECT_GE(withMsgId, issued - 1) << "accepted " << issued << ", logged " << withMsgId;
        EXPECT_LE(withMsgId, issued);
        EXPECT_LE(qint64(rows.size()), issued + 1);
        ++checked;

        if (!left.isEmpty()) {
            // The next run names it and says how to finish it; finish puts it in place as a whole log.
            const CliRun next =
                run({"send", "--text", "hi", "--log", path(QStringLiteral("other%1.log").arg(k)), "0912000001"});
            EXPECT_TRUE(says(next.err, file));
            EXPECT_TRUE(says(next.err, QStringLiteral("norvi-cli finish")));
            // The plan was on disk before the first request and goes once every recipient has its row: a run
            // that sent anything left one, unless the kill came after its last row was written.
            const bool planned = QFileInfo::exists(file + QStringLiteral(".plan"));
            EXPECT_TRUE(planned || issued == 0 || rows.size() == std::size_t(kRecipients))
                << "accepted " << issued << ", rows " << rows.size();
            const CliRun finished = run({"finish", file});
            EXPECT_EQ(finished.exitCode, 0) << finished.err.toStdString();
            EXPECT_FALSE(QFileInfo::exists(file));
            EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral(".plan")));
            const std::vector<SendLogRow> whole = readLog(log);
            if (!planned) {
                EXPECT_EQ(whole.size(), rows.size());
                continue;
            }
            // Every recipient has a row: the ones the run reached as they were (the one whose answer the kill
            // cut as possibly sent, recorded before its request), the others as not sent, which a resend reaches.
            ASSERT_EQ(whole.size(), std::size_t(kRecipients));
            std::set<QByteArray> everyone;
            for (std::size_t i = 0; i < whole.size(); ++i) {
                everyone.insert(whole[i].texts[ColMobile]);
                if (i < rows.size())
                    continue;
                EXPECT_EQ(whole[i].texts[ColSendCode], "-1");
                EXPECT_EQ(whole[i].texts[ColSendResult], big5("未傳送：程式中斷"));
                EXPECT_EQ(whole[i].texts[ColContent], "hi");
            }
            EXPECT_EQ(everyone.size(), std::size_t(kRecipients));
            EXPECT_TRUE(rows.size() == std::size_t(kRecipients) ||
                        finished.err.contains(
                            QStringLiteral("程式中斷時尚有 %1 則簡訊沒有傳送紀錄").arg(kRecipients - int(rows.size()))))
                << finished.err.toStdString();
        }
    }
    EXPECT_GE(checked, 6);
}

// The log's folder removed, or its partial file replaced, while the run goes: the run stops as a stop
// does, every accepted message is in the rescue file it names, and nothing is written to where the log was.
TEST_F(CliDurableTest, ALogThatVanishesMidRunStopsTheRunAndIsRescued) {
    sim->setReplyFaults({5, false, 0}); // 600 messages take some three seconds
    writeFile("list.txt", numberList(kRecipients));
    const std::function<void(const QString&)> vanish[] = {
        [](const QString& log) { QDir(QFileInfo(log).path()).removeRecursively(); },
        [this](const QString& log) {
            const QString other = QFileInfo(log).path() + QStringLiteral("/other");
            test::writeAll(other, "not a log");
            ASSERT_EQ(
                ::rename(QFile::encodeName(other).constData(), QFile::encodeName(partials(log).value(0)).constData()),
                0);
        },
    };
    for (std::size_t k = 0; k < std::size(vanish); ++k) {
        SCOPED_TRACE(k);
        const QString folder = path(QStringLiteral("logs%1").arg(k));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString log = folder + QStringLiteral("/run.log");
        const qint64 before = accepted();
        const std::size_t requestsBefore = sentNumbers().size();
        QProcess process;
        startCli(process, textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", log}));
        (void)QTest::qWaitFor([&] { return !(accepted() - before < 200); }, 30000);
        vanish[k](log);
        ASSERT_TRUE(process.waitForFinished(30000));
        const QString said = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), 3) << said.toStdString();
        const QStringList rescued = QDir(m_dir.path()).entryList({QStringLiteral("norvi-rescue-*.log")});
        ASSERT_EQ(rescued.size(), 1) << said.toStdString();
        const QString rescue = path(rescued.first());
        EXPECT_TRUE(says(said, rescue));
        const std::vector<QByteArray> numbers = sentNumbers();
        EXPECT_LT(numbers.size() - requestsBefore, std::size_t(kRecipients)) << "the run stopped";
        std::set<QByteArray> withId;
        for (const SendLogRow& row : readLog(rescue))
            if (row.texts[ColSendResult].contains("MsgId:"))
                withId.insert(row.texts[ColMobile]);
        EXPECT_GE(qint64(withId.size()), accepted() - before - 1) << "at most the one in flight missing";
        EXPECT_EQ(readLog(rescue).size(), std::size_t(kRecipients)) << "a row for everyone, reached or not";
        EXPECT_FALSE(QFileInfo::exists(log));
        QFile::remove(rescue);
    }
}

// A second Ctrl+C does not throw away what the first one was saving: the log is finished, then the
// program ends by the signal.
TEST_F(CliDurableTest, ASecondInterruptFinishesTheLogBeforeTheProgramEnds) {
    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 400)); // each answer takes 0.4 s
    writeFile("list.txt", numberList(40));
    const QString log = path("twice.log");
    QProcess process;
    startCli(process, textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", log}));
    (void)QTest::qWaitFor([&] { return !(accepted() < 3); }, 20000);
    ASSERT_GE(accepted(), 3);
    ::kill(pid_t(process.processId()), SIGINT);
    EXPECT_TRUE(test::waitUntilTaken(process.processId(), SIGINT));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    // The first stop ends the wait at once, so the run may be over before the second signal comes.
    if (process.exitStatus() == QProcess::CrashExit) {
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("已儲存傳送紀錄")));
    } else {
        EXPECT_EQ(process.exitCode(), 2) << "an interrupted run";
    }
    EXPECT_TRUE(partials(log).isEmpty());
    LogFileReader reader(log);
    ASSERT_TRUE(reader.open());
    EXPECT_FALSE(reader.unfinished()) << "a whole log, with its count";
    EXPECT_EQ(qint64(readLog(log).size()), qint64(reader.announced()));
    EXPECT_GE(qint64(reader.announced()), accepted() - 1);
}

// Six runs in the same second with the default log name: six logs, each with its own rows.
TEST_F(CliDurableTest, SixRunsAtOnceKeepSixLogs) {
    constexpr int kRuns = 6;
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int r = 0; r < kRuns; ++r) {
        runs.push_back(std::make_unique<QProcess>());
        QStringList args = textList({"send", "--text", "hi"});
        for (int i = 0; i < 5; ++i)
            args.append(QStringLiteral("0914%1%2").arg(r).arg(10000 + i));
        startCli(*runs.back(), args);
    }
    for (auto& p : runs) {
        ASSERT_TRUE(p->waitForFinished(30000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().constData();
    }
    const QDir folder(path("logfiles"));
    const QStringList logs = folder.entryList({QStringLiteral("*.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), kRuns) << logs.join(QLatin1Char(' ')).toStdString();
    std::set<QByteArray> runsSeen;
    for (const QString& name : logs) {
        const std::vector<SendLogRow> rows = readLog(folder.filePath(name));
        ASSERT_EQ(rows.size(), 5u) << name.toStdString();
        std::set<QByteArray> ofThisLog;
        for (const SendLogRow& row : rows)
            ofThisLog.insert(row.texts[ColMobile].left(5)); // "0914" and the run's digit
        EXPECT_EQ(ofThisLog.size(), 1u) << name.toStdString();
        runsSeen.insert(*ofThisLog.begin());
    }
    EXPECT_EQ(runsSeen.size(), std::size_t(kRuns));
    EXPECT_TRUE(folder.entryList({QStringLiteral("*.partial")}, QDir::Files).isEmpty());
}

// A query and a resend of one log at the same time take turns: the resent rows and the answers both stay.
TEST_F(CliDurableTest, QueryAndResendOfOneLogAtOnceKeepEveryRow) {
    sim->failNextSends(8, 5); // the first five are refused (not a code that is tried again)
    const QString log = path("shared.log");
    QStringList sendArgs = textList({"send", "--text", "hi", "--log", log});
    for (int i = 0; i < 10; ++i)
        sendArgs.append(QStringLiteral("09150%1").arg(10000 + i));
    ASSERT_EQ(run(sendArgs).exitCode, 2);
    ASSERT_EQ(readLog(log).size(), 10u);

    sim->setReplyPacing(gwsim::ReplyPacing::split(100, 150)); // both jobs take a while
    QProcess resend;
    QProcess query;
    startCli(resend, textList({"resend", "--log", log}));
    startCli(query, textList({"query", "--log", log}));
    ASSERT_TRUE(resend.waitForFinished(30000));
    ASSERT_TRUE(query.waitForFinished(30000));
    const QString resendErr = QString::fromUtf8(resend.readAllStandardError());
    const QString queryErr = QString::fromUtf8(query.readAllStandardError());
    EXPECT_EQ(resend.exitCode(), 0) << resendErr.toStdString();
    EXPECT_EQ(query.exitCode(), 0) << queryErr.toStdString();
    EXPECT_TRUE(resendErr.contains(QStringLiteral("等候")) || queryErr.contains(QStringLiteral("等候")))
        << "one waited for the other";

    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 15u) << "the ten rows and the five resent ones";
    int accepted = 0;
    int answered = 0;
    for (const SendLogRow& row : rows) {
        accepted += row.texts[ColSendCode] == "0" ? 1 : 0;
        answered += row.texts[ColQueryCode].isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(accepted, 10);
    EXPECT_GE(answered, 5) << "the query's answers are there too";
    EXPECT_TRUE(partials(log).isEmpty());
}

// A disk with no room: nothing is sent when the log cannot be started; a disk that fills up during the
// run stops it, and every row written before stays. A small tmpfs when this runs as root, else a file
// size limit on norvi-cli, which fails the writes the same way ("檔案過大" then).
class CliFullDiskTest : public CliDurableTest {
protected:
    void SetUp() override {
        CliDurableTest::SetUp();
        m_disk = path("disk");
        ASSERT_TRUE(QDir().mkpath(m_disk));
        m_mounted =
            ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(m_disk).constData(), "tmpfs", 0, "size=64k") == 0;
        ASSERT_TRUE(m_dir.writeConfig({QFile::encodeName(m_disk), "127.0.0.1", sim->port(), "demo", "demo"}));
        RecordProperty("full_disk", m_mounted ? "tmpfs" : "file size limit");
    }
    void TearDown() override {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_disk).constData(), MNT_DETACH);
        CliDurableTest::TearDown();
    }

    // Leaves room for `bytes` more on the disk (the limit for the run's files without a tmpfs).
    void leaveRoom(qint64 bytes) {
        m_room = bytes;
        if (!m_mounted)
            return;
        QFile filler(QDir(m_disk).filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray page(4096, 'x');
        while (filler.write(page) == page.size()) {
        }
        filler.close();
        // Give back whole pages until the room asked for is free.
        const qint64 size = QFileInfo(filler.fileName()).size();
        ASSERT_TRUE(filler.resize(std::max<qint64>(0, size - bytes)));
    }

    CliRun runLimited(const QStringList& args) {
        const qint64 room = m_room;
        const bool limit = !m_mounted;
        return run(args, {}, [room, limit](QProcess& p) {
            p.setChildProcessModifier([room, limit] {
                if (!limit)
                    return;
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit size{rlim_t(room), rlim_t(room)};
                ::setrlimit(RLIMIT_FSIZE, &size);
            });
        });
    }

    QString said() const { return m_mounted ? QStringLiteral("磁碟已滿") : QStringLiteral("檔案過大"); }

    QString m_disk;
    bool m_mounted = false;
    qint64 m_room = 0;
};

TEST_F(CliFullDiskTest, NothingIsSentWhenTheLogCannotBeStarted) {
    leaveRoom(0);
    writeFile("list.txt", numberList(20));
    const CliRun r = runLimited(textList({"send", "--text", "hi", "--list", path("list.txt")}));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(says(r.err, said()));
    EXPECT_TRUE(says(r.err, QStringLiteral("沒有傳送任何簡訊")));
    EXPECT_EQ(sendRequests(), 0);
    EXPECT_TRUE(QDir(m_disk).entryList({QStringLiteral("*.log"), QStringLiteral("*.partial")}).isEmpty());
}

TEST_F(CliFullDiskTest, ADiskThatFillsUpStopsTheRunAndKeepsWhatWasWritten) {
    leaveRoom(12288); // a page for the operation log, one for the run's plan, one for the count and seven records
    writeFile("list.txt", numberList(40));
    const QString log = QDir(m_disk).filePath(QStringLiteral("full.log"));
    const CliRun r = runLimited(textList({"send", "--text", "hi", "--list", path("list.txt"), "--log", log}));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(says(r.err, said()));
    EXPECT_LT(sendRequests(), 40) << "the run stopped";
    const QStringList left = partials(log);
    ASSERT_EQ(left.size(), 1);
    const std::vector<SendLogRow> rows = readLog(left.first());
    EXPECT_GE(rows.size(), 1u);
    // Every message sent is on the file: a row is written before its request, and one that does not fit
    // keeps its message from going.
    EXPECT_EQ(qint64(rows.size()), accepted());
    EXPECT_EQ(r.rows().size(), 40) << "every recipient is printed, reached or not";
    // Had an answer not fitted over its row, it would be named on standard error with its number and MsgId;
    // a full disk stops the run at a row's first write, so there is none.
    std::set<QString> onFile;
    for (const SendLogRow& row : rows)
        onFile.insert(fromBig5(row.texts[ColSendResult]));
    int named = 0;
    for (const QStringList& printed : r.rows()) {
        if (printed[ColSendCode] != QStringLiteral("0") || onFile.count(printed[ColSendResult]))
            continue;
        ++named;
        EXPECT_TRUE(says(
            r.err,
            QStringLiteral("閘道已接受但沒有寫入紀錄的簡訊：%1，%2").arg(printed[ColMobile], printed[ColSendResult])));
    }
    EXPECT_EQ(named, 0);
    EXPECT_TRUE(says(r.err, QStringLiteral("norvi-cli finish")));
}

// A log a killed run left: every reader takes its whole records and says it is unfinished; it is never
// written back over itself; finish puts it in place but never over another log.
TEST_F(CliDurableTest, AnUnfinishedLogIsReadWholeAndFinishedOnlyWhereNothingIsLost) {
    ASSERT_TRUE(QDir().mkpath(path("logfiles")));
    const QString left = path("logfiles/left.log.Ab12Cd.partial");
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(left));
        for (int i = 0; i < 3; ++i) {
            SendLogRow row;
            row.texts[ColMobile] = "091200000" + QByteArray::number(i);
            row.texts[ColSendCode] = "0";
            row.texts[ColSendResult] = "ok(MsgId:NV" + QByteArray::number(i) + ")";
            ASSERT_TRUE(stream.append(row));
        }
        stream.close();
    }
    const CliRun csv = run({"log2csv", left});
    EXPECT_EQ(csv.exitCode, 2);
    EXPECT_EQ(csv.out.count(QStringLiteral("NV")), 3);
    EXPECT_TRUE(says(csv.err, QStringLiteral("尚未完成")));

    runSteps({{textList({"query", "--log", left}), 1, {"norvi-cli finish"}},
              {textList({"query", "--log", left, "--out", path("queried.log")}), 0}});
    EXPECT_EQ(readLog(path("queried.log")).size(), 3u);

    writeFile("logfiles/left.log", "someone else's log");
    // Killed before its count was written: nothing to finish, and finish clears it away.
    writeFile("logfiles/empty.log.Ef34Gh.partial", "");
    runSteps({{textList({"finish", left}), 1},
              {textList({"finish", left, "--out", path("finished.log")}), 0},
              {textList({"finish", path("logfiles/empty.log.Ef34Gh.partial")}), 0}});
    EXPECT_EQ(readBytes("logfiles/left.log"), "someone else's log");
    EXPECT_EQ(readLog(path("finished.log")).size(), 3u);
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_FALSE(QFileInfo::exists(path("logfiles/empty.log.Ef34Gh.partial")));
    EXPECT_FALSE(QFileInfo::exists(path("logfiles/empty.log")));
}

// Two imports at once both land; an import while the desktop program has the book open survives the
// desktop's next change.
TEST_F(CliDurableTest, TwoProgramsChangingTheAddressBookKeepEveryMember) {
    QByteArray first = "Name,Mobile\r\n";
    QByteArray second = first;
    for (int i = 0; i < 300; ++i) {
        first += "A" + QByteArray::number(i) + ",0916" + QByteArray::number(100000 + i) + "\r\n";
        second += "B" + QByteArray::number(i) + ",0917" + QByteArray::number(100000 + i) + "\r\n";
    }
    writeFile("a.csv", first);
    writeFile("b.csv", second);
    // The desktop program's copy, read before both imports.
    book.putMember(test::member(1, "Desk", "0910"));
    ASSERT_TRUE(SaveAddressBook(book, path("AddressBook.bin")).ok);
    ASSERT_TRUE(LoadAddressBook(book, path("AddressBook.bin")).ok);

    QProcess a;
    QProcess b;
    startCli(a, textList({"book", "import", path("a.csv"), "--map", "name,msisdn"}));
    startCli(b, textList({"book", "import", path("b.csv"), "--map", "name,msisdn"}));
    ASSERT_TRUE(a.waitForFinished(30000));
    ASSERT_TRUE(b.waitForFinished(30000));
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().constData();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().constData();

    // The desktop program's next change, made to the book as it read it.
    book.putMember(test::member(1, "Desk2", "0910"));
    const AddressBookResult saved = SaveAddressBook(book, path("AddressBook.bin"));
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_TRUE(saved.reloaded);
    book.clear();
    ASSERT_TRUE(LoadAddressBook(book, path("AddressBook.bin")).ok);
    EXPECT_EQ(book.MemberMap().size(), 601u);
    EXPECT_EQ(getField(book.MemberMap().at(1).name), "Desk2");
}

} // namespace
} // namespace norvi
