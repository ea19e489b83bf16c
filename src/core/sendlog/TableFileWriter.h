#pragma once

#include "core/sendlog/LogCsv.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace norvi {

class SaveFile;
class XlsxTableWriter;

// A table the user exports, written to its file a row at a time, so a list as long as a whole send log is
// never held: a workbook (XlsxTableWriter) or CSV (TextTableCsv's bytes) in a temporary file beside the
// target, which replaces it only at commit(). A writer not committed, or one that failed, leaves the target
// as it was and nothing beside it.
class TableFileWriter {
public:
    enum class Kind { Csv, Workbook };
    TableFileWriter(const QString& path, Kind kind, CsvEncoding encoding = CsvEncoding::Utf8WithBom);
    ~TableFileWriter();
    TableFileWriter(const TableFileWriter&) = delete;
    TableFileWriter& operator=(const TableFileWriter&) = delete;

    bool open(const QStringList& header);
    bool addRow(const QStringList& cells);
    bool commit();
    // Why the file was not written, in the user's words.
    const QString& errorString() const { return m_error; }

private:
    bool csvFailed();

    QString m_path;
    Kind m_kind;
    CsvEncoding m_encoding;
    std::unique_ptr<SaveFile> m_csv;
    std::unique_ptr<XlsxTableWriter> m_workbook;
    QString m_error;
};

} // namespace norvi
