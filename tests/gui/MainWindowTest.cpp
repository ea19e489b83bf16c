#include "support/FileBytes.h"
#include "support/WindowTest.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/Config.h"
#include "core/shared/FileLock.h"
#include "core/shared/OpLog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <memory>

using namespace norvi;
using namespace norvi::test;
using Answer = Prompts::Answer;

namespace {

class MainWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)), 1000);
    }

    // The windows of the program; with a configuration (log folder "logs", a gateway address) the gateway
    // commands are on.
    TFormMain& start(bool withConfig = true) {
        if (withConfig)
            writeConfig(path("logs"));
        QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
        startWindows();
        return mainWindow();
    }

    // Lets the progress window handle what an operation posted, and confirms its end with its button.
    void finishProgress() {
        QCoreApplication::sendPostedEvents(&progress(), WM_SHOWPROCESS);
        if (progress().isVisible() && progress().tracker().done())
            click(&progress(), "ButtonOk");
    }

    void addRows(std::initializer_list<const char*> names) {
        for (const char* name : names)
            addLogRow(name, "0912345678", "0", big5("成功(MsgId:1)"), big5("內容"));
    }

    // cut.log: announces two rows but holds one and a part of the second.
    void writeCutLog() {
        SendLogModel source;
        source.addRow(SendLogRow{});
        source.addRow(SendLogRow{});
        ASSERT_TRUE(saveLogFile(path("cut.log"), source));
        QFile f(path("cut.log"));
        ASSERT_TRUE(f.resize(4 + 556 + 100));
    }

    QToolButton* toolButton(const char* name) { return findControl<QToolButton>(&mainWindow(), name); }
    // Ctrl+click: adds the row to the selection.
    void select(int row) { clickRow(mainWindow().listView(), row, Qt::ControlModifier); }
    bool asked(const char* kind) const {
        return std::any_of(m_prompts.asked.begin(), m_prompts.asked.end(),
                           [kind](const ScriptedPrompts::Asked& a) { return a.kind == QLatin1String(kind); });
    }
};

} // namespace

TEST_F(MainWindowTest, WithoutConfigurationItSaysSoCreatesTheLogFolderAndKeepsGatewayCommandsOff) {
    TFormMain& w = start(false);
    QCoreApplication::processEvents(); // the settings window opens once the main window is up
    ASSERT_EQ(m_prompts.asked.size(), 2);
    EXPECT_EQ(m_prompts.asked[0].title, QStringLiteral("錯誤"));
    EXPECT_EQ(m_prompts.asked[0].text, QStringLiteral("讀取設定檔錯誤，請重新執行設定功能"));
    EXPECT_EQ(m_prompts.asked[1].kind + m_prompts.asked[1].title, QStringLiteral("dialog參數設定"));
    for (const char* name : {"MItemTSendSMS", "MItemTQuerySMS", "MItemTCancelSMS"})
        EXPECT_FALSE(menuItem(name)->isEnabled()) << name;
    EXPECT_FALSE(toolButton("SpeedButtonSendSMS")->isEnabled()) << "the tool button runs the menu's command";
    EXPECT_TRUE(QDir(path("logfiles")).exists());
    EXPECT_EQ(fromBig5(getField(config().record().logFiles)), path("logfiles"));
    EXPECT_EQ(statusCount(), QStringLiteral("0  筆發訊紀錄"));
    EXPECT_EQ(w.logModel().headerData(0, Qt::Horizontal).toString(), QStringLiteral("名稱 ↑"));
    EXPECT_FALSE(menuItem("MItemFSave")->isEnabled());
    EXPECT_FALSE(findControl<QToolButton>(&w, "SpeedButtonSave")->isEnabled());
    EXPECT_FALSE(messageArea().contains(QStringLiteral("無法自動建立")))
        << "an existing default folder is not an error";
}

// A cut file, or one edited by hand with a port no gateway listens on (every send would fail with only
// "網路連線失敗"), is said at start like a missing one with what is wrong; the settings open with what it holds,
// and the file keeps every byte for them to replace.
TEST_F(MainWindowTest, AnUnusableConfigurationIsSaidWithWhatIsWrongAndKeptAsItIs) {
    const struct {
        const char* name;
        std::function<void(QByteArray&)> spoil;
        const char* why;
        int port; // what the settings hold
    } cases[] = {
        {"cut", [](QByteArray& bytes) { bytes.truncate(10); }, "設定檔不完整（10 位元組）", 0},
        {"port 70000", [](QByteArray& bytes) { bytes.replace(284, 4, QByteArray("\x70\x11\x01\x00", 4)); },
         "設定檔的 Gateway PORT 不正確（70000），必須是 1 到 65535 之間的整數", 70000},
    };
    QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_windows.reset();
        m_prompts.asked.clear();
        writeConfig(path("logs"));
        QByteArray bytes = test::readAll(configPath());
        ASSERT_EQ(bytes.size(), 328);
        c.spoil(bytes);
        ASSERT_NO_FATAL_FAILURE(writeAll(configPath(), bytes));
        startWindows();
        QCoreApplication::processEvents();
        ASSERT_EQ(m_prompts.asked.size(), 2);
        EXPECT_EQ(m_prompts.asked[0].text,
                  QStringLiteral("讀取設定檔錯誤，請重新執行設定功能\n") + QString::fromUtf8(c.why));
        EXPECT_EQ(m_prompts.asked[1].kind + m_prompts.asked[1].title, QStringLiteral("dialog參數設定"));
        EXPECT_FALSE(menuItem("MItemTSendSMS")->isEnabled());
        EXPECT_EQ(config().record().gwPort, c.port);
        EXPECT_EQ(test::readAll(configPath()), bytes);
    }
}

