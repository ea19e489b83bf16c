#include "core/exchange/AddressRecords.h"

#include "core/compose/OddNumbers.h"
#include "core/shared/Big5.h"

#include <algorithm>

namespace norvi {

namespace {

// The fields of one comma-separated record and where each begins in its text.
struct CsvFields {
    QList<QByteArray> values;
    QList<qsizetype> starts;
};

bool isBlankByte(char c) {
    return c == ' ' || c == '\t';
}

qsizetype fieldEnd(QByteArrayView text, qsizetype from) {
    const qsizetype at = text.indexOf(',', from);
    return at < 0 ? text.size() : at;
}

// A field that opens with a double quote (after blanks) runs to the quote that closes it; two quotes in
// a row inside it are one quote, and what stands between the closing quote and the next comma is kept,
// blanks around it dropped. Any other field runs to the next comma as it stands. False when a quoted field
// is still open at the end of `text`. (Neither a quote nor a comma is ever the second byte of a Big5
// character, so the bytes are read as they come.)
bool parseCsv(QByteArrayView text, CsvFields* out) {
    *out = CsvFields();
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (;;) {
        out->starts.append(i);
        qsizetype j = i;
        while (j < n && isBlankByte(text[j]))
            ++j;
        QByteArray value;
        if (j < n && text[j] == '"') {
            i = j + 1;
            bool closed = false;
            while (i < n) {
                if (text[i] != '"') {
                    value += text[i++];
                    continue;
                }
                if (i + 1 < n && text[i + 1] == '"') {
                    value += '"';
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            if (!closed)
                return false;
            const qsizetype end = fieldEnd(text, i);
            value += TrimBlank(text.sliced(i, end - i)).toByteArray();
            i = end;
        } else {
            const qsizetype end = fieldEnd(text, i);
            value = text.sliced(i, end - i).toByteArray();
            i = end;
        }
        out->values.append(value);
        if (i >= n)
            return true;
        ++i; // the comma; a comma at the very end leaves an empty last field
    }
}

// At most three columns: past the third field, the third column is the rest of the record as written.
QList<QByteArray> csvColumns(QByteArrayView text, const CsvFields& fields) {
    if (fields.values.size() <= kExchangeColumns)
        return fields.values;
    QList<QByteArray> columns = fields.values.first(kExchangeColumns - 1);
    columns.append(text.sliced(fields.starts.at(kExchangeColumns - 1)).toByteArray());
    return columns;
}

QList<QByteArray> plainColumns(QByteArrayView text, char delimiter) {
    QList<QByteArray> columns;
    for (const QByteArrayView column : SplitColumns(text, delimiter))
        columns.append(column.toByteArray());
    return columns;
}

QString unclosedQuoteProblem() {
    return QStringLiteral("的雙引號沒有成對");
}

// A comma-separated record from line `first` on: the lines a quoted field spans are joined with CR LF.
// A quote that is never closed (by the end of the file, a line that is no text, or the byte cap) refuses
// its own line only, so one stray quote cannot swallow the lines after it. `next` gets the line after it.
AddressRecord csvRecord(const std::vector<AddressTextLine>& lines, std::size_t first, std::size_t* next) {
    AddressRecord record;
    record.line = int(first);
    record.cut = lines[first].cut;
    QByteArray text = lines[first].text;
    CsvFields fields;
    std::size_t at = first + 1;
    bool parsed = parseCsv(text, &fields);
    while (!parsed) {
        if (at >= lines.size() || !lines[at].problem.isEmpty() || text.size() > kMaxQuotedRecordBytes)
            break;
        const AddressTextLine& more = lines[at++];
        text += "\r\n";
        text += more.text;
        record.cut = record.cut || more.cut;
        // Only a quote can close the open field: a line without one needs no second look.
        if (more.text.contains('"'))
            parsed = parseCsv(text, &fields);
    }
    if (!parsed) {
        record.problem = unclosedQuoteProblem();
        record.shown = fromBig5(lines[first].text);
        record.cut = lines[first].cut;
        *next = first + 1;
        return record;
    }
    record.columns = csvColumns(text, fields);
    *next = at;
    return record;
}

bool anyPhoneNumber(const AddressRecord& record) {
    return std::any_of(record.columns.cbegin(), record.columns.cend(),
                       [](const QByteArray& column) { return LooksLikePhoneNumber(column); });
}

} // namespace

QStringList AddressRecords::headerColumns() const {
    if (!header || records.empty())
        return {};
    const AddressRecord& first = records.front();
    QStringList columns;
    if (first.problem.isEmpty()) {
        for (const QByteArray& column : first.columns)
            columns.append(fromBig5(TrimBlank(column).toByteArray()));
        return columns;
    }
    // A header that is not clean text still names its columns as well as it can be shown.
    for (const QString& column : first.shown.split(QLatin1Char(delimiter)).mid(0, kExchangeColumns))
        columns.append(column.trimmed());
    return columns;
}

int AddressRecords::dataColumns() const {
    int most = 0;
    for (std::size_t i = header ? 1 : 0; i < records.size(); ++i)
        most = std::max(most, int(records[i].columns.size()));
    return std::min(most, kExchangeColumns);
}

const AddressRecord* AddressRecords::firstData() const {
    const std::size_t first = header ? 1 : 0;
    return first < records.size() ? &records[first] : nullptr;
}

AddressRecords ReadAddressRecords(const AddressTextFile& file, char delimiter, HeaderChoice header) {
    AddressRecords result;
    result.delimiter = delimiter;
    const std::vector<AddressTextLine>& lines = file.lines;
    for (std::size_t i = 0; i < lines.size();) {
        const AddressTextLine& line = lines[i];
        if (line.blank) {
            ++i;
            continue;
        }
        if (!line.problem.isEmpty()) {
            AddressRecord record;
            record.line = int(i);
            record.problem = line.problem;
            record.shown = line.shown;
            record.cut = line.cut;
            result.records.push_back(record);
            ++i;
            continue;
        }
        if (delimiter == ',') {
            std::size_t next = i + 1;
            result.records.push_back(csvRecord(lines, i, &next));
            i = next;
            continue;
        }
        AddressRecord record;
        record.line = int(i);
        record.cut = line.cut;
        record.columns = plainColumns(line.text, delimiter);
        result.records.push_back(record);
        ++i;
    }
    if (!result.records.empty()) {
        const AddressRecord& first = result.records.front();
        // A first line that cannot be read says nothing of itself; taken as data, it is at least named.
        result.header = header == HeaderChoice::Yes ||
                        (header == HeaderChoice::Auto && first.problem.isEmpty() && !anyPhoneNumber(first));
    }
    return result;
}

bool LooksLikePhoneNumber(QByteArrayView column) {
    bool any = false;
    for (const QByteArray& piece : TrimBlank(column).toByteArray().split(';')) {
        QByteArray digits;
        for (const char c : piece) {
            if (c == '@' && digits.isEmpty())
                continue;
            if (QByteArrayView("-_~*() ").contains(c))
                continue;
            digits += c;
        }
        if (digits.isEmpty())
            continue;
        if (!IsPhoneNumber(digits))
            return false;
        any = true;
    }
    return any;
}

QString HeaderChoiceText(bool header) {
    return header ? QStringLiteral("第一行是欄位名稱") : QStringLiteral("第一行是資料");
}

} // namespace norvi
