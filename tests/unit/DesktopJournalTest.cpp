// The desktop program's journal of unsaved rows with the real worker: every accepted message is in it
// before the send log has it, it goes when the rows are settled, one left behind is found and taken over
// (never while its program lives), a journal that cannot be started keeps the run from sending, and a
// journal that fills up stops the run.
#include "core/sendlog/DesktopJournal.h"
#include "support/FileBytes.h"
#include "support/WorkerFixture.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/RunPlan.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/workers/MonthUsage.h"
#include "core/workers/StopRows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace norvi {
namespace {

class DesktopJournalTest : public test::WorkerFixture {
protected:
    void TearDown() override {
        LogStream::clearFaultForTest();
        SaveFile::clearFaultForTest();
        jobs.setJournal(nullptr);
    }
    // Waits, taking the rows handed over meanwhile, until the simulator has seen `count` send requests.
    bool waitForRequests(int count) {
        return QTest::qWaitFor([&] { return requestsOf(GwSendDomestic).size() >= count; }, 20000);
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
    ASSERT_TRUE(next.adopt(found, &rows, nullptr, &error)) << error.toStdString();
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
    ASSERT_TRUE(
        DesktopJournal::keepAsLog({abandoned}, m_dir.filePath(QStringLiteral("kept.log")), &kept, nullptr, &error));
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

// What a kill leaves (the journal and the run's plan as they are while a reply is awaited, copied aside) is taken
// over with a row for every planned message without one, which was never sent: the one whose reply never came
// has its own row, recorded before its request, saying it may have gone out. A run that ends, by a stop too, leaves no
// plan behind.
TEST_F(DesktopJournalTest, AKilledRunsJournalGetsARowForEveryMessageItNeverReached) {
    DesktopJournal journal(m_dir.path());
    jobs.setJournal(&journal);
    queue(2);
    ASSERT_TRUE(runJob(WorkerMode::Send, &log)); // rows of an earlier run, before the plan's
    EXPECT_FALSE(QFileInfo::exists(RunPlanPath(journal.path())));

    SendQueue.clear();
    for (int i = 0; i < 6; ++i)
        SendQueue.push_back(record("0928" + QByteArray::number(100000 + i), 2));
    sim->setSilentAfter(6); // the login and five short messages are answered, the sixth is not
    SendThd* worker = nullptr;
    QString error;
    ASSERT_TRUE(startSend(&log, &worker, &error)) << error.toStdString();
    // The earlier run's two requests and this run's six: the sixth is never answered, so the run waits there.
    ASSERT_TRUE(waitForRequests(2 + 6));
    QTemporaryDir crashed;
    const QString left = QDir(crashed.path()).filePath(QFileInfo(journal.path()).fileName());
    ASSERT_TRUE(QFile::copy(journal.path(), left));
    ASSERT_TRUE(QFile::copy(RunPlanPath(journal.path()), RunPlanPath(left)));
    worker->requestStop();
    ASSERT_TRUE(waitUntilGone(worker));
    EXPECT_FALSE(QFileInfo::exists(RunPlanPath(journal.path()))) << "the stopped run has a row for each";
    jobs.setJournal(nullptr);

    UnreachedRows counted;
    EXPECT_EQ(DesktopJournal::rowsLeft({left}, &counted), 8);
    EXPECT_EQ(counted.notSent, 6);
    DesktopJournal next(crashed.path());
    std::vector<SendLogRow> rows;
    UnreachedRows added;
    ASSERT_TRUE(next.adopt(DesktopJournal::leftBehind(crashed.path()), &rows, &added, &error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(added.notSent, 6);
    EXPECT_EQ(rows[7].texts[ColMobile], "0928100002");
    EXPECT_EQ(rows[7].texts[ColContent], "part2");
    EXPECT_EQ(rows[7].texts[ColSendResult], StopRows::inFlightText());
    for (std::size_t i = 8; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].texts[ColSendCode], "-1") << i;
        EXPECT_EQ(rows[i].texts[ColSendResult], big5("未傳送：程式中斷")) << i;
        EXPECT_EQ(rows[i].image, int(ImageTyped)) << i;
    }
    EXPECT_EQ(rows[13].texts[ColMobile], "0928100005");
    EXPECT_FALSE(QFileInfo::exists(RunPlanPath(left)));
    EXPECT_EQ(UnreachedRowsText(added),
              QStringLiteral("程式中斷時尚有 6 則簡訊沒有傳送紀錄，已補上「未傳送：程式中斷」。"));
}

// The plan keeps every field of its messages, whatever bytes they hold, in send order: recipients of the
// run's common text and those with a text of their own alike.
TEST_F(DesktopJournalTest, APlanGivesBackEveryMessageAfterTheRowsTheRunWrote) {
    const QString journal = m_dir.filePath(QStringLiteral("norvi-journal-2-2.log"));
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(journal));
        SendLogRow earlier;
        earlier.texts[ColMobile] = "0900000000";
        SendLogRow first;
        first.texts[ColMobile] = "0911000001";
        ASSERT_TRUE(stream.appendRows({earlier, first}));
        stream.close();
    }
    RunPlanWriter plan(journal, 1);
    ASSERT_TRUE(plan.open());
    const QByteArray odd = big5("許功蓋") + "\t\\n\r\n";
    plan.add(ImageTyped, "", "0911000001", {"common 1", "common 2"});
    plan.add(ImageListRow, odd, "0922000002", {"own\ttext\\", odd});
    plan.add(ImageMember, big5("王小明"), "0933000003", {"common 1", "common 2"});
    ASSERT_TRUE(plan.commit());