// A missing log folder that the settings name is made at start only when the user says so, as 設定 asks
// before it stores one (the default folder of a start without one is the program's own, made unasked); what
// became of it is in the message area.
TEST_F(MainWindowTest, AMissingLogFolderIsMadeAtStartOnlyWhenTheUserSaysSo) {
    ASSERT_NO_FATAL_FAILURE(writeAll(path("plain"), QByteArray()));
    const struct {
        const char* folder; // nullptr: no configuration, the start folder's logfiles
        Answer answer;
        bool made;
        const char* line; // with %1 for the folder
    } cases[] = {
        {nullptr, Answer::Yes, true, ""}, // no question: the answer is not asked for
        {"new/logs", Answer::Yes, true, ""},
        {"other", Answer::No, false, "\n運作記錄檔目錄不存在：%1，運作記錄不會寫入"},
        {"plain/logs", Answer::Yes, false, "\n無法自動建立 %1 目錄\n路徑中有一段不是目錄"},
    };
    for (const auto& c : cases) {
        const QString folder = path(c.folder ? c.folder : "logfiles");
        SCOPED_TRACE(folder.toStdString());
        m_windows.reset();
        m_prompts.asked.clear();
        if (c.folder)
            writeConfig(folder);
        if (c.folder)
            m_prompts.answers.push_back(c.answer);
        startWindows();
        QCoreApplication::processEvents();
        EXPECT_EQ(m_prompts.messages().contains(QStringLiteral("運作記錄檔目錄不存在：%1，要建立？").arg(folder)),
                  c.folder != nullptr);
        EXPECT_EQ(QFileInfo(folder).isDir(), c.made);
        EXPECT_EQ(messageArea(), QString::fromUtf8(c.line).arg(folder));
        m_prompts.dialogHandlers.clear(); // the settings window a start without configuration opens
    }
}

TEST_F(MainWindowTest, RowsUpdateTheStatusTextAndTheCommands) {
    start();
    EXPECT_FALSE(menuItem("PMItemLvQuerySMS")->isEnabled());
    addRows({"b", "a"});
    EXPECT_EQ(statusCount(), QStringLiteral("2 筆發訊紀錄"));
    EXPECT_FALSE(logFiles().logSaved());
    for (const char* name : {"MItemFSave", "PMItemLvSave", "PMItemLvSelectAll", "PMItemLvQuerySMS", "PMItemLvCancelSMS",
                             "PMItemLvRSendSMS"})
        EXPECT_TRUE(menuItem(name)->isEnabled()) << name;
    EXPECT_TRUE(toolButton("SpeedButtonSave")->isEnabled());
    EXPECT_FALSE(menuItem("MItemFDelete")->isEnabled());

    trigger(menuItem("PMItemLvSelectAll"));
    EXPECT_TRUE(menuItem("MItemFDelete")->isEnabled());
    EXPECT_FALSE(menuItem("PMItemLvOSendSMS")->isEnabled()) << "two rows are selected";
    trigger(menuItem("MItemFDelete"));
    EXPECT_EQ(statusCount(), QStringLiteral("0 筆發訊紀錄"));
    for (const char* name : {"MItemFSave", "MItemFDelete", "PMItemLvSelectAll", "PMItemLvQuerySMS", "PMItemLvContent"})
        EXPECT_FALSE(menuItem(name)->isEnabled()) << name;
}

