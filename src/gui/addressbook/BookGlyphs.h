#pragma once

#include <QIcon>

namespace norvi {

// The address book window's tool-bar pictures, drawn like the shared image list.
enum class BookGlyph { New, Content, Delete, Action };
QIcon bookGlyph(BookGlyph glyph);

} // namespace norvi
