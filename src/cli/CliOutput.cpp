#include "cli/CliOutput.h"

#include "core/shared/Big5.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace norvi::cli {

namespace {

int g_outputErrno = 0; // the first failed write to standard output
bool g_statusShown = false;
bool g_barAllowed = true;

// False when the bytes did not all reach the stream's file.
bool writeBytes(FILE* stream, const QByteArray& bytes) {
    errno = 0;
    const bool written =
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) == std::size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

void writeOut(const QByteArray& bytes) {
    // After the first failure nothing more is attempted: the output is incomplete either way.
    if (g_outputErrno != 0)
        return;
    if (!writeBytes(stdout, bytes))
        g_outputErrno = errno != 0 ? errno : EIO;
}

} // namespace

void out(const QString& text) {
    writeOut(text.toUtf8() + '\n');
}

void err(const QString& text) {
    clearStatusLine();
    // Standard error is where failures are told; when even that fails there is no one left to tell.
    writeBytes(stderr, text.toUtf8() + '\n');
}

void statusLine(const QString& text) {
    writeBytes(stderr, "\r" + text.toUtf8() + "\x1b[K");
    g_statusShown = true;
}

void clearStatusLine() {
    if (!g_statusShown)
        return;
    g_statusShown = false;
    writeBytes(stderr, "\r\x1b[K");
}

void SetProgressBarAllowed(bool allowed) {
    g_barAllowed = allowed;
}

bool ProgressBarWanted() {
    return g_barAllowed && ::isatty(STDERR_FILENO) == 1;
}

void writeRaw(const QByteArray& bytes) {
    writeOut(bytes);
}

bool OutputFailed() {
    return g_outputErrno != 0;
}

QString OutputError() {
    return QString::fromLocal8Bit(std::strerror(g_outputErrno));
}

QString escapeCell(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString rowLine(const SendLogRow& row) {
    QString line;
    for (int column = 0; column < kSendLogColumns; ++column) {
        if (column)
            line += QLatin1Char('\t');
        line += escapeCell(fromBig5(row.texts[std::size_t(column)]));
    }
    return line;
}

QString terminalLines(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return lines;
}

} // namespace norvi::cli