// Exit asks about a changed log: 否 leaves without a save, 是 saves it first.
TEST_F(MainWindowTest, AChangedRowMarksTheLogChangedSoExitAsksButASelectionDoesNot) {
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        SCOPED_TRACE(int(answer));
        m_windows.reset();
        m_prompts.asked.clear();
        TFormMain& w = start();
        addRows({"a", "b"});
        w.setLogSaved(true);
        select(1);
        EXPECT_TRUE(logFiles().logSaved()) << "the selection is not saved with the rows";
        w.logModel().setText(0, ColQueryCode, "0"); // as a query's answer writes it
        EXPECT_FALSE(logFiles().logSaved());
        m_prompts.answers = {answer};
        if (answer == Answer::Yes)
            m_prompts.fileNames = {path("exit.log")};
        trigger(menuItem("MItemFExit"));
        EXPECT_EQ(m_prompts.messages(), QStringList{QStringLiteral("現有的傳送紀錄已變更，要儲存？")});
        EXPECT_EQ(asked("save"), answer == Answer::Yes) << "No does not save";
        EXPECT_EQ(QFileInfo(path("exit.log")).size(), answer == Answer::Yes ? 4 + 2 * 556 : 0);
        EXPECT_FALSE(w.isVisible());
    }
}

TEST_F(MainWindowTest, GatewayCommandsFollowTheSettingsAndOriginalSendFollowsTheSelection) {
    start(false);
    editConfig([](sConfig& c) { c.gwPort = 9000; });
    addRows({"a", "b"});
    EXPECT_FALSE(menuItem("PMItemLvQuerySMS")->isEnabled());
    EXPECT_FALSE(menuItem("PMItemLvOSendSMS")->isEnabled());
    select(0);
    EXPECT_TRUE(menuItem("PMItemLvOSendSMS")->isEnabled()) << "one selected row opens the send dialog, gateway or not";

    m_prompts.dialogHandlers.push_back([this](QDialog* d) {
        EXPECT_EQ(d, &m_windows->settings());
        click(d, "ButtonOk");
    });
    click(toolButton("SpeedButtonSettings"));
    for (const char* name : {"PMItemLvQuerySMS", "PMItemLvOSendSMS", "MItemTSendSMS"})
        EXPECT_TRUE(menuItem(name)->isEnabled()) << name;
    EXPECT_TRUE(toolButton("SpeedButtonCancelSMS")->isEnabled());
    select(1);
    EXPECT_FALSE(menuItem("PMItemLvOSendSMS")->isEnabled()) << "two rows have no one text";
}

TEST_F(MainWindowTest, OriginalSendIsOfferedWhileSomeoneTakesItAndPressingItAsksThem) {
    TFormMain& w = start();
    addRows({"a", "b"});
    select(0);
    ASSERT_TRUE(menuItem("PMItemLvOSendSMS")->isEnabled()) << "the window set's send dialog takes it";
    QObject::disconnect(&w, &TFormMain::originalSendRequested, &m_windows->sendSMS(), nullptr);
    QCoreApplication::processEvents();
    ASSERT_FALSE(menuItem("PMItemLvOSendSMS")->isEnabled()) << "with nobody to open, nothing is offered";

    int asked = 0;
    auto taker = std::make_unique<QObject>();
    QObject::connect(&w, &TFormMain::originalSendRequested, taker.get(), [&asked] { ++asked; });
    ASSERT_TRUE(menuItem("PMItemLvOSendSMS")->isEnabled());
    EXPECT_TRUE(trigger(menuItem("PMItemLvOSendSMS")));
    EXPECT_EQ(asked, 1);

    taker.reset(); // its connection goes with it
    QCoreApplication::processEvents();
    EXPECT_FALSE(menuItem("PMItemLvOSendSMS")->isEnabled());
}

// ---- ConfirmClearLog ----

struct ClearCase {
    const char* name;
    bool logSaved;
    std::vector<Answer> answers;
    const char* saveAs; // the name given to the save dialog; none: it is cancelled
    bool expectedResult;
    int expectedRows; // none left: the next load replaces the list
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
    clickHeader(w.listView(), ColSendTime);
    ASSERT_EQ(w.logModel().sortColumn(), int(ColSendTime));
    w.setLogSaved(c.logSaved);
    m_prompts.answers.assign(c.answers.begin(), c.answers.end());
    if (c.saveAs)
        m_prompts.fileNames = {path(c.saveAs)};

    EXPECT_EQ(w.ConfirmClearLog(), c.expectedResult);
    // A failed save names its reason, which holds the test's folder.
    EXPECT_EQ(m_prompts.messages().replaceInStrings(m_dir.path(), QStringLiteral("DIR")), c.expectedMessages);
    EXPECT_EQ(w.logModel().rowCount(), c.expectedRows);
    if (c.expectedResult) {
        EXPECT_EQ(logFiles().loadReplaces(), c.expectedRows == 0);
    }
    EXPECT_EQ(w.logModel().sortColumn(), int(ColName));
    EXPECT_TRUE(w.logModel().sortAscending());
    EXPECT_EQ(QFileInfo(path("kept.log")).size(),
              QLatin1String(c.saveAs) == QLatin1String("kept.log") ? 4 + 2 * 556 : 0);
    if (c.expectedRows == 0) {
        EXPECT_EQ(statusCount(), QStringLiteral("0 筆發訊紀錄"));
    }
}

