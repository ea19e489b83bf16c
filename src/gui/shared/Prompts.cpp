#include "gui/shared/Prompts.h"

#include "core/shared/Seams.h"
#include "core/shared/ShownText.h"
#include "gui/shared/TFormSelectDir.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>

namespace norvi {

namespace {

class QtPrompts : public Prompts {
public:
    Answer message(QWidget* parent, Icon icon, Buttons buttons, const QString& title, const QString& text,
                   Answer preselected) override {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        // Boxes quote names, numbers and texts from files and the gateway: never as markup, never with
        // raw control characters.
        box.setTextFormat(Qt::PlainText);
        box.setText(escapeControlsKeepLines(text));
        switch (icon) {
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        }
        switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        }
        if (preselected == Answer::No && buttons != Buttons::Ok)
            box.setDefaultButton(QMessageBox::No);
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Ok:
            return Answer::Ok;
        default:
            // No button was pressed: the program's end left the box's loop. Taking that as 是 would clear the
            // log, cancel reservations or send again what may have gone, on nobody's word.
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
        }
    }

    QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& directory) override {
        return QFileDialog::getOpenFileName(parent, title, directory, toQtFilter(filter));
    }

    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& proposed) override {
        // The program asks its own overwrite question, so the dialog must not ask it too.
        return QFileDialog::getSaveFileName(parent, title, proposed, toQtFilter(filter), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    }

    QString openFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& directory, int* filterIndex) override {
        const QStringList filters = toQtFilter(filter).split(QStringLiteral(";;"));
        QString selected = filters.value(*filterIndex);
        const QString name = QFileDialog::getOpenFileName(parent, title, directory, toQtFilter(filter), &selected);
        *filterIndex = std::max<int>(0, int(filters.indexOf(selected)));
        return name;
    }

    QString saveFileNameWithFilter(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& proposed, int* filterIndex) override {
        const QStringList filters = toQtFilter(filter).split(QStringLiteral(";;"));
        QString selected = filters.value(*filterIndex);
        const QString name = QFileDialog::getSaveFileName(parent, title, proposed, toQtFilter(filter), &selected,
                                                          QFileDialog::DontConfirmOverwrite);
        *filterIndex = std::max<int>(0, int(filters.indexOf(selected)));
        return name;
    }

    QString chooseFolder(QWidget* parent, const QString& prompt, const QString& start) override;

    int execDialog(QDialog* dialog) override { return dialog->exec(); }

    void withdrawQuestions(QWidget* parent) override {
        // The boxes are the parent's children while they are open (message() keeps none of its own).
        for (QMessageBox* box : parent->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly))
            if (box->isVisible() && box->button(QMessageBox::No))
                box->done(QMessageBox::No);
    }
};

// The real dialogs keep nothing between calls.
QtPrompts& qtPrompts() {
    static QtPrompts real;
    return real;
}

} // namespace

Prompts& prompts() {
    Prompts* const installed = TheSeams().prompts.load();
    return installed ? *installed : qtPrompts();
}

Prompts& standardPrompts() {
    return qtPrompts();
}

void setPrompts(Prompts* replacement) {
    TheSeams().prompts.store(replacement);
}

QString toQtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts.at(i);
    return filters.join(QStringLiteral(";;"));
}

QString QtPrompts::chooseFolder(QWidget* parent, const QString& prompt, const QString& start) {
    TFormSelectDir chooser(parent, start);
    if (!prompt.isEmpty())
        chooser.setPrompt(prompt);
    // Through the prompts in force, so a test can answer the chooser itself.
    if (prompts().execDialog(&chooser) != QDialog::Accepted)
        return QString();
    return chooser.currentFolder();
}

} // namespace norvi
