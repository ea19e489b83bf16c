#include "CliOutput.h"

#include "shared/Big5.h"

#include <cstdio>

namespace norvi::cli {

namespace {

void writeLine(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void out(const QString& text) {
    writeLine(stdout, text);
}

void err(const QString& text) {
    writeLine(stderr, text);
}

void writeRaw(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
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
