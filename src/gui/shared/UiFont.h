#pragma once

#include <QFont>

class QWidget;

namespace norvi {

// The windows are laid out for 新細明體 9 pt. Where that face is missing, the toolkit is told to use the
// closest free Ming face instead, so every caption keeps its Chinese glyphs and roughly its width.
void installFormFont(); // once at start-up, after the application object exists
QFont formFont();
void applyFormFont(QWidget* window); // each window, in its constructor

} // namespace norvi
