// The desktop program's journal of unsaved rows with the real worker: every accepted message is in it
// before the send log has it, it goes when the rows are settled, one left behind is found and taken over
// (never while its program lives), a journal that cannot be started keeps the run from sending, and a
// journal that fills up stops the run.
#include "core/sendlog/DesktopJournal.h"
#include "support/FileBytes.h"
#include "support/WorkerFixture.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"

#include <QDir>

namespace norvi {
namespace {

class DesktopJournalTest : public test::WorkerFixture {
protected:
    void TearDown() override {
        LogStream::clearFaultForTest();
        jobs.setJournal(nullptr);
    }
    void queue(int count) {
        for (int i = 0; i < count; ++i)
            SendQueue.push_back(record("0918" + QByteArray::number(100000 + i)));
    }
};

TEST_F(DesktopJournalTest, RowsAreJournalledUntilSettledAndALeftJournalIsTakenOverOnce) {
    QString left;
    {
        DesktopJournal journal(m_dir.path());
        jobs.setJournal(&journal);
        queue(5);
        ASSERT_TRUE(runJob(WorkerMode::Send, &log));
        const QString path = journal.path();
        ASSERT_FALSE(path.isEmpty());
        const std::vector<SendLogRow> rows = test::readLog(path);
        ASSERT_EQ(rows.size(), 5u);
        for (const SendLogRow& row : rows)
            EXPECT_TRUE(row.texts[ColSendResult].contains("MsgId:"));
        EXPECT_TRUE(DesktopJournal::leftBehind(m_dir.path()).isEmpty()) << "a live program's journal is not taken";

        // Saved: the journal goes; the next run starts a new one.
        journal.rowsSettled();
        EXPECT_FALSE(QFileInfo::exists(path));
        SendQueue.clear();
        queue(3);
        ASSERT_TRUE(runJob(WorkerMode::Send, &log));
        left = journal.path();
        EXPECT_EQ(test::readLog(left).size(), 3u);
        jobs.setJournal(nullptr);
    } // the program ends without settling its rows, as a crash would leave them

    const QStringList found = DesktopJournal::leftBehind(m_dir.path());
    ASSERT_EQ(found, QStringList{left});
    DesktopJournal next(m_dir.path());
    std::vector<SendLogRow> rows;
    QString error;
    ASSERT_TRUE(next.adopt(found, &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_EQ(test::readLog(next.path()).size(), 3u) << "the rows stay journalled in the program that took them";
    EXPECT_TRUE(DesktopJournal::leftBehind(m_dir.path()).isEmpty());

    // Not wanted: kept as a finished log instead of being asked about again.
    next.rowsSettled();
    auto another = std::make_unique<DesktopJournal>(m_dir.path());
    jobs.setJournal(another.get());
    SendQueue.clear();
    queue(2);
    ASSERT_TRUE(runJob(WorkerMode::Send, &log));
    jobs.setJournal(nullptr);
    const QString abandoned = another->path();
    another.reset();
    int kept = 0;
    ASSERT_TRUE(DesktopJournal::keepAsLog({abandoned}, m_dir.filePath(QStringLiteral("kept.log")), &kept, &error));
    EXPECT_EQ(kept, 2);
    EXPECT_EQ(test::readLog(m_dir.filePath(QStringLiteral("kept.log"))).size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(abandoned));
}

TEST_F(DesktopJournalTest, AJournalThatCannotRecordKeepsOrStopsTheRun) {
    DesktopJournal journal(m_dir.path());
    jobs.setJournal(&journal);
    queue(20);
    // It cannot be started: nothing is sent, and the reason is given.
    LogStream::failAtForTest(LogStream::Step::Create, 1);
    QString error;
    SendThd* worker = nullptr;
    EXPECT_FALSE(startSend(&log, &worker, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("磁碟已滿"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("沒有傳送任何簡訊"))) << error.toStdString();
    EXPECT_TRUE(requestsOf(GwSendDomestic).isEmpty());

    // The fourth row's answer cannot replace its "may have gone" record: the run stops there and says why in
    // the message area. (A row that cannot be recorded before its request keeps its message from going: the
    // full-disk test of norvi-cli shows that.)
    LogStream::failAtForTest(LogStream::Step::Write, 9); // the count, rows 1 to 3 before and after, row 4 before
    ASSERT_TRUE(runJob(WorkerMode::Send, &log));
    EXPECT_EQ(requestsOf(GwSendDomestic).size(), 4);
    EXPECT_EQ(log.rows.size(), 20u) << "the send log still shows the row that could not be journalled, and the "
                                       "recipients the stopped run did not reach";
    EXPECT_EQ(linesWith("發訊紀錄無法寫入，作業已停止"), 1);
    EXPECT_EQ(test::readLog(journal.path()).size(), 4u) << "the fourth as it stood before its request";
    // The message the gateway took and that is on no file is named, in the message area and the operation log,
    // so that it can be written down by hand.
    const QString lost = QStringLiteral("閘道已接受但沒有寫入紀錄的簡訊：%1，%2；請自行記下。")
                             .arg(fromBig5(log.rows[3].cells[ColMobile]), fromBig5(log.rows[3].cells[ColSendResult]));
    ASSERT_TRUE(log.rows[3].cells[ColSendResult].contains("MsgId:"));
    EXPECT_EQ(lines.filter(lost).size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    QString opLog;
    for (const QString& name : QDir(m_dir.path()).entryList({QStringLiteral("*.dbg")}))
        opLog += fromBig5(test::readAll(QDir(m_dir.path()).filePath(name)));
    EXPECT_TRUE(opLog.contains(lost)) << opLog.toStdString();
}

} // namespace
} // namespace norvi
