#include "core/compose/ListFileSheet.h"

#include "core/compose/ListFileRecords.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"

#include <QRegularExpression>

namespace norvi {

namespace {

bool hasDigit(const QString& text) {
    for (const QChar c : text)
        if (c.isDigit())
            return true;
    return false;
}

} // namespace

bool NumberCellAsPhone(const QString& value, QString* number) {
    static const QRegularExpression mobile(QStringLiteral("^9\\d{8}$"));
    static const QRegularExpression international(QStringLiteral("^8869\\d{8}$"));
    if (mobile.match(value).hasMatch()) {
        *number = QLatin1Char('0') + value;
        return true;
    }
    if (international.match(value).hasMatch()) {
        *number = value;
        return true;
    }
    return false;
}

namespace {

// The letters a spreadsheet program shows for the column of a row's cell `index` (0 is A, 26 is AA).
QString columnLetters(std::size_t index) {
    QString letters;
    for (std::size_t n = index + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (n - 1) % 26)));
    return letters;
}

// Spaces and commas would split the line a text list holds; a number never has them.
QString plainNumber(const QString& text) {
    QString number;
    for (const QChar c : text)
        if (!c.isSpace() && c != QLatin1Char(','))
            number += c;
    return number;
}

} // namespace

std::size_t SheetFilledCells(const SheetRow& row) {
    std::size_t last = row.cells.size();
    while (last > 1 && row.cells[last - 1].text.trimmed().isEmpty())
        --last;
    return last;
}

bool SheetRowListLine(const SheetRow& row, bool firstRow, std::size_t headerCells, const QString& path,
                      QByteArray* line, bool* header, QString* problem) {
    *header = false;
    line->clear();
    const SheetCell first = row.cells.empty() ? SheetCell() : row.cells.front();
    if (firstRow && !first.text.isEmpty() && !hasDigit(first.text)) {
        *header = true;
        return true;
    }
    QString number = plainNumber(first.text);
    if (first.number && !NumberCellAsPhone(first.text, &number)) {
        *problem = QStringLiteral("發訊名單 %1 第 %2 列的電話號碼 %3 是數值儲存格，無法確定原本的號碼（開頭的 0 "
                                  "可能已遺失）。請把該欄設為文字格式、重新輸入號碼後再試。")
                       .arg(path, QString::number(row.row), first.text);
        return false;
    }
    const std::size_t last = SheetFilledCells(row);
    QString content;
    // A row whose later value cells are blank keeps the values form its sheet's header names: its one value
    // taken as the whole text would reach the recipient as a bare name instead of the filled-in message.
    if (last == 2 && headerCells <= 2) {
        content = row.cells[1].text;
    } else {
        for (std::size_t i = 1; i < last; ++i) {
            // An empty cell still takes its place, so the values after it keep their numbers.
            const QString value = row.cells[i].text.trimmed();
            // Each value is written between two "$", so one holding a "$" itself ("NT$1,200") would be read
            // back as other values than its cells: a recipient would get a wrong amount or the marks.
            if (value.contains(QLatin1Char('$'))) {
                *problem = QStringLiteral("發訊名單 %1 第 %2 列 %3 欄的「%4」含有「$」，無法分辨各欄的替代值。"
                                          "請刪除「$」或改用全形的「＄」後再試。")
                               .arg(path, QString::number(row.row), columnLetters(i), value);
                return false;
            }
            content += QLatin1Char('$') + (value.isEmpty() ? QStringLiteral(" ") : value) + QLatin1Char('$');
        }
    }
    QString unmappable;
    QByteArray bytes;
    if (!toBig5(number + QLatin1Char(' ') + content, bytes, &unmappable)) {
        *problem = QStringLiteral("發訊名單 %1 第 %2 列：").arg(path, QString::number(row.row)) +
                   unmappableMessage(unmappable);
        return false;
    }
    *line = bytes;
    return true;
}

bool ListFileSheet::open(const QString& path) {
    m_path = path;
    m_first = true;
    m_headerCells = 0;
    m_cut.clear();
    m_error.clear();
    if (!m_reader.open(path)) {
        m_error = m_reader.error();
        return false;
    }
    return true;
}

bool ListFileSheet::next(QByteArray* line, qint64* index) {
    SheetRow row;
    while (m_error.isEmpty() && m_reader.nextRow(&row)) {
        bool header = false;
        const bool first = m_first;
        m_first = false;
        if (!SheetRowListLine(row, first, m_headerCells, m_path, line, &header, &m_error))
            return false;
        if (header) {
            m_headerCells = SheetFilledCells(row);
            continue;
        }
        *index = row.row - 1;
        if (*index >= kMaxListFileLines) {
            m_error = QStringLiteral("發訊名單檔案 %1 有 %2 行，超過 %3 行的上限，無法載入。")
                          .arg(m_path, QString::number(row.row), QString::number(kMaxListFileLines));
            return false;
        }
        if (row.cut || line->size() > kMaxListLineBytes) {
            m_cut.push_back(*index);
            line->truncate(kMaxListLineBytes);
        }
        return true;
    }
    if (m_error.isEmpty())
        m_error = m_reader.error();
    return false;
}

} // namespace norvi
