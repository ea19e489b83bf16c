#include "gui/shared/FormGuard.h"

#include <QApplication>
#include <QEvent>
#include <QResizeEvent>
#include <QWidget>

namespace norvi {

namespace {

// A window made smaller than its minimum (by the window system: the toolkit keeps its own resizes to it) grows
// back once the event is over, so the window system hears of the size with the window's next request.
void keepMinimum(QWidget* window, const QSize& size) {
    const QSize least = window->minimumSize();
    if (size.width() >= least.width() && size.height() >= least.height())
        return;
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
