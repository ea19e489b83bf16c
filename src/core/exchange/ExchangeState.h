#pragma once

namespace norvi {

// Which way the address book's text-file wizard moves data; the address book window opens the file type
// chooser with it, and the chooser hands it to the wizard.
enum class ExchangeDirection { Import, Export };

// The kind of text file: 0 = comma-separated, 1 = space-separated. The chooser keeps its last choice
// between uses.
enum TextFileKind : int { TextFileComma = 0, TextFileSpace = 1 };

} // namespace norvi
