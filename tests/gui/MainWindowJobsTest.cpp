#include "support/SimulatorWindowTest.h"

#include "core/gateway/GwRecords.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogStream.h"
#include "core/shared/Progress.h"
#include "core/workers/JobRegistry.h"
#include "gui/workers/ExitSignals.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

using namespace norvi;
using namespace norvi::test;

namespace {

// The send log's pop-up jobs, chosen from the pop-up menu, run the real worker against the simulator, with
// every call of the worker carried out on this (the user-interface) thread.
class MainWindowJobsTest : public SimulatorWindowTest {
protected:
    void SetUp() override {
        SimulatorWindowTest::SetUp();
        withoutQuietHours();
    }
    void TearDown() override {
        SimulatorWindowTest::TearDown();
        Clock::reset();
    }
    void addRow(const char* name, const char* mobile, const char* code, const QByteArray& result,
                int codeImage = ImageNone) {
        addLogRow(name, mobile, code, result, big5("會議改到三點"), codeImage);
    }
    bool choose(const char* popupItem) { return trigger(menuItem(popupItem)); }
    // Waits, handling events, until the worker's end state reached the progress window; then confirms it
    // with the window's own button.
    void finishJob() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
        // Until the end is confirmed the window keeps what its menu bar offers beside the job, and nothing that
        // would start another.
        EXPECT_EQ(unreachable(mainWindow().menuBar()), QString());
        for (const char* free : {"MItemFExit", "MItemHAbout", "MItemVToolBar", "MItemVStatusBar", "MItemVMsgWin"})
            EXPECT_TRUE(menuItem(free)->isEnabled()) << free;
        for (const char* locked : {"MItemTSendSMS", "MItemTQuerySMS", "MItemTCancelSMS", "MItemTFollowUp",
                                   "MItemTAdrBk", "MItemTSettings", "MItemFLoad", "MItemFSave", "PMItemLvQuerySMS"})
            EXPECT_FALSE(menuItem(locked)->isEnabled()) << locked;
        EXPECT_TRUE(click(&progress(), "ButtonOk"));
        // The job is over once its worker is gone as well: only then are the commands free again.
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().busy(); }, 5000));
    }
    // A load's end, confirmed.
    void finishLoad() {
        QCoreApplication::sendPostedEvents(&progress(), WM_SHOWPROCESS);
        ASSERT_TRUE(progress().tracker().done());
        EXPECT_TRUE(click(&progress(), "ButtonOk"));
    }
};

} // namespace

TEST_F(MainWindowJobsTest, ResendAppendsTheFailedRowsAndQueryAllAsksEverySentMessage) {
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:NOSUCH)"));
    m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the rows

    choose("PMItemLvRSendSMS");
    finishJob();
    EXPECT_EQ(progress().tracker().statusText(), QStringLiteral("簡訊傳送完成：成功 1 筆，失敗 0 筆"));
    EXPECT_TRUE(m_prompts.messages().contains(QStringLiteral("要清除現有的傳送紀錄？")));
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 3);
    // Sorted by name: the resent A lands next to the failed A.
    EXPECT_EQ(cell(1, ColName), QStringLiteral("A"));
    EXPECT_EQ(cell(1, ColSendCode), QStringLiteral("0"));
    EXPECT_TRUE(cell(1, ColSendResult).startsWith(QStringLiteral("訊息已成功送出(MsgId:")));

    // A click below the rows leaves none selected: the query covers all rows.
    clickRow(mainWindow().listView(), 3);
    ASSERT_TRUE(mainWindow().jobRows().selectedRows().isEmpty());
    choose("PMItemLvQuerySMS");
    finishJob();
    EXPECT_EQ(progress().tracker().statusText(),
              QStringLiteral("簡訊查詢完成，查詢 3 筆：有回覆 2 筆（已送達 1 筆、不確定 1 筆）、未能查詢 0 筆、略過 1 "
                             "筆（未成功送出）"));
    EXPECT_EQ(cell(0, ColQueryCode), QString()) << "a failed send is never asked";
    EXPECT_EQ(cell(1, ColQueryCode), QStringLiteral("0"));
    EXPECT_TRUE(cell(1, ColQueryResult).startsWith(QStringLiteral("訊息已送達對方")));
    EXPECT_EQ(cell(2, ColQueryCode), QStringLiteral("2")) << "the gateway knows no such MsgId";
}

