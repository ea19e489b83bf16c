// The peak memory (maximum resident set, from wait4) and wall time of the send dialog's 上載... load path,
// each case in a fresh process of its own: a list file that is one line of 200 MB (a number, a comma and
// the rest of the line), and lists of 100,000 rows in Big5 and in UTF-8, half of them with placeholder
// values. The process reads the file into rows as the dialog does and reports what it kept. Not a benchmark
// loop: it prints the figures.
//
//   ListFileLoadBench [--line-mb N] [--rows N]

#include "BenchFiles.h"
#include "core/compose/ComposeState.h"
#include "core/compose/ListFileInput.h"
#include "core/shared/Big5.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using namespace norvi;

// The child's part: the load, then one line on standard output with what it kept.
int loadInChild(const QString& path) {
    ParsedRecipients parsed;
    RecipientListFile file;
    if (!file.check(path) || !file.readRows(parsed)) {
        std::printf("refused: %s\n", file.error().toUtf8().constData());
        return 1;
    }
    const QString notes = ListFileRowNotes(parsed, file.cutLines());
    std::printf("rows %d  %s\n", int(parsed.ListFileRows.size()),
                notes.section(QLatin1Char('\n'), 0, 0).toUtf8().constData());
    return 0;
}

struct Outcome {
    int exitCode = -1;
    long peakKb = 0;
    double seconds = 0;
    double cpuSeconds = 0; // user and system time: steadier than the wall time on a busy machine
};

Outcome runChild(const QString& self, const QString& path) {
    QByteArray program = QFile::encodeName(self);
    QByteArray flag("--load");
    QByteArray file = QFile::encodeName(path);
    std::vector<char*> argv{program.data(), flag.data(), file.data(), nullptr};
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Outcome outcome;
    outcome.seconds = double(clock.nsecsElapsed()) / 1e9;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.peakKb = usage.ru_maxrss;
    outcome.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return outcome;
}

bool writeOneLineList(const QString& path, int megabytes) {
    return WriteLongLineFile(path, "0912000001,", megabytes, "\n0912000002,next\n");
}

// Half the rows carry their own placeholder values, as a typical billing list does.
bool writeRows(const QString& path, int rows, bool utf8) {
    QByteArray bytes;
    for (int i = 0; i < rows; ++i) {
        bytes += "09" + QByteArray::number(10000000 + i);
        if (i % 2)
            bytes += (utf8 ? QByteArray(" $王小明$ $") : big5(" $王小明$ $")) + QByteArray::number(i % 997) + "$";
        bytes += "\r\n";
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void print(const QString& what, const Outcome& o) {
    std::printf("%-36s exit %d  peak %.1f MB  %.2f s (cpu %.2f s)\n\n", what.toUtf8().constData(), o.exitCode,
                double(o.peakKb) / 1024.0, o.seconds, o.cpuSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--load"))
        return loadInChild(args[2]);
    int lineMb = 200;
    int rows = 100000;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--line-mb"))
            lineMb = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    const QString self = QCoreApplication::applicationFilePath();
    const QString oneLine = dir.filePath(QStringLiteral("one-line.txt"));
    const QString big5Rows = dir.filePath(QStringLiteral("big5-rows.txt"));
    const QString utf8Rows = dir.filePath(QStringLiteral("utf8-rows.txt"));
    if (!dir.isValid() || !writeOneLineList(oneLine, lineMb) || !writeRows(big5Rows, rows, false) ||
        !writeRows(utf8Rows, rows, true)) {
        std::fprintf(stderr, "cannot write the list files\n");
        return 1;
    }
    print(QStringLiteral("one line of %1 MB").arg(lineMb), runChild(self, oneLine));
    print(QStringLiteral("%1 rows, Big5").arg(rows), runChild(self, big5Rows));
    print(QStringLiteral("%1 rows, UTF-8").arg(rows), runChild(self, utf8Rows));
    return 0;
}
