#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The text files the address book is exchanged with: one record a line (a quoted comma-separated field may
// span lines), maybe a header line naming the columns, columns separated by a comma or a single space. This
// file reads such a file into lines of Big5 text; AddressRecords.h cuts them into records of columns and
// AddressTransfer.h turns those into members.
namespace norvi {

// The most of an exchange file that is kept (its lines as far as the cap below, with their line ends): a
// full member line is some 450 bytes of Big5, so this holds well over a hundred thousand members, more
// than any one book.
constexpr qint64 kMaxAddressTextBytes = 64 * 1024 * 1024;
// The most of one line that is kept: a member's fields fill some 450 bytes, so what lies past this is never
// stored, and a line of megabytes costs no more than this once read.
constexpr qsizetype kMaxAddressLineBytes = 64 * 1024;

// "," for the comma-separated type (TextFileComma), a single space for the space-separated type.
char ExchangeDelimiter(int textFileType);

// Field codes of a column: 0 not assigned, 1 name, 2 number text, 3 description.
enum FieldCode : int { FieldNone = 0, FieldName = 1, FieldMsisdn = 2, FieldDesc = 3 };
constexpr int kExchangeColumns = 3;

// How the mapping list shows a field: "名稱", "行動電話", "說明".
QString FieldDisplayName(int code);
// The column name a file carries for a field: "名稱", "行動電話", "備註" (Big5).
QByteArray FieldHeaderName(int code);

// Removes the bytes 0x20 and below (spaces and control characters) at both ends.
QByteArrayView TrimBlank(QByteArrayView text);
inline bool IsBlankLine(QByteArrayView line) {
    return TrimBlank(line).isEmpty();
}

// At most three columns of a line without quoting: before the first delimiter, between the first and the
// second, and the rest of the line with any further delimiters. A line without a delimiter is one column.
QList<QByteArrayView> SplitColumns(QByteArrayView line, char delimiter);

// Cuts Big5 text to at most `width` bytes without splitting a two-byte character.
QByteArray CutBig5(QByteArrayView text, qsizetype width);

enum class TextEncoding { Big5, Utf8, Utf8WithBom };

// One line of an exchange file.
struct AddressTextLine {
    QByteArray text; // Big5; empty when the line could not be taken (see problem)
    bool blank = false;
    QString problem;  // why the line cannot be taken as text: not Big5/UTF-8, a character without Big5 form
    QString shown;    // for a line with a problem, the line as well as it can be shown
    bool cut = false; // longer than kMaxAddressLineBytes: what lies past that was not read
};

// An exchange file read as lines. The files are Big5. A file that is valid UTF-8 and not Big5 text is
// taken as UTF-8 (so is one that starts with a UTF-8 byte-order mark), each line converted to Big5; a
// line with a character that has no Big5 form keeps that character as its problem and is never stored
// with a "?" in its place. A file that is neither whole is read in the encoding most of its lines are
// valid in, and the other lines carry their problem.
struct AddressTextFile {
    TextEncoding encoding = TextEncoding::Big5;
    std::vector<AddressTextLine> lines;
};

// CR LF, LF or CR ends a line; a line end at the very end of the bytes adds no line.
AddressTextFile ParseAddressText(const QByteArray& bytes);

// Reads the file at `path` a piece at a time, each line kept up to kMaxAddressLineBytes. False, with the
// reason in the user's words, when it cannot be read whole or keeps more than kMaxAddressTextBytes.
bool ReadAddressText(const QString& path, AddressTextFile* file, QString* error);

// The file dialogs' filter: comma-separated (*.csv), text (*.txt), all files; the first is initially
// selected for the comma type, the second for the space type.
QString ExchangeFileFilter();
int ExchangeInitialFilter(int textFileType);
// The name the export's save dialog gives: ".csv" or ".txt" appended for the first or second filter
// unless the name already ends with it (in any case); the third filter takes the name as it is.
QString WithExportExtension(const QString& name, int filterIndex);

// Why a line of the import file `path` (line `number`, from 1) is not imported.
QString LineProblemText(const QString& path, int number, const QString& problem);
// That only the first kMaxAddressLineBytes of an imported line were read.
QString LongLineText(const QString& path, int number);

} // namespace norvi
