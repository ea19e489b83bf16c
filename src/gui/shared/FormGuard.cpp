#include "gui/shared/FormGuard.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QResizeEvent>
#include <QWidget>

namespace norvi {

namespace {

QString accessibleNameOf(QWidget* widget) {
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(widget);
    return shown ? shown->text(QAccessible::Name) : QString();
}

// The widget whose focus `widget` stands for: the end of its chain of focus proxies.
QWidget* focusEnd(QWidget* widget) {
    while (widget && widget->focusProxy())
        widget = widget->focusProxy();
    return widget;
}

// Marks the names given here, so they follow the control (a tab bar's name is its current page) while a
// name the window gave stays.
const char* const kCarriedName = "norviCarriedName";

void nameAfter(QWidget* carrier, const QString& name) {
    if (!carrier->accessibleName().isEmpty() && !carrier->property(kCarriedName).toBool())
        return;
    carrier->setAccessibleName(name);
    carrier->setProperty(kCarriedName, true);
}

// The widgets that report the focus of `focused` as their own get its accessible name, unless the window gave
// them one.
void nameFocusCarriers(QWidget* focused) {
    if (!focused)
        return;
    const QString name = accessibleNameOf(focused);
    if (name.isEmpty())
        return;
    // A page control stands for its tab bar, a scroll area's viewport for the area.
    for (QWidget* above = focused->parentWidget(); above && !above->isWindow(); above = above->parentWidget())
        if (focusEnd(above) == focused)
            nameAfter(above, name);
    for (QWidget* part : focused->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (focusEnd(part) == focused)
            nameAfter(part, name);
}

// How often in a row a window was given its minimum back. A window system that insists on its own size (a
// tiling window manager) is let have it after a few tries, rather than argued with for ever.
const char* const kMinimumTries = "norviMinimumTries";
constexpr int kMostMinimumTries = 3;

// A window made smaller than its minimum (by the window system: the toolkit keeps its own resizes to it) grows
// back once the event is over, so the window system hears of the size with the window's next request.
void keepMinimum(QWidget* window, const QSize& size) {
    const QSize least = window->minimumSize();
    const int tries = window->property(kMinimumTries).toInt();
    if (size.width() >= least.width() && size.height() >= least.height()) {
        if (tries != 0)
            window->setProperty(kMinimumTries, 0);
        return;
    }
    if (tries >= kMostMinimumTries)
        return;
    window->setProperty(kMinimumTries, tries + 1);
    // The window is the call's context: a window closed and gone meanwhile gets no call.
    QMetaObject::invokeMethod(
        window,
        [window] {
            if (window->isVisible())
                window->resize(window->size().expandedTo(window->minimumSize()));
        },
        Qt::QueuedConnection);
}

} // namespace

FormGuard::FormGuard() {
    qApp->installEventFilter(this);
}

FormGuard::~FormGuard() {
    if (qApp)
        qApp->removeEventFilter(this);
}

bool FormGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched->isWidgetType())
            nameFocusCarriers(static_cast<QWidget*>(watched));
        break;
    case QEvent::Resize:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            keepMinimum(static_cast<QWidget*>(watched), static_cast<QResizeEvent*>(event)->size());
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace norvi
