#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace norvi {

// Every message box, file dialog, folder chooser and modal window goes through here, so a test can
// answer them from a script instead of a person. Nothing else calls QMessageBox or QFileDialog.
class Prompts {
public:
    enum class Icon { Information, Warning, Error, Question, None };
    // A box that only informs has one 確定 (Ok); 是 and 否 are for questions.
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Answer { Yes, No, Ok, Cancel }; // Esc on a box with 取消 answers Cancel

    virtual ~Prompts() = default;

    // `preselected` is the button Return takes: No for a question whose 是 cannot be undone (a cancellation, a
    // second send of what may have gone out), so a hurried Return does nothing.
    // A question closed with no button pressed (the program's end, a log-out, closes every open box) answers
    // Cancel, even a 是/否 one: nobody answered, so the asker backs out of what it asked about.
    virtual Answer message(QWidget* parent, Icon icon, Buttons buttons, const QString& title, const QString& text,
                           Answer preselected) = 0;
    Answer message(QWidget* parent, Icon icon, Buttons buttons, const QString& title, const QString& text) {
        return message(parent, icon, buttons, title, text, Answer::Yes);
    }
    // Filters use the "記錄檔(*.log)|*.log|所有檔案(*.*)|*.*" form. An empty result means cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& directory = QString()) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& proposed) = 0;
    // The same, starting with the filter at `filterIndex` (0-based) selected; on return `filterIndex` is
    // the filter the user left selected. Without their own version, prompts leave the index as it was.
    virtual QString openFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                           const QString& directory, int* filterIndex) {
        (void)filterIndex;
        return openFileName(parent, title, filter, directory);
    }
    virtual QString saveFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                           const QString& proposed, int* filterIndex) {
        (void)filterIndex;
        return saveFileName(parent, title, filter, proposed);
    }
    // The folder chooser (TFormSelectDir). An empty result means cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& prompt, const QString& start) = 0;
    // Shows a modal window and returns its result code.
    virtual int execDialog(QDialog* dialog) = 0;
    // Closes the Yes/No boxes open over `parent` as if 否 was pressed: a question its asker takes back
    // because what it asked about was stopped meanwhile. Prompts that answer at once have none open.
    virtual void withdrawQuestions(QWidget* parent) { (void)parent; }

    // The button sets the program uses. A notice and an OK box alike have the one 確定 button.
    void notice(QWidget* parent, Icon icon, const QString& title, const QString& text) {
        message(parent, icon, Buttons::Ok, title, text);
    }
    void okBox(QWidget* parent, Icon icon, const QString& title, const QString& text) {
        message(parent, icon, Buttons::Ok, title, text);
    }
    bool confirm(QWidget* parent, const QString& title, const QString& text) {
        return message(parent, Icon::Question, Buttons::YesNo, title, text) == Answer::Yes;
    }
    // The same with 否 preselected, for a step that cannot be undone.
    bool confirmIrreversible(QWidget* parent, const QString& title, const QString& text) {
        return message(parent, Icon::Question, Buttons::YesNo, title, text, Answer::No) == Answer::Yes;
    }
};

// The prompts in force: the real dialogs unless a test installed its own.
Prompts& prompts();
// The real dialogs, whatever is installed.
Prompts& standardPrompts();
void setPrompts(Prompts* replacement); // nullptr restores the real dialogs

// Turns "記錄檔(*.log)|*.log|所有檔案(*.*)|*.*" into the toolkit's "記錄檔(*.log);;所有檔案(*.*)".
QString toQtFilter(const QString& pipeFilter);

} // namespace norvi