    const UnreachedRows found = FindUnreachedRows(journal, 2, "20240301093000");
    ASSERT_TRUE(found.fits) << found.problem.toStdString();
    const auto row = [](const SendLogRow& r) {
        return QList<QByteArray>{QByteArray::number(r.image), r.texts[ColName],     r.texts[ColMobile],
                                 r.texts[ColSendTime],        r.texts[ColSendCode], r.texts[ColContent]};
    };
    QList<QList<QByteArray>> rows;
    for (const SendLogRow& r : found.rows)
        rows << row(r);
    EXPECT_EQ(rows,
              (QList<QList<QByteArray>>{{"14", "", "0911000001", "20240301093000", "-1", "common 2"},
                                        {"15", odd, "0922000002", "20240301093000", "-1", "own\ttext\\"},
                                        {"15", odd, "0922000002", "20240301093000", "-1", odd},
                                        {"11", big5("王小明"), "0933000003", "20240301093000", "-1", "common 1"},
                                        {"11", big5("王小明"), "0933000003", "20240301093000", "-1", "common 2"}}));
    EXPECT_EQ(found.notSent, 5);
    // A count the journal does not hold is not believed: nothing is added.
    EXPECT_TRUE(FindUnreachedRows(journal, 6, "x").rows.empty());
}

// A power cut can leave the last records of a journal as zeros or foreign bytes. Those messages were reached (each
// is recorded before its request), so they come back as "可能已送出", never as "未傳送" for 失敗重發 to send again;
// the rows before them are kept, and a damaged record before a sound one still refuses the file.
TEST_F(DesktopJournalTest, RecordsAPowerCutDamagedAtAJournalsEndComeBackAsMaybeSent) {
    const QString journal = m_dir.filePath(QStringLiteral("norvi-journal-3-3.log"));
    std::vector<SendLogRow> written(3);
    for (int i = 0; i < 3; ++i)
        written[std::size_t(i)].texts[ColMobile] = "093300000" + QByteArray::number(i);
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(journal));
        ASSERT_TRUE(stream.appendRows(written));
        stream.close();
    }
    RunPlanWriter plan(journal, 0);
    ASSERT_TRUE(plan.open());
    for (int i = 0; i < 5; ++i)
        plan.add(ImageTyped, "", "093300000" + QByteArray::number(i), {"text"});
    ASSERT_TRUE(plan.commit());
    const qint64 record = qint64(sizeof(sLogRecord));
    const auto damage = [&](int index, char byte) {
        QFile file(journal);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(qint64(sizeof(qint32)) + index * record));
        file.write(QByteArray(record, byte));
    };
    damage(1, '\0');
    damage(2, '\x7f');

    LogFileReader reader(journal);
    reader.readEveryWholeRecord();
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.available(), 1);
    EXPECT_TRUE(reader.damageMessage().contains(QStringLiteral("2 筆紀錄已損壞")))
        << reader.damageMessage().toStdString();
    UnreachedRows counted;
    EXPECT_EQ(DesktopJournal::rowsLeft({journal}, &counted), 1);
    EXPECT_EQ(counted.damaged, 2);
    EXPECT_EQ(counted.notSent, 2);

    DesktopJournal next(m_dir.path());
    std::vector<SendLogRow> rows;
    UnreachedRows added;
    QString error;
    ASSERT_TRUE(next.adopt({journal}, &rows, &added, &error)) << error.toStdString();
    QList<QByteArray> results;
    for (const SendLogRow& row : rows)
        results << row.texts[ColMobile] + ' ' + row.texts[ColSendResult];
    const QByteArray maybe = big5("紀錄已損壞，可能已送出");
    const QByteArray notSent = big5("未傳送：程式中斷");
    EXPECT_EQ(results, (QList<QByteArray>{"0933000000 ", "0933000001 " + maybe, "0933000002 " + maybe,
                                          "0933000003 " + notSent, "0933000004 " + notSent}));
    EXPECT_TRUE(UnreachedRowsText(added).contains(QStringLiteral("2 則簡訊的紀錄已損壞")));

    // Damage followed by a sound record is no crash's tail: the file is refused, not cut there.
    const QString middle = m_dir.filePath(QStringLiteral("middle.log"));
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(middle));
        ASSERT_TRUE(stream.appendRows(written));
        stream.close();
    }
    QFile file(middle);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(qint64(sizeof(qint32)) + record));
    file.write(QByteArray(record, '\0'));
    file.close();
    EXPECT_FALSE(DesktopJournal::refusal(middle).isEmpty());
    // Such a journal is neither taken (the rows after the damage went out) nor removed.
    const QString kept = m_dir.filePath(QStringLiteral("norvi-journal-4-4.log"));
    ASSERT_TRUE(QFile::rename(middle, kept));
    RunPlanWriter keptPlan(kept, 0);
    ASSERT_TRUE(keptPlan.open());
    for (int i = 0; i < 5; ++i)
        keptPlan.add(ImageTyped, "", "093300000" + QByteArray::number(i), {"text"});
    ASSERT_TRUE(keptPlan.commit());
    UnreachedRows none;
    EXPECT_EQ(DesktopJournal::rowsLeft({kept}, &none), 0);
    rows.clear();
    ASSERT_TRUE(next.adopt({kept}, &rows, &none, &error)) << error.toStdString();
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(QFileInfo::exists(kept));

    // The same for answers damaged before sound ones: taking the journal would drop the answers after them.
    const QString answered = m_dir.filePath(QStringLiteral("norvi-journal-5-5.log"));
    ASSERT_TRUE(QFile::rename(kept, DesktopJournal::answersPath(answered)));
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(answered));
        ASSERT_TRUE(stream.appendRows(written));
        stream.close();
    }
    EXPECT_FALSE(DesktopJournal::refusal(answered).isEmpty());
    ASSERT_TRUE(next.adopt({answered}, &rows, &none, &error)) << error.toStdString();
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(QFileInfo::exists(DesktopJournal::answersPath(answered)));
}

