#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// What the command-line front end prints: UTF-8 on standard output and standard error.
namespace norvi::cli {

// norvi-cli's standard streams and what the run remembers of them. Run owns the one console of a run and
// hands it to every command, and each command to what prints for it.
class Console {
public:
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void out(const QString& text);          // a line on standard output
    void err(const QString& text);          // a line on standard error; any thread (the operation log's)
    void writeRaw(const QByteArray& bytes); // bytes on standard output as they are

    // The progress bar's one line on standard error, drawn over itself ("\r", the text, the rest of the line
    // cleared). A line written through err() first clears it, so messages never land inside the bar; the
    // next drawing puts it back below them.
    void statusLine(const QString& text);
    void clearStatusLine();
    // Whether the progress bar is wanted: standard error is a terminal and --quiet was not given.
    void setProgressBarAllowed(bool allowed) { m_barAllowed = allowed; }
    bool progressBarWanted() const;

    // True once a write to standard output failed (a full disk, a closed pipe, a closed terminal): what
    // was meant to be printed is lost, which the exit code must tell. `outputError` is the system's reason.
    bool outputFailed() const { return m_outputErrno != 0; }
    QString outputError() const;

private:
    void writeOut(const QByteArray& bytes);

    int m_outputErrno = 0; // the first failed write to standard output
    // A failed operation-log write is told from the worker that wrote it, while the bar is drawn here.
    std::atomic<bool> m_statusShown{false};
    bool m_barAllowed = true;
};

// A cell for a tab-separated line: tabs, line breaks and backslashes written as \t, \r, \n and \\,
// so that every row stays one line with exactly eight columns; any other control character as \xNN.
QString escapeCell(const QString& text);

// A send-log row: its eight columns (caption first), converted from Big5, separated by tabs.
QString rowLine(const SendLogRow& row);

// Line breaks of a system text (the summary, the result box) as the terminal wants them.
QString terminalLines(const QString& text);

} // namespace norvi::cli
