#include "support/SimulatorWindowTest.h"

#include "core/gateway/GwRecords.h"
#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/workers/JobStarter.h"
#include "core/workers/QueryJob.h"
#include "core/workers/SendLogJobs.h"
#include "gui/sendlog/UnsavedRows.h"
#include "support/GatewayPeer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace norvi;
using namespace norvi::test;

namespace {

QByteArray sentResult(const QByteArray& msgId) {
    return big5("訊息已成功送出(MsgId:") + msgId + ")";
}

// The query and cancel dialog, opened from the main window's tool menu and used with real clicks and keys,
// against the gateway simulator.
class QueryDialogTest : public SimulatorWindowTest {
protected:
    void TearDown() override {
        // A job left running by a failed test must not outlive the windows it writes to.
        EXPECT_TRUE(QTest::qWaitFor([this] { return !jobs().workerRegistered(); }, 20000)) << "a job was left running";
        SimulatorWindowTest::TearDown();
    }

    TFormQuerySMS& dialog() { return m_windows->querySMS(); }
    template <typename T> T* control(const char* name) { return findControl<T>(&dialog(), name); }
    QRadioButton* radio(const char* name) { return control<QRadioButton>(name); }

    // Opens the dialog from 工具 → 查詢(&Q)... or 取消預約(&C)... and acts in it as the user.
    void open(bool query, std::function<void()> inDialog) {
        m_prompts.dialogHandlers.push_back([inDialog](QDialog*) { inDialog(); });
        ASSERT_TRUE(trigger(menuItem(query ? "MItemTQuerySMS" : "MItemTCancelSMS")));
    }

    // A message the simulator accepted, sent by a client of the test's own: its MsgId.
    QByteArray sendDirect(bool reservation) {
        const QByteArray msgId = test::sendAcceptedMessage(m_sim->port(), reservation);
        EXPECT_FALSE(msgId.isEmpty());
        return msgId;
    }
    void addRow(const char* name, const char* code, const QByteArray& result, int codeImage = ImageNone) {
        addLogRow(name, "0912345678", code, result, "hello", codeImage);
    }
    void select(int row) { clickRow(mainWindow().listView(), row, Qt::ControlModifier); }
    int queries() const { return requestsOf(*m_sim, {GwQuery, GwCancel}); }

    // The commands a running job locks, each with whether it is enabled now.
    QStringList lockedCommands() {
        QStringList names;
        for (const char* name :
             {"MItemFLoad", "MItemFSave", "MItemFDelete", "PMItemLvDelete", "MItemVSortSendCode", "MItemVDescending",
              "MItemTQuerySMS", "MItemTSendSMS", "PMItemLvRSendSMS", "MItemTAdrBk"})
            if (!menuItem(name)->isEnabled())
                names << QString::fromLatin1(name);
        if (!mainWindow().listView()->header()->sectionsClickable())
            names << QStringLiteral("header");
        return names;
    }
};

} // namespace

TEST_F(QueryDialogTest, ScopeFollowsTheSelectionAndOnlyTheSingleScopeTakesAMsgId) {
    addRow("a", "0", sentResult("A1"));
    addRow("b", "0", sentResult("B1"));
    addRow("c", "0", sentResult("C1"));
    select(0);
    select(2);
    open(true, [this] {
        EXPECT_TRUE(radio("RadioButtonSelRec")->isChecked()); // its captions are checked with the cancel mode's
        EXPECT_FALSE(control<QLineEdit>("EditMsgId")->isEnabled());
        EXPECT_FALSE(control<QLabel>("Label1")->isEnabled());
        EXPECT_EQ(control<QLabel>("Label1")->buddy(), control<QLineEdit>("EditMsgId"));

        click(radio("RadioButton1Rec"));
        EXPECT_TRUE(control<QLineEdit>("EditMsgId")->isEnabled());
        EXPECT_TRUE(control<QLabel>("Label1")->isEnabled());
        typeInto(control<QLineEdit>("EditMsgId"), QStringLiteral("LEFTOVER"));
        click(radio("RadioButtonAllRec"));
        EXPECT_FALSE(control<QLineEdit>("EditMsgId")->isEnabled());
        click(&dialog(), "ButtonCancel");
    });
    EXPECT_FALSE(dialog().isVisible());

    // Nothing selected: all rows, and the MsgId typed last time is gone.
    clickRow(mainWindow().listView(), 3);
    open(true, [this] {
        EXPECT_TRUE(radio("RadioButtonAllRec")->isChecked());
        EXPECT_TRUE(control<QLineEdit>("EditMsgId")->text().isEmpty());
        EXPECT_FALSE(control<QLineEdit>("EditMsgId")->isEnabled());
        keyClick(&dialog(), Qt::Key_Escape);
    });
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(queries(), 0);
}

