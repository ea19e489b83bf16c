// norvi-cli send of a list of N recipients through a norvi-gwsim process, as a user runs it: the wall time,
// the rate, and the peak memory of norvi-cli (its maximum resident set, from wait4). With --baseline PATH
// the same runs are made with another norvi-cli (an earlier build) for comparison. Each run gets a fresh
// simulator, so none pays for the message states of another.
//
//   CliSendBench [--recipients 100000,1000000] [--baseline PATH] [--gwsim PATH] [--cli PATH]

#include "support/StartFolder.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using namespace norvi;

QString g_cli = QStringLiteral(NORVI_CLI_PATH);
QString g_gwsim = QStringLiteral(NORVI_GWSIM_PATH);
QString g_baseline;
std::vector<int> g_counts{100000, 300000};
std::unique_ptr<test::StartFolder> g_dir;

QString listOf(int count) {
    const QString path = QDir(g_dir->path()).filePath(QStringLiteral("list%1.txt").arg(count));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        chunk += "09" + QByteArray::number(10000000 + i) + '\n';
        if (chunk.size() > 1 << 20) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return path;
}

// A fresh simulator; its port, or 0. Its line per request goes to a file: a pipe nobody reads would
// stop it once full.
int startSimulator(QProcess& sim) {
    const QString said = g_dir->filePath(QStringLiteral("gwsim.out"));
    QFile::remove(said);
    sim.setProgram(g_gwsim);
    sim.setArguments(
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--account"), QStringLiteral("demo:demo")});
    sim.setStandardOutputFile(said);
    sim.start();
    if (!sim.waitForStarted(10000))
        return 0;
    static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:([0-9]+)"));
    for (int tries = 0; tries < 1000; ++tries) {
        QFile out(said);
        if (out.open(QIODevice::ReadOnly)) {
            const QRegularExpressionMatch m = listening.match(QString::fromUtf8(out.read(200)));
            if (m.hasMatch())
                return m.captured(1).toInt();
        }
        ::usleep(10000);
    }
    return 0;
}

struct Outcome {
    bool ok = false;
    double seconds = 0;
    long peakKb = 0;
};

// Runs norvi-cli as a child of its own, rows to /dev/null, and takes its resource use when it ends.
Outcome runCli(const QString& cli, const QString& list) {
    Outcome outcome;
    QProcess sim;
    const int port = startSimulator(sim);
    if (port == 0 || !g_dir->writeConfig({QFile::encodeName(g_dir->filePath(QStringLiteral("logfiles"))), "127.0.0.1",
                                          port, "demo", "demo"}))
        return outcome;
    QDir(g_dir->path()).mkpath(QStringLiteral("logfiles"));
    std::vector<QByteArray> args{QFile::encodeName(cli), "-C",     QFile::encodeName(g_dir->path()), "send", "--text",
                                 "benchmark message",    "--list", QFile::encodeName(list)};
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
    outcome.peakKb = usage.ru_maxrss;
    outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    sim.kill();
    sim.waitForFinished(5000);
    return outcome;
}

void sendBench(benchmark::State& state, QString cli, int count) {
    const QString list = listOf(count);
    for (auto _ : state) {
        const Outcome o = runCli(cli, list);
        if (!o.ok) {
            state.SkipWithError("norvi-cli send failed");
            return;
        }
        state.SetIterationTime(o.seconds);
        state.counters["peak_MB"] = double(o.peakKb) / 1024.0;
        state.counters["msgs_per_s"] = count / o.seconds;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i + 1 < argc && arg == QLatin1String("--recipients")) {
            g_counts.clear();
            for (const QString& n : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                g_counts.push_back(n.toInt());
        } else if (i + 1 < argc && arg == QLatin1String("--baseline")) {
            g_baseline = QString::fromLocal8Bit(argv[++i]);
        } else if (i + 1 < argc && arg == QLatin1String("--gwsim")) {
            g_gwsim = QString::fromLocal8Bit(argv[++i]);
        } else if (i + 1 < argc && arg == QLatin1String("--cli")) {
            g_cli = QString::fromLocal8Bit(argv[++i]);
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = int(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    g_dir = std::make_unique<test::StartFolder>();
    for (const int count : g_counts) {
        benchmark::RegisterBenchmark(QStringLiteral("CliSend/%1").arg(count).toStdString().c_str(), sendBench, g_cli,
                                     count)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
        if (!g_baseline.isEmpty())
            benchmark::RegisterBenchmark(QStringLiteral("CliSendBaseline/%1").arg(count).toStdString().c_str(),
                                         sendBench, g_baseline, count)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kSecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    g_dir.reset();
    return 0;
}
