#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A table written as a workbook (.xlsx) of one sheet: a header row, then the rows, every cell text, so a
// number such as 0912345678 keeps its leading 0 when a spreadsheet program opens it.
namespace norvi {

// The most characters a spreadsheet program lets a cell hold.
constexpr qsizetype kMaxXlsxCellChars = 32767;

// Writes the workbook at `path`, replacing a file there only once the whole workbook is on disk (as every
// output of the program). Columns are as wide as their longest cell (a CJK character counts twice), within
// bounds. Refuses the program's own files (OutputRefusal, with `startDir`) and a cell longer than
// kMaxXlsxCellChars. False with `error` (may be null) in the user's words.
bool WriteXlsxTable(const QString& path, const QStringList& header, const std::vector<QStringList>& rows,
                    QString* error, const QString& startDir = QString());

} // namespace norvi
