#include "core/shared/XlsxWriter.h"

#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <algorithm>
#include <utility>

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
    XlsxTableWriter writer(path, startDir);
    bool written = writer.open(header);
    for (std::size_t r = 0; written && r < rows.size(); ++r)
        written = writer.addRow(rows[r]);
    if (written && writer.commit())
        return true;
    return setXlsxError(error, writer.errorString());
}

struct XlsxTableWriter::Sheet {
    explicit Sheet(const QString& path) : save(path) {}
    ~Sheet() {
        if (workbook)
            lxw_workbook_free(workbook);
    }
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    SaveFile save;
    QByteArray file;
    QByteArray tmpdir;
    lxw_workbook* workbook = nullptr;
    lxw_worksheet* worksheet = nullptr;
    lxw_format* text = nullptr;
    lxw_format* bold = nullptr;
    std::vector<double> widths;
    lxw_row_t rows = 0;
};

XlsxTableWriter::XlsxTableWriter(const QString& path, const QString& startDir) : m_path(path), m_startDir(startDir) {}

XlsxTableWriter::~XlsxTableWriter() = default;

bool XlsxTableWriter::fail(const QString& error) {
    m_error = error;
    m_sheet.reset(); // the library's files go, and the save is thrown away: `path` stays as it was
    return false;
}

bool XlsxTableWriter::open(const QStringList& header) {
    if (const QString refusal = OutputRefusal(m_path, m_startDir); !refusal.isEmpty())
        return fail(refusal);
    m_sheet = std::make_unique<Sheet>(m_path);
    Sheet& s = *m_sheet;
    if (!s.save.open())
        return fail(QStringLiteral("無法寫入活頁簿 %1：%2").arg(m_path, s.save.errorString()));
    // The library writes the save's own temporary file by its name, so the workbook replaces `path` as every
    // save does; its working files are made beside it, where there is room for the whole sheet. A device or a
    // pipe (put at the name since it was checked) cannot take a workbook, which is gone back over as it is made.
    if (s.save.writesDirectly())
        return fail(QStringLiteral("無法寫入活頁簿 %1：%1 不是一般檔案").arg(m_path));
    s.file = QFile::encodeName(s.save.temporaryPath());
    s.tmpdir = QFile::encodeName(QFileInfo(s.save.temporaryPath()).path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = s.tmpdir.data();
    s.workbook = workbook_new_opt(s.file.constData(), &options);
    if (!s.workbook)
        return fail(xlsxWriteFailedText(m_path, "workbook"));
    s.worksheet = workbook_add_worksheet(s.workbook, nullptr);
    s.text = workbook_add_format(s.workbook);
    format_set_num_format(s.text, "@");
    s.bold = workbook_add_format(s.workbook);
    format_set_num_format(s.bold, "@");
    format_set_bold(s.bold);
    return writeCells(header, true);
}

bool XlsxTableWriter::addRow(const QStringList& cells) {
    return m_sheet && writeCells(cells, false);
}

bool XlsxTableWriter::writeCells(const QStringList& cells, bool header) {
    Sheet& s = *m_sheet;
    if (s.widths.size() < std::size_t(cells.size()))
        s.widths.resize(std::size_t(cells.size()), kMinColumnWidth);
    for (int c = 0; c < cells.size(); ++c) {
        const QString& cell = cells.at(c);
        if (cell.size() > kMaxXlsxCellChars)
            return fail(QStringLiteral("第 %1 列第 %2 欄超過 %3 個字元，無法寫入活頁簿。")
                            .arg(qint64(s.rows) + 1)
                            .arg(c + 1)
                            .arg(kMaxXlsxCellChars));
        double& width = s.widths[std::size_t(c)];
        width = std::clamp(displayWidth(cell) + 2, width, kMaxColumnWidth);
        if (cell.isEmpty())
            continue;
        const lxw_error status = worksheet_write_string(
            s.worksheet, s.rows, lxw_col_t(c), cellXstring(cell).toUtf8().constData(), header ? s.bold : s.text);
        if (status != LXW_NO_ERROR)
            return fail(xlsxWriteFailedText(m_path, lxw_strerror(status)));
    }
    ++s.rows;
    return true;
}

bool XlsxTableWriter::commit() {
    if (!m_sheet)
        return false;
    Sheet& s = *m_sheet;
    // Each column as wide as its longest cell: known only once every row is written, and the library
    // writes the columns ahead of the rows it kept aside.
    lxw_error status = LXW_NO_ERROR;
    for (std::size_t c = 0; c < s.widths.size() && status == LXW_NO_ERROR; ++c)
        status = worksheet_set_column(s.worksheet, lxw_col_t(c), lxw_col_t(c), s.widths[c], s.text);
    const lxw_error closed = workbook_close(std::exchange(s.workbook, nullptr));
    if (status == LXW_NO_ERROR)
        status = closed;
    if (status != LXW_NO_ERROR)
        return fail(xlsxWriteFailedText(m_path, lxw_strerror(status)));
    if (!s.save.commit())
        return fail(QStringLiteral("無法寫入活頁簿 %1：%2").arg(m_path, s.save.errorString()));
    m_sheet.reset();
    return true;
}

} // namespace norvi
