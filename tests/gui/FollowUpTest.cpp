#include "support/SimulatorWindowTest.h"

#include "core/sendlog/ModelJobRows.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/SendLogModel.h"
#include "gui/sendlog/FollowUp.h"
#include "gui/sendlog/TFormFollowUp.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

using namespace norvi;
using namespace norvi::test;

namespace {

constexpr int kRows = 6;
constexpr int kReplyDelayMs = 400;

class FollowUpTest : public SimulatorWindowTest {};

// What the journal of unsaved rows is handed: the number of each row answered, and each end of the answers.
struct RecordedAnswers : RowJournal {
    LogStream* beginRun(QString*) override { return nullptr; }
    void answered(const SendLogRow& row) override { numbers << row.texts[ColMobile]; }
    void answersDone() override { ++ends; }
    QList<QByteArray> numbers;
    int ends = 0;
};

} // namespace

// The follow-up's rounds run in the background; a job the user starts takes the gateway after at most the
// exchange in flight, whose answer still lands in its row, and the follow-up goes on once the job is over.
// Every row is asked exactly once between the two: the round stops asking when the job begins, and the job
// passes by the rows the round answered. Each answer, the round's or the job's, reaches the journal once.
TEST_F(FollowUpTest, UserJobTakesOverAfterTheExchangeInFlightAndFollowUpResumes) {
    ModelJobRows& rows = mainWindow().jobRows();
    RecordedAnswers journal;
    mainWindow().logModel().setJournal(&journal);
    // MsgIds the gateway does not know: each answer (2) is final.
    for (int i = 0; i < kRows; ++i)
        addLogRow("A", "091200000" + QByteArray::number(i), "0",
                  big5("訊息已成功送出(MsgId:X") + QByteArray::number(i) + ')');
    m_sim->setReplyFaults({kReplyDelayMs, false, 0});

    inModal<TFormFollowUp>([&] { trigger(menuItem("MItemTFollowUp")); },
                           [&](TFormFollowUp& d) { EXPECT_TRUE(click(&d, "ButtonStart")); }, [](TFormFollowUp&) {});
    FollowUp& followUp = mainWindow().followUp();
    ASSERT_TRUE(followUp.active());
    // The round is under way and the window usable: its second question is out.
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsOf(*m_sim, {GwQuery}) >= 2; }, 10000));
    EXPECT_TRUE(mainWindow().isEnabled());
    EXPECT_TRUE(followUp.statusText().startsWith(QStringLiteral("追蹤中：6 筆未確定")));

    // A click below the rows: the list query covers every row.
    clickRow(mainWindow().listView(), kRows);
    ASSERT_TRUE(trigger(menuItem("PMItemLvQuerySMS")));
    const int askedByRound = requestsOf(*m_sim, {GwQuery});
    EXPECT_LT(askedByRound, kRows) << "the round ran to its end instead of yielding";
    int answered = 0;
    for (int r = 0; r < kRows; ++r)
        answered += rows.row(r).texts[ColQueryCode] == "2" ? 1 : 0;
    EXPECT_EQ(answered, askedByRound) << "the answer in flight did not land before the job began";

    ASSERT_TRUE(QTest::qWaitFor([&] { return progress().tracker().done(); }, 20000));
    EXPECT_TRUE(followUp.statusText().endsWith(QStringLiteral("等待作業結束"))) << followUp.statusText().toStdString();
    EXPECT_TRUE(click(&progress(), "ButtonOk"));
    EXPECT_EQ(requestsOf(*m_sim, {GwQuery}), kRows) << "a row was asked twice, or not at all";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !followUp.active(); }, 10000));
    EXPECT_EQ(followUp.statusText(), QStringLiteral("追蹤結束：0 筆未確定（全部確定）"));
    mainWindow().logModel().setJournal(nullptr);
    std::sort(journal.numbers.begin(), journal.numbers.end());
    EXPECT_EQ(journal.numbers,
              (QList<QByteArray>{"0912000000", "0912000001", "0912000002", "0912000003", "0912000004", "0912000005"}));
    EXPECT_GE(journal.ends, 2) << "the round's end and the job's";
}

// Each number of the sentence is reached by the Alt key of a word next to it, never of a conjunction.
TEST_F(FollowUpTest, EachBoxOfTheSentenceHasTheAltKeyOfItsWord) {
    inModal<TFormFollowUp>([&] { trigger(menuItem("MItemTFollowUp")); },
                           [&](TFormFollowUp& d) {
                               QStringList named;
                               for (const QLabel* label : d.findChildren<QLabel*>())
                                   if (label->buddy())
                                       named << label->buddy()->objectName() + QLatin1Char('=') + label->text();
                               named.sort();
                               EXPECT_EQ(named, (QStringList{QStringLiteral("SpinEditEvery=每(&E)"),
                                                             QStringLiteral("SpinEditFor=小時(&H)後停止")}));
                               EXPECT_TRUE(click(&d, "ButtonCancel"));
                           },
                           [](TFormFollowUp&) {});
}

// 傳送結果統計's export: a name typed without an extension is saved as the CSV file it writes, and a path that
// cannot be written is named with the system's reason under its own line.
TEST_F(FollowUpTest, AResultsExportIsSavedAsCsvOrSaysWhyItCannotBe) {
    ASSERT_NO_FATAL_FAILURE(writeAll(path("plain"), QByteArray()));
    const struct {
        QString typed;
        QString said;
        QString written; // none: nothing is written
    } cases[] = {
        {path("counts"), QStringLiteral("已匯出到 %1").arg(path("counts.csv")), path("counts.csv")},
        {path("plain/results.csv"),
         QStringLiteral("無法寫入檔案：%1\n無法建立暫存檔 %1：路徑中有一段不是目錄").arg(path("plain/results.csv")),
         QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_prompts.asked.clear();
        m_prompts.fileNames.push_back(c.typed);
        m_prompts.dialogHandlers.push_back([&](QDialog* results) {
            EXPECT_TRUE(click(results, "ButtonExport"));
            results->reject();
        });
        ASSERT_TRUE(trigger(menuItem("MItemVResults")));
        EXPECT_EQ(m_prompts.messages().value(0), c.said);
        if (!c.written.isEmpty()) {
            EXPECT_TRUE(QFileInfo::exists(c.written));
            EXPECT_FALSE(QFileInfo::exists(c.typed)) << "the name as typed";
        }
    }
}
