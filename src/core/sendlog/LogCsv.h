#pragma once

#include "core/sendlog/SendLogRow.h"
#include "core/shared/TextTable.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

// The send log as a spreadsheet file: the eight column captions, then one line per row, fields quoted
// as RFC 4180 asks (a field holding a comma, a double quote, CR or LF is enclosed in double quotes and
// its quotes doubled), lines ended by CR LF.
namespace norvi {

enum class CsvEncoding {
    Utf8WithBom, // what spreadsheets open without asking for a code page
    Big5,        // the cells exactly as stored, for programs that expect code page 950
};

// What a cell may start with. A spreadsheet runs a cell that begins with "=", "+", "-" or "@" (or a tab
// or CR before one) as a formula, and the result cells hold whatever the gateway sent.
enum class CsvCells {
    SpreadsheetSafe, // such a cell gets a leading "'", unless it is a plain number such as -1
    Raw,             // every cell exactly as stored
};

// The cell with a "'" in front when a spreadsheet would take it for a formula.
QByteArray SpreadsheetSafeCell(const QByteArray& cell);

// One field, quoted when it has to be. `text` is already in the output encoding.
QByteArray CsvField(const QByteArray& text);

// One line of fields joined by commas and ended by CR LF.
QByteArray CsvLine(const std::vector<QByteArray>& fields);

// The header line (with the byte-order mark in front for UTF-8).
QByteArray LogCsvHeader(CsvEncoding encoding);
// One send-log row: caption and the seven cells. Rows hold Big5; UTF-8 output converts them.
QByteArray LogCsvRow(const SendLogRow& row, CsvEncoding encoding, CsvCells cells = CsvCells::SpreadsheetSafe);

// A table of texts as a whole CSV file: the header line, then a line per row, each cell in `encoding` and
// through the formula guard unless `cells` is Raw; UTF-8 gets its byte-order mark.
QByteArray TextTableCsv(const TextTable& table, CsvEncoding encoding, CsvCells cells = CsvCells::SpreadsheetSafe);
// The same file a piece at a time: what goes before the header line (the byte-order mark of UTF-8), then one
// line of the header or of a row.
QByteArray TextTableCsvStart(CsvEncoding encoding);
QByteArray TextTableCsvLine(const QStringList& texts, CsvEncoding encoding, CsvCells cells = CsvCells::SpreadsheetSafe);

// The whole file.
QByteArray LogCsv(const std::vector<SendLogRow>& rows, CsvEncoding encoding,
                  CsvCells cells = CsvCells::SpreadsheetSafe);

// The same table for a workbook: the eight captions, and one row's caption and cells as text (a workbook's text
// cells are never run as formulas, so they need no guard).
QStringList LogSheetHeader();
QStringList LogSheetRow(const SendLogRow& row);

} // namespace norvi
