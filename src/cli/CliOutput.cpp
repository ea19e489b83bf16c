#include "cli/CliOutput.h"

#include "core/shared/Big5.h"
#include "core/shared/ShownText.h"
#include "core/shared/SystemErrorText.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace norvi::cli {

namespace {

// False when the bytes did not all reach the stream's file.
bool writeBytes(FILE* stream, const QByteArray& bytes) {
    errno = 0;
    const bool written =
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) == std::size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

} // namespace

void Console::writeOut(const QByteArray& bytes) {
    // After the first failure nothing more is attempted: the output is incomplete either way.
    if (m_outputErrno != 0)
        return;
    if (!writeBytes(stdout, bytes))
        m_outputErrno = errno != 0 ? errno : EIO;
}

void Console::out(const QString& text) {
    writeOut(text.toUtf8() + '\n');
}

void Console::err(const QString& text) {
    clearStatusLine();
    // Standard error is where failures are told; when even that fails there is no one left to tell.
    writeBytes(stderr, text.toUtf8() + '\n');
}

void Console::statusLine(const QString& text) {
    writeBytes(stderr, "\r" + text.toUtf8() + "\x1b[K");
    m_statusShown = true;
}

void Console::clearStatusLine() {
    if (m_statusShown.exchange(false))
        writeBytes(stderr, "\r\x1b[K");
}

bool Console::progressBarWanted() const {
    return m_barAllowed && ::isatty(STDERR_FILENO) == 1;
}

void Console::writeRaw(const QByteArray& bytes) {
    writeOut(bytes);
}

QString Console::outputError() const {
    return SystemErrorText(m_outputErrno);
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
            // A gateway's reply or a damaged log may hold an escape sequence: on a terminal it would clear
            // the screen or recolour what follows, so it is written out, not obeyed.
            if (isControlChar(c.unicode()))
                escaped += escapeControls(QString(c));
            else
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