TEST_F(QueryDialogTest, EachScopeRefusesWhatItCannotAskAboutInTheWordsOfItsMode) {
    struct Mode {
        bool query;
        const char *title, *button, *one, *sel, *all, *noSelection, *emptyLog;
    };
    const Mode modes[] = {
        {true, "狀態查詢", "查詢", "單筆查詢", "發訊紀錄列視框所選紀錄查詢", "發訊紀錄列視框所有紀錄查詢",
         "請選擇欲查詢的訊息！", "沒有已發送待查詢的訊息！"},
        {false, "取消預約", "確定", "單筆預約取消", "發訊紀錄列視框所選紀錄預約取消", "發訊紀錄列視框所有紀錄預約取消",
         "請選擇欲取消的預約訊息！", "沒有已發送待取消的預約訊息！"},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.title);
        m_prompts.asked.clear();
        open(m.query, [&] {
            EXPECT_EQ(dialog().windowTitle(), QString::fromUtf8(m.title));
            EXPECT_EQ(control<QPushButton>("ButtonQuery")->text(), QString::fromUtf8(m.button));
            EXPECT_EQ(radio("RadioButton1Rec")->text(), QString::fromUtf8(m.one));
            EXPECT_EQ(radio("RadioButtonSelRec")->text(), QString::fromUtf8(m.sel));
            EXPECT_EQ(radio("RadioButtonAllRec")->text(), QString::fromUtf8(m.all));

            // The send log is empty: all rows, then the selection, then a MsgId left empty or unusable.
            click(&dialog(), "ButtonQuery");
            click(radio("RadioButtonSelRec"));
            click(&dialog(), "ButtonQuery");
            click(radio("RadioButton1Rec"));
            click(&dialog(), "ButtonQuery");
            typeInto(control<QLineEdit>("EditMsgId"), QStringLiteral("   "));
            keyClick(control<QLineEdit>("EditMsgId"), Qt::Key_Return); // Enter presses the action button
            typeInto(control<QLineEdit>("EditMsgId"), QString(21, QLatin1Char('7')));
            click(&dialog(), "ButtonQuery");
            typeInto(control<QLineEdit>("EditMsgId"), QString::fromUtf8("A\U0001F600"));
            click(&dialog(), "ButtonQuery");

            EXPECT_TRUE(dialog().isVisible()) << "every refusal leaves the dialog open";
            EXPECT_EQ(control<QLineEdit>("EditMsgId")->text(), QString::fromUtf8("A\U0001F600"));
            click(&dialog(), "ButtonCancel");
        });
        const QStringList shown = m_prompts.messages();
        ASSERT_EQ(shown.size(), 6) << shown.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(shown[0], QString::fromUtf8(m.emptyLog));
        EXPECT_EQ(shown[1], QString::fromUtf8(m.noSelection));
        EXPECT_EQ(shown[2], QStringLiteral("請輸入MsgId！"));
        EXPECT_EQ(shown[3], QStringLiteral("請輸入MsgId！"));
        EXPECT_TRUE(shown[4].contains(QStringLiteral("20")));
        EXPECT_TRUE(shown[5].contains(QStringLiteral("U+1F600")));
        for (const ScriptedPrompts::Asked& a : m_prompts.asked) {
            if (a.kind == QLatin1String("message")) {
                EXPECT_EQ(a.icon, Prompts::Icon::Warning);
            }
        }
    }
    EXPECT_EQ(m_sim->connectionCount(), 0);
    EXPECT_FALSE(jobs().workerRegistered());
    EXPECT_FALSE(progress().isVisible());
}

