// The desktop program's journal of unsaved rows in the window set: rows a program left behind are offered
// back at the start and come back unsaved (or are kept as a log), and the journal goes when its rows are
// saved or the user answers 否 at the exit, and stays when the exit is backed out of.
#include "support/WindowTest.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/RowJournal.h"
#include "gui/sendlog/UnsavedRows.h"
#include "support/FileBytes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <functional>

using namespace norvi;
using namespace norvi::test;
using Answer = Prompts::Answer;

namespace {

SendLogRow accepted(int i) {
    SendLogRow row;
    row.texts[ColMobile] = "09190" + QByteArray::number(10000 + i);
    row.texts[ColSendCode] = "0";
    row.texts[ColSendResult] = big5("訊息已成功送出(MsgId:J") + QByteArray::number(i) + ")";
    row.image = ImageTyped;
    return row;
}

class UnsavedRowsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        writeConfig(path("logs"));
        QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
    }
    void TearDown() override {
        m_unsaved.reset();
        WindowTest::TearDown();
    }

    // What a program killed in the middle of a run leaves: its journal with the rows it had, unfinished.
    void leaveJournal(int rows) {
        DesktopJournal killed(m_dir.path());
        LogStream* stream = killed.beginRun(nullptr);
        ASSERT_NE(stream, nullptr);
        for (int i = 0; i < rows; ++i)
            ASSERT_TRUE(stream->append(accepted(i)));
    }

    void start() {
        startWindows(false);
        m_unsaved = std::make_unique<UnsavedRows>(mainWindow(), config(), jobs());
        m_windows->show();
        m_unsaved->offerLeftBehind();
    }

    // A row of this program's run, in its journal and the list, not saved yet.
    void runOneRow() {
        LogStream* stream = jobs().journal()->beginRun(nullptr);
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(stream->append(accepted(0)));
        mainWindow().logModel().addRow(accepted(0));
        mainWindow().setLogSaved(false);
    }

    QStringList journals() const {
        return QDir(m_dir.path()).entryList({QStringLiteral("norvi-journal-*.log")}, QDir::Files);
    }

    std::unique_ptr<UnsavedRows> m_unsaved;
};

} // namespace

TEST_F(UnsavedRowsTest, RowsLeftBehindComeBackUnsavedAndTheirJournalGoesWhenTheyAreSaved) {
    leaveJournal(3);
    m_prompts.answers = {Answer::Yes};
    start();
    ASSERT_EQ(m_prompts.messages(), QStringList{QStringLiteral("上次未儲存的發訊紀錄（3 筆）仍保留著，要載入？")});
    EXPECT_EQ(mainWindow().logModel().rowCount(), 3);
    EXPECT_FALSE(logFiles().logSaved());
    // The rows are this program's journal now; the old file is gone.
    ASSERT_EQ(journals().size(), 1);
    EXPECT_TRUE(DesktopJournal::leftBehind(m_dir.path()).isEmpty());

    m_prompts.fileNames = {path("saved.log")};
    menuItem("MItemFSave")->trigger();
    EXPECT_TRUE(journals().isEmpty());
    LogFileReader saved(path("saved.log"));
    ASSERT_TRUE(saved.open());
    EXPECT_EQ(saved.announced(), 3);
}

// A program killed before its first row, even before its journal had a count: nothing is offered.
TEST_F(UnsavedRowsTest, JournalsLeftWithoutARowAreClearedWithoutAQuestion) {
    leaveJournal(0);
    writeAll(path("norvi-journal-20261208000000-1.log"), QByteArray());
    ASSERT_EQ(journals().size(), 2);
    start();
    EXPECT_TRUE(m_prompts.asked.isEmpty());
    EXPECT_TRUE(DesktopJournal::leftBehind(m_dir.path()).isEmpty());
}

TEST_F(UnsavedRowsTest, RowsLeftBehindAndNotWantedAreKeptAsALog) {
    leaveJournal(2);
    m_prompts.answers = {Answer::No};
    start();
    EXPECT_EQ(mainWindow().logModel().rowCount(), 0);
    EXPECT_TRUE(journals().isEmpty());
    const QStringList logs = QDir(path("logs")).entryList({QStringLiteral("*.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    LogFileReader kept(QDir(path("logs")).filePath(logs.first()));
    ASSERT_TRUE(kept.open());
    EXPECT_EQ(kept.announced(), 2);
}

// Answers beside a journal that cannot be read (a folder at their name, a file of another user): the journal is
// named and kept, not taken for one without rows and removed with them.
TEST_F(UnsavedRowsTest, AJournalWhoseAnswersCannotBeReadIsNamedAndKept) {
    leaveJournal(2);
    const QStringList left = DesktopJournal::leftBehind(m_dir.path());
    ASSERT_EQ(left.size(), 1);
    ASSERT_TRUE(QDir().mkdir(DesktopJournal::answersPath(left.first())));
    start();
    EXPECT_TRUE(m_prompts.asked.isEmpty());
    EXPECT_EQ(DesktopJournal::leftBehind(m_dir.path()), left);
    EXPECT_TRUE(messageArea().contains(QStringLiteral("沒有載入"))) << messageArea().toStdString();
}

// The program ended under the offer (a log-out at start): nobody chose, so the rows are offered again next time.
TEST_F(UnsavedRowsTest, AnOfferNobodyAnsweredLeavesTheRowsForTheNextStart) {
    leaveJournal(2);
    m_prompts.answers = {Answer::Cancel};
    start();
    EXPECT_EQ(mainWindow().logModel().rowCount(), 0);
    EXPECT_EQ(DesktopJournal::leftBehind(m_dir.path()).size(), 1);
    EXPECT_TRUE(QDir(path("logs")).entryList({QStringLiteral("*.log")}, QDir::Files).isEmpty());
}

TEST_F(UnsavedRowsTest, AnsweringNoAtTheExitRemovesTheJournalAndAnUnsavedExitKeepsIt) {
    start();
    EXPECT_TRUE(m_prompts.asked.isEmpty()) << "nothing left behind, nothing asked";
    ASSERT_NO_FATAL_FAILURE(runOneRow());
    ASSERT_EQ(journals().size(), 1);
    m_prompts.answers = {Answer::No};
    menuItem("MItemFExit")->trigger();
    EXPECT_TRUE(journals().isEmpty());
}

// Backing out of the exit's question, with the real box and a real key or its close button: the program
// stays open with its rows, still unsaved, and their journal stays too; 結束 and the close box alike.
TEST_F(UnsavedRowsTest, BackingOutOfTheExitQuestionKeepsTheProgramItsRowsAndTheJournal) {
    start();
    ASSERT_NO_FATAL_FAILURE(runOneRow());
    setPrompts(nullptr); // the real boxes
    for (const bool closeBox : {false, true}) {
        QString asked;
        whenModalShown([&](QWidget* shown) {
            auto* box = qobject_cast<QMessageBox*>(shown);
            ASSERT_NE(box, nullptr);
            asked = box->text();
            if (closeBox)
                box->close();
            else
                EXPECT_TRUE(keyClick(box, Qt::Key_Escape));
        });
        if (closeBox)
            mainWindow().close();
        else
            trigger(menuItem("MItemFExit"));
        EXPECT_EQ(asked, QStringLiteral("現有的傳送紀錄已變更，要儲存？"));
        EXPECT_TRUE(mainWindow().isVisible());
        EXPECT_EQ(mainWindow().logModel().rowCount(), 1);
        EXPECT_FALSE(logFiles().logSaved());
        EXPECT_EQ(journals().size(), 1);
    }
    setPrompts(&m_prompts);
}