// The rows a query of the whole list asked stay marked, but they are the job's marks, not the user's choice:
// the pop-up's next query and 失敗重發 still take every row; a row the user selects is theirs again.
TEST_F(MainWindowJobsTest, TheRowsAQueryOfAllRowsMarkedAreNotTakenAsTheUsersChoice) {
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:NOSUCH)"));
    addRow("C", "0912000003", "0", big5("訊息已成功送出(MsgId:X)"));
    const auto queried = [this] {
        choose("PMItemLvQuerySMS");
        finishJob();
        return progress().tracker().statusText().section(QStringLiteral("："), 0, 0);
    };
    EXPECT_EQ(queried(), QStringLiteral("簡訊查詢完成，查詢 3 筆"));
    EXPECT_EQ(mainWindow().jobRows().selectedRows(), (QVector<int>{1, 2})) << "the rows asked are shown";
    EXPECT_EQ(queried(), QStringLiteral("簡訊查詢完成，查詢 3 筆"));

    m_prompts.answers = {Prompts::Answer::No, Prompts::Answer::No}; // not the uncertain ones; keep the rows
    choose("PMItemLvRSendSMS");
    finishJob();
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 4) << "the failed A is resent";

    clickRow(mainWindow().listView(), 3);
    EXPECT_EQ(queried(), QStringLiteral("簡訊查詢完成，查詢 1 筆"));
}

// A message that may have reached its recipient goes again only when the user says so, and a message already
// resent is not resent by the next 失敗重發.
TEST_F(MainWindowJobsTest, ResendAsksAboutUncertainRowsAndSendsEachFailedRowOnce) {
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    addRow("C", "0912000003", "-1", big5("Recv()逾時，可能已送出"));
    const QString question = QStringLiteral("其中 1 筆可能已送出，也要重發？");
    const auto mobiles = [this] {
        QStringList out;
        for (int r = 0; r < mainWindow().jobRows().rowCount(); ++r)
            out << cell(r, ColMobile);
        out.sort();
        return out;
    };
    m_prompts.answers = {Prompts::Answer::No, Prompts::Answer::No}; // not the uncertain one; keep the rows
    choose("PMItemLvRSendSMS");
    finishJob();
    EXPECT_TRUE(m_prompts.messages().contains(question));
    EXPECT_EQ(m_prompts.asked.first().preselected, Prompts::Answer::No) << "a hurried Return sends nothing twice";
    EXPECT_EQ(mobiles(),
              QStringList({QStringLiteral("0912000001"), QStringLiteral("0912000001"), QStringLiteral("0912000003")}));

    m_prompts.answers = {Prompts::Answer::Cancel};
    clickRow(mainWindow().listView(), 3);
    choose("PMItemLvRSendSMS");
    EXPECT_FALSE(progress().isVisible()) << "取消 starts nothing";
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 3);

    m_prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::No};
    choose("PMItemLvRSendSMS");
    finishJob();
    EXPECT_EQ(mobiles(), QStringList({QStringLiteral("0912000001"), QStringLiteral("0912000001"),
                                      QStringLiteral("0912000003"), QStringLiteral("0912000003")}))
        << "A was resent already; only C goes";
}

// A log-out's SIGTERM while a pop-up job's question stands ends the program as main() ends it: every event loop
// is left, the box's too. Nobody answered, so nothing starts: the box must not count as 是, which sent the
// messages that may have gone again (or cancelled the reservations) while the program went down.
namespace {

struct QuestionCase {
    const char* item;
    const char* question;
};

class SignalUnderQuestionTest : public MainWindowJobsTest, public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(SignalUnderQuestionTest, NothingStarts) {
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::received, &mainWindow(), &TFormMain::endWithoutSaving);
    QObject::connect(&mainWindow(), &TFormMain::programEnding, [] { QCoreApplication::exit(0); });
    addRow("C", "0912000003", "-1", big5("Recv()逾時，可能已送出"));
    addRow("R", "0912000009", "0", big5("訊息已成功送出(MsgId:R1)"), ImageReservation);
    mainWindow().setLogSaved(true); // as loaded from a file: clearing the list asks nothing more
    m_prompts.realQuestions = true;
    QString asked;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && asked.isEmpty()) {
            asked = box->text();
            ::raise(SIGTERM);
        }
    });
    watch.start(20);
    choose(GetParam().item);
    watch.stop();
    EXPECT_EQ(asked, QString::fromUtf8(GetParam().question));
    EXPECT_FALSE(jobs().workerRegistered());
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 2);
    EXPECT_TRUE(m_sim->requests().empty());
    // The next test's boxes and waits run again: the application's loop is left as main() leaves it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

INSTANTIATE_TEST_SUITE_P(Questions, SignalUnderQuestionTest,
                         ::testing::Values(QuestionCase{"PMItemLvRSendSMS", "其中 1 筆可能已送出，也要重發？"},
                                           QuestionCase{"PMItemLvCancelSMS", "要取消 1 筆預約？"}),
                         [](const ::testing::TestParamInfo<QuestionCase>& info) {
                             return std::string(info.param.item);
                         });

} // namespace