TEST_F(QueryDialogTest, AnUnresolvableGatewayIsRefusedAndNothingStarts) {
    editConfig([](sConfig& c) { putField(c.gwIp, QByteArray("nonexistent.invalid")); });
    addRow("a", "0", sentResult("A1"));
    open(true, [this] {
        click(&dialog(), "ButtonQuery");
        EXPECT_TRUE(dialog().isVisible());
        click(radio("RadioButton1Rec"));
        typeInto(control<QLineEdit>("EditMsgId"), QStringLiteral("A1"));
        click(&dialog(), "ButtonQuery");
        EXPECT_TRUE(dialog().isVisible());
        click(&dialog(), "ButtonCancel");
    });
    const QStringList shown = m_prompts.messages();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_FALSE(shown[0].isEmpty());
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(m_sim->connectionCount(), 0);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(jobs().workerRegistered());
    EXPECT_FALSE(mainWindow().runLocked());
}

// The dialog keeps its modal show under the progress window until the run's end is confirmed; nothing in
// the send log may move, remove or reload the rows the worker finds by position meanwhile.
TEST_F(QueryDialogTest, AllRowsRunUnderTheProgressWindowWhileTheSendLogIsLocked) {
    const QByteArray waiting = sendDirect(true), delivered = sendDirect(false);
    addRow("a", "0", sentResult(waiting), ImageReservation);
    addRow("b", "-1", big5("網路連線失敗"));
    addRow("c", "0", sentResult(delivered));
    select(1);
    clickRow(mainWindow().listView(), 3); // none selected: the delete command was on, now off
    const QStringList before = lockedCommands();
    EXPECT_EQ(before, (QStringList{QStringLiteral("MItemFDelete"), QStringLiteral("PMItemLvDelete")}));

    QSignalSpy finished(&dialog(), &QDialog::finished);
    open(true, [&] {
        click(&dialog(), "ButtonQuery");
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_FALSE(dialog().isEnabled());
        EXPECT_TRUE(progress().isVisible());
        EXPECT_TRUE(progress().isModal());
        EXPECT_EQ(progress().owner(), &dialog());
        EXPECT_TRUE(progress().closesOwner());
        EXPECT_TRUE(mainWindow().runLocked());
        EXPECT_EQ(lockedCommands().size(), 11) << lockedCommands().join(QLatin1Char(' ')).toStdString();
        ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
        // The job is over but not confirmed: still locked (the modal progress window keeps clicks away too).
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().workerRunning(); }, 5000))
            << "the worker frees itself";
        EXPECT_TRUE(mainWindow().runLocked());
        EXPECT_EQ(finished.size(), 0) << "the dialog is closed by the progress window";
        EXPECT_EQ(progress().tracker().statusText(),
                  QStringLiteral("簡訊查詢完成，查詢 3 筆：有回覆 2 筆（已送達 1 筆、預約中 1 筆）、未能查詢 0 筆、"
                                 "略過 1 筆（未成功送出）"));
        EXPECT_EQ(progress().tracker().progressText(), QStringLiteral("3 / 3(100%)"));
        EXPECT_TRUE(click(&progress(), "ButtonOk"));
    });
    EXPECT_EQ(finished.size(), 1);
    EXPECT_FALSE(mainWindow().runLocked());
    // The job selected the rows it asked about, which turned 刪除 on while it was locked: what was asked of
    // a command meanwhile takes effect now.
    EXPECT_EQ(lockedCommands(), QStringList());

    EXPECT_EQ(cell(0, ColQueryCode), QStringLiteral("20"));
    EXPECT_EQ(cell(1, ColQueryCode), QString());
    EXPECT_EQ(cell(2, ColQueryCode), QStringLiteral("0"));
    EXPECT_EQ(mainWindow().jobRows().selectedRows(), (QVector<int>{0, 2}));
    clickHeader(mainWindow().listView(), ColSendCode);
    EXPECT_EQ(mainWindow().logModel().sortColumn(), int(ColSendCode));
}