// A plan whose messages are not the journal's (another run's, or one written over) adds nothing and says so;
// a plan that cannot be written keeps the run from sending anything.
TEST_F(DesktopJournalTest, APlanThatDoesNotFitAddsNothingAndOneThatCannotBeWrittenSendsNothing) {
    const QString journal = m_dir.filePath(QStringLiteral("norvi-journal-1-1.log"));
    {
        LogStream stream;
        ASSERT_TRUE(stream.create(journal));
        SendLogRow row;
        row.texts[ColMobile] = "0911000001";
        ASSERT_TRUE(stream.appendRows({row}));
        stream.close();
    }
    RunPlanWriter plan(journal, 0);
    ASSERT_TRUE(plan.open());
    plan.add(ImageTyped, "", "0922000001", {"a"});
    plan.add(ImageTyped, "", "0922000002", {"a"});
    ASSERT_TRUE(plan.commit());
    const UnreachedRows found = FindUnreachedRows(journal, 1, "20240101000000");
    EXPECT_TRUE(found.planned);
    EXPECT_FALSE(found.fits);
    EXPECT_TRUE(found.rows.empty());
    EXPECT_TRUE(UnreachedRowsText(found).contains(QStringLiteral("傳送計畫無法使用")))
        << UnreachedRowsText(found).toStdString();

    DesktopJournal desktop(m_dir.path());
    jobs.setJournal(&desktop);
    queue(3);
    SaveFile::failAtForTest(SaveFile::Step::Write, 1);
    QString error;
    SendThd* worker = nullptr;
    EXPECT_FALSE(startSend(&log, &worker, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("無法寫入傳送計畫"))) << error.toStdString();
    EXPECT_TRUE(requestsOf(GwSendDomestic).isEmpty());
}

// A row of message `id` to `mobile`, with the 查詢結果 `answer`.
SendLogRow message(const QByteArray& mobile, const QByteArray& id, const QByteArray& answer = QByteArray()) {
    SendLogRow row;
    row.texts[ColMobile] = mobile;
    row.texts[ColSendCode] = "0";
    row.texts[ColSendResult] = big5("訊息已成功送出(MsgId:") + id + ")";
    row.texts[ColQueryResult] = answer;
    return row;
}

// A file as a killed program leaves it: its records, the count -1.
void leaveFile(const QString& path, const std::vector<SendLogRow>& rows) {
    LogStream stream;
    ASSERT_TRUE(stream.create(path));
    ASSERT_TRUE(stream.appendRows(rows));
    stream.close();
}