// The pop-up 取消預約 cannot be undone: it names the reservations it would try and starts nothing on 否.
TEST_F(MainWindowJobsTest, PopupCancelAsksFirstCountingOnlyReservations) {
    addRow("R", "0912000009", "0", big5("訊息已成功送出(MsgId:NOSUCH)"), ImageReservation);
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:X)"));
    m_prompts.answers.push_back(Prompts::Answer::No);
    choose("PMItemLvCancelSMS");
    EXPECT_EQ(m_prompts.messages(), QStringList{QStringLiteral("要取消 1 筆預約？")});
    EXPECT_EQ(m_prompts.asked.last().preselected, Prompts::Answer::No);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(jobs().workerRegistered());
}

// 失敗重發 never reaches a number on the stop list, however the row writes it, and says which it left out; with
// nothing else failed it starts nothing and counts them.
TEST_F(MainWindowJobsTest, ResendLeavesOutTheStopListAndNamesWhatItLeftOut) {
    addRow("A", "0912-000-001", "-1", big5("網路連線失敗"));
    addRow("B", "0912000002", "-1", big5("網路連線失敗"));
    addToStopList("+886912000001");
    m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the rows
    choose("PMItemLvRSendSMS");
    finishJob();
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 3);
    EXPECT_EQ(QByteArray(m_sim->requests().back().msg_params), QByteArray("0912000002"));
    EXPECT_TRUE(messageArea().contains(QStringLiteral("拒收名單中的 0912-000-001 未重發")));

    addToStopList("0912000002");
    // A line that holds no number stops nobody: the resend names it, as a send does.
    QFile stopList(OptOutPath(m_dir.path()));
    ASSERT_TRUE(stopList.open(QIODevice::Append));
    stopList.write("0912-000-003 Mr Wang\r\n");
    stopList.close();
    m_prompts.asked.clear();
    clickRow(mainWindow().listView(), 3);
    choose("PMItemLvRSendSMS");
    EXPECT_EQ(m_prompts.messages(),
              QStringList{QStringLiteral("沒有確定失敗的訊息需要重新傳送！\n略過 2 筆：已重發過 1 筆，拒收 1 筆")});
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(messageArea().contains(
        QStringLiteral("拒收名單檔案有 1 行不是手機門號，已保留原樣：第 3 行 0912-000-003 Mr Wang")));
}

// At night 失敗重發 asks whether to book the resend for the end of the quiet hours (the default), send it now, or
// not at all; the operation log says what was chosen. Booked for 08:00 at 07:59, but with the question about
// the send log standing open past it, the resend goes at once: the gateway refuses a reservation in the past,
// and the night is over.
TEST_F(MainWindowJobsTest, ANightResendIsBookedForTheMorningOrSentNowAsTheUserSays) {
    QFile::remove(SendSettingsPath(m_dir.path())); // the quiet hours of a fresh start folder
    Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(23, 40)));
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    m_prompts.answers = {Prompts::Answer::Cancel};
    choose("PMItemLvRSendSMS");
    EXPECT_EQ(m_prompts.messages(),
              QStringList{QStringLiteral("現在是夜間（21:00–08:00），要改為 08:00 預約重發嗎？（按「否」照常重發）")});
    EXPECT_EQ(m_prompts.asked.last().preselected, Prompts::Answer::Yes);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(m_sim->requests().empty());

    const struct {
        QTime at;
        Prompts::Answer answer; // to the night's question
        bool morningPasses;     // while the send log's question stands open
        const char* logged;
    } cases[] = {
        {QTime(23, 40), Prompts::Answer::Yes, false,
         "現在是夜間（21:00–08:00），失敗重發改為 2024/03/02 08:00 預約傳送"},
        {QTime(23, 40), Prompts::Answer::No, false, "現在是夜間（21:00–08:00），失敗重發照常傳送"},
        {QTime(7, 59), Prompts::Answer::Yes, true, "夜間已結束，失敗重發改為立即傳送"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), c.at));
        if (c.morningPasses)
            m_prompts.whileShown = [](const QString& text) {
                if (text.contains(QStringLiteral("清除")))
                    Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(8, 0, 20)));
            };
        // The resent row fails again (a refusal), so the next resend finds it.
        m_sim->failNextSends(8, 1);
        m_prompts.answers = {c.answer, Prompts::Answer::No}; // then 要清除現有的傳送紀錄？ keep the rows
        choose("PMItemLvRSendSMS");
        finishJob();
        m_prompts.whileShown = nullptr;
        EXPECT_TRUE(
            test::readAll(QDir(m_dir.path()).filePath(QStringLiteral("20240301.dbg"))).contains(big5(c.logged)));
    }
    EXPECT_EQ(sentSchedules(*m_sim), (QList<QByteArray>{"03", "01", "01"})) << "booked, then sent at once twice";
    EXPECT_EQ(cell(1, ColSendTime), QStringLiteral("20240302080000"));
}

