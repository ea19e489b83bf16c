#include "ProgramWindows.h"
#include "SendDialogFixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeySequence>
#include <QLabel>
#include <QMap>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>

using namespace norvi;
using namespace norvi::test;

namespace {

using KeyboardTest = ProgramWindowTest;
using CancelKeysTest = ProgramWindowTest;    // the windows with a 取消
using DefaultButtonTest = ProgramWindowTest; // the windows with a default button

std::vector<ProgramWindow> windowsWith(const char* ProgramWindow::*button) {
    std::vector<ProgramWindow> with;
    for (const ProgramWindow& w : programWindows())
        if (w.*button)
            with.push_back(w);
    return with;
}

std::string windowName(const ::testing::TestParamInfo<ProgramWindow>& info) {
    return info.param.name;
}

// The mnemonics a window shows, each with what shows it: its buttons, its labels, its tabs and the menus of
// its menu bar. A label's mnemonic that leads nowhere is listed under "?".
QMap<QString, QStringList> shownMnemonics(QWidget* window) {
    QMap<QString, QStringList> shown;
    const auto add = [&shown](const QString& text, const QString& owner) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (!key.isEmpty())
            shown[key.toString()].append(owner);
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window)
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            add(button->text(), describe(w));
        if (auto* label = qobject_cast<QLabel*>(w)) {
            add(label->text(), describe(w));
            if (!QKeySequence::mnemonic(label->text()).isEmpty() && !label->buddy())
                shown[QStringLiteral("?")].append(label->text());
        }
        if (auto* tabs = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs->tabText(i), tabs->tabText(i));
        if (auto* bar = qobject_cast<QMenuBar*>(w))
            for (QAction* menu : bar->actions())
                add(menu->text(), menu->text());
    }
    return shown;
}

// Alt and a letter reach one control: with two under one letter, the toolkit only moves between them.
TEST_P(KeyboardTest, EveryMnemonicShownLeadsToOneControl) {
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    const QMap<QString, QStringList> shown = shownMnemonics(window);
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        EXPECT_NE(it.key(), QStringLiteral("?"))
            << "labels with a mnemonic but no control: " << it.value().join(QStringLiteral(", ")).toStdString();
        EXPECT_EQ(it.value().size(), 1) << it.key().toStdString() << " is shown by "
                                        << it.value().join(QStringLiteral(", ")).toStdString();
    }
    window->close();
}

TEST_P(CancelKeysTest, EscClosesTheWindowAsItsCancelButtonDoes) {
    QWidget* window = open();
    auto* dialog = qobject_cast<QDialog*>(window);
    ASSERT_NE(dialog, nullptr);
    QSignalSpy finished(dialog, &QDialog::finished);
    ASSERT_TRUE(keyClick(window, Qt::Key_Escape));
    ASSERT_EQ(finished.size(), 1) << "Esc left the window open";
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
}

// A button with the focus takes Return, as a press of Space would: Tab to 取消 and Return never runs 確定.
TEST_P(CancelKeysTest, ReturnOnTheFocusedCancelButtonCancels) {
    QWidget* window = open();
    auto* dialog = qobject_cast<QDialog*>(window);
    ASSERT_NE(dialog, nullptr);
    auto* cancel = findControl<QPushButton>(window, GetParam().cancelButton);
    ASSERT_NE(cancel, nullptr);
    cancel->setFocus(Qt::TabFocusReason);
    QSignalSpy finished(dialog, &QDialog::finished);
    ASSERT_TRUE(keyClick(window, Qt::Key_Return));
    ASSERT_EQ(finished.size(), 1) << "Return on 取消 left the window open";
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
}

// Return where the window opened its focus presses the default button, unless that waits to be enabled.
TEST_P(DefaultButtonTest, ReturnPressesTheDefaultButton) {
    QPointer<QWidget> window = open();
    ASSERT_NE(window, nullptr);
    auto* button = findControl<QPushButton>(window, GetParam().defaultButton);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isDefault());
    const bool enabled = button->isEnabled();
    QSignalSpy pressed(button, &QPushButton::clicked);
    ASSERT_TRUE(keyClick(window, Qt::Key_Return));
    EXPECT_EQ(pressed.size(), enabled ? 1 : 0) << "focus on " << describe(QApplication::focusWidget()).toStdString();
    if (window && window->isVisible())
        window->close();
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, KeyboardTest, ::testing::ValuesIn(programWindows()), windowName);
INSTANTIATE_TEST_SUITE_P(EveryWindow, CancelKeysTest, ::testing::ValuesIn(windowsWith(&ProgramWindow::cancelButton)),
                         windowName);
INSTANTIATE_TEST_SUITE_P(EveryWindow, DefaultButtonTest,
                         ::testing::ValuesIn(windowsWith(&ProgramWindow::defaultButton)), windowName);

class SendDialogKeysTest : public SendDialogFixture {};

// Recipients are separated by ";": Return in the recipient field never becomes a line of it, it sends; in
// the message it breaks the line; Alt+S is 傳送 from anywhere.
TEST_F(SendDialogKeysTest, ReturnSendsFromTheRecipientsAndBreaksTheMessagesLines) {
    open(
        [&] {
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("第一行")));
            ASSERT_TRUE(keyClick(memo(), Qt::Key_Return));
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000001")));
            EXPECT_TRUE(m_prompts.messages().isEmpty())
                << "Return in the message sent: " << m_prompts.messages().join(u'|').toStdString();
            QTest::keyClick(memo(), Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(memo(), QStringLiteral("2"));
            ASSERT_TRUE(keyClick(field(), Qt::Key_Return, Qt::ShiftModifier));
            EXPECT_EQ(fieldText(), QStringLiteral("0912000001")) << "Shift+Return is no separator either";
            answerSendSummary();
            ASSERT_TRUE(keyClick(field(), Qt::Key_Return));
            EXPECT_TRUE(progress().isVisible()) << "Return in the recipients did not send";
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers(), QStringList{QStringLiteral("0912000001")});
    EXPECT_EQ(mainWindow().jobRows().rowCount(), 1);
    EXPECT_EQ(cell(0, ColContent), QStringLiteral("第一行\n2"));
}

TEST_F(SendDialogKeysTest, AltSSendsAndEscCloses) {
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000001")));
            ASSERT_TRUE(typeInto(memo(), QStringLiteral("Alt+S")));
            answerSendSummary();
            ASSERT_TRUE(keyClick(memo(), Qt::Key_S, Qt::AltModifier));
            // A mnemonic presses its button as a click does, the release a moment later.
            ASSERT_TRUE(QTest::qWaitFor([this] { return progress().isVisible(); }, 5000)) << "Alt+S did not send";
            EXPECT_EQ(memo()->toPlainText(), QStringLiteral("Alt+S"));
            finishRun();
        },
        false);
    EXPECT_EQ(sentNumbers(), QStringList{QStringLiteral("0912000001")});
    open(
        [&] {
            ASSERT_TRUE(typeInto(field(), QStringLiteral("0912000002")));
            ASSERT_TRUE(keyClick(field(), Qt::Key_Escape));
            EXPECT_FALSE(dialog().isVisible());
        },
        false);
    EXPECT_EQ(sentNumbers(), QStringList{QStringLiteral("0912000001")}) << "Esc sent";
}

} // namespace
