#include "shared/OpLog.h"

#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/Config.h"
#include "shared/Global.h"

#include <QDir>
#include <QFile>

#include <mutex>

namespace norvi {

namespace {

std::mutex g_sinkLock;
std::function<void(const QString&)> g_sink;

// Every physical line of the file ends in CR LF, also the ones inside a multi-line text such as the
// progress summary; a CR LF already there is kept as it is, not doubled.
QByteArray withCrLf(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\n' && (i == 0 || text.at(i - 1) != '\r'))
            out += '\r';
        out += c;
    }
    return out;
}

QString dayFileName(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".dbg");
}

} // namespace

QString StampedLine(const QString& text) {
    return Clock::stamp(Clock::now()) + QStringLiteral("  ") + text;
}

void WriteOpLog(const QByteArray& text) {
    // One reading of the clock names both the line and the file, so a line written across midnight
    // lands in the file of the date it carries.
    const QDateTime now = Clock::now();
    QByteArray line = big5(Clock::stamp(now));
    line += "  ";
    line += withCrLf(text);
    line += "\r\n";

    std::lock_guard<std::mutex> guard(LogLock);
    const QString folder = LogFolder();
    // Without a configured folder the line would land in whatever folder happens to be current.
    if (folder.isEmpty())
        return;
    // Opened and closed per line so other programs can read the log while the client runs; one
    // unbuffered write per line keeps lines whole.
    QFile file(QDir(folder).filePath(dayFileName(now)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    file.write(line);
    file.close();
}

void ShowMsgLine(const QByteArray& text) {
    std::function<void(const QString&)> sink;
    {
        std::lock_guard<std::mutex> guard(g_sinkLock);
        sink = g_sink;
    }
    if (!sink)
        return;
    // The message area breaks lines at LF; a CR left in would show as a stray character.
    QString shown = fromBig5(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    sink(StampedLine(shown));
}

void SetMessageAreaSink(std::function<void(const QString& line)> sink) {
    std::lock_guard<std::mutex> guard(g_sinkLock);
    g_sink = std::move(sink);
}

} // namespace norvi
