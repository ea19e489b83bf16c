#pragma once

class QWidget;

namespace norvi {

// Keeps the top-level `window` above `owner`'s window (transient for it) without making it the owner's
// child, so it opens centred on the owner, stays in front of it and is not blocked by it when the owner is
// a modal dialog. Disabling a widget disables the windows that are its children too, which must not reach
// a window that is to stay usable while its owner is disabled. Call before the window is shown; an owner of
// nullptr lets it stand alone.
void keepAbove(QWidget* window, QWidget* owner);

} // namespace norvi
