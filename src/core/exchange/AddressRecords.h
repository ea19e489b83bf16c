#pragma once

#include "core/exchange/AddressText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The records of an exchange file: its non-blank lines cut into columns. A comma-separated file is read
// as spreadsheets write it: a field in double quotes may hold commas, line breaks and doubled quotes
// ("林,小華" is one name), so one record may span several lines. A space-separated file has no quoting.
namespace norvi {

struct AddressRecord {
    int line = 0;              // the index of its first line, from 0
    QList<QByteArray> columns; // at most three (Big5); the third holds the rest of the record
    QString problem;           // why the record cannot be taken: a line that is no text, a quote never closed
    QString shown;             // for a record with a problem, its first line as well as it can be shown
    bool cut = false;          // a line of it was longer than kMaxAddressLineBytes
};

// Whether the first record names the columns: given, or guessed from the file.
enum class HeaderChoice { Yes, No, Auto };

struct AddressRecords {
    std::vector<AddressRecord> records; // in file order, blank lines left out
    bool header = false;                // records[0] names the columns and is not imported
    char delimiter = ',';

    // The header's column texts, trimmed; empty without a header.
    QStringList headerColumns() const;
    // The most columns any data record has (at most three).
    int dataColumns() const;
    // The first data record, or null when there is none.
    const AddressRecord* firstData() const;
};

// A quoted field that is still open this far on is taken for a stray quote: its line alone is refused.
constexpr qsizetype kMaxQuotedRecordBytes = 64 * 1024;

// Cuts `file` into records with `delimiter` ("," reads quotes, " " does not). With HeaderChoice::Auto the
// first record names columns when none of its columns is a telephone number.
AddressRecords ReadAddressRecords(const AddressTextFile& file, char delimiter, HeaderChoice header);

// A column that holds one or more telephone numbers as people write them: digits with an optional "+",
// grouped with "-", spaces or brackets, several joined by ";" (the default marked with "@").
bool LooksLikePhoneNumber(QByteArrayView column);

// "第一行是欄位名稱" or "第一行是資料", as both front ends say which way the file was read.
QString HeaderChoiceText(bool header);

} // namespace norvi