QList<QByteArray> shown(const std::vector<SendLogRow>& rows) {
    QList<QByteArray> texts;
    for (const SendLogRow& row : rows)
        texts << row.texts[ColMobile] + ' ' + row.texts[ColSendResult].mid(row.texts[ColSendResult].indexOf(':') + 1) +
                     ' ' + row.texts[ColQueryResult];
    return texts;
}

// The answers kept beside a journal left behind come back in the rows offered, taken and kept, and the count
// offered is the rows given back.
TEST_F(DesktopJournalTest, AnswersLeftBesideAJournalComeBackInTheirMessagesRows) {
    struct Case {
        const char* what;
        std::vector<SendLogRow> rows, answers;
        QList<QByteArray> back;
    };
    const QByteArray done = big5("取消成功");
    const std::vector<Case> cases{
        {"an answer replaces its message's row",
         {message("0911", "A"), message("0922", "B")},
         {message("0922", "B", done)},
         {"0911 A) ", "0922 B) " + done}},
        {"a later answer wins",
         {message("0911", "A")},
         {message("0911", "A", "first"), message("0911", "A", "second")},
         {"0911 A) second"}},
        {"an answer of a row not in the journal comes back after its rows",
         {message("0911", "A"), message("0922", "B")},
         {message("0933", "C", "c"), message("0911", "A", "a")},
         {"0911 A) a", "0922 B) ", "0933 C) c"}},
        {"the same number under another MsgId is another message",
         {message("0911", "A")},
         {message("0911", "Z", "z")},
         {"0911 A) ", "0911 Z) z"}},
        {"answers with no rows beside them (a saved log's rows answered)",
         {},
         {message("0911", "A", "x"), message("0922", "B", "y"), message("0911", "A", "x2")},
         {"0911 A) x2", "0922 B) y"}},
        {"no answers", {message("0911", "A")}, {}, {"0911 A) "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool take : {true, false}) {
            QTemporaryDir folder;
            const QString journal = QDir(folder.path()).filePath(QStringLiteral("norvi-journal-1-1.log"));
            leaveFile(journal, c.rows);
            if (!c.answers.empty())
                leaveFile(DesktopJournal::answersPath(journal), c.answers);
            const QStringList left = DesktopJournal::leftBehind(folder.path());
            ASSERT_EQ(left, QStringList{journal}) << "the answers are not a journal of their own";
            EXPECT_EQ(DesktopJournal::rowsLeft(left, nullptr), c.back.size());
            std::vector<SendLogRow> rows;
            QString error;
            if (take) {
                DesktopJournal next(folder.path());
                ASSERT_TRUE(next.adopt(left, &rows, nullptr, &error)) << error.toStdString();
                EXPECT_EQ(shown(test::readLog(next.path())), c.back) << "journalled in the program that took them";
            } else {
                const QString kept = QDir(folder.path()).filePath(QStringLiteral("kept.log"));
                ASSERT_TRUE(DesktopJournal::keepAsLog(left, kept, nullptr, nullptr, &error)) << error.toStdString();
                rows = test::readLog(kept);
            }
            EXPECT_EQ(shown(rows), c.back);
            EXPECT_FALSE(QFileInfo::exists(journal));
            EXPECT_FALSE(QFileInfo::exists(DesktopJournal::answersPath(journal)));
        }
    }
}

// The live program: each message's answers rewrite one record beside the journal, which is made for them when no
// run made it; the record goes when the rows are settled; nothing takes the file for a journal or a log of its
// own; one that cannot be made is said once, and the program goes on.
TEST_F(DesktopJournalTest, AnswersAreRecordedOncePerMessageBesideTheJournalUntilSettled) {
    DesktopJournal journal(m_dir.path());
    journal.answered(message("0911", "A", "a1"));
    journal.answered(message("0922", "B", "b"));
    journal.answered(message("0911", "A", "a2"));
    journal.answersDone();
    const QString answers = DesktopJournal::answersPath(journal.path());
    EXPECT_EQ(shown(test::readLog(answers)), (QList<QByteArray>{"0911 A) a2", "0922 B) b"}));
    EXPECT_TRUE(test::readLog(journal.path()).empty());
    EXPECT_FALSE(OutputRefusal(answers).isEmpty());
    QStringList usage;
    QString error;
    ASSERT_TRUE(UsageLogFiles(m_dir.path(), &usage, &error));
    EXPECT_FALSE(usage.contains(answers));
    journal.rowsSettled();
    EXPECT_FALSE(QFileInfo::exists(answers));

    LogStream::failAtForTest(LogStream::Step::Create, 2); // the journal is made, its answers' file is not
    journal.answered(message("0911", "A", "a3"));
    journal.answered(message("0922", "B", "b2"));
    EXPECT_EQ(linesWith("查詢結果無法寫入未儲存發訊紀錄的暫存檔"), 1);
}

} // namespace
} // namespace norvi
