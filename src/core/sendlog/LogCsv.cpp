#include "core/sendlog/LogCsv.h"

#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"

namespace norvi {

namespace {

bool isAscii(const QByteArray& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Numbers, times and codes are plain ASCII, which reads the same in both encodings; only the other
// cells go through the code page.
QByteArray encodeCell(const QByteArray& big5Text, CsvEncoding encoding) {
    if (encoding == CsvEncoding::Big5 || isAscii(big5Text))
        return big5Text;
    return fromBig5(big5Text).toUtf8();
}

bool startsFormula(char c) {
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// "-1", "+886912345678", "3.5": a spreadsheet reads these as the numbers they are, never as formulas.
bool isPlainNumber(const QByteArray& cell) {
    qsizetype i = (cell.startsWith('+') || cell.startsWith('-')) ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < cell.size(); ++i) {
        const char c = cell.at(i);
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && digits && !point) {
            point = true;
            digits = false; // a digit must follow the point
        } else {
            return false;
        }
    }
    return digits;
}

} // namespace

QByteArray SpreadsheetSafeCell(const QByteArray& cell) {
    if (cell.isEmpty() || !startsFormula(cell.at(0)) || isPlainNumber(cell))
        return cell;
    return '\'' + cell;
}

QByteArray CsvField(const QByteArray& text) {
    // Only bytes below 0x40 trigger quoting, and no Big5 trail byte is that low, so a double-byte
    // character is never mistaken for a comma or a quote.
    bool quote = false;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

QByteArray CsvLine(const std::vector<QByteArray>& fields) {
    QByteArray line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        line += CsvField(fields[i]);
    }
    line += "\r\n";
    return line;
}

QByteArray LogCsvHeader(CsvEncoding encoding) {
    std::vector<QByteArray> captions;
    for (int column = 0; column < kSendLogColumns; ++column) {
        const QString caption = SendLogModel::plainCaption(column);
        captions.push_back(encoding == CsvEncoding::Big5 ? big5(caption) : caption.toUtf8());
    }
    const QByteArray line = CsvLine(captions);
    return encoding == CsvEncoding::Utf8WithBom ? QByteArray("\xEF\xBB\xBF") + line : line;
}

QByteArray LogCsvRow(const SendLogRow& row, CsvEncoding encoding, CsvCells cells) {
    std::vector<QByteArray> fields;
    fields.reserve(kSendLogColumns);
    for (const QByteArray& text : row.texts) {
        const QByteArray cell = encodeCell(text, encoding);
        fields.push_back(cells == CsvCells::Raw ? cell : SpreadsheetSafeCell(cell));
    }
    return CsvLine(fields);
}

QByteArray TextTableCsvStart(CsvEncoding encoding) {
    return encoding == CsvEncoding::Utf8WithBom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
}

QByteArray TextTableCsvLine(const QStringList& texts, CsvEncoding encoding, CsvCells cells) {
    std::vector<QByteArray> fields;
    fields.reserve(std::size_t(texts.size()));
    for (const QString& text : texts) {
        const QByteArray cell = encoding == CsvEncoding::Big5 ? big5(text) : text.toUtf8();
        fields.push_back(cells == CsvCells::Raw ? cell : SpreadsheetSafeCell(cell));
    }
    return CsvLine(fields);
}

QByteArray TextTableCsv(const TextTable& table, CsvEncoding encoding, CsvCells cells) {
    QByteArray out = TextTableCsvStart(encoding);
    out += TextTableCsvLine(table.header, encoding, cells);
    for (const QStringList& row : table.rows)
        out += TextTableCsvLine(row, encoding, cells);
    return out;
}

QByteArray LogCsv(const std::vector<SendLogRow>& rows, CsvEncoding encoding, CsvCells cells) {
    QByteArray out = LogCsvHeader(encoding);
    for (const SendLogRow& row : rows)
        out += LogCsvRow(row, encoding, cells);
    return out;
}

QStringList LogSheetHeader() {
    QStringList captions;
    for (int column = 0; column < kSendLogColumns; ++column)
        captions << SendLogModel::plainCaption(column);
    return captions;
}

QStringList LogSheetRow(const SendLogRow& row) {
    QStringList cells;
    for (const QByteArray& text : row.texts)
        cells << fromBig5(text);
    return cells;
}

} // namespace norvi