const QString kClear = QStringLiteral("要清除現有的傳送紀錄？");
const QString kSave = QStringLiteral("現有的傳送紀錄已變更，要儲存？");
const QString kWriteFailed =
    QStringLiteral("寫入傳送紀錄檔案失敗！\n無法建立暫存檔 DIR/no/such/x.log：檔案或目錄不存在");

const ClearCase kClearCases[] = {
    {"keep rows", false, {Answer::No}, nullptr, true, 2, {kClear}},
    {"clear a saved log", true, {Answer::Yes}, nullptr, true, 0, {kClear}},
    {"clear without saving", false, {Answer::Yes, Answer::No}, nullptr, true, 0, {kClear, kSave}},
    {"save then clear", false, {Answer::Yes, Answer::Yes}, "kept.log", true, 0, {kClear, kSave}},
    // Backing out keeps everything: a cancelled save abandons the command, and so does 取消 (or Esc).
    {"cancelled save abandons", false, {Answer::Yes, Answer::Yes}, nullptr, false, 2, {kClear, kSave}},
    {"cancel keeps everything", false, {Answer::Cancel}, nullptr, false, 2, {kClear}},
    // The program ended under the save question: nobody said 否, so nothing unsaved goes.
    {"unanswered save keeps everything", false, {Answer::Yes, Answer::Cancel}, nullptr, false, 2, {kClear, kSave}},
    {"failed save abandons",
     false,
     {Answer::Yes, Answer::Yes},
     "no/such/x.log",
     false,
     2,
     {kClear, kSave, kWriteFailed}},
};

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmClearLogTest, ::testing::ValuesIn(kClearCases),
                         [](const ::testing::TestParamInfo<ClearCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

TEST_F(MainWindowTest, AnEmptyListIsClearedAndLeftWithoutAQuestion) {
    TFormMain& w = start();
    logFiles().setLoadReplaces(false);
    EXPECT_TRUE(w.ConfirmClearLog());
    EXPECT_TRUE(logFiles().loadReplaces());
    trigger(menuItem("MItemFExit"));
    EXPECT_TRUE(m_prompts.asked.isEmpty());
    EXPECT_FALSE(w.isVisible());
}

// ---- save and load through the dialogs ----

TEST_F(MainWindowTest, SaveProposesATimeStampedNameInTheLogFolderAndAsksBeforeOverwriting) {
    TFormMain& w = start();
    addRows({"a", "b", "c"});
    ASSERT_NO_FATAL_FAILURE(writeAll(path("old.log"), "old"));

    m_prompts.fileNames = {path("old.log"), path("new.log")};
    m_prompts.answers = {Answer::No};
    trigger(menuItem("MItemFSave"));
    ASSERT_EQ(m_prompts.asked.size(), 3);
    EXPECT_EQ(m_prompts.asked[0].kind, QStringLiteral("save"));
    EXPECT_EQ(m_prompts.asked[0].title, QStringLiteral("儲存紀錄"));
    EXPECT_TRUE(m_prompts.asked[0].text.startsWith(QDir(path("logs")).filePath(QStringLiteral("20240301093"))));
    EXPECT_TRUE(m_prompts.asked[0].text.endsWith(QStringLiteral(".log")));
    EXPECT_EQ(m_prompts.asked[1].text, QStringLiteral("該檔案已存在，要覆蓋？"));
    EXPECT_NE(m_prompts.asked[2].text, m_prompts.asked[0].text) << "a fresh name is proposed";
    EXPECT_EQ(QFileInfo(path("old.log")).size(), 3);
    EXPECT_EQ(QFileInfo(path("new.log")).size(), 4 + 3 * 556);
    EXPECT_TRUE(logFiles().logSaved());

    finishProgress();
    EXPECT_EQ(progress().tracker().position(), 3);
    EXPECT_TRUE(w.isEnabled());
}

// The program's own files, what is no regular file and a log a command line run holds (it would write its
// own rows over these at its end) are never a saved log: each is named and another name asked for.
TEST_F(MainWindowTest, SaveRefusesTheProgramsOwnFilesFoldersAndAHeldLogAndAsksAgainAndExitAsksNothingAfter) {
    start();
    addRows({"a"});
    ASSERT_NO_FATAL_FAILURE(writeAll(path("AddressBook.bin"), "book"));
    ASSERT_NO_FATAL_FAILURE(writeAll(path("OptOut.txt"), "0912000009,20240301\r\n"));
    ASSERT_NO_FATAL_FAILURE(writeAll(path("held.log"), "held"));
    FileLock run(path("held.log"));
    ASSERT_TRUE(run.tryLock());
    m_prompts.fileNames = {path("AddressBook.bin"), path("OptOut.txt"), path("logs"), path("held.log"),
                           path("saved.log")};
    trigger(menuItem("MItemFSave"));
    const QStringList said = m_prompts.messages();
    ASSERT_EQ(said.size(), 4) << said.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(said[0], QStringLiteral("%1 是程式自己的通訊錄檔案，不能做為輸出檔。").arg(path("AddressBook.bin")));
    EXPECT_EQ(said[1], QStringLiteral("%1 是程式自己的拒收名單檔案，不能做為輸出檔。").arg(path("OptOut.txt")));
    EXPECT_EQ(said[2], QStringLiteral("%1 是資料夾，不是一般檔案，不能做為輸出檔。").arg(path("logs")));
    EXPECT_TRUE(said[3].startsWith(path("held.log") + QStringLiteral(" 正由另一個程式"))) << said[3].toStdString();
    EXPECT_EQ(QFileInfo(path("AddressBook.bin")).size(), 4);
    EXPECT_EQ(QFileInfo(path("OptOut.txt")).size(), 21);
    EXPECT_EQ(QFileInfo(path("held.log")).size(), 4);
    EXPECT_EQ(QFileInfo(path("saved.log")).size(), 4 + 556);
    EXPECT_TRUE(logFiles().logSaved());
    finishProgress();
    m_prompts.asked.clear();
    trigger(menuItem("MItemFExit"));
    EXPECT_TRUE(m_prompts.asked.isEmpty()) << "a saved log leaves without a question";
}

TEST_F(MainWindowTest, CancellingTheSaveDialogWritesNothingAndSucceeds) {
    TFormMain& w = start();
    addRows({"a"});
    click(toolButton("SpeedButtonSave"));
    ASSERT_EQ(m_prompts.asked.size(), 1);
    EXPECT_EQ(m_prompts.asked[0].kind, QStringLiteral("save"));
    EXPECT_FALSE(logFiles().logSaved());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(QDir(path("logs")).entryList(QDir::Files).isEmpty());
}

TEST_F(MainWindowTest, LoadReplacingOrAppendingSetsTheSavedFlagAccordingly) {
    TFormMain& w = start();
    addRows({"a", "b"});
    m_prompts.fileNames = {path("two.log")};
    trigger(menuItem("PMItemLvSave"));
    ASSERT_TRUE(QFile::exists(path("two.log")));
    finishProgress();

    // Into the saved list, replacing it: asks only whether to clear.
    m_prompts.asked.clear();
    m_prompts.fileNames = {path("two.log")};
    m_prompts.answers = {Answer::Yes};
    trigger(menuItem("MItemFLoad"));
    finishProgress();
    EXPECT_EQ(m_prompts.messages(), QStringList{kClear});
    EXPECT_EQ(m_prompts.asked[0].title, QStringLiteral("載入紀錄"));
    EXPECT_EQ(w.logModel().rowCount(), 2);
    EXPECT_TRUE(logFiles().logSaved());

    // Appending keeps the log marked as changed.
    m_prompts.fileNames = {path("two.log")};
    m_prompts.answers = {Answer::No};
    trigger(menuItem("MItemFLoad"));
    finishProgress();
    EXPECT_EQ(w.logModel().rowCount(), 4);
    EXPECT_FALSE(logFiles().logSaved());
    EXPECT_EQ(statusCount(), QStringLiteral("4 筆發訊紀錄"));
    EXPECT_EQ(progress().tracker().position(), 2);
}

TEST_F(MainWindowTest, LoadAfterSavingTheChangedLogReportsBothOperations) {
    TFormMain& w = start();
    addRows({"a", "b", "c"});
    SendLogModel source;
    source.addRow(SendLogRow{});
    ASSERT_TRUE(saveLogFile(path("one.log"), source));

    m_prompts.fileNames = {path("one.log"), path("saved.log")};
    m_prompts.answers = {Answer::Yes, Answer::Yes};
    trigger(menuItem("MItemFLoad"));
    EXPECT_EQ(m_prompts.messages(), (QStringList{kClear, kSave}));
    EXPECT_EQ(QFileInfo(path("saved.log")).size(), 4 + 3 * 556);
    EXPECT_EQ(w.logModel().rowCount(), 1);
    EXPECT_TRUE(logFiles().logSaved());
    EXPECT_FALSE(menuItem("MItemFLoad")->isEnabled()) << "the progress window holds the log until the user confirms";

    finishProgress();
    EXPECT_TRUE(menuItem("MItemFLoad")->isEnabled());
    const QString memo = messageArea();
    const int saved = memo.indexOf(QStringLiteral("發訊紀錄儲存完成"));
    const int loaded = memo.indexOf(QStringLiteral("發訊紀錄載入完成"));
    ASSERT_GE(saved, 0);
    EXPECT_GT(loaded, saved) << "each operation keeps its own summary, in order";
    EXPECT_TRUE(memo.contains(QStringLiteral("3 / 3(100%)")));
    EXPECT_TRUE(memo.contains(QStringLiteral("1 / 1(100%)")));
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
    trigger(menuItem("MItemFLoad"));
    EXPECT_TRUE(m_prompts.messages().isEmpty());
    ASSERT_EQ(w.logModel().rowCount(), 1);
    EXPECT_EQ(w.logModel().codeImage(0), int(ImageReservation));
    EXPECT_TRUE(logFiles().logSaved());
    finishProgress();

    // Looked at, not changed: clearing it for the next load (as for a send) asks nothing about saving.
    select(0);
    m_prompts.fileNames = {path("one.log")};
    m_prompts.answers = {Answer::Yes};
    trigger(menuItem("MItemFLoad"));
    EXPECT_EQ(m_prompts.messages(), QStringList{kClear});
    finishProgress();
}

// A file that is no whole send log: a cut one gives its whole rows and says how many were missing; a count
// below -1 is no finished file's, so every whole record is read as of a file a run left unfinished, rather than
// the list cleared for none of them; random bytes with a plausible count are refused before the clear prompt,
// naming the first bad record, and a file that is gone after it, with the system's reason. Refused, the list
// and its saved state stay as they were.
TEST_F(MainWindowTest, ALoadSaysWhatIsWrongWithAFileThatIsNoWholeLogAndTakesOnlyWholeRecords) {
    ASSERT_NO_FATAL_FAILURE(writeCutLog());
    SendLogModel three;
    for (int i = 0; i < 3; ++i)
        three.addRow(SendLogRow{});
    ASSERT_TRUE(saveLogFile(path("unfinished.log"), three));
    QByteArray bytes = test::readAll(path("unfinished.log"));
    bytes.replace(0, 4, QByteArray::fromHex("f9ffffff")); // -7
    ASSERT_NO_FATAL_FAILURE(writeAll(path("unfinished.log"), bytes));
    QByteArray random(4 + 2 * 556, '\x01');
    random.replace(0, 5, QByteArray("\x02\x00\x00\x00", 4).append(char(ImageTyped))); // two records
    ASSERT_NO_FATAL_FAILURE(writeAll(path("random.log"), random));

    const QString cut = QStringLiteral("傳送紀錄檔案不完整：僅讀入 1 筆（檔案標示 2 筆）。");
    const QString unfinished =
        QStringLiteral("傳送紀錄檔案尚未完成（檔案標示 -7 筆，不是完成的紀錄檔）：已讀入 3 筆完整紀錄。");
    const QString noLog = QStringLiteral("不是發訊紀錄檔：第 1 筆紀錄傳送碼欄的圖示代碼 1 不明。");
    const QString gone = QStringLiteral("讀取傳送紀錄檔案失敗！\n檔案或目錄不存在");
    const struct {
        const char* file;
        bool rowBefore;              // a saved row in the list; else it is empty
        std::vector<Answer> answers; // to 要清除現有的傳送紀錄？
        int rows;                    // in the list afterwards
        QStringList said;
        bool refused;
    } cases[] = {
        {"cut.log", false, {}, 1, {cut}, false},
        {"unfinished.log", true, {Answer::Yes}, 3, {kClear, unfinished}, false},
        {"random.log", true, {}, 1, {noLog}, true},
        {"absent.log", true, {Answer::No}, 1, {kClear, gone}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        m_windows.reset();
        m_prompts.asked.clear();
        TFormMain& w = start();
        if (c.rowBefore) {
            addRows({"a"});
            w.setLogSaved(true);
        }
        m_prompts.fileNames = {path(c.file)};
        m_prompts.answers.assign(c.answers.begin(), c.answers.end());
        trigger(menuItem("MItemFLoad"));
        EXPECT_EQ(m_prompts.messages(), c.said);
        EXPECT_EQ(w.logModel().rowCount(), c.rows);
        if (c.refused) {
            EXPECT_TRUE(logFiles().logSaved());
            EXPECT_FALSE(progress().isVisible());
        }
        finishProgress();
    }
}

// ---- sorting, viewing, the other windows ----

TEST_F(MainWindowTest, SortMenuFollowsColumnClicks) {
    TFormMain& w = start();
    addRows({"a", "b"});
    trigger(menuItem("MItemVSortSendCode"));
    trigger(menuItem("MItemVSortSendCode"));
    EXPECT_EQ(w.logModel().sortColumn(), int(ColSendCode));
    EXPECT_FALSE(w.logModel().sortAscending());
    EXPECT_TRUE(menuItem("MItemVDescending")->isChecked());
    EXPECT_EQ(w.logModel().headerData(ColSendCode, Qt::Horizontal).toString(), QStringLiteral("傳送碼 ↓"));

    trigger(menuItem("MItemVAscending"));
    EXPECT_TRUE(w.logModel().sortAscending());
    EXPECT_TRUE(menuItem("MItemVAscending")->isChecked());
    trigger(menuItem("MItemVAscending")); // already checked: nothing changes
    EXPECT_TRUE(w.logModel().sortAscending());

    clickHeader(w.listView(), ColName);
    EXPECT_TRUE(menuItem("MItemVSortName")->isChecked());
    EXPECT_EQ(w.logModel().text(0, ColName), QByteArray("a"));
    trigger(menuItem("MItemVSortName"));
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
            shown << d->windowTitle() + QLatin1Char('|') + findControl<QPlainTextEdit>(d, "MemoMsg")->toPlainText();
            click(d, "ButtonClose");
        });
    trigger(menuItem("MItemFContent"));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith(
        QStringLiteral("傳送紀錄|名稱：a\n行動電話：0912345678\n傳送時間：20240301093000\n傳送碼：0\n")));
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("查詢碼：\n查詢結果：\n訊息內容：內容")));
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("傳送紀錄|名稱：c")));
}

