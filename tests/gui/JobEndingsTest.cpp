// Every way a job can start and every way it can end, run through the window set with the real worker
// against a slowed simulator, so each ending comes while the run still goes on. The cells are generated from
// the openers and endings below; cells that cannot happen (the close box of a window behind a modal one) are
// left out.
#include "GatewaySimulator.h"
#include "support/BookWindowTest.h"
#include "support/RawTcpServer.h"

#include "core/shared/SendSettings.h"
#include "support/GatewayPeer.h"
#include "support/SimulatorWindowTest.h"

#include "core//sendlog/LogFile.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/workers/JobRegistry.h"
#include "gui/compose/TFormSendSMS.h"
#include "gui/workers/ExitSignals.h"
#include "gui/workers/JobSupervisor.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <functional>
#include <set>

using namespace norvi;
using namespace norvi::test;

namespace {

enum class Opener { Tools, SendLogRow, AddressBook, QueryDialog, PopupQuery, PopupResend };
enum class Ending {
    RunToEnd,
    Interrupt,
    CloseBoxYes,
    CloseBoxNo,
    ExitMenuYes, // 檔案 > 結束 while the job runs, answered 是
    ExitSaveYes,
    ExitSaveNo,
    ExitSaveCancelled
};

struct Cell {
    Opener opener;
    Ending ending;
};

const char* name(Opener o) {
    static const char* const names[] = {"Tools",       "SendLogRow", "AddressBook",
                                        "QueryDialog", "PopupQuery", "PopupResend"};
    return names[int(o)];
}
const char* name(Ending e) {
    static const char* const names[] = {"RunToEnd",    "Interrupt",   "CloseBoxYes", "CloseBoxNo",
                                        "ExitMenuYes", "ExitSaveYes", "ExitSaveNo",  "ExitSaveCancelled"};
    return names[int(e)];
}
void PrintTo(const Cell& c, std::ostream* os) {
    *os << name(c.opener) << "/" << name(c.ending);
}

bool sends(Opener o) {
    return o == Opener::Tools || o == Opener::SendLogRow || o == Opener::AddressBook || o == Opener::PopupResend;
}
bool mainWindowJob(Opener o) {
    return o == Opener::PopupQuery || o == Opener::PopupResend;
}
bool leavesProgram(Ending e) {
    return e == Ending::CloseBoxYes || e == Ending::ExitMenuYes || e == Ending::ExitSaveYes || e == Ending::ExitSaveNo;
}

std::vector<Cell> cells() {
    std::vector<Cell> out;
    for (Opener o : {Opener::Tools, Opener::SendLogRow, Opener::AddressBook, Opener::QueryDialog, Opener::PopupQuery,
                     Opener::PopupResend})
        for (Ending e : {Ending::RunToEnd, Ending::Interrupt, Ending::CloseBoxYes, Ending::CloseBoxNo,
                         Ending::ExitMenuYes, Ending::ExitSaveYes, Ending::ExitSaveNo, Ending::ExitSaveCancelled}) {
            // Only the main window's own jobs leave its close box and its menu bar within reach: a job of a
            // modal window has a modal progress window, which keeps them away until the end is confirmed.
            const bool whileRunning = e == Ending::CloseBoxYes || e == Ending::CloseBoxNo || e == Ending::ExitMenuYes;
            if (whileRunning && !mainWindowJob(o))
                continue;
            // The resend shares the send's worker with the other send openers: its own cells are the ones
            // where it ends the program.
            if (o == Opener::PopupResend && e != Ending::CloseBoxYes && e != Ending::Interrupt)
                continue;
            out.push_back({o, e});
        }
    return out;
}

constexpr int kRecipients = 10;
const QString kExitQuestion = QStringLiteral("作業進行中，要中斷作業並結束程式？");
const QString kSaveQuestion = QStringLiteral("現有的傳送紀錄已變更，要儲存？");

class JobEndingsTest : public BookWindowTest, public ::testing::WithParamInterface<Cell> {
protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        // Every reply comes in two parts 60 ms apart: a run of ten lasts long enough for any ending.
        m_sim = startedSimulator(gwsim::ReplyPacing::split(100, 60));
        QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
        writeConfig(path("logs"), "127.0.0.1", m_sim->port(), "demo", "demo");
        // The runs go at once whatever the hour the test runs at: no quiet hours turn them into reservations.
        SendSettings settings;
        settings.quiet.enabled = false;
        QString error;
        ASSERT_TRUE(WriteSendSettings(m_dir.path(), settings, &error)) << error.toStdString();
        for (int i = 0; i < kRecipients; ++i)
            addMember(101 + i, qPrintable(QStringLiteral("成員%1").arg(i)),
                      qPrintable(QStringLiteral("09120000%1").arg(i, 2, 10, QLatin1Char('0'))));
        startWithBook();
        QObject::connect(&mainWindow(), &TFormMain::programEnding, &mainWindow(), [this] { ++m_endings; });
    }
    void TearDown() override {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().workerRunning(); }, 20000));
        BookWindowTest::TearDown();
        m_sim.reset();
    }

    ModelJobRows& log() { return mainWindow().jobRows(); }
    QStringList typedNumbers() {
        QStringList numbers;
        for (int i = 0; i < kRecipients; ++i)
            numbers << QStringLiteral("09120000%1").arg(i, 2, 10, QLatin1Char('0'));
        return numbers;
    }
    // Messages the simulator accepted (each got its MsgId), and the MsgIds the rows hold.
    qint64 accepted() { return m_sim->counts().accepted; }
    std::set<QByteArray> rowMsgIds() {
        std::set<QByteArray> ids;
        for (int r = 0; r < log().rowCount(); ++r) {
            const QByteArray result = log().row(r).texts[ColSendResult];
            const int at = int(result.indexOf("MsgId:"));
            if (at >= 0)
                ids.insert(result.mid(at + 6, result.indexOf(')', at) - at - 6));
        }
        return ids;
    }

    int rowsSaying(const char* text) {
        int n = 0;
        for (int r = 0; r < log().rowCount(); ++r)
            n += fromBig5(log().row(r).texts[ColSendResult]).startsWith(QString::fromUtf8(text)) ? 1 : 0;
        return n;
    }
    // Every message the gateway accepted has its row with its MsgId: the gateway here answers within 0.1 s,
    // well inside the grace a stop gives the answer in flight.
    void expectEveryAcceptedRecorded() {
        std::set<QByteArray> rows = rowMsgIds();
        rows.erase("OLD");
        EXPECT_EQ(accepted() - m_acceptedBefore, qint64(rows.size()) - m_idsBefore)
            << accepted() << " accepted, " << rows.size() << " rows with a MsgId";
        EXPECT_EQ(rowsSaying("已中斷：閘道未回覆"), 0);
    }
    // Rows a resend takes: messages that surely failed, each to its own number.
    void addFailedRows() {
        for (int i = 0; i < kRecipients; ++i)
            addLogRow("甲", typedNumbers().at(i).toLatin1(), "-1", big5("網路連線失敗"));
        mainWindow().setLogSaved(true);
    }

    // The rows a query job walks: messages the simulator accepted.
    void addSentRows() {
        for (int i = 0; i < kRecipients; ++i) {
            const QByteArray msgId = sendAcceptedMessage(m_sim->port(), false);
            addLogRow("甲", "0912345678", "0", big5("訊息已成功送出(MsgId:") + msgId + ")");
        }
        mainWindow().setLogSaved(true);
        m_acceptedBefore = accepted();
    }

    // Waits until the running job has made some progress, then acts: the ending comes mid-run.
    void waitMidRun() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().position() >= 2; }, 20000));
        ASSERT_FALSE(progress().tracker().done()) << "the run ended before the ending came";
    }

    // The ending, acted in whatever window is in front while the job runs.
    void endJob(Ending e) {
        switch (e) {
        case Ending::Interrupt:
            waitMidRun();
            ASSERT_TRUE(click(&progress(), "ButtonOk")); // 中斷
            [[fallthrough]];
        case Ending::RunToEnd:
        case Ending::ExitSaveYes:
        case Ending::ExitSaveNo:
        case Ending::ExitSaveCancelled:
            ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
            ASSERT_TRUE(click(&progress(), "ButtonOk")); // 確定
            return;
        case Ending::ExitMenuYes:
            waitMidRun();
            m_prompts.answers.push_back(Prompts::Answer::Yes);
            ASSERT_TRUE(trigger(menuItem("MItemFExit")));
            return;
        case Ending::CloseBoxYes:
        case Ending::CloseBoxNo:
            waitMidRun();
            m_prompts.answers.push_back(e == Ending::CloseBoxYes ? Prompts::Answer::Yes : Prompts::Answer::No);
            {
                // The window manager's close box, as the window system hands it to the window.
                QCloseEvent closeBox;
                QCoreApplication::sendEvent(mainWindow().windowHandle(), &closeBox);
            }
            if (e == Ending::CloseBoxNo) {
                ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
                ASSERT_TRUE(click(&progress(), "ButtonOk"));
            }
            return;
        }
    }

    // In the send dialog: the ten numbers, the text unless `keepText` (a send log row's own), 傳送 past the summary.
    void typeAndSend(QDialog* d, bool keepText = false) {
        ASSERT_TRUE(typeInto(findControl<QWidget>(d, "RichEditMT"), typedNumbers().join(QStringLiteral("; "))));
        if (!keepText) {
            ASSERT_TRUE(typeInto(findControl<QWidget>(d, "MemoSM"), QStringLiteral("會議改到三點")));
        }
        answerSendSummary();
        ASSERT_TRUE(click(d, "ButtonSend"));
    }

    // Starts the job from the opener and ends it; returns once the starter's window (if any) has closed.
    void runCell(const Cell& c) {
        switch (c.opener) {
        case Opener::Tools:
        case Opener::SendLogRow:
            m_prompts.dialogHandlers.push_back([this, c](QDialog* d) {
                ASSERT_EQ(d, &m_windows->sendSMS());
                ASSERT_NO_FATAL_FAILURE(typeAndSend(d, c.opener == Opener::SendLogRow));
                endJob(c.ending);
            });
            if (c.opener == Opener::Tools) {
                ASSERT_TRUE(trigger(menuItem("MItemTSendSMS")));
            } else {
                ASSERT_TRUE(clickRow(mainWindow().listView(), 0));
                m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the row
                ASSERT_TRUE(trigger(menuItem("PMItemLvOSendSMS")));
            }
            return;
        case Opener::AddressBook:
            withBook([this, c](TFormAdrBk& book) {
                QStringList members;
                for (int i = 0; i < kRecipients; ++i)
                    members << QStringLiteral("成員%1").arg(i);
                ASSERT_TRUE(clickRows(list(book), members));
                m_prompts.dialogHandlers.push_back([this, c](QDialog* d) {
                    ASSERT_TRUE(typeInto(findControl<QWidget>(d, "MemoSM"), QStringLiteral("會議改到三點")));
                    answerSendSummary();
                    ASSERT_TRUE(click(d, "ButtonSend"));
                    endJob(c.ending);
                });
                ASSERT_TRUE(trigger(item(book, "MItemASend")));
                // The book is usable again once the run's end is confirmed.
                EXPECT_EQ(unreachable(list(book)), QString()) << "the address book after the run";
                EXPECT_TRUE(trigger(item(book, "MItemRefresh")));
            });
            return;
        case Opener::QueryDialog:
            m_prompts.dialogHandlers.push_back([this, c](QDialog* d) {
                ASSERT_TRUE(click(d, "ButtonQuery"));
                endJob(c.ending);
            });
            ASSERT_TRUE(trigger(menuItem("MItemTQuerySMS")));
            return;
        case Opener::PopupQuery:
            ASSERT_TRUE(trigger(menuItem("PMItemLvQuerySMS")));
            endJob(c.ending);
            return;
        case Opener::PopupResend:
            withoutQuietHours();
            m_prompts.answers.push_back(Prompts::Answer::No); // 要清除現有的傳送紀錄？ keep the rows
            ASSERT_TRUE(trigger(menuItem("PMItemLvRSendSMS")));
            endJob(c.ending);
            return;
        }
    }

    // Runs `act` in an event loop of its own that the program's end must leave within `ms`: 0 when it did.
    int untilProgramEnds(const std::function<void()>& act, int ms = 10000) {
        QEventLoop loop;
        QObject::connect(&mainWindow(), &TFormMain::programEnding, &loop, [&loop] { loop.exit(0); });
        QTimer::singleShot(0, &loop, act);
        QTimer::singleShot(ms, &loop, [&loop] { loop.exit(1); });
        return loop.exec();
    }
    // A log-out's SIGTERM, as the desktop program takes it: the program ends without saving.
    void takeSignals(ExitSignals& source) {
        QObject::connect(&source, &ExitSignals::received, &mainWindow(), &TFormMain::endWithoutSaving);
    }

    // 檔案 → 結束 after the run, the save question answered as the cell says.
    int exitAfterRun(Ending e) {
        if (e == Ending::ExitSaveYes || e == Ending::ExitSaveCancelled) {
            m_prompts.answers.push_back(Prompts::Answer::Yes);
            m_prompts.fileNames.push_back(e == Ending::ExitSaveYes ? path("logs/kept.log") : QString());
        } else {
            m_prompts.answers.push_back(Prompts::Answer::No);
        }
        if (e == Ending::ExitSaveCancelled) {
            trigger(menuItem("MItemFExit"));
            return m_endings;
        }
        return untilProgramEnds([this] { trigger(menuItem("MItemFExit")); });
    }

    std::unique_ptr<gwsim::GatewaySimulator> m_sim;
    qint64 m_acceptedBefore = 0;
    qint64 m_idsBefore = 0;
    int m_endings = 0;
};

