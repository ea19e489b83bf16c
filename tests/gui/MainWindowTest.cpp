#include "sendlog/TFormMain.h"

#include "ScriptedPrompts.h"
#include "compose/TFormSendSMS.h"
#include "sendlog/LogFile.h"
#include "sendlog/TFormQuerySMS.h"
#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/OpLog.h"
#include "shared/TFormSettings.h"
#include "shared/TFormShowProcess.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cstring>
#include <memory>

using namespace norvi;
using norvi::test::ScriptedPrompts;
using Answer = Prompts::Answer;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        std::memset(&Config, 0, sizeof Config);
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)), 1000);
    }
    void TearDown() override {
        m_progress.reset();
        m_main.reset();
        Clock::reset();
        QDir::setCurrent(m_oldDir);
    }

    // A configuration file with the given log folder and a gateway address, so the commands are enabled.
    void writeConfig(const QString& logFolder) {
        StartDir = m_dir.path();
        Config = sConfig{};
        putField(Config.logFiles, big5(logFolder));
        putField(Config.gwIp, QByteArray("127.0.0.1"));
        Config.gwPort = 8000;
        ASSERT_TRUE(WriteConfig());
    }

    TFormMain& start(bool withConfig = true) {
        if (withConfig)
            writeConfig(path("logs"));
        QDir(m_dir.path()).mkdir("logs");
        m_main = std::make_unique<TFormMain>();
        m_progress = std::make_unique<TFormShowProcess>();
        m_main->show();
        return *m_main;
    }

    // Lets the progress window handle what an operation posted, and confirms its end like the user.
    void finishProgress() {
        QCoreApplication::sendPostedEvents(m_progress.get(), WM_SHOWPROCESS);
        if (m_progress->isVisible() && m_progress->tracker().done())
            m_progress->ButtonOkClick();
    }

    void addRows(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const quint64 id = m_main->logAccess().addRow(big5(name), ImageTyped, "0912345678", "20240301093000");
            m_main->logAccess().fillSendResult(id, "0", ImageNone, big5("成功(MsgId:1)"), big5("內容"));
        }
    }

    QAction* item(const char* name) const { return m_main->findChild<QAction*>(QString::fromLatin1(name)); }
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QString memoText() const { return m_main->findChild<QPlainTextEdit*>("MemoShow")->toPlainText(); }
    void select(int row) {
        m_main->logSelection().select(m_main->logModel().index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QTemporaryDir m_dir;
    QString m_oldDir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<TFormMain> m_main;
    std::unique_ptr<TFormShowProcess> m_progress;
};

} // namespace

TEST_F(MainWindowTest, WithoutConfigurationItSaysSoCreatesTheLogFolderAndKeepsGatewayCommandsOff) {
    TFormMain& w = start(false);
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked[0].title, u("錯誤"));
    EXPECT_EQ(m_prompts.asked[0].text, u("讀取設定檔錯誤，請重新執行設定功能"));
    EXPECT_FALSE(w.commandsEnabled);
    for (const char* name : {"MItemTSendSMS", "MItemTQuerySMS", "MItemTCancelSMS", "SpeedButtonSendSMS"})
        EXPECT_FALSE(item(name)->isEnabled()) << name;
    EXPECT_TRUE(QDir(path("logfiles")).exists());
    EXPECT_EQ(fromBig5(getField(Config.logFiles)), path("logfiles"));
    EXPECT_EQ(w.statusText(), u("0  筆發訊紀錄"));
    EXPECT_EQ(w.logModel().headerData(0, Qt::Horizontal).toString(), u("名稱 ↑"));
    EXPECT_FALSE(item("MItemFSave")->isEnabled());
    EXPECT_FALSE(w.findChild<QToolButton*>("SpeedButtonSave")->isEnabled());
    EXPECT_FALSE(memoText().contains(u("無法自動建立"))) << "an existing default folder is not an error";
}

TEST_F(MainWindowTest, ALogFolderThatCannotBeCreatedLeavesALine) {
    writeConfig(path("missing/parent"));
    m_main = std::make_unique<TFormMain>();
    m_main->show();
    EXPECT_TRUE(m_prompts.asked.isEmpty());
    EXPECT_TRUE(m_main->commandsEnabled);
    EXPECT_EQ(memoText(), u("\n無法自動建立 ") + path("missing/parent") + u(" 目錄"));
}