TEST_F(MainWindowTest, MessageWindowToggleHidesAreaAndSplitterAndFlipsTheTip) {
    TFormMain& w = start();
    auto* button = toolButton("SpeedButtonMsgWin");
    auto* memo = findControl<QPlainTextEdit>(&w, "MemoShow");
    auto* panel = findControl<QWidget>(&w, "Panel1");
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->accessibleName(), QStringLiteral("發訊紀錄與訊息視窗分隔線"));
    EXPECT_FALSE(panel->parentWidget()->accessibleName().isEmpty());
    EXPECT_EQ(button->toolTip(), QStringLiteral("關閉訊息視窗"));
    click(button);
    EXPECT_FALSE(menuItem("MItemVMsgWin")->isChecked());
    EXPECT_FALSE(memo->isVisible());
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(button->toolTip(), QStringLiteral("開啟訊息視窗"));
    trigger(menuItem("MItemVMsgWin"));
    EXPECT_TRUE(memo->isVisible());
    EXPECT_EQ(button->toolTip(), QStringLiteral("關閉訊息視窗"));
}

// The list's columns measured against what they must show whole, in the list's own font.
struct ColumnWidths {
    QVector<int> widths;
    int total = 0;
};

ColumnWidths columnWidths(QTreeView* list) {
    ColumnWidths c;
    for (int i = 0; i < kSendLogColumns; ++i) {
        c.widths.append(list->header()->sectionSize(i));
        c.total += c.widths.last();
    }
    return c;
}

