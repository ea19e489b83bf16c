#include "core/shared/XlsxWriter.h"

#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>

namespace norvi {

namespace {

constexpr double kMinColumnWidth = 8;
constexpr double kMaxColumnWidth = 60;

// How wide a cell shows: a character of the CJK ranges takes two columns of the sheet's width.
double displayWidth(const QString& text) {
    double width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x1100 ? 2 : 1;
    return width;
}

bool setXlsxError(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// A character XML cannot carry is written as _xHHHH_ (the form spreadsheet programs read back), and so
// is the underscore of a literal "_x" before four hex digits and an underscore: otherwise the name
// 王_x0041_明 would show as 王A明. An underscore counts as ending the run also where the next character
// is one written as an escape, since its escape begins with one.
bool escapedInCell(QChar c) {
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n') || u == 0xFFFE || u == 0xFFFF;
}

QString cellXstring(const QString& text) {
    const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    const auto escape = [](QChar c) {
        return QStringLiteral("_x%1_").arg(
            QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    };
    const auto startsLiteralEscape = [&](qsizetype i) {
        return text[i] == QLatin1Char('_') && i + 6 < text.size() && text[i + 1] == QLatin1Char('x') &&
               hex(text[i + 2]) && hex(text[i + 3]) && hex(text[i + 4]) && hex(text[i + 5]) &&
               (text[i + 6] == QLatin1Char('_') || escapedInCell(text[i + 6]));
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (escapedInCell(c) || startsLiteralEscape(i))
            out += escape(c);
        else
            out += c;
    }
    return out;
}

QString xlsxWriteFailedText(const QString& path, const char* reason) {
    return QStringLiteral("無法寫入活頁簿 %1：%2").arg(path, QString::fromUtf8(reason));
}

} // namespace

bool WriteXlsxTable(const QString& path, const QStringList& header, const std::vector<QStringList>& rows,
                    QString* error, const QString& startDir) {
    const QString refusal = OutputRefusal(path, startDir);
    if (!refusal.isEmpty())
        return setXlsxError(error, refusal);
    qsizetype columns = header.size();
    for (const QStringList& row : rows)
        columns = std::max(columns, row.size());
    std::vector<double> widths(std::size_t(columns), kMinColumnWidth);
    const auto measure = [&](const QStringList& cells, qsizetype row) {
        for (int c = 0; c < cells.size(); ++c) {
            if (cells.at(c).size() > kMaxXlsxCellChars)
                return setXlsxError(error, QStringLiteral("第 %1 列第 %2 欄超過 %3 個字元，無法寫入活頁簿。")
                                               .arg(row + 1)
                                               .arg(c + 1)
                                               .arg(kMaxXlsxCellChars));
            widths[std::size_t(c)] = std::clamp(displayWidth(cells.at(c)) + 2, widths[std::size_t(c)], kMaxColumnWidth);
        }
        return true;
    };
    if (!measure(header, 0))
        return false;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (!measure(rows[r], qsizetype(r) + 1))
            return false;

    // The library writes to a name of its own choosing: a private folder, then the workbook's bytes go
    // through the program's own replacing save.
    QTemporaryDir folder;
    if (!folder.isValid())
        return setXlsxError(error, xlsxWriteFailedText(path, "temporary folder"));
    const QByteArray temporary = QFile::encodeName(folder.filePath(QStringLiteral("table.xlsx")));
    const QByteArray tmpdir = QFile::encodeName(folder.path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tmpdir.constData());
    lxw_workbook* workbook = workbook_new_opt(temporary.constData(), &options);
    if (!workbook)
        return setXlsxError(error, xlsxWriteFailedText(path, "workbook"));
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    lxw_format* text = workbook_add_format(workbook);
    format_set_num_format(text, "@");
    lxw_format* bold = workbook_add_format(workbook);
    format_set_num_format(bold, "@");
    format_set_bold(bold);
    lxw_error status = LXW_NO_ERROR;
    for (int c = 0; c < columns && status == LXW_NO_ERROR; ++c)
        status = worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[std::size_t(c)], text);
    const auto writeRow = [&](const QStringList& cells, lxw_row_t row, lxw_format* format) {
        for (int c = 0; c < cells.size() && status == LXW_NO_ERROR; ++c)
            if (!cells.at(c).isEmpty())
                status = worksheet_write_string(sheet, row, lxw_col_t(c), cellXstring(cells.at(c)).toUtf8().constData(),
                                                format);
    };
    writeRow(header, 0, bold);
    for (std::size_t r = 0; r < rows.size() && status == LXW_NO_ERROR; ++r)
        writeRow(rows[r], lxw_row_t(r + 1), text);
    const lxw_error closed = workbook_close(workbook);
    if (status == LXW_NO_ERROR)
        status = closed;
    if (status != LXW_NO_ERROR)
        return setXlsxError(error, xlsxWriteFailedText(path, lxw_strerror(status)));

    QFile written(QString::fromLocal8Bit(temporary));
    if (!written.open(QIODevice::ReadOnly))
        return setXlsxError(error, xlsxWriteFailedText(path, "read back"));
    const QByteArray bytes = written.readAll();
    SaveFile save(path);
    if (!save.open() || save.write(bytes) != bytes.size() || !save.commit())
        return setXlsxError(error, QStringLiteral("無法寫入活頁簿 %1：%2").arg(path, save.errorString()));
    return true;
}

} // namespace norvi
