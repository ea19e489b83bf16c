#include "core/shared/OpLog.h"

#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/PlainFile.h"
#include "core/shared/SystemErrorText.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>

#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace norvi {

namespace {

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

// The operation log's writer, one for the process: every thread of both programs appends to the one daily
// file, and the lock keeps each line whole. The folder is where the lines go, as the owner of the settings
// last said: every thread writes, so the writer keeps its own copy instead of reading settings the interface
// thread may be changing. A failure is said once, until a line is written again. Where lines and failures
// are told (the message area, or norvi-cli's standard error) sits beside it, under a lock of its own, since
// telling may take longer than a write.
struct OpLogWriter {
    std::mutex lock;
    QString folder;
    bool failureSaid = false;

    std::mutex sinkLock;
    std::function<void(const QString&)> sink;
    std::function<void(const QStringList&)> batchSink;
    std::function<void(const QString&)> failureReporter;
};
OpLogWriter g_writer;

// The whole line in one write with O_APPEND, so lines of other writers (threads, the other program) never
// mix into it. A write the system took only in part is completed; when the rest cannot be written, the
// part is taken back if nobody wrote after it, so the next line never joins a cut one. False with `reason`
// set when the line is not in the file.
bool appendLine(const QString& path, const QByteArray& line, QString* reason) {
    // Only the day's own file: a link at its name would append the line (and take a cut line back) in
    // another file.
    const int fd = OpenInPlaceFile(path, O_WRONLY | O_APPEND | O_CREAT, reason);
    if (fd < 0)
        return false;
    struct stat before {};
    ::fstat(fd, &before);
    qsizetype done = 0;
    int error = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, std::size_t(line.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        error = n < 0 ? errno : ENOSPC;
        *reason = SystemErrorText(error);
        break;
    }
    if (error != 0 && done > 0) {
        struct stat after {};
        if (::fstat(fd, &after) == 0 && after.st_size == before.st_size + done)
            (void)!::ftruncate(fd, before.st_size);
    }
    ::close(fd);
    return error == 0;
}

// The message area hears of it on the user-interface thread; norvi-cli sets a reporter of its own.
void reportFailure(const QString& text) {
    std::function<void(const QString&)> reporter;
    {
        std::lock_guard<std::mutex> guard(g_writer.sinkLock);
        reporter = g_writer.failureReporter;
    }
    if (reporter) {
        reporter(text);
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    const QByteArray line = big5(text);
    QMetaObject::invokeMethod(
        app, [line] { ShowMsgLine(line); }, Qt::QueuedConnection);
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

    std::lock_guard<std::mutex> guard(g_writer.lock);
    // Without a configured folder the line would land in whatever folder happens to be current.
    if (g_writer.folder.isEmpty())
        return;
    // Opened and closed per line so other programs can read the log while the client runs.
    const QString path = QDir(g_writer.folder).filePath(dayFileName(now));
    QString reason;
    if (appendLine(path, line, &reason)) {
        g_writer.failureSaid = false;
        return;
    }
    if (g_writer.failureSaid)
        return;
    g_writer.failureSaid = true;
    reportFailure(QStringLiteral("無法寫入運作記錄檔 %1：%2。之後寫入失敗的記錄不再提示。").arg(path, reason));
}

void SetOpLogFolder(const QString& folder) {
    std::lock_guard<std::mutex> guard(g_writer.lock);
    g_writer.folder = folder;
}

void SetOpLogFailureReporter(std::function<void(const QString& text)> reporter) {
    {
        std::lock_guard<std::mutex> guard(g_writer.lock);
        g_writer.failureSaid = false;
    }
    std::lock_guard<std::mutex> guard(g_writer.sinkLock);
    g_writer.failureReporter = std::move(reporter);
}

namespace {
std::function<void(const QString&)> messageAreaSink() {
    std::lock_guard<std::mutex> guard(g_writer.sinkLock);
    return g_writer.sink;
}
} // namespace

QString MessageAreaLine(const QByteArray& text) {
    // The message area breaks lines at LF; a CR left in would show as a stray character.
    QString shown = fromBig5(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return StampedLine(shown);
}

void ShowMsgLine(const QByteArray& text) {
    if (const std::function<void(const QString&)> sink = messageAreaSink())
        sink(MessageAreaLine(text));
}

void ShowMessageAreaLines(const QStringList& lines) {
    if (lines.isEmpty())
        return;
    std::function<void(const QStringList&)> batchSink;
    {
        std::lock_guard<std::mutex> guard(g_writer.sinkLock);
        batchSink = g_writer.batchSink;
    }
    if (batchSink) {
        batchSink(lines);
        return;
    }
    if (const std::function<void(const QString&)> sink = messageAreaSink())
        for (const QString& line : lines)
            sink(line);
}

void SetMessageAreaSink(std::function<void(const QString& line)> sink) {
    std::lock_guard<std::mutex> guard(g_writer.sinkLock);
    g_writer.sink = std::move(sink);
}

void SetMessageAreaBatchSink(std::function<void(const QStringList& lines)> sink) {
    std::lock_guard<std::mutex> guard(g_writer.sinkLock);
    g_writer.batchSink = std::move(sink);
}

} // namespace norvi