// Drags the right edge of a column's caption by `dx`, as a user does.
void dragColumnEdge(QTreeView* list, int column, int dx) {
    QHeaderView* header = list->header();
    const QPoint edge(header->sectionViewportPosition(column) + header->sectionSize(column) - 1, header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, edge);
    QMouseEvent move(QEvent::MouseMove, QPointF(edge + QPoint(dx, 0)),
                     header->viewport()->mapToGlobal(edge + QPoint(dx, 0)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &move);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, edge + QPoint(dx, 0));
}

TEST_F(MainWindowTest, ColumnsShowAWholeTimeAndMsgIdFillTheListAndKeepTheUsersWidths) {
    TFormMain& w = start();
    QTreeView* list = w.listView();
    QCoreApplication::processEvents();
    const QFontMetrics fm(list->font());
    const int wholeTime = fm.horizontalAdvance(QStringLiteral("20240301093000"));
    const int wholeResult = fm.horizontalAdvance(QStringLiteral("訊息已成功送出(MsgId:NV240301093000000001)"));
    const int wholeQueryResult = fm.horizontalAdvance(QStringLiteral("已送至簡訊中心，尚未完成查詢"));
    const int tableWidths[kSendLogColumns] = {56, 80, 80, 54, 80, 54, 80, 160};

    // The first size, and a window the user made 1,200 px wide.
    ColumnWidths first;
    for (const int width : {0, 1200}) {
        if (width) {
            w.resize(width, w.height());
            QCoreApplication::processEvents();
        }
        const ColumnWidths c = columnWidths(list);
        SCOPED_TRACE(width);
        EXPECT_GT(c.widths[ColSendTime], wholeTime);
        EXPECT_GT(c.widths[ColSendResult], wholeResult);
        EXPECT_GT(c.widths[ColQueryResult], wholeQueryResult);
        for (int i = 0; i + 1 < kSendLogColumns; ++i)
            EXPECT_GE(c.widths[i], width ? first.widths[i] : tableWidths[i]) << "column " << i;
        // A screen narrower than every column whole (the test's own is 800 px) opens the list scrolling.
        if (width || w.screen()->availableGeometry().width() >= 1280) {
            EXPECT_EQ(c.total, list->viewport()->width()) << "the last column takes the rest, nothing scrolls";
            EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
        }
        if (!width)
            first = c;
    }
    if (w.screen()->availableGeometry().width() >= 1280) {
        EXPECT_GE(first.widths[ColContent], tableWidths[ColContent]) << "opens wide enough for every column";
    }
    EXPECT_GT(columnWidths(list).widths[ColContent], first.widths[ColContent]) << "a wider window widens the columns";

    // A width the user gives a column stays when the window changes size.
    const int dragged = list->header()->sectionSize(ColMobile) + 40;
    dragColumnEdge(list, ColMobile, 40);
    EXPECT_EQ(list->header()->sectionSize(ColMobile), dragged);
    w.resize(1000, w.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(list->header()->sectionSize(ColMobile), dragged);
    EXPECT_EQ(columnWidths(list).total, list->viewport()->width());
}

TEST_F(MainWindowTest, ResizingGivesTheListSixTenthsOfTheHeightAndTheSplitterStopsAtBothMinimums) {
    TFormMain& w = start();
    w.resize(700, 500); // as the window manager does when the user drags the frame
    QCoreApplication::processEvents();
    auto* toolBar = findControl<QWidget>(&w, "ToolBar1");
    auto* memo = findControl<QPlainTextEdit>(&w, "MemoShow");
    const int below = w.height() - w.menuBar()->height() - toolBar->height();
    EXPECT_EQ(w.listView()->height(), below * 6 / 10);
    EXPECT_GE(memo->height(), 35);

    auto* panel = findControl<QWidget>(&w, "Panel1");
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

// Lines shown together (a worker's batch) read as the same lines shown one by one.
TEST_F(MainWindowTest, MessageLinesGoBelowTheFirstEmptyLineAlsoWhenShownTogether) {
    start();
    ShowMsgLine(big5("第一行"));
    ShowMessageAreaLines({QStringLiteral("二"), QStringLiteral("三\n四")});
    ShowMsgLine(big5("五"));
    const QStringList lines = messageArea().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[0].isEmpty());
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("  第一行")));
    EXPECT_EQ(lines.mid(2, 3), (QStringList{QStringLiteral("二"), QStringLiteral("三"), QStringLiteral("四")}));
    EXPECT_TRUE(lines[5].endsWith(QStringLiteral("  五")));
}

