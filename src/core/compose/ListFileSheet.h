#pragma once

#include "core/shared/XlsxReader.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A recipient list kept in a workbook (.xlsx): each row of its first sheet becomes the line a text list
// file would hold for it, so every rule of list files (the number and content, "$1$".."$9$", duplicates, the
// stop list, the summary) applies unchanged. Column A holds the number; a single further cell is the row's
// content as a text line's would be (its own text, or "$王$$50$" values); two or more further cells are one
// value each for "$1$", "$2$" and on, and so are the further cells of every row under a header that names two or
// more. The line's index is the sheet's row number less one, so a row is named
// by the number the spreadsheet program shows.
namespace norvi {

// A number cell of a column of telephone numbers: a mobile number 09xxxxxxxx that a spreadsheet turned into
// the number 9xxxxxxxx gets its 0 back, 886 9xxxxxxxx is whole as it is. False for any other value, whose
// written form cannot be told back (a landline, a number with its 0s cut, a fraction).
bool NumberCellAsPhone(const QString& value, QString* number);

// How many cells a row fills from column A, blank cells at its end not counted (at least 1 for a row of cells).
std::size_t SheetFilledCells(const SheetRow& row);

// One sheet row as a Big5 list line. A first row whose column A holds no digit names the columns and gives no
// line (`header`). `headerCells` is what the sheet's header row fills (0 without one): under a header of two or
// more value columns, a row that fills only column B still gives its value as "$1$". A number cell that lost the
// leading 0 of a mobile number (912345678) gets it back; any other number cell there refuses the row, as does a
// character without a Big5 form, or a "$" inside one of several values: false with `problem`.
bool SheetRowListLine(const SheetRow& row, bool firstRow, std::size_t headerCells, const QString& path,
                      QByteArray* line, bool* header, QString* problem);

class ListFileSheet {
public:
    // False, with error(), when the workbook is refused.
    bool open(const QString& path);
    // The next row's line and its index (from 0). False at the end and at the first refusal (error() set).
    bool next(QByteArray* line, qint64* index);
    const QString& error() const { return m_error; }
    // The rows (as line indexes) whose line was cut at kMaxListLineBytes.
    const std::vector<qint64>& cutLines() const { return m_cut; }

private:
    XlsxReader m_reader;
    QString m_path;
    QString m_error;
    bool m_first = true;
    std::size_t m_headerCells = 0; // what the header row fills, 0 without one
    std::vector<qint64> m_cut;
};

} // namespace norvi