TEST_F(MainWindowTest, RowsUpdateTheStatusTextAndTheCommands) {
    TFormMain& w = start();
    EXPECT_FALSE(item("PMItemLvQuerySMS")->isEnabled());
    addRows({"b", "a"});
    EXPECT_EQ(w.statusText(), u("2 筆發訊紀錄"));
    EXPECT_FALSE(w.LogSaved);
    for (const char* name : {"MItemFSave", "PMItemLvSave", "SpeedButtonSave", "PMItemLvSelectAll", "PMItemLvQuerySMS",
                             "PMItemLvCancelSMS", "PMItemLvRSendSMS"})
        EXPECT_TRUE(item(name)->isEnabled()) << name;
    EXPECT_FALSE(item("MItemFDelete")->isEnabled());

    item("PMItemLvSelectAll")->trigger();
    EXPECT_TRUE(item("MItemFDelete")->isEnabled());
    EXPECT_FALSE(item("PMItemLvOSendSMS")->isEnabled()) << "two rows are selected";
    item("MItemFDelete")->trigger();
    EXPECT_EQ(w.statusText(), u("0 筆發訊紀錄"));
    for (const char* name : {"MItemFSave", "MItemFDelete", "PMItemLvSelectAll", "PMItemLvQuerySMS", "PMItemLvContent"})
        EXPECT_FALSE(item(name)->isEnabled()) << name;
}

TEST_F(MainWindowTest, SelectingRowsMarksTheLogChangedSoExitAsks) {
    TFormMain& w = start();
    addRows({"a", "b"});
    w.LogSaved = true;
    select(1);
    EXPECT_FALSE(w.LogSaved);
    w.close();
    EXPECT_EQ(m_prompts.messages(), QStringList{u("現有的傳送紀錄已變更，要儲存？")});
    EXPECT_TRUE(std::none_of(m_prompts.asked.begin(), m_prompts.asked.end(), [](const ScriptedPrompts::Asked& a) {
        return a.kind == "save";
    })) << "No does not save";
}

TEST_F(MainWindowTest, ExitWithASavedOrEmptyLogAsksNothing) {
    TFormMain& w = start();
    w.close();
    addRows({"a"});
    w.LogSaved = true;
    w.close();
    EXPECT_TRUE(m_prompts.asked.isEmpty());
}

TEST_F(MainWindowTest, ExitAnsweredYesSavesTheLog) {
    TFormMain& w = start();
    addRows({"a", "b"});
    m_prompts.answers = {Answer::Yes};
    m_prompts.fileNames = {path("exit.log")};
    w.close();
    EXPECT_EQ(QFileInfo(path("exit.log")).size(), 4 + 2 * 556);
}

TEST_F(MainWindowTest, WithGatewayCommandsOffOneSelectedRowStillEnablesOriginalSend) {
    TFormMain& w = start();
    w.EnableGatewayCommands(false);
    addRows({"a", "b"});
    EXPECT_FALSE(item("PMItemLvQuerySMS")->isEnabled());
    select(0);
    EXPECT_TRUE(item("PMItemLvOSendSMS")->isEnabled());
    select(1);
    EXPECT_FALSE(item("PMItemLvOSendSMS")->isEnabled());
    w.EnableGatewayCommands(true);
    EXPECT_TRUE(item("PMItemLvQuerySMS")->isEnabled());
}

// ---- ConfirmClearLog ----

struct ClearCase {
    const char* name;
    bool logSaved;
    std::vector<Answer> answers;
    bool saveDialogAnswered; // a file name is given to the save dialog
    bool saveFails;          // ... in a folder that does not exist
    bool expectedResult;
    int expectedRows;
    bool expectedReplaces;
    QStringList expectedMessages;
};

