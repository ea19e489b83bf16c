// The peak memory (maximum resident set, from wait4) of norvi-cli on inputs far larger than what it keeps:
// `send --list` of a list file that is one line of 200 MB (the gateway's port closed, so the list is read
// and checked whole and nothing is sent), `book import` of an import file with a line of 200 MB (into an
// empty book), `log2csv` and `undelivered` of a log of 200,000 rows (listing none of its messages, and all of
// them to standard output, a CSV file and a workbook; and all of a log whose every send failed), and with an
// address book of
// 1,000,000 members, `book list` and `send` to one member named on the command line (the port closed again: the book is
// read and the name looked up, then the run stops at its connection). Not a benchmark loop: it prints the figures, with
// each run's wall time.
//
//   CliMemoryBench [--cli PATH] [--line-mb N] [--rows N] [--members N]

#include "BenchFiles.h"
#include "support/StartFolder.h"

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include "core/addressbook/AddressBookRecords.h"
#include "core/shared/FixedField.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using namespace norvi;

struct Outcome {
    int exitCode = -1;
    long peakKb = 0;
    double seconds = 0;
    QString said; // the last line on standard error
};

// Runs norvi-cli with its output thrown away (standard error kept in the start folder) and takes its
// resource use when it ends.
Outcome runCli(const QString& cli, const QString& startDir, const QStringList& arguments) {
    const QByteArray errors = QFile::encodeName(QDir(startDir).filePath(QStringLiteral("stderr.txt")));
    std::vector<QByteArray> args{QFile::encodeName(cli), "-C", QFile::encodeName(startDir)};
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(::open(errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
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
    QFile said(QFile::decodeName(errors));
    if (said.open(QIODevice::ReadOnly))
        outcome.said = QString::fromUtf8(said.readAll()).trimmed().section(QLatin1Char('\n'), -1);
    return outcome;
}

// A number, a comma and `megabytes` MB of text without a line end.
bool writeOneLineList(const QString& path, int megabytes) {
    return WriteLongLineFile(path, "0912000001,", megabytes, "\n0912000002,next\n");
}

// A header, a member whose line goes on for `megabytes` MB past its two columns, and one more member.
bool writeLongImport(const QString& path, int megabytes) {
    return WriteLongLineFile(path, "name,msisdn,desc\nLong,0912000001,", megabytes, "\nShort,0912000002,next\n");
}

// Every row accepted by the gateway, or (`failed`) every one refused.
bool writeLog(const QString& path, int rows, bool failed = false) {
    LogFileWriter writer(path);
    if (!writer.open(rows))
        return false;
    const QByteArray sent = big5(QStringLiteral("訊息已成功送出(MsgId:"));
    const QByteArray refused = big5(QStringLiteral("閘道拒絕"));
    SendLogRow row;
    row.image = ImageTyped;
    for (int i = 0; i < rows; ++i) {
        row.texts = {"0912" + QByteArray::number(100000 + i),
                     "0912" + QByteArray::number(100000 + i),
                     "20240102030405",
                     failed ? "11" : "0",
                     failed ? refused : sent + QByteArray::number(7000000 + i) + ")",
                     "",
                     "",
                     "benchmark message"};
        writer.write(row);
    }
    return writer.commit();
}

// AddressBook.bin of `members` members called "Member 1", "Member 2", ..., written a record at a time.
bool writeBook(const QString& path, int members) {
    QFile file(path);
    char header[8];
    qToLittleEndian<qint32>(members, header);
    qToLittleEndian<qint32>(0, header + 4);
    if (!file.open(QIODevice::WriteOnly) || file.write(header, sizeof header) != sizeof header)
        return false;
    for (int32_t id = 1; id <= members; ++id) {
        sMember m;
        std::memset(&m, 0, sizeof m);
        m.id = id;
        putField(m.name, "Member " + QByteArray::number(id));
        putField(m.msisdn, "09" + QByteArray::number(10000000 + id));
        if (file.write(reinterpret_cast<const char*>(&m), sizeof m) != sizeof m)
            return false;
    }
    return file.flush();
}

void print(const char* what, const Outcome& o) {
    std::printf("%-40s exit %d  peak %.1f MB  %.2f s  %s\n", what, o.exitCode, double(o.peakKb) / 1024.0, o.seconds,
                o.said.toUtf8().constData());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString cli = QStringLiteral(NORVI_CLI_PATH);
    int lineMb = 200;
    int rows = 200000;
    int members = 1000000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--cli"))
            cli = args[i + 1];
        else if (args[i] == QLatin1String("--line-mb"))
            lineMb = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--members"))
            members = args[i + 1].toInt();
    }
    test::StartFolder dir;
    // Port 9 on the loopback: nobody listens, so the run ends at its first connection.
    if (!dir.writeConfig(
            {QFile::encodeName(dir.filePath(QStringLiteral("logfiles"))), "127.0.0.1", 9, "demo", "demo"}) ||
        !QDir(dir.path()).mkpath(QStringLiteral("logfiles"))) {
        std::fprintf(stderr, "cannot set up the start folder\n");
        return 1;
    }
    const QString list = dir.filePath(QStringLiteral("long-line.txt"));
    const QString log = dir.filePath(QStringLiteral("rows.log"));
    const QString import = dir.filePath(QStringLiteral("long-line.csv"));
    if (!writeOneLineList(list, lineMb) || !writeLongImport(import, lineMb) || !writeLog(log, rows)) {
        std::fprintf(stderr, "cannot write the input files\n");
        return 1;
    }
    print(QStringLiteral("send --list (one line of %1 MB)").arg(lineMb).toUtf8().constData(),
          runCli(cli, dir.path(),
                 {QStringLiteral("send"), QStringLiteral("--text"), QStringLiteral("bench"), QStringLiteral("--list"),
                  list}));
    print(QStringLiteral("book import (a line of %1 MB)").arg(lineMb).toUtf8().constData(),
          runCli(cli, dir.path(),
                 {QStringLiteral("book"), QStringLiteral("import"), QStringLiteral("--map"),
                  QStringLiteral("name,msisdn"), import}));
    QFile::remove(dir.filePath(QStringLiteral("AddressBook.bin")));
    print(QStringLiteral("log2csv (%1 rows)").arg(rows).toUtf8().constData(),
          runCli(cli, dir.path(), {QStringLiteral("log2csv"), log}));
    // Every message of the log is accepted and not queried yet: 未查詢 lists them all, 失敗 (the default) none.
    print(QStringLiteral("undelivered (%1 rows, none listed)").arg(rows).toUtf8().constData(),
          runCli(cli, dir.path(), {QStringLiteral("undelivered"), QStringLiteral("--log"), log}));
    const QString allListed = QStringLiteral("undelivered 未查詢 (%1 rows, all listed) %2");
    const QStringList notAsked{QStringLiteral("undelivered"), QStringLiteral("--log"), log, QStringLiteral("--classes"),
                               QStringLiteral("未查詢")};
    print(allListed.arg(rows).arg(QStringLiteral("stdout")).toUtf8().constData(), runCli(cli, dir.path(), notAsked));
    print(allListed.arg(rows).arg(QStringLiteral("--out")).toUtf8().constData(),
          runCli(cli, dir.path(),
                 notAsked + QStringList{QStringLiteral("--out"), dir.filePath(QStringLiteral("u.csv"))}));
    print(allListed.arg(rows).arg(QStringLiteral("--xlsx")).toUtf8().constData(),
          runCli(cli, dir.path(),
                 notAsked + QStringList{QStringLiteral("--xlsx"), dir.filePath(QStringLiteral("u.xlsx"))}));
    // Every send refused: 失敗 lists them all, and every message stays open for a resend.
    const QString failedLog = dir.filePath(QStringLiteral("failed.log"));
    if (!writeLog(failedLog, rows, true)) {
        std::fprintf(stderr, "cannot write the input files\n");
        return 1;
    }
    print(QStringLiteral("undelivered 失敗 (%1 rows failed) --out").arg(rows).toUtf8().constData(),
          runCli(cli, dir.path(),
                 {QStringLiteral("undelivered"), QStringLiteral("--log"), failedLog, QStringLiteral("--out"),
                  dir.filePath(QStringLiteral("f.csv"))}));

    if (!writeBook(dir.filePath(QStringLiteral("AddressBook.bin")), members)) {
        std::fprintf(stderr, "cannot write the address book\n");
        return 1;
    }
    print(QStringLiteral("book list (%1 members)").arg(members).toUtf8().constData(),
          runCli(cli, dir.path(), {QStringLiteral("book"), QStringLiteral("list")}));
    print(QStringLiteral("send =\"Member %1\" (%2 members)").arg(members - 7).arg(members).toUtf8().constData(),
          runCli(cli, dir.path(),
                 {QStringLiteral("send"), QStringLiteral("--text"), QStringLiteral("bench"),
                  QStringLiteral("=Member %1").arg(members - 7)}));
    return 0;
}