TEST_P(JobEndingsTest, TheJobEndsCleanlyAndTheProgramAsAsked) {
    const Cell c = GetParam();
    if (c.opener == Opener::QueryDialog || c.opener == Opener::PopupQuery)
        addSentRows();
    if (c.opener == Opener::PopupResend)
        addFailedRows();
    if (c.opener == Opener::SendLogRow) {
        addLogRow("舊", "0900000000", "0", big5("訊息已成功送出(MsgId:OLD)"), big5("會議改到三點"));
        mainWindow().setLogSaved(true);
    }
    const int rowsBefore = log().rowCount();

    runCell(c);
    if (c.ending == Ending::CloseBoxYes || c.ending == Ending::ExitMenuYes) {
        // 是 stops the job; the program ends once the worker has handed over its rows (nothing unsaved was
        // asked about: the answer queue holds no more).
        m_prompts.answers.push_back(Prompts::Answer::No); // 要儲存？
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_endings == 1; }, 10000)) << "the program did not end";
        EXPECT_FALSE(m_windows->jobs().workerRunning());
        EXPECT_TRUE(m_prompts.messages().contains(kExitQuestion));
        EXPECT_FALSE(mainWindow().isVisible());
        EXPECT_FALSE(progress().isVisible()) << "no window is left behind";
        if (sends(c.opener))
            expectEveryAcceptedRecorded();
        return;
    }

    // The job is over: every window it used is closed, the main window and its commands usable again.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().busy(); }, 5000));
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(m_windows->sendSMS().isVisible());
    EXPECT_FALSE(m_windows->querySMS().isVisible());
    EXPECT_EQ(unreachable(mainWindow().listView()), QString());
    for (const char* command : {"MItemTSendSMS", "MItemTQuerySMS", "MItemFSave", "MItemFLoad", "MItemTAdrBk"})
        EXPECT_TRUE(menuItem(command)->isEnabled()) << command;
    EXPECT_EQ(m_prompts.messages().contains(kExitQuestion), c.ending == Ending::CloseBoxNo);

    // The record: every message the gateway accepted has its row, and a run to the end reached everyone.
    if (sends(c.opener)) {
        expectEveryAcceptedRecorded();
        EXPECT_EQ(log().rowCount() - rowsBefore, kRecipients) << "every recipient has a row, reached or not";
        if (c.ending == Ending::Interrupt) {
            EXPECT_GT(rowsSaying("未傳送：作業已中斷"), 0) << "the stop came mid-run";
        }
    } else {
        EXPECT_EQ(log().rowCount(), rowsBefore) << "a query adds no row";
        EXPECT_EQ(accepted(), m_acceptedBefore) << "a query sends nothing";
    }

    if (!leavesProgram(c.ending) && c.ending != Ending::ExitSaveCancelled) {
        EXPECT_EQ(m_endings, 0);
        EXPECT_TRUE(mainWindow().isVisible());
        return;
    }
    const int exited = exitAfterRun(c.ending);
    if (c.ending == Ending::ExitSaveCancelled) {
        EXPECT_EQ(exited, 0) << "a cancelled save keeps the program open";
        EXPECT_TRUE(mainWindow().isVisible());
        EXPECT_FALSE(logFiles().logSaved());
        return;
    }
    EXPECT_EQ(exited, 0) << "the event loop ends with status 0 within 10 s";
    EXPECT_EQ(m_endings, 1);
    EXPECT_FALSE(mainWindow().isVisible());
    EXPECT_FALSE(progress().isVisible()) << "the save's progress window goes with the program";
    EXPECT_TRUE(m_prompts.messages().contains(kSaveQuestion));
    if (c.ending == Ending::ExitSaveYes) {
        LogFileReader reader(path("logs/kept.log"));
        ASSERT_TRUE(reader.open());
        EXPECT_EQ(reader.available(), log().rowCount());
    }
}

