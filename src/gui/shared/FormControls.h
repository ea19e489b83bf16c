#pragma once

#include <QAction>
#include <QString>

#include <initializer_list>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolBar;
class QWidget;

// The builders every window makes its controls with, so a control gets its object name (what tests find
// it by) and its accessible name (what screen readers and the journeys find it by) in one way.
namespace norvi {

// A label that names its control for screen readers and gives it the label's Alt shortcut.
QLabel* makeLabel(QWidget* parent, const QString& caption, QWidget* buddy);
// A button of a dialog takes Return while it has the focus, as every desktop's buttons do; elsewhere in the
// dialog Return presses the dialog's default button (setDefault), when it has one.
QPushButton* makeButton(QWidget* parent, const QString& caption, const char* name);
QLineEdit* makeEdit(QWidget* parent, const char* name);
QRadioButton* makeRadio(QWidget* parent, const QString& caption, const char* name);
QComboBox* makeDropDown(QWidget* parent, const char* name, const QString& accessibleName);

// The selection of a list or tree keeps its colours when the view loses the focus, so the rows a command
// will act on stay visible while the user is in a menu or another control.
void keepSelectionVisible(QWidget* view);

QAction* makeAction(QObject* owner, const QString& caption, const char* name);
// A window's tool bar (ToolBar1): fixed in place, captions under icons of `iconSize` pixels, and no item of
// its own in the window's menus (the view menu has its own 工具列(&T) item).
QToolBar* makeToolBar(QWidget* parent, int iconSize);

template <class Owner>
QAction* makeAction(Owner* owner, const QString& caption, const char* name, void (Owner::*slot)()) {
    QAction* action = makeAction(owner, caption, name);
    QObject::connect(action, &QAction::triggered, owner, slot);
    return action;
}

// The row of a dialog's closing buttons, at its right, in the order given (確定 before 取消) whatever the
// desktop's habit. A box makes its first accepting button the default when it is shown; an `accept` that is
// not the default already is placed as a plain action, so a window without a default button keeps none.
// The box itself never stands for a button: screen readers would read an unnamed panel as focused with it.
// `more` follow 取消 as plain actions.
QDialogButtonBox* makeButtonBox(QWidget* parent, QPushButton* accept, QPushButton* reject,
                                std::initializer_list<QPushButton*> more = {});

} // namespace norvi
