#include "support/WindowTest.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace norvi;
using namespace norvi::test;

namespace {

// The real message boxes and file dialogs, shown while the window that asks is held by the progress
// window (as during a load that finds a cut file, or an exit during an operation): they are new windows,
// so the disabled window they belong to does not disable them, and they stay above it.
class RealPrompts : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        writeConfig(m_dir.path());
        startWindows();
        progress().startOperation(&mainWindow(), false, 1);
        ASSERT_FALSE(mainWindow().isEnabled());
    }
};

} // namespace

TEST_F(RealPrompts, AQuestionFromAHeldWindowCanBeAnswered) {
    bool stood = false;
    whenModalShown([&](QWidget* box) {
        EXPECT_TRUE(box->isEnabled());
        stood = box->windowHandle()->transientParent() == mainWindow().windowHandle();
        auto* no = qobject_cast<QMessageBox*>(box)->button(QMessageBox::No);
        EXPECT_TRUE(click(no));
    });
    EXPECT_EQ(standardPrompts().message(&mainWindow(), Prompts::Icon::Question, Prompts::Buttons::YesNo,
                                        QStringLiteral("Norvi"), QStringLiteral("要清除現有的傳送紀錄？")),
              Prompts::Answer::No);
    EXPECT_TRUE(stood) << "the box stays above the window that asked";
}

// Return takes the preselected button: 否 on a question whose 是 cannot be undone, 是 on any other.
TEST_F(RealPrompts, ReturnTakesThePreselectedAnswer) {
    for (const Prompts::Answer preselected : {Prompts::Answer::No, Prompts::Answer::Yes}) {
        whenModalShown([](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
        EXPECT_EQ(standardPrompts().message(&mainWindow(), Prompts::Icon::Question, Prompts::Buttons::YesNoCancel,
                                            QStringLiteral("Norvi"), QStringLiteral("要取消 1 筆預約？"), preselected),
                  preselected);
    }
}

// The program's end (a log-out's SIGTERM) leaves every event loop, an open box's too, with no button pressed.
// Nobody answered: a question backs out (取消), whatever its buttons; a notice was only read.
TEST_F(RealPrompts, ABoxTheProgramsEndClosesAnswersNothing) {
    const struct {
        Prompts::Buttons buttons;
        Prompts::Answer preselected;
        Prompts::Answer answer;
    } cases[] = {
        {Prompts::Buttons::YesNo, Prompts::Answer::Yes, Prompts::Answer::Cancel},
        {Prompts::Buttons::YesNo, Prompts::Answer::No, Prompts::Answer::Cancel},
        {Prompts::Buttons::YesNoCancel, Prompts::Answer::Yes, Prompts::Answer::Cancel},
        {Prompts::Buttons::Ok, Prompts::Answer::Yes, Prompts::Answer::Ok},
    };
    for (const auto& c : cases) {
        whenModalShown([](QWidget*) { QCoreApplication::exit(0); });
        EXPECT_EQ(standardPrompts().message(&mainWindow(), Prompts::Icon::Question, c.buttons, QStringLiteral("Norvi"),
                                            QStringLiteral("其中 1 筆可能已送出，也要重發？"), c.preselected),
                  c.answer)
            << int(c.buttons);
        // The next box runs its loop again once the application's loop was left, as main() leaves it.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
}

// A box quotes names and texts from files and the gateway: shown as plain text, control characters as
// "\xNN", the program's own line breaks kept.
TEST_F(RealPrompts, ABoxShowsQuotedControlCharactersEscapedAndMarkupAsText) {
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    whenModalShown([&](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        shown = message->text();
        format = message->textFormat();
        // A notice informs: its one button is 確定, never 是.
        EXPECT_EQ(message->buttons().size(), 1);
        EXPECT_TRUE(click(message->button(QMessageBox::Ok)));
    });
    standardPrompts().notice(&mainWindow(), Prompts::Icon::Warning, QStringLiteral("Norvi"),
                             QStringLiteral("成員「<b>\x1b[31m王\x07」\n已略過"));
    EXPECT_EQ(shown, QStringLiteral("成員「<b>\\x1B[31m王\\x07」\n已略過"));
    EXPECT_EQ(format, Qt::PlainText);
}

TEST_F(RealPrompts, AFileDialogFromAHeldWindowCanBeAnswered) {
    whenModalShown([](QWidget* dialog) {
        EXPECT_TRUE(dialog->isEnabled());
        EXPECT_NE(qobject_cast<QFileDialog*>(dialog), nullptr);
        EXPECT_TRUE(keyClick(dialog, Qt::Key_Escape));
    });
    EXPECT_EQ(standardPrompts().saveFileName(&mainWindow(), QStringLiteral("儲存紀錄"),
                                             QStringLiteral("記錄檔(*.log)|*.log"), path("x.log")),
              QString());
}

// An answer the program never asked for means the prompt the test expected did not come.
TEST(ScriptedPromptsTest, AnswersLeftQueuedFailTheTestAndUsedOnesDoNot) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedPrompts unused;
            unused.answers = {Prompts::Answer::Yes};
            unused.fileNames = {QStringLiteral("a.log")};
        },
        "never asked for their queued answers: 1 answer(s), 1 file name(s), 0 folder(s)");
    ScriptedPrompts used;
    used.answers = {Prompts::Answer::Yes};
    used.folders = {QStringLiteral("/tmp")};
    EXPECT_EQ(prompts().message(nullptr, Prompts::Icon::Question, Prompts::Buttons::YesNo, QStringLiteral("Norvi"),
                                QStringLiteral("?")),
              Prompts::Answer::Yes);
    EXPECT_EQ(prompts().chooseFolder(nullptr, QStringLiteral("選擇資料夾"), QString()), QStringLiteral("/tmp"));
}
