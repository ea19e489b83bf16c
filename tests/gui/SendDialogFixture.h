#pragma once

#include "support/BookRecords.h"
#include "support/FileBytes.h"
#include "support/SimulatorWindowTest.h"
#include "support/TextPrinting.h"

#include "core/compose/ComposeState.h"
#include "core/shared/FixedField.h"
#include "core/workers/JobRegistry.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/TFormSendSMS.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

#include <cstring>
#include <functional>
#include <memory>

namespace norvi::test {

// The send dialog of the window set, opened from the main window as a user opens it, with the gateway
// simulator on a loopback port and the clock at 1 March 2024, 09:30:00.
class SendDialogFixture : public SimulatorWindowTest {
protected:
    void SetUp() override {
        Clock::setFixed(QDateTime(QDate(2024, 3, 1), QTime(9, 30, 0)));
        SimulatorWindowTest::SetUp();
    }
    QString logFolder() override {
        QDir(m_dir.path()).mkdir(QStringLiteral("logs"));
        return path("logs");
    }

    TFormSendSMS& dialog() { return m_windows->sendSMS(); }
    // The recipient field's contents as the dialog read them.
    RecipientsBox& box() { return *findControl<RecipientsBox>(&dialog(), "RecipientsBox"); }

    QString writeFile(const char* name, const QByteArray& bytes) {
        writeAll(path(name), bytes);
        return path(name);
    }
    // 上載... with `file` chosen, the load confirmed in the progress window.
    void load(const QString& file) {
        m_prompts.fileNames.push_back(file);
        ASSERT_TRUE(press("SpeedButtonLoadMT"));
        QCoreApplication::sendPostedEvents(&progress(), WM_SHOWPROCESS);
        ASSERT_TRUE(click(&progress(), "ButtonOk"));
    }
    template <typename T> T* control(const char* name) { return findControl<T>(&dialog(), name); }
    RichEditMT* field() { return control<RichEditMT>("RichEditMT"); }
    QPlainTextEdit* memo() { return control<QPlainTextEdit>("MemoSM"); }
    QComboBox* combo(const char* name) { return control<QComboBox>(name); }
    QString countText() { return control<QLabel>("LabelMsgNo")->text(); }
    bool press(const char* name) { return click(&dialog(), name); }

    // Opens the dialog with the main window's 發訊 and runs `body` in it. A run the body started keeps the
    // dialog open under the progress window until its end is confirmed, which closes it; otherwise the
    // body leaves it closed unless `cancelAfter` closes it with 取消.
    void open(const std::function<void()>& body, bool cancelAfter = true) {
        m_prompts.dialogHandlers.push_back([this, body, cancelAfter](QDialog*) {
            body();
            if (progress().isVisible())
                finishRun();
            if (cancelAfter && dialog().isVisible())
                press("ButtonCancel");
        });
        ASSERT_TRUE(trigger(menuItem("MItemTSendSMS")));
    }

    // Puts entries into the field the way the address book and the picker hand them over.
    void render(std::initializer_list<sMtData> entries) {
        box().recipients().RecipientList.assign(entries.begin(), entries.end());
        box().RenderRecipientField();
    }
    static sMtData entry(int32_t id, uint8_t kind, const char* label) { return fieldEntry(id, kind, big5(label)); }
    // The field's entries as ParseRecipientField reads them: "kind:id:label".
    QStringList parsed(bool keepListRows = true) {
        box().ParseRecipientField(keepListRows);
        QStringList out;
        std::list<sMtData>& read = box().recipients().RecipientList;
        for (const sMtData& e : read)
            out << QStringLiteral("%1:%2:%3").arg(e.kind).arg(e.id).arg(fromBig5(getField(e.label)));
        read.clear();
        return out;
    }

    // The field's text as the user sees it, and where a text stands in it.
    QString fieldText() { return field()->toPlainText(); }
    int at(const QString& text) { return int(fieldText().indexOf(text)); }
    // A point on the character at `pos`, in the field's viewport.
    QPoint charPoint(int pos) {
        QTextCursor c(field()->document());
        c.setPosition(pos);
        const QRect left = field()->cursorRect(c);
        c.setPosition(pos + 1);
        const QRect right = field()->cursorRect(c);
        const int x = right.y() == left.y() ? (left.x() + right.x()) / 2 : left.x() + 3;
        return QPoint(x, left.center().y());
    }
    bool clickChar(int pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return clickAt(field()->viewport(), charPoint(pos), modifiers);
    }
    // A click past the end of the text's last line: the caret goes to the end, nothing is selected.
    bool clickAfterText() {
        QTextCursor c(field()->document());
        c.movePosition(QTextCursor::End);
        const QRect end = field()->cursorRect(c);
        return clickAt(field()->viewport(), QPoint(field()->viewport()->width() - 4, end.center().y()));
    }
    int caret() { return field()->textCursor().position(); }
    QString selected() { return field()->textCursor().selectedText(); }
    bool key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { return keyClick(field(), k, modifiers); }
    void typeKeys(const char* ascii) {
        for (const char* c = ascii; *c; ++c)
            QTest::keyClick(field()->window()->windowHandle(), *c);
    }

    // Waits for the run's end at the progress window and confirms it with its button, if it is still on screen.
    void finishRun() {
        if (progress().isVisible()) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return progress().tracker().done(); }, 20000));
            EXPECT_TRUE(click(&progress(), "ButtonOk"));
        }
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_windows->jobs().busy(); }, 5000));
    }
    QStringList sentNumbers() {
        QStringList out;
        for (const sGwRequest& r : m_sim->requests())
            if (r.msg_type == GwSendDomestic || r.msg_type == GwSendInternational)
                out << QString::fromLatin1(r.msg_params);
        return out;
    }
};

} // namespace norvi::test
