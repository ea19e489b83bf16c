#pragma once

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogRows.h"
#include "core/sendlog/RowAnswers.h"
#include "core/sendlog/SendLogRow.h"

#include <QString>

#include <vector>

namespace norvi {

// A send log kept in the order of its ".log" file, for a front end without a list view: rows loaded
// from a file keep their positions, rows a job adds go after them, and the file written back has the
// old rows where they were. The command-line front end's query, cancel and resend work on it, so a
// row number given on the command line names the same row before and after the job.
//
// Like the list view it stands in for, it belongs to the user-interface thread; workers reach it
// through RowHandOver.
class FileOrderJobRows : public JobRows, public RowAnswers, public LogRows {
public:
    // Appends the file's complete records. False when the file cannot be opened; `damage` receives what
    // is wrong with a file that held fewer records than it announced or bytes after them (empty when
    // the file is whole). A file whose records cannot be rows (LogRecordFault) is refused whole: false,
    // no row appended, and `damage` says which record. A file that cannot be opened sets `reason` to the
    // system's reason.
    bool load(const QString& path, QString* damage = nullptr, QString* reason = nullptr);
    // Writes every row in list order, replacing the file only when all of it was written.
    bool save(const QString& path) const;

    const std::vector<SendLogRow>& rows() const { return m_rows; }
    void append(const SendLogRow& row);
    // Makes exactly these rows the selection; rows out of range are ignored.
    void select(const QVector<int>& rows);

    // JobRows
    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;
    void startRun() override { ++m_run; }

    // RowAnswers
    void answered(quint64 rowId, const QByteArray& code, const QByteArray& result) override;

    // LogRows
    int rowCount() const override { return int(m_rows.size()); }
    const SendLogRow& row(int position) const override { return m_rows[std::size_t(position)]; }
    quint64 rowId(int position) const override { return quint64(position) + 1; }
    quint32 addedRun(int position) const override;
    QVector<int> selectedRows() const override;

    // The position of the row with `rowId`, or -1.
    int positionOf(quint64 rowId) const { return rowId > 0 && rowId <= m_rows.size() ? int(rowId - 1) : -1; }

private:
    bool valid(int row) const { return row >= 0 && row < int(m_rows.size()); }

    std::vector<SendLogRow> m_rows;
    std::vector<bool> m_selected;
    std::vector<quint32> m_runs; // the run that added each row, 0 for a row loaded or appended
    quint32 m_run = 0;
    // Rows are only ever appended, so a row's id is its position plus one.
};

} // namespace norvi
