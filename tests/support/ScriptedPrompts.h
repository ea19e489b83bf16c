#pragma once

#include "gui/addressbook/BookListModel.h"
#include "gui/shared/Prompts.h"
#include "support/CheckedModel.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace norvi::test {

// Answers every prompt from a script and records what was asked, so a window test runs without a
// person. Installs itself on construction and restores the real prompts on destruction.
class ScriptedPrompts : public Prompts {
public:
    struct Asked {
        QString kind; // "message", "open", "save", "folder", "dialog"
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QString title;
        QString text;
        Answer preselected = Answer::Yes; // the button Return takes
    };

    ScriptedPrompts() { setPrompts(this); }
    // An answer still queued at the end is a prompt the test expected and the program never asked.
    ~ScriptedPrompts() override {
        setPrompts(nullptr);
        if (!answers.empty() || !fileNames.empty() || !folders.empty() || !dialogHandlers.empty())
            ADD_FAILURE() << "prompts never asked for their queued answers: " << answers.size() << " answer(s), "
                          << fileNames.size() << " file name(s), " << folders.size() << " folder(s), "
                          << dialogHandlers.size() << " modal window handler(s)";
    }

    // Queued answers, taken in order. A Yes/No question without a queued answer gets No; a file or
    // folder dialog without one is cancelled; a modal window without a handler is not shown (rejected).
    std::deque<Answer> answers;
    std::deque<QString> fileNames;
    std::deque<QString> folders;
    // A modal window is really shown and run; its handler acts in it as the user (clicks, keys) once it is
    // on screen and must leave it closed. The window's own result is returned.
    std::deque<std::function<void(QDialog*)>> dialogHandlers;
    // The folder chooser itself is shown (answered by a dialog handler) instead of taking `folders`.
    bool realFolderChooser = false;
    // Yes/No questions are really shown, for the test to answer or to see withdrawn, instead of taking `answers`.
    bool realQuestions = false;
    QList<Asked> asked;
    // Runs as each message box is shown, with its text: for what happens while the user reads it.
    std::function<void(const QString& text)> whileShown;

    using Prompts::message;
    Answer message(QWidget* parent, Icon icon, Buttons buttons, const QString& title, const QString& text,
                   Answer preselected) override {
        asked.append({QStringLiteral("message"), icon, buttons, title, text, preselected});
        if (whileShown)
            whileShown(text);
        if (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel) {
            if (realQuestions)
                return standardPrompts().message(parent, icon, buttons, title, text, preselected);
            if (answers.empty())
                return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
    }
    QString openFileName(QWidget*, const QString& title, const QString& filter, const QString&) override {
        asked.append({QStringLiteral("open"), Icon::None, Buttons::Ok, title, filter});
        return take(fileNames);
    }
    QString saveFileName(QWidget*, const QString& title, const QString& filter, const QString& proposed) override {
        asked.append({QStringLiteral("save"), Icon::None, Buttons::Ok, title, proposed});
        lastProposed = proposed;
        (void)filter;
        return take(fileNames);
    }
    // The filter the user leaves selected in the next file dialog that shows filters; without one queued
    // the dialog's initial filter stays. `lastFilterIndex` is the filter a dialog started with.
    std::deque<int> filterIndexes;
    int lastFilterIndex = -1;
    QString openFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& directory, int* filterIndex) override {
        lastFilterIndex = *filterIndex;
        takeFilter(filterIndex);
        return openFileName(parent, title, filter, directory);
    }
    QString saveFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& proposed, int* filterIndex) override {
        lastFilterIndex = *filterIndex;
        takeFilter(filterIndex);
        return saveFileName(parent, title, filter, proposed);
    }
    QString chooseFolder(QWidget* parent, const QString& prompt, const QString& start) override {
        asked.append({QStringLiteral("folder"), Icon::None, Buttons::Ok, QString(), prompt});
        if (realFolderChooser)
            return standardPrompts().chooseFolder(parent, prompt, start);
        return take(folders);
    }
    void withdrawQuestions(QWidget* parent) override { standardPrompts().withdrawQuestions(parent); }
    int execDialog(QDialog* dialog) override {
        asked.append({QStringLiteral("dialog"), Icon::None, Buttons::Ok, dialog->windowTitle(), QString()});
        if (dialogHandlers.empty())
            return QDialog::Rejected;
        auto handler = dialogHandlers.front();
        dialogHandlers.pop_front();
        // The address book's lists, the group editor's and the picker's are checked by the model tester
        // through everything the test does with them.
        checkModelsOf<BookListModel>(dialog);
        QPointer<QDialog> guarded(dialog);
        QTimer::singleShot(0, dialog, [guarded, handler] {
            handler(guarded);
            if (guarded && guarded->isVisible()) {
                ADD_FAILURE() << "the test left the window \"" << guarded->windowTitle().toStdString() << "\" open";
                guarded->reject();
            }
        });
        return dialog->exec();
    }

    // The texts of the message boxes shown so far.
    QStringList messages() const {
        QStringList texts;
        for (const Asked& a : asked)
            if (a.kind == QLatin1String("message"))
                texts << a.text;
        return texts;
    }

    QString lastProposed;

private:
    void takeFilter(int* filterIndex) {
        if (filterIndexes.empty())
            return;
        *filterIndex = filterIndexes.front();
        filterIndexes.pop_front();
    }
    static QString take(std::deque<QString>& queue) {
        if (queue.empty())
            return QString();
        QString s = queue.front();
        queue.pop_front();
        return s;
    }
};

} // namespace norvi::test