TEST_F(QueryDialogTest, SelectedRowsCancelKeepsOnlyTheAskedRowsSelected) {
    const QByteArray booked = sendDirect(true);
    addRow("a", "0", sentResult(booked), ImageReservation);
    addRow("b", "-1", big5("網路連線失敗"));
    addRow("c", "0", sentResult("NOSUCH"));
    select(0);
    select(1);
    open(false, [&] {
        EXPECT_TRUE(radio("RadioButtonSelRec")->isChecked());
        // Cancelling cannot be undone: 否 starts nothing, 是 the job.
        m_prompts.answers.push_back(Prompts::Answer::No);
        click(&dialog(), "ButtonQuery");
        EXPECT_EQ(m_prompts.messages().value(0), QStringLiteral("要取消 1 筆預約？"));
        EXPECT_EQ(m_prompts.asked.last().preselected, Prompts::Answer::No);
        EXPECT_FALSE(progress().isVisible());
        EXPECT_EQ(queries(), 0);
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        click(&dialog(), "ButtonQuery");
        ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
        click(&progress(), "ButtonOk");
    });
    EXPECT_EQ(progress().tracker().statusText(),
              QStringLiteral("預約簡訊取消完成，取消 2 筆：已取消 1 筆、未能取消 0 筆、略過 1 筆（未成功送出）"));
    EXPECT_EQ(progress().tracker().progressText(), QStringLiteral("2 / 2(100%)"));
    EXPECT_EQ(mainWindow().jobRows().selectedRows(), QVector<int>{0});
    EXPECT_EQ(cell(0, ColQueryCode), QStringLiteral("0"));
    EXPECT_TRUE(cell(0, ColQueryResult).startsWith(QStringLiteral("取消成功")))
        << cell(0, ColQueryResult).toStdString();
    EXPECT_EQ(cell(2, ColQueryCode), QString()) << "not selected, not asked";
    EXPECT_EQ(queries(), 1);
}

TEST_F(QueryDialogTest, SingleMsgIdIsAnsweredInABoxTitledWithItAndTheDialogCloses) {
    const QByteArray booked = sendDirect(true);
    QSignalSpy finished(&dialog(), &QDialog::finished);
    auto askAbout = [&](bool query, const QString& typed) {
        open(query, [&] {
            click(radio("RadioButton1Rec"));
            typeInto(control<QLineEdit>("EditMsgId"), typed);
            keyClick(control<QLineEdit>("EditMsgId"), Qt::Key_Return);
            EXPECT_TRUE(mainWindow().runLocked());
            ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 20000));
        });
        ASSERT_TRUE(QTest::qWaitFor([this] { return !mainWindow().runLocked(); }, 5000));
        finished.clear();
    };

    askAbout(true, QStringLiteral(" ") + fromBig5(booked) + QStringLiteral(" "));
    askAbout(false, fromBig5(booked));
    ASSERT_EQ(m_prompts.asked.size(), 4); // two dialogs, two boxes
    const ScriptedPrompts::Asked& queried = m_prompts.asked[1];
    EXPECT_EQ(queried.title, fromBig5(booked));
    EXPECT_EQ(queried.buttons, Prompts::Buttons::Ok);
    EXPECT_TRUE(queried.text.startsWith(QStringLiteral("結果碼：20\n查詢結果：預約簡訊，等待傳送中(")))
        << queried.text.toStdString();
    const ScriptedPrompts::Asked& cancelled = m_prompts.asked[3];
    EXPECT_EQ(cancelled.title, fromBig5(booked));
    EXPECT_TRUE(cancelled.text.startsWith(QStringLiteral("預約取消碼：0\n預約取消結果：取消成功(")))
        << cancelled.text.toStdString();
    EXPECT_FALSE(progress().isVisible()) << "a single MsgId shows no progress";
    EXPECT_EQ(progress().tracker().position(), 0);
    EXPECT_EQ(queries(), 2);
}

// A gateway that takes the login and then never answers: the dialog stays, says that it waits and for how
// long, and 中斷 ends the wait at once with a box that says what became of the MsgId.
TEST_F(QueryDialogTest, SingleMsgIdWaitsVisiblyAndItsStopEndsTheWaitAtOnce) {
    const QByteArray booked = sendDirect(true);
    m_sim->setSilentAfter(1);
    QSignalSpy finished(&dialog(), &QDialog::finished);
    open(true, [&] {
        click(radio("RadioButton1Rec"));
        typeInto(control<QLineEdit>("EditMsgId"), fromBig5(booked));
        click(control<QPushButton>("ButtonQuery"));
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_EQ(dialog().cursor().shape(), Qt::BusyCursor);
        EXPECT_FALSE(control<QPushButton>("ButtonQuery")->isEnabled());
        EXPECT_FALSE(control<QLineEdit>("EditMsgId")->isEnabled());
        EXPECT_EQ(control<QPushButton>("ButtonCancel")->text(), QStringLiteral("中斷"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return control<QLabel>("LabelBusy")->text().contains(QStringLiteral("等待閘道回應 1 秒")); }, 10000))
            << control<QLabel>("LabelBusy")->text().toStdString();
        EXPECT_TRUE(control<QLabel>("LabelBusy")->text().startsWith(QStringLiteral("正在查詢…")));
        click(control<QPushButton>("ButtonCancel"));
        // Well inside the 30 s reply wait: a stop that left the wait to run out fails here.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 20000)) << "the stop did not end the wait";
    });
    ASSERT_EQ(m_prompts.asked.size(), 2); // the dialog, the box
    EXPECT_EQ(m_prompts.asked[1].title, fromBig5(booked));
    EXPECT_EQ(m_prompts.asked[1].text, QStringLiteral("結果碼：-1\n查詢結果：已中斷：閘道未回覆"));
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(control<QPushButton>("ButtonCancel")->text(), QStringLiteral("取消"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !mainWindow().runLocked(); }, 5000));
}

