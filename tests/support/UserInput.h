#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QString>
#include <QTabBar>
#include <QTest>
#include <QTreeView>
#include <QWidget>
#include <QWindow>

namespace norvi::test {

// Presses controls the way a user does: with mouse and key events delivered through the window system, so
// a disabled control, a hidden one or one in a window behind a modal dialog ignores them. Pressing what a
// user could not press fails the test on the spot, with the reason.

// Why a user cannot reach `widget` now, or an empty text when they can.
inline QString unreachable(const QWidget* widget) {
    if (!widget)
        return QStringLiteral("it does not exist");
    if (!widget->isVisible())
        return QStringLiteral("it is not shown");
    if (!widget->isEnabled())
        return QStringLiteral("it is disabled");
    const QWidget* window = widget->window();
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != window) {
        const QWindow* modalHandle = modal->windowHandle();
        const QWindow* handle = window->windowHandle();
        // A modal window blocks every other window but those that stay above it.
        if (!modalHandle || !handle || !modalHandle->isAncestorOf(handle, QWindow::IncludeTransients))
            return QStringLiteral("the modal window \"%1\" is in front of it").arg(modal->windowTitle());
    }
    return QString();
}

inline QString describe(const QObject* object) {
    if (!object)
        return QStringLiteral("(none)");
    if (auto* button = qobject_cast<const QAbstractButton*>(object))
        if (!button->text().isEmpty())
            return QStringLiteral("%1 \"%2\"").arg(object->objectName(), button->text());
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

// The control of `parent` named `objectName`, of type T. One that is missing, or of another type, fails the
// test naming what was looked for and where, and gives nullptr (which every function here refuses).
template <typename T> T* findControl(const QObject* parent, const char* objectName) {
    T* found = parent ? parent->findChild<T*>(QString::fromLatin1(objectName)) : nullptr;
    if (!found)
        ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named " << objectName << " in "
                      << describe(parent).toStdString();
    return found;
}

// A left click at `pos` (the centre by default) of a widget, through its window.
inline bool clickAt(QWidget* widget, QPoint pos = QPoint(), Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    Qt::MouseButton button = Qt::LeftButton) {
    const QString why = unreachable(widget);
    if (!why.isEmpty()) {
        ADD_FAILURE() << "a user cannot click " << describe(widget).toStdString() << ": " << why.toStdString();
        return false;
    }
    if (pos.isNull())
        pos = widget->rect().center();
    QWindow* window = widget->window()->windowHandle();
    const QPoint inWindow = widget->mapTo(widget->window(), pos);
    QTest::mouseClick(window, button, modifiers, inWindow);
    return true;
}

inline bool click(QAbstractButton* button) {
    return clickAt(button);
}

// Finds a button of `window` by its object name and clicks it.
inline bool click(QWidget* window, const char* objectName) {
    auto* button = findControl<QAbstractButton>(window, objectName);
    return button && click(button);
}

// A key press (and release) delivered to the window of `widget`, where the focus widget takes it.
inline bool keyClick(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QString why = unreachable(widget);
    if (!why.isEmpty()) {
        ADD_FAILURE() << "a user cannot type into " << describe(widget).toStdString() << ": " << why.toStdString();
        return false;
    }
    QTest::keyClick(widget->window()->windowHandle(), key, modifiers);
    return true;
}

// Clicks into an edit, selects what it holds and types `text` over it: ASCII key by key, other characters
// as an input method hands them over (committed text), the way Chinese is typed.
inline bool typeInto(QWidget* edit, const QString& text) {
    if (!clickAt(edit))
        return false;
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
        return true;
    }
    QString composed;
    auto commit = [&] {
        if (composed.isEmpty())
            return;
        QInputMethodEvent event;
        event.setCommitString(composed);
        QCoreApplication::sendEvent(edit, &event);
        composed.clear();
    };
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            commit();
            QTest::keyClick(edit, char(c.unicode()));
        } else {
            composed += c;
        }
    }
    commit();
    return true;
}

// Moves a drop-down list to the item at `index` with the arrow keys, as a user does from the keyboard.
inline bool pickItem(QComboBox* combo, int index) {
    const QString why = unreachable(combo);
    if (!why.isEmpty()) {
        ADD_FAILURE() << "a user cannot choose in " << describe(combo).toStdString() << ": " << why.toStdString();
        return false;
    }
    while (combo->currentIndex() < index)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index)
        QTest::keyClick(combo, Qt::Key_Up);
    return combo->currentIndex() == index;
}

// Clicks the tab of a page.
inline bool clickTab(QTabBar* tabs, int index) {
    return clickAt(tabs, tabs->tabRect(index).center());
}

// Chooses a menu item, tool button or pop-up item: refused unless it is enabled and its window can be used.
inline bool trigger(QAction* action) {
    if (!action) {
        ADD_FAILURE() << "no such menu item";
        return false;
    }
    QString why;
    if (!action->isEnabled())
        why = QStringLiteral("it is disabled");
    else if (!action->isVisible())
        why = QStringLiteral("it is hidden");
    else
        why = unreachable(qobject_cast<QWidget*>(action->parent()));
    if (!why.isEmpty()) {
        ADD_FAILURE() << "a user cannot choose " << action->objectName().toStdString() << " \""
                      << action->text().toStdString() << "\": " << why.toStdString();
        return false;
    }
    action->trigger();
    return true;
}

// Clicks a row of a list (with Ctrl to add it to the selection), or the empty space below the rows when
// `row` is past the end (which clears the selection).
inline bool clickRow(QTreeView* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QRect place;
    if (row < list->model()->rowCount()) {
        list->scrollTo(list->model()->index(row, 0));
        place = list->visualRect(list->model()->index(row, 0));
    } else {
        const int rows = list->model()->rowCount();
        const QRect last = rows > 0 ? list->visualRect(list->model()->index(rows - 1, 0)) : QRect(0, 0, 10, 0);
        place = QRect(last.left(), last.bottom() + 4, last.width(), 4);
        if (place.bottom() >= list->viewport()->height()) {
            ADD_FAILURE() << "the list has no empty space below its rows";
            return false;
        }
    }
    return clickAt(list->viewport(), place.center(), modifiers);
}

// Clicks the caption of a column.
inline bool clickHeader(QTreeView* list, int column) {
    QHeaderView* header = list->header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    return clickAt(header->viewport(), centre);
}

} // namespace norvi::test
