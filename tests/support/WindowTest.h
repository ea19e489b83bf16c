#pragma once

#include "core/addressbook/BookFile.h"
#include "core/compose/OptOutList.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/SendSettings.h"
#include "gui/WindowSet.h"
#include "gui/sendlog/SendLogFiles.h"
#include "support/CheckedModel.h"
#include "support/ScriptedPrompts.h"
#include "support/StartFolder.h"
#include "support/TestText.h"
#include "support/UserInput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace norvi::test {

// A window test: the program's own window set, started in a fresh temporary start folder, with every
// prompt answered from a script. Tests act on the windows with UserInput.h.
class WindowTest : public ::testing::Test {
protected:
    // The main window takes the folder current at its creation as the start folder.
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { m_windows.reset(); }

    // Creates the windows as the program does; with `show`, shows the main window, whose first show reads
    // the configuration.
    WindowSet& startWindows(bool show = true) {
        const bool bookFile = QFileInfo::exists(bookPath());
        m_windows = std::make_unique<WindowSet>();
        // Entries a test put into the book before the start are the book's when there was no file to read.
        if (!bookFile && !(m_staged.MemberMap().empty() && m_staged.GroupMap().empty()))
            m_windows->book().replace(m_staged.MemberMap(), m_staged.GroupMap());
        // The send log's rows are checked by the model tester through every load, send, sort and delete.
        checkModelsOf<SendLogModel>(&m_windows->main());
        if (show)
            m_windows->show();
        return *m_windows;
    }

    // Writes NorviSMSAp.cfg in the start folder with the program's own writer.
    void writeConfig(const QString& logFolder, const QByteArray& host = "127.0.0.1", int port = 8000,
                     const QByteArray& account = QByteArray(), const QByteArray& password = QByteArray()) {
        ASSERT_TRUE(m_dir.writeConfig({big5(logFolder), host, port, account, password}));
    }

    // NorviSMSAp.ini without quiet hours: a test that sends or resends at whatever hour it runs asks nothing.
    void withoutQuietHours() const {
        QFile ini(SendSettingsPath(m_dir.path()));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write("[QuietHours]\nenabled=false\n") > 0);
    }

    QString path(const char* name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }
    QString bookPath() const { return AddressBookPath(m_dir.path()); }
    QString configPath() const { return ConfigPath(m_dir.path()); }

    // The program's settings once the windows are started; before that, those of the start folder.
    Config& config() { return m_windows ? m_windows->config() : m_dir.config(); }
    // Changes the settings in use, as the settings dialog would.
    void editConfig(const std::function<void(sConfig&)>& change) { config().edit(change); }

    // Runs `body` in the modal window of type T that `open` shows, then closes it with `close` if the body
    // left it open. No window, or one of another type, fails the case.
    template <typename T>
    void inModal(const std::function<void()>& open, const std::function<void(T&)>& body,
                 const std::function<void(T&)>& close) {
        bool shown = false;
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            shown = true;
            auto* w = qobject_cast<T*>(d);
            ASSERT_NE(w, nullptr) << "the window shown is " << d->objectName().toStdString();
            body(*w);
            if (w->isVisible())
                close(*w);
        });
        open();
        EXPECT_TRUE(shown) << "no " << T::staticMetaObject.className() << " was shown";
    }

    // The summary before a send (TFormSendSummary), queued before the 傳送 that shows it: `answer` acts in it as the
    // user does and must close it. By default 傳送 as it stands.
    void answerSendSummary(const std::function<void(QDialog&)>& answer = {}) {
        m_prompts.dialogHandlers.push_back([answer](QDialog* d) {
            ASSERT_EQ(d->objectName(), QStringLiteral("TFormSendSummary"));
            if (answer)
                answer(*d);
            else
                EXPECT_TRUE(click(d, "ButtonSend"));
        });
    }
    // A line of that summary as the user reads it ("Count", "LeftOut", "QuietHours", ...), empty when it has none.
    static QString summaryLine(QDialog& box, const char* topic) {
        auto* label = box.findChild<QLabel*>(QStringLiteral("LabelSummary") + QString::fromLatin1(topic));
        return label && label->isVisible() ? label->text() : QString();
    }

    // The windows' address book once they are started; before that, the test's own, which the start hands on.
    AddressBook& addressBook() { return m_windows ? m_windows->book() : m_staged; }

    TFormMain& mainWindow() { return m_windows->main(); }
    // A row of the send log as a run leaves it: sent at 2024/03/01 09:30 to `mobile`, with its code and result.
    quint64 addLogRow(const char* name, const QByteArray& mobile, const QByteArray& code, const QByteArray& result,
                      const QByteArray& content = "hello", int codeImage = ImageNone) {
        const quint64 id = mainWindow().jobRows().addRow(big5(name), ImageTyped, mobile, "20240301093000");
        mainWindow().jobRows().fillSendResult(id, code, codeImage, result, content);
        return id;
    }
    // A cell of the send log as the user reads it.
    QString cell(int row, int column) { return fromBig5(mainWindow().jobRows().row(row).texts[std::size_t(column)]); }
    // The main window's message area.
    QString messageArea() { return findControl<QPlainTextEdit>(&mainWindow(), "MemoShow")->toPlainText(); }
    // Puts `number` on the stop list of the start folder, as another program (or the stop list's window) does.
    void addToStopList(const QByteArray& number, QDate day = QDate(2024, 3, 1)) {
        QString error;
        ASSERT_TRUE(ChangeOptOutFile(
            OptOutPath(m_dir.path()), [&](OptOutList& list) { return list.add(number, {}, day) == OptOutAdd::Added; },
            nullptr, &error))
            << error.toStdString();
    }
    // An item of the main window's menus and pop-up menus.
    QAction* menuItem(const char* name) { return findControl<QAction>(&mainWindow(), name); }
    // The main window's .log files and whether its rows are saved.
    SendLogFiles& logFiles() { return *findControl<SendLogFiles>(&mainWindow(), "SendLogFiles"); }
    // The main window's count of rows in its status bar.
    QString statusCount() { return findControl<QLabel>(&mainWindow(), "StatusPanel1")->text(); }
    TFormShowProcess& progress() { return m_windows->showProcess(); }
    // The desktop program's jobs: its workers, the running job's activity, the journal.
    JobRegistry& jobs() { return m_windows->jobs().registry(); }

    // Runs `act` on the modal window (a real message box or file dialog) once it is on screen.
    static void whenModalShown(const std::function<void(QWidget*)>& act) {
        QTimer::singleShot(0, [act] {
            if (QWidget* modal = QApplication::activeModalWidget())
                act(modal);
            else
                whenModalShown(act);
        });
    }

    StartFolder m_dir;
    ScriptedPrompts m_prompts;
    AddressBook m_staged;
    std::unique_ptr<WindowSet> m_windows;
};

} // namespace norvi::test
