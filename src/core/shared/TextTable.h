#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace norvi {

// A table as a file writer takes it: the column captions, then rows of texts, every cell a text (a number keeps
// its leading 0). The lists and counts the user exports are made as one of these, and each file format (CSV,
// a spreadsheet) writes the same table its own way.
struct TextTable {
    QStringList header;
    std::vector<QStringList> rows;
};

} // namespace norvi