TEST_F(MainWindowJobsTest, UnresolvableGatewayIsReportedBeforeAnyJobStarts) {
    editConfig([](sConfig& c) { putField(c.gwIp, QByteArray("nonexistent.invalid")); });
    addRow("B", "0912000002", "0", big5("訊息已成功送出(MsgId:X)"));
    choose("PMItemLvCancelSMS");
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(jobs().workerRegistered());
}

// 失敗重發 over rows whose first resend failed again: the second sends each message once, through the rows
// the first one added (those become the selection), and a third sends nothing, saying what it left out.
TEST_F(MainWindowJobsTest, ResendAfterAResendThatFailedAgainSendsEachMessageOnce) {
    addRow("A", "0912000001", "-1", big5("網路連線失敗"));
    addRow("B", "0912000002", "-1", big5("網路連線失敗"));
    const auto sends = [this] { return requestsOf(*m_sim, {GwSendDomestic}); };
    m_sim->failNextSends(10, 2);
    m_prompts.answers = {Prompts::Answer::No}; // keep the rows
    choose("PMItemLvRSendSMS");
    finishJob();
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 4);
    ASSERT_EQ(sends(), 2);

    m_prompts.answers = {Prompts::Answer::No};
    choose("PMItemLvRSendSMS");
    const QVector<int> chosen = mainWindow().jobRows().selectedRows();
    ASSERT_EQ(chosen.size(), 2);
    for (int row : chosen)
        EXPECT_EQ(cell(row, ColSendCode), QStringLiteral("10")) << "the first resend's rows are resent";
    finishJob();
    EXPECT_EQ(sends(), 4) << "each message once more";
    EXPECT_EQ(progress().tracker().statusText(),
              QStringLiteral("簡訊傳送完成：成功 2 筆，失敗 0 筆；略過 2 筆：已重發過 2 筆"));

    clickRow(mainWindow().listView(), 7);
    m_prompts.asked.clear();
    choose("PMItemLvRSendSMS");
    EXPECT_EQ(m_prompts.messages(),
              QStringList{QStringLiteral("沒有確定失敗的訊息需要重新傳送！\n略過 4 筆：已重發過 4 筆")});
    EXPECT_EQ(sends(), 4);
}

// A log whose resend norvi-cli was killed in: its load offers to finish the newer copy first, and the
// finished log's resent row then speaks for the message.
TEST_F(MainWindowJobsTest, LoadingALogWithAnUnfinishedCopyOffersToFinishItFirst) {
    SendLogRow failed;
    failed.image = ImageTyped;
    failed.texts = {big5("A"), "0912000001", "20240301093000",    "-1", big5("網路連線失敗"),
                    {},        {},           big5("會議改到三點")};
    SendLogRow resent = failed;
    resent.texts[ColSendCode] = "0";
    resent.texts[ColSendResult] = big5("訊息已成功送出(MsgId:NV1)");
    for (const char* name : {"r.log", "kept.log"}) {
        LogFileWriter writer(path(name));
        ASSERT_TRUE(writer.open(1));
        writer.write(failed);
        ASSERT_TRUE(writer.commit());
        LogStream partial;
        ASSERT_TRUE(partial.create(path(name) + QStringLiteral(".Ab12Cd.partial")));
        ASSERT_TRUE(partial.appendRows({failed, resent}));
        partial.close();
    }

    // 否 loads the log as it is, and leaves the copy.
    m_prompts.fileNames = {path("kept.log")};
    m_prompts.answers = {Prompts::Answer::No};
    choose("MItemFLoad");
    finishLoad();
    ASSERT_EQ(m_prompts.messages().size(), 1);
    EXPECT_TRUE(m_prompts.messages()[0].contains(path("kept.log.Ab12Cd.partial")))
        << m_prompts.messages()[0].toStdString();
    EXPECT_TRUE(m_prompts.messages()[0].contains(QStringLiteral("norvi-cli finish")));
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 1);
    EXPECT_TRUE(QFileInfo::exists(path("kept.log.Ab12Cd.partial")));

    // 是 finishes it in place first: the log then holds the resent row, and nothing is left to resend.
    m_prompts.fileNames = {path("r.log")};
    m_prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes}; // finish it; clear the list
    choose("MItemFLoad");
    finishLoad();
    EXPECT_FALSE(QFileInfo::exists(path("r.log.Ab12Cd.partial")));
    EXPECT_EQ(test::readLog(path("r.log")).size(), 2u);
    ASSERT_EQ(mainWindow().jobRows().rowCount(), 2);
    m_prompts.asked.clear();
    choose("PMItemLvRSendSMS");
    EXPECT_EQ(m_prompts.messages(),
              QStringList{QStringLiteral("沒有確定失敗的訊息需要重新傳送！\n略過 1 筆：已重發過 1 筆")});
    EXPECT_EQ(m_sim->requests().size(), 0u);
}
