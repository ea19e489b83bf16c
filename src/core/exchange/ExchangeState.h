#pragma once

namespace norvi {

// Which way the address book's text-file wizard moves data. The address book window sets it before it
// opens the file type chooser; the chooser, the wizard and the transfer read it.
enum class ExchangeDirection { Import, Export };

// The kind of text file: 0 = comma-separated, 1 = space-separated. It keeps its last value between uses.
enum TextFileKind : int { TextFileComma = 0, TextFileSpace = 1 };

extern ExchangeDirection ExchangeMode;
extern int TextFileType;

} // namespace norvi
