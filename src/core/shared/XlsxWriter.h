#pragma once

#include <QString>
#include <QStringList>

#include <memory>
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

// The same workbook written a row at a time, for a table too long to hold: the sheet goes to a temporary
// file beside `path` as it is written (the library's own working files there too, removed as soon as they
// are made), and replaces `path` at commit(). A writer neither committed nor failed leaves `path` as it was
// and nothing beside it. Errors as WriteXlsxTable's.
class XlsxTableWriter {
public:
    explicit XlsxTableWriter(const QString& path, const QString& startDir = QString());
    ~XlsxTableWriter();
    XlsxTableWriter(const XlsxTableWriter&) = delete;
    XlsxTableWriter& operator=(const XlsxTableWriter&) = delete;

    // Refuses the program's own files, then begins the sheet with its header row.
    bool open(const QStringList& header);
    bool addRow(const QStringList& cells);
    // Sets the columns' widths, finishes the workbook and puts it in place.
    bool commit();
    const QString& errorString() const { return m_error; }

private:
    struct Sheet;
    bool fail(const QString& error);
    bool writeCells(const QStringList& cells, bool header);

    QString m_path;
    QString m_startDir;
    std::unique_ptr<Sheet> m_sheet;
    QString m_error;
};

} // namespace norvi