TEST_F(MainWindowTest, ToolCommandsOpenTheirWindowsInTheirMode) {
    start();
    TFormSendSMS& send = m_windows->sendSMS();
    TFormQuerySMS& query = m_windows->querySMS();
    QStringList opened;
    for (int i = 0; i < 3; ++i)
        m_prompts.dialogHandlers.push_back([&opened](QDialog* d) {
            opened << d->windowTitle();
            keyClick(d, Qt::Key_Escape);
        });
    click(toolButton("SpeedButtonSendSMS"));
    trigger(menuItem("MItemTCancelSMS"));
    click(toolButton("SpeedButtonQuerySMS"));
    EXPECT_EQ(opened,
              (QStringList{QStringLiteral("發送訊息"), QStringLiteral("取消預約"), QStringLiteral("狀態查詢")}));
    EXPECT_TRUE(query.queryMode());
    EXPECT_FALSE(send.isVisible());
    EXPECT_FALSE(query.isVisible());

    m_prompts.dialogHandlers.push_back([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("關於"));
        EXPECT_TRUE(findControl<QLabel>(d, "Version"));
        click(d, "OKButton");
    });
    trigger(menuItem("MItemHAbout"));
    EXPECT_TRUE(m_prompts.dialogHandlers.empty());
}

// The load's progress window holds the send log's commands until the user confirms it with its own button
// (the menu bar's 結束, 關於 and views stay); a warning that comes meanwhile is answered, and the commands are
// usable afterwards.
TEST_F(MainWindowTest, LoadIsConfirmedWithTheProgressWindowsOwnButton) {
    TFormMain& w = start();
    ASSERT_NO_FATAL_FAILURE(writeCutLog());

    m_prompts.fileNames = {path("cut.log")};
    click(toolButton("SpeedButtonLoad"));
    EXPECT_EQ(m_prompts.messages().size(), 1) << "the cut file is reported";
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(unreachable(toolButton("SpeedButtonLoad")).isEmpty()) << "the held commands take no clicks";
    EXPECT_EQ(unreachable(toolButton("SpeedButtonMsgWin")), QString()) << "the views stay";
    QCoreApplication::sendPostedEvents(&progress(), WM_SHOWPROCESS);
    auto* ok = findControl<QPushButton>(&progress(), "ButtonOk");
    EXPECT_EQ(ok->text(), QStringLiteral("確定"));
    EXPECT_TRUE(click(ok));
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(click(toolButton("SpeedButtonSave"))) << "the main window is usable again";
}