INSTANTIATE_TEST_SUITE_P(Cells, JobEndingsTest, ::testing::ValuesIn(cells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(name(info.param.opener)) + "_" + name(info.param.ending);
                         });

} // namespace

namespace {

// A log-out's SIGTERM in the middle of a run: the job stops, its worker hands over every row, and the
// program ends without a question (the rows stay where the journal keeps them).
TEST_F(JobEndingsTest, ASignalStopsTheRunKeepsItsRowsAndEndsWithoutAQuestion) {
    ExitSignals exitSignals;
    takeSignals(exitSignals);
    int exited = -1;
    m_prompts.dialogHandlers.push_back([&](QDialog* d) {
        ASSERT_NO_FATAL_FAILURE(typeAndSend(d));
        waitMidRun();
        exited = untilProgramEnds([] { ::raise(SIGTERM); });
        // The program's end leaves this modal show as well.
        d->reject();
    });
    ASSERT_TRUE(trigger(menuItem("MItemTSendSMS")));
    EXPECT_EQ(exited, 0);
    EXPECT_FALSE(m_windows->jobs().workerRunning());
    expectEveryAcceptedRecorded();
    EXPECT_EQ(log().rowCount(), kRecipients) << "every recipient has a row, reached or not";
    EXPECT_FALSE(m_prompts.messages().contains(kSaveQuestion));
}

// The gateway is gone and the run asks whether to go on; nobody answers, and a log-out's SIGTERM comes. The
// stop closes the box (answered 否), the run leaves a row for every recipient and the program ends: the
// worker does not wait for an answer that nobody gives.
TEST_F(JobEndingsTest, ASignalWhileTheRunAsksWhetherToGoOnClosesTheBoxAndEndsTheProgram) {
    ExitSignals exitSignals;
    takeSignals(exitSignals);
    m_prompts.realQuestions = true;
    // Nobody listens on the gateway's port any more: every attempt is refused.
    const auto gone = StopAndHoldPort(m_sim);
    int exited = -1;
    m_prompts.dialogHandlers.push_back([&](QDialog* d) {
        ASSERT_NO_FATAL_FAILURE(typeAndSend(d));
        // The box runs its own event loop: it is looked for from a timer, and SIGTERM comes from there.
        QString asked;
        bool leftOpen = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                watch.stop();
                asked = question->text();
                ::raise(SIGTERM);
                // A box the stop leaves open is closed here, so the test fails instead of hanging.
                QTimer::singleShot(10000, question, [&leftOpen, question] {
                    leftOpen = true;
                    question->reject();
                });
            }
        });
        watch.start(20);
        exited = untilProgramEnds([] {}, 30000);
        EXPECT_EQ(asked, QStringLiteral("閘道連續 3 次沒有回應，要繼續傳送嗎？"));
        EXPECT_FALSE(leftOpen) << "the stop left the question open";
        d->reject();
    });
    ASSERT_TRUE(trigger(menuItem("MItemTSendSMS")));
    EXPECT_EQ(exited, 0) << "the program ends within 30 s";
    EXPECT_FALSE(m_windows->jobs().workerRunning());
    EXPECT_EQ(log().rowCount(), kRecipients) << "every recipient has a row, reached or not";
    EXPECT_EQ(rowsSaying("未傳送"), kRecipients - 3);
}

} // namespace
