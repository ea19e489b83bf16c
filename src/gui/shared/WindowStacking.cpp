#include "gui/shared/WindowStacking.h"

#include <QWidget>
#include <QWindow>

namespace norvi {

void keepAbove(QWidget* window, QWidget* owner) {
    if (!window || window->parentWidget())
        return;
    window->winId(); // the native window carries the stacking hint
    QWindow* handle = window->windowHandle();
    if (!handle)
        return;
    QWidget* ownerWindow = owner ? owner->window() : nullptr;
    if (ownerWindow && ownerWindow != window)
        ownerWindow->winId();
    handle->setTransientParent(ownerWindow && ownerWindow != window ? ownerWindow->windowHandle() : nullptr);
}

} // namespace norvi
