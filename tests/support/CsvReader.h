#pragma once

#include <QByteArray>
#include <QList>

// A small RFC 4180 reader for checking what the CSV writer produced: fields separated by commas,
// records by CR LF (a lone LF is accepted too), a field in double quotes may hold commas, quotes
// (doubled) and line breaks. `ok` is false for a quote in the middle of an unquoted field or an
// unterminated quoted field.
namespace norvi::test {

struct CsvTable {
    QList<QList<QByteArray>> records;
    bool ok = true;
};

inline CsvTable readCsv(const QByteArray& bytes) {
    CsvTable table;
    QList<QByteArray> record;
    QByteArray field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the current field was quoted (only a separator may follow its closing quote)
    bool any = false;       // the current record has started
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    const auto endField = [&] {
        record.append(field);
        field.clear();
        wasQuoted = false;
    };
    while (i < n) {
        const char c = bytes.at(i);
        if (quoted) {
            if (c == '"') {
                if (i + 1 < n && bytes.at(i + 1) == '"') {
                    field += '"';
                    i += 2;
                    continue;
                }
                quoted = false;
                wasQuoted = true;
            } else {
                field += c;
            }
            ++i;
            continue;
        }
        if (c == ',') {
            endField();
            any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n')
                ++i;
            endField();
            table.records.append(record);
            record.clear();
            any = false;
        } else if (c == '"') {
            if (!field.isEmpty() || wasQuoted) {
                table.ok = false;
                return table;
            }
            quoted = true;
            any = true;
        } else {
            if (wasQuoted) {
                table.ok = false;
                return table;
            }
            field += c;
            any = true;
        }
        ++i;
    }
    if (quoted) {
        table.ok = false;
        return table;
    }
    if (any || !field.isEmpty()) {
        endField();
        table.records.append(record);
    }
    return table;
}

} // namespace norvi::test
