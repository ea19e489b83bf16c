#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <string>
#include <vector>

struct zip;

// The first worksheet of a workbook (.xlsx) read a row at a time, every cell as text. A workbook is a ZIP
// container of XML parts; the container is read by libzip and the parts by Qt's XML stream reader, so a
// sheet of a million rows never lies in memory whole. Whatever the bytes, the reader ends: every part is
// inflated only up to a cap (a small file that inflates to gigabytes is refused), and a run of text with no
// markup in it is taken for damage long before it could fill memory.
namespace norvi {

// The largest workbook file read. Rows of numbers and short texts pack tightly: a sheet of a million rows
// stays well under this, and the container's own table of parts never costs more than a few times it.
constexpr qint64 kMaxWorkbookFileBytes = qint64(32) * 1024 * 1024;
// The most a sheet's XML may inflate to: a million rows of ten cells.
constexpr qint64 kMaxSheetXmlBytes = qint64(512) * 1024 * 1024;
// The most the shared-string table may inflate to; its text is kept in memory while the sheet is read.
constexpr qint64 kMaxSharedStringsBytes = qint64(32) * 1024 * 1024;
// The columns read of each row (A to BL); later cells are passed over.
constexpr int kMaxSheetColumns = 64;
// The characters kept of one cell, twice what a spreadsheet program lets a cell hold.
constexpr qsizetype kMaxSheetCellChars = qsizetype(64) * 1024;

struct SheetCell {
    QString text;
    bool number = false; // a numeric cell: `text` is its value, an integer without ".0" or exponent
};

struct SheetRow {
    qint64 row = 0;               // the sheet's row number, from 1; rows without a cell are not given
    std::vector<SheetCell> cells; // from column A; a cell the row skips is empty
    bool cut = false;             // a cell was longer than kMaxSheetCellChars
};

// Whether bytes at the start of a file make it a workbook rather than a text file: a ZIP container, or the
// compound file an encrypted workbook (or a workbook of the older format) is stored in.
bool LooksLikeWorkbook(QByteArrayView head);
// The same, for the start of the file at `path` (false when it cannot be read).
bool FileLooksLikeWorkbook(const QString& path);

class XlsxReader {
public:
    XlsxReader();
    ~XlsxReader();
    XlsxReader(const XlsxReader&) = delete;
    XlsxReader& operator=(const XlsxReader&) = delete;

    // Opens the workbook and reads its shared-string table. False with error() set when the file is no
    // workbook, is encrypted, is too large, or a part of it needed before the first row is damaged.
    bool open(const QString& path);
    // The same for a workbook in memory (`bytes` must outlive the reader); `name` names it in messages.
    bool openBytes(const QByteArray& bytes, const QString& name);

    // The next row that holds a cell. False at the end of the sheet and at damage (error() set then).
    bool nextRow(SheetRow* row);
    const QString& error() const { return m_error; }

    class XmlPart;

private:
    bool openArchive();
    bool openPart(const QString& name, qint64 limit, const QString& damaged, bool* missing = nullptr);
    bool findFirstSheet(QString* sheetPart, QString* stringsPart);
    bool readSharedStrings(const QString& part);
    bool cellText(const QString& type, const QString& value, const QString& inlineText, SheetCell* cell);
    bool fail(const QString& error);

    QString m_name;
    QString m_error;
    QByteArray m_file; // the workbook's bytes, read from its file
    zip* m_zip = nullptr;
    std::unique_ptr<XmlPart> m_part; // the part being read
    bool m_done = false;
    qint64 m_lastRow = 0;
    // The shared strings as UTF-8, one after the other, and where each begins.
    std::string m_strings;
    std::vector<quint32> m_stringStarts;
};

// What a workbook's damaged shared-string table is called in a refusal.
QString SharedStringsDamagedText(const QString& name);

} // namespace norvi
