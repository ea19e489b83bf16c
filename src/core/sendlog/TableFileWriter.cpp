#include "core/sendlog/TableFileWriter.h"

#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "core/shared/XlsxWriter.h"

namespace norvi {

TableFileWriter::TableFileWriter(const QString& path, Kind kind, CsvEncoding encoding)
    : m_path(path), m_kind(kind), m_encoding(encoding) {}

TableFileWriter::~TableFileWriter() = default;

bool TableFileWriter::csvFailed() {
    m_error = WithReason(QStringLiteral("無法寫入檔案：%1").arg(m_path), m_csv->errorString());
    m_csv.reset(); // thrown away: the file stays as it was
    return false;
}

bool TableFileWriter::open(const QStringList& header) {
    if (m_kind == Kind::Workbook) {
        m_workbook = std::make_unique<XlsxTableWriter>(m_path);
        if (m_workbook->open(header))
            return true;
        m_error = m_workbook->errorString();
        m_workbook.reset();
        return false;
    }
    m_csv = std::make_unique<SaveFile>(m_path);
    if (!m_csv->open())
        return csvFailed();
    const QByteArray start = TextTableCsvStart(m_encoding) + TextTableCsvLine(header, m_encoding);
    return m_csv->write(start) == start.size() || csvFailed();
}

bool TableFileWriter::addRow(const QStringList& cells) {
    if (m_workbook) {
        if (m_workbook->addRow(cells))
            return true;
        m_error = m_workbook->errorString();
        m_workbook.reset();
        return false;
    }
    if (!m_csv)
        return false;
    const QByteArray line = TextTableCsvLine(cells, m_encoding);
    return m_csv->write(line) == line.size() || csvFailed();
}

bool TableFileWriter::commit() {
    if (m_workbook) {
        const bool written = m_workbook->commit();
        if (!written)
            m_error = m_workbook->errorString();
        m_workbook.reset();
        return written;
    }
    if (!m_csv)
        return false;
    if (!m_csv->commit())
        return csvFailed();
    m_csv.reset();
    return true;
}

} // namespace norvi