TEST_F(QueryDialogTest, ResendWithNothingFailedSaysSoEvenWithoutAGateway) {
    writeConfig(m_dir.path(), QByteArray(), m_sim->port(), "demo", "demo");
    addRow("a", "0", sentResult("A1"));
    addRow("b", "0", sentResult("B1"));
    clickRow(mainWindow().listView(), 2);
    ASSERT_TRUE(trigger(menuItem("PMItemLvRSendSMS")));
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked[0].text, QStringLiteral("沒有確定失敗的訊息需要重新傳送！"));
    EXPECT_EQ(m_prompts.asked[0].icon, Prompts::Icon::Information);
    EXPECT_EQ(m_prompts.asked[0].buttons, Prompts::Buttons::Ok);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(jobs().workerRegistered());
    EXPECT_FALSE(mainWindow().runLocked());
}

// A query and then a cancellation, their program gone without saving as a kill leaves it (nothing settled): at the
// next start the rows taken back say what the gateway answered, a row of the program's own run and a row of a
// loaded log alike, and the cancelled reservations are not offered for cancelling again.
TEST_F(QueryDialogTest, AnswersOfAProgramGoneUnsavedComeBackWithItsRows) {
    const QByteArray journalled = sendDirect(true);
    const QByteArray loaded = sendDirect(true);
    const QByteArray queried = sendDirect(false);
    auto unsaved = std::make_unique<UnsavedRows>(mainWindow(), config(), jobs());
    LogStream* run = jobs().journal()->beginRun(nullptr);
    ASSERT_NE(run, nullptr);
    addRow("a", "0", sentResult(journalled), ImageReservation);
    ASSERT_TRUE(run->append(mainWindow().logModel().row(0)));
    addRow("b", "0", sentResult(loaded), ImageReservation);
    addRow("c", "0", sentResult(queried));
    const auto runFromPopup = [this](const char* item) {
        ASSERT_TRUE(trigger(menuItem(item)));
        ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
        click(&progress(), "ButtonOk");
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().busy(); }, 5000));
    };
    runFromPopup("PMItemLvQuerySMS");
    m_prompts.answers = {Prompts::Answer::Yes};
    runFromPopup("PMItemLvCancelSMS");
    ASSERT_TRUE(cell(2, ColQueryResult).startsWith(QStringLiteral("訊息已送達對方")))
        << cell(2, ColQueryResult).toStdString();

    unsaved.reset();
    m_windows.reset();
    startWindows();
    unsaved = std::make_unique<UnsavedRows>(mainWindow(), config(), jobs());
    m_prompts.asked.clear();
    m_prompts.answers = {Prompts::Answer::Yes};
    unsaved->offerLeftBehind();
    EXPECT_EQ(m_prompts.messages(), QStringList{QStringLiteral("上次未儲存的發訊紀錄（3 筆）仍保留著，要載入？")});
    ASSERT_EQ(mainWindow().logModel().rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QString name = cell(row, ColName);
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(cell(row, ColQueryResult)
                        .startsWith(name == QStringLiteral("c") ? QStringLiteral("訊息已送達對方")
                                                                : QStringLiteral("取消成功")))
            << cell(row, ColQueryResult).toStdString();
    }
    EXPECT_EQ(QueryJob::rowsToAsk(RowsToWalk(mainWindow().jobRows(), true), WorkerMode::Cancel), 0);
    unsaved.reset();
}