void PrintTo(const ClearCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfirmClearLogTest : public MainWindowTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(ConfirmClearLogTest, AsksInOrderAndKeepsRowsUnlessCleared) {
    const ClearCase& c = GetParam();
    TFormMain& w = start();
    addRows({"b", "a"});
    w.ListViewLogColumnClick(ColSendTime);
    w.LogSaved = c.logSaved;
    m_prompts.answers.assign(c.answers.begin(), c.answers.end());
    if (c.saveDialogAnswered)
        m_prompts.fileNames = {c.saveFails ? path("no/such/x.log") : path("kept.log")};

    EXPECT_EQ(w.ConfirmClearLog(), c.expectedResult) << c.name;
    EXPECT_EQ(m_prompts.messages(), c.expectedMessages) << c.name;
    EXPECT_EQ(w.logModel().rowCount(), c.expectedRows) << c.name;
    if (c.expectedResult) {
        EXPECT_EQ(w.LoadReplaces, c.expectedReplaces) << c.name;
    }
    EXPECT_EQ(w.sortColumn(), int(ColName)) << c.name;
    EXPECT_TRUE(w.sortAscending()) << c.name;
    if (c.saveDialogAnswered && !c.saveFails) {
        EXPECT_EQ(QFileInfo(path("kept.log")).size(), 4 + 2 * 556) << c.name;
    }
    if (c.expectedRows == 0) {
        EXPECT_EQ(w.statusText(), u("0 筆發訊紀錄")) << c.name;
    }
}

const QString kClear = QString::fromUtf8("要清除現有的傳送紀錄？");
const QString kSave = QString::fromUtf8("現有的傳送紀錄已變更，要儲存？");
const QString kWriteFailed = QString::fromUtf8("寫入傳送紀錄檔案失敗！");

INSTANTIATE_TEST_SUITE_P(
    Answers, ConfirmClearLogTest,
    ::testing::Values(
        ClearCase{"keep rows", false, {Answer::No}, false, false, true, 2, false, {kClear}},
        ClearCase{"clear a saved log", true, {Answer::Yes}, false, false, true, 0, true, {kClear}},
        ClearCase{
            "clear without saving", false, {Answer::Yes, Answer::No}, false, false, true, 0, true, {kClear, kSave}},
        ClearCase{"save then clear", false, {Answer::Yes, Answer::Yes}, true, false, true, 0, true, {kClear, kSave}},
        ClearCase{"cancelled save counts as saved",
                  false,
                  {Answer::Yes, Answer::Yes},
                  false,
                  false,
                  true,
                  0,
                  true,
                  {kClear, kSave}},
        ClearCase{"failed save abandons",
                  false,
                  {Answer::Yes, Answer::Yes},
                  true,
                  true,
                  false,
                  2,
                  true,
                  {kClear, kSave, kWriteFailed}}),
    [](const ::testing::TestParamInfo<ClearCase>& info) { return std::to_string(info.index); });

TEST_F(MainWindowTest, ConfirmClearLogOnAnEmptyListAsksNothing) {
    TFormMain& w = start();
    w.LoadReplaces = false;
    EXPECT_TRUE(w.ConfirmClearLog());
    EXPECT_TRUE(w.LoadReplaces);
    EXPECT_TRUE(m_prompts.asked.isEmpty());
}

// ---- save and load through the dialogs ----

TEST_F(MainWindowTest, SaveProposesATimeStampedNameInTheLogFolderAndAsksBeforeOverwriting) {
    TFormMain& w = start();
    addRows({"a", "b", "c"});
    QFile existing(path("old.log"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("old");
    existing.close();

    m_prompts.fileNames = {path("old.log"), path("new.log")};
    m_prompts.answers = {Answer::No};
    EXPECT_TRUE(w.SaveLog());
    ASSERT_EQ(m_prompts.asked.size(), 3);
    EXPECT_EQ(m_prompts.asked[0].kind, QString("save"));
    EXPECT_EQ(m_prompts.asked[0].title, u("儲存紀錄"));
    EXPECT_TRUE(m_prompts.asked[0].text.startsWith(QDir(path("logs")).filePath("20240301093")));
    EXPECT_TRUE(m_prompts.asked[0].text.endsWith(".log"));
    EXPECT_EQ(m_prompts.asked[1].text, u("該檔案已存在，要覆蓋？"));
    EXPECT_NE(m_prompts.asked[2].text, m_prompts.asked[0].text) << "a fresh name is proposed";
    EXPECT_EQ(QFileInfo(path("old.log")).size(), 3);
    EXPECT_EQ(QFileInfo(path("new.log")).size(), 4 + 3 * 556);
    EXPECT_TRUE(w.LogSaved);

    finishProgress();
    EXPECT_EQ(m_progress->tracker().position(), 3);
    EXPECT_TRUE(w.isEnabled());
}

TEST_F(MainWindowTest, CancellingTheSaveDialogWritesNothingAndSucceeds) {
    TFormMain& w = start();
    addRows({"a"});
    EXPECT_TRUE(w.SaveLog());
    EXPECT_FALSE(w.LogSaved);
    EXPECT_TRUE(QDir(path("logs")).entryList(QDir::Files).isEmpty());
}

TEST_F(MainWindowTest, LoadReplacingOrAppendingSetsTheSavedFlagAccordingly) {
    TFormMain& w = start();
    addRows({"a", "b"});
    m_prompts.fileNames = {path("two.log")};
    ASSERT_TRUE(w.SaveLog());
    finishProgress();

    // Into the saved list, replacing it: asks only whether to clear.
    m_prompts.asked.clear();
    m_prompts.fileNames = {path("two.log")};
    m_prompts.answers = {Answer::Yes};
    w.MItemFLoadClick();
    finishProgress();
    EXPECT_EQ(m_prompts.messages(), QStringList{kClear});
    EXPECT_EQ(m_prompts.asked[0].title, u("載入紀錄"));
    EXPECT_EQ(w.logModel().rowCount(), 2);
    EXPECT_TRUE(w.LogSaved);

    // Appending keeps the log marked as changed.
    m_prompts.fileNames = {path("two.log")};
    m_prompts.answers = {Answer::No};
    w.MItemFLoadClick();
    finishProgress();
    EXPECT_EQ(w.logModel().rowCount(), 4);
    EXPECT_FALSE(w.LogSaved);
    EXPECT_EQ(w.statusText(), u("4 筆發訊紀錄"));
    EXPECT_EQ(m_progress->tracker().position(), 2);
}

TEST_F(MainWindowTest, LoadAfterSavingTheChangedLogReportsBothOperations) {
    TFormMain& w = start();
    addRows({"a", "b", "c"});
    SendLogModel source;
    source.addRow(SendLogRow{});
    ASSERT_TRUE(saveLogFile(path("one.log"), source));

    m_prompts.fileNames = {path("one.log"), path("saved.log")};
    m_prompts.answers = {Answer::Yes, Answer::Yes};
    w.MItemFLoadClick();
    EXPECT_EQ(m_prompts.messages(), (QStringList{kClear, kSave}));
    EXPECT_EQ(QFileInfo(path("saved.log")).size(), 4 + 3 * 556);
    EXPECT_EQ(w.logModel().rowCount(), 1);
    EXPECT_TRUE(w.LogSaved);
    EXPECT_FALSE(w.isEnabled()) << "the progress window holds the window until the user confirms";

    finishProgress();
    EXPECT_TRUE(w.isEnabled());
    const QString memo = memoText();
    const int saved = memo.indexOf(u("發訊紀錄儲存完成"));
    const int loaded = memo.indexOf(u("發訊紀錄載入完成"));
    ASSERT_GE(saved, 0);
    EXPECT_GT(loaded, saved) << "each operation keeps its own summary, in order";
    EXPECT_TRUE(memo.contains(u("3 / 3(100%)")));
    EXPECT_TRUE(memo.contains(u("1 / 1(100%)")));
}

TEST_F(MainWindowTest, LoadingIntoAnEmptyListAsksNothingAndCountsAsSaved) {
    TFormMain& w = start();
    SendLogModel source;
    SendLogRow row;
    row.texts[ColName] = big5("王");
    row.codeImage = ImageReservation;
    source.addRow(row);
    ASSERT_TRUE(saveLogFile(path("one.log"), source));

    m_prompts.fileNames = {path("one.log")};
    w.MItemFLoadClick();
    EXPECT_TRUE(m_prompts.messages().isEmpty());
    ASSERT_EQ(w.logModel().rowCount(), 1);
    EXPECT_EQ(w.logModel().codeImage(0), int(ImageReservation));
    EXPECT_TRUE(w.LogSaved);
}

TEST_F(MainWindowTest, ACutFileLoadsItsCompleteRowsAndSaysHowManyWereMissing) {
    TFormMain& w = start();
    SendLogModel source;
    source.addRow(SendLogRow{});
    source.addRow(SendLogRow{});
    ASSERT_TRUE(saveLogFile(path("cut.log"), source));
    QFile f(path("cut.log"));
    ASSERT_TRUE(f.resize(4 + 556 + 100));

    m_prompts.fileNames = {path("cut.log"), path("absent.log")};
    w.MItemFLoadClick();
    EXPECT_EQ(w.logModel().rowCount(), 1);
    EXPECT_EQ(m_prompts.messages(), QStringList{u("傳送紀錄檔案不完整：僅讀入 1 筆（檔案標示 2 筆）。")});

    finishProgress();
    m_prompts.asked.clear();
    m_prompts.answers = {Answer::No};
    w.MItemFLoadClick();
    EXPECT_EQ(m_prompts.messages(), (QStringList{kClear, u("讀取傳送紀錄檔案失敗！")}));
    EXPECT_EQ(w.logModel().rowCount(), 1);
}

// ---- sorting, viewing, the other windows ----

TEST_F(MainWindowTest, SortMenuFollowsColumnClicks) {
    TFormMain& w = start();
    addRows({"a", "b"});
    item("MItemVSortSendCode")->trigger();
    item("MItemVSortSendCode")->trigger();
    EXPECT_EQ(w.sortColumn(), int(ColSendCode));
    EXPECT_FALSE(w.sortAscending());
    EXPECT_TRUE(item("MItemVDescending")->isChecked());
    EXPECT_EQ(w.logModel().headerData(ColSendCode, Qt::Horizontal).toString(), u("傳送碼 ↓"));

    item("MItemVAscending")->trigger();
    EXPECT_TRUE(w.sortAscending());
    EXPECT_TRUE(item("MItemVAscending")->isChecked());
    item("MItemVAscending")->trigger(); // already checked: nothing changes
    EXPECT_TRUE(w.sortAscending());

    w.listView()->header()->sectionClicked(ColName);
    EXPECT_TRUE(item("MItemVSortName")->isChecked());
    EXPECT_EQ(w.logModel().text(0, ColName), QByteArray("a"));
    item("MItemVSortName")->trigger();
    EXPECT_EQ(w.logModel().text(0, ColName), QByteArray("b"));
}

TEST_F(MainWindowTest, ContentViewerShowsEachSelectedRowInListOrder) {
    start();
    addRows({"b", "a", "c"});
    select(2);
    select(0);
    QStringList shown;
    for (int i = 0; i < 2; ++i)
        m_prompts.dialogHandlers.push_back([&shown](QDialog* d) {
            shown << d->windowTitle() + "|" + d->findChild<QPlainTextEdit*>("MemoMsg")->toPlainText();
            return int(QDialog::Accepted);
        });
    item("MItemFContent")->trigger();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(
        shown[0].startsWith(u("傳送紀錄|名稱：a\n行動電話：0912345678\n傳送時間：20240301093000\n傳送碼：0\n")));
    EXPECT_TRUE(shown[0].endsWith(u("查詢碼：\n查詢結果：\n訊息內容：內容")));
    EXPECT_TRUE(shown[1].startsWith(u("傳送紀錄|名稱：c")));
}

TEST_F(MainWindowTest, MessageWindowToggleHidesAreaAndSplitterAndFlipsTheTip) {
    TFormMain& w = start();
    auto* button = w.findChild<QToolButton*>("SpeedButtonMsgWin");
    auto* memo = w.findChild<QPlainTextEdit*>("MemoShow");
    auto* panel = w.findChild<QWidget*>("Panel1");
    ASSERT_TRUE(panel);
    EXPECT_EQ(button->toolTip(), u("關閉訊息視窗"));
    button->click();
    EXPECT_FALSE(item("MItemVMsgWin")->isChecked());
    EXPECT_FALSE(memo->isVisible());
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(button->toolTip(), u("開啟訊息視窗"));
    item("MItemVMsgWin")->trigger();
    EXPECT_TRUE(memo->isVisible());
    EXPECT_EQ(button->toolTip(), u("關閉訊息視窗"));
}

TEST_F(MainWindowTest, ResizingGivesTheListSixTenthsOfTheHeightBelowTheToolBar) {
    TFormMain& w = start();
    w.resize(700, 500);
    QCoreApplication::processEvents();
    auto* toolBar = w.findChild<QWidget*>("ToolBar1");
    const int below = w.height() - w.menuBar()->height() - toolBar->height();
    EXPECT_EQ(w.listView()->height(), below * 6 / 10);
    EXPECT_GE(w.findChild<QPlainTextEdit*>("MemoShow")->height(), 35);
}

TEST_F(MainWindowTest, DraggingTheSplitterStopsAtBothMinimumHeights) {
    TFormMain& w = start();
    w.resize(700, 500);
    QCoreApplication::processEvents();
    auto* panel = w.findChild<QWidget*>("Panel1");
    auto* memo = w.findChild<QPlainTextEdit*>("MemoShow");
    const QPoint grip(panel->width() / 2, panel->height() / 2);
    auto drag = [&](int dy) {
        QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, grip);
        QTest::mouseMove(panel, grip + QPoint(0, dy));
        QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, grip + QPoint(0, dy));
    };
    drag(-1000);
    EXPECT_EQ(w.listView()->height(), 110);
    drag(2000);
    EXPECT_EQ(memo->height(), 35);
    EXPECT_GT(w.listView()->height(), 110);
}

TEST_F(MainWindowTest, SettingsOkEnablesTheGatewayCommands) {
    TFormMain& w = start(false);
    TFormSettings settings(&w);
    w.attachSettings(&settings);
    m_prompts.dialogHandlers.push_back([&settings](QDialog* d) {
        EXPECT_EQ(d, &settings);
        settings.onCommandsEnabled(true); // what its OK does after storing the fields
        return int(QDialog::Accepted);
    });
    w.findChild<QToolButton*>("SpeedButtonSettings")->click();
    EXPECT_TRUE(w.commandsEnabled);
    EXPECT_TRUE(item("MItemTSendSMS")->isEnabled());
    EXPECT_TRUE(w.findChild<QToolButton*>("SpeedButtonCancelSMS")->isEnabled());
}

TEST_F(MainWindowTest, MessageLinesGoBelowTheFirstEmptyLine) {
    start();
    ShowMsgLine(big5("第一行"));
    const QStringList lines = memoText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].isEmpty());
    EXPECT_TRUE(lines[1].endsWith(u("  第一行")));
}

