#pragma once

#include "cli/CliOutput.h"

#include "core/sendlog/JobRows.h"
#include "core/sendlog/SendLogRow.h"

namespace norvi::cli {

// The send log of a norvi-cli send run, which keeps no rows: each row is printed as soon as its result
// is in and then forgotten. The run's log file has it already, as the worker writes every row there first.
class CliSendRows : public JobRows {
public:
    explicit CliSendRows(Console& console) : m_console(console) {}

    quint64 addRow(const QByteArray& caption, int image, const QByteArray& mobile, const QByteArray& sendTime) override;
    void fillSendResult(quint64 rowId, const QByteArray& code, int codeImage, const QByteArray& result,
                        const QByteArray& content) override;
    int printed() const { return m_printed; }

    // Whether a row had a send code other than 0.
    bool anyFailed() const { return m_failed; }

private:
    Console& m_console;
    SendLogRow m_row;
    quint64 m_added = 0;
    int m_printed = 0;
    bool m_failed = false;
};

} // namespace norvi::cli