TEST_F(MainWindowTest, ToolCommandsOpenTheirWindowsWithTheirOpener) {
    TFormMain& w = start();
    TFormSendSMS send(&w);
    TFormQuerySMS query(&w);
    w.FormSendSMS = &send;
    w.FormQuerySMS = &query;
    QList<QObject*> openers;
    for (int i = 0; i < 3; ++i)
        m_prompts.dialogHandlers.push_back([&openers, &send, &query](QDialog* d) {
            openers << (d == &send ? send.opener : query.opener);
            return int(QDialog::Rejected);
        });
    w.findChild<QToolButton*>("SpeedButtonSendSMS")->click();
    item("MItemTCancelSMS")->trigger();
    w.findChild<QToolButton*>("SpeedButtonQuerySMS")->click();
    ASSERT_EQ(openers.size(), 3);
    EXPECT_EQ(openers[0], item("MItemTSendSMS"));
    EXPECT_EQ(openers[1], item("MItemTCancelSMS"));
    EXPECT_EQ(openers[2], item("MItemTQuerySMS"));
    EXPECT_TRUE(query.queryMode());

    m_prompts.dialogHandlers.push_back([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("關於"));
        EXPECT_TRUE(d->findChild<QLabel*>("Version"));
        return int(QDialog::Accepted);
    });
    item("MItemHAbout")->trigger();
    EXPECT_TRUE(m_prompts.dialogHandlers.empty());
}

TEST_F(MainWindowTest, PopupJobItemsCallTheirHooks) {
    TFormMain& w = start();
    addRows({"a"});
    select(0);
    QStringList called;
    w.onQueryRows = [&] { called << "query"; };
    w.onCancelRows = [&] { called << "cancel"; };
    w.onResend = [&] { called << "resend"; };
    w.onOriginalSend = [&] { called << "original"; };
    for (const char* name : {"PMItemLvQuerySMS", "PMItemLvCancelSMS", "PMItemLvRSendSMS", "PMItemLvOSendSMS"})
        item(name)->trigger();
    EXPECT_EQ(called, (QStringList{"query", "cancel", "resend", "original"}));
}
