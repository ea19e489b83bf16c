// How long a stop takes inside a reply wait: the in-process stop (the job's StopFlag, as 中斷 sets it, while the worker
// waits for a reply of a 60 s reply wait) until the worker is gone, and Ctrl+C (SIGINT) to norvi-cli in the
// same wait until the process has exited with its log saved. Two gateways: one that takes the login and
// then never answers (the stop's grace for the answer in flight runs out), and one that answers every
// request 0.3 s late, stopped 0.1 s into the wait (the answer arrives within the grace and is kept). Each
// is measured several times; the median and the longest are printed. With --silent-run
// it also times a send to 20 recipients with the default waits (30 s per reply, two attempts), which gives
// up after three recipients in a row got no answer.
//
//   StopLatencyBench [--rounds N] [--silent-run]

#include "GatewaySimulator.h"

#include "core/sendlog/FileOrderJobRows.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <signal.h>

using namespace norvi;

namespace {

class Owner : public JobOwner {
public:
    void closeForm() override {}
    void showResultBox(const QByteArray&, const QByteArray&) override {}
};

int sendRequests(const gwsim::GatewaySimulator& sim) {
    int n = 0;
    for (const sGwRequest& r : sim.requests())
        n += r.msg_type == GwSendDomestic ? 1 : 0;
    return n;
}

int g_afterSendMs = 200;

void waitForSends(const gwsim::GatewaySimulator& sim, int count) {
    QElapsedTimer waited;
    waited.start();
    while (sendRequests(sim) < count && waited.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    QThread::msleep(unsigned(g_afterSendMs)); // well inside the reply wait
}

sSendContent record(const QByteArray& msisdn) {
    sSendContent r;
    std::memset(&r, 0, sizeof r);
    r.kind = KindTyped;
    putCString(r.msisdn, msisdn);
    putCString(r.segments[0], "hi");
    r.segmentCount = 1;
    return r;
}

// One in-process stop: a worker waits for the reply to its first message; milliseconds until it is gone.
double inProcessStop(gwsim::GatewaySimulator& sim) {
    std::list<sSendContent> SendQueue;
    for (int i = 0; i < 5; ++i)
        SendQueue.push_back(record("09120000" + QByteArray::number(10 + i)));
    FileOrderJobRows log;
    Owner owner;
    JobRegistry jobs;
    SendThd* worker = nullptr;
    QString error;
    const int before = sendRequests(sim);
    // A reply wait far longer than the stop may take.
    if (!StartSendWorker(
            jobs,
            SendRun::ofQueue(std::move(SendQueue), GatewayTarget{"127.0.0.1", sim.port(), "demo", "demo", 60}, &owner),
            &log, &error, &worker))
        return -1;
    QPointer<SendThd> alive(worker);
    waitForSends(sim, before + 1);
    QElapsedTimer timer;
    timer.start();
    jobs.requestStop();
    QEventLoop loop;
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (alive)
        loop.exec();
    return double(timer.nsecsElapsed()) / 1e6;
}

// One Ctrl+C: norvi-cli waits for the reply to its first message; milliseconds until it has exited.
double cliStop(gwsim::GatewaySimulator& sim, const QString& startDir, int* exitCode) {
    // Each round writes the log afresh: norvi-cli never replaces an earlier round's.
    QFile::remove(QDir(startDir).filePath(QStringLiteral("stop.log")));
    QProcess cli;
    cli.setProgram(QStringLiteral(NORVI_CLI_PATH));
    cli.setArguments({QStringLiteral("-C"), startDir, QStringLiteral("--reply-wait"), QStringLiteral("60"),
                      QStringLiteral("send"), QStringLiteral("--text"), QStringLiteral("hi"), QStringLiteral("--log"),
                      QDir(startDir).filePath(QStringLiteral("stop.log")), QStringLiteral("0912000010"),
                      QStringLiteral("0912000011"), QStringLiteral("0912000012")});
    const int before = sendRequests(sim);
    cli.start();
    if (!cli.waitForStarted(10000))
        return -1;
    waitForSends(sim, before + 1);
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(cli.processId()), SIGINT);
    if (!cli.waitForFinished(90000))
        return -1;
    *exitCode = cli.exitCode();
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %8.1f ms   longest %8.1f ms   (%zu rounds)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int rounds = 5;
    bool silentRun = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--silent-run") == 0)
            silentRun = true;
    }
    QTemporaryDir dir;
    gwsim::SimOptions options;
    options.port = 0;
    options.silentAfter = 1; // the login is answered, nothing after it
    gwsim::GatewaySimulator sim(options);
    QString error;
    if (!dir.isValid() || !sim.start(&error)) {
        std::fprintf(stderr, "cannot start: %s\n", qPrintable(error));
        return 1;
    }
    Config settings(dir.path());
    settings.edit([&sim](sConfig& c) {
        putField(c.gwIp, "127.0.0.1");
        c.gwPort = sim.port();
        putField(c.gwAccount, "demo");
        putField(c.gwPasswd, "demo");
    });
    if (!WriteConfig(settings)) {
        std::fprintf(stderr, "cannot write the configuration\n");
        return 1;
    }

    gwsim::SimOptions lateOptions;
    lateOptions.port = 0;
    lateOptions.replyFaults.delayMs = 300;
    gwsim::GatewaySimulator late(lateOptions);
    if (!late.start(&error)) {
        std::fprintf(stderr, "cannot start: %s\n", qPrintable(error));
        return 1;
    }
    struct Gateway {
        gwsim::GatewaySimulator* sim;
        int afterSendMs;
        const char* what;
    };
    for (const Gateway& g : {Gateway{&sim, 200, "silent gateway"}, Gateway{&late, 100, "answer 0.3 s late"}}) {
        settings.edit([&g](sConfig& c) { c.gwPort = g.sim->port(); });
        g_afterSendMs = g.afterSendMs;
        if (!WriteConfig(settings)) {
            std::fprintf(stderr, "cannot write the configuration\n");
            return 1;
        }
        std::vector<double> inProcess, cli;
        for (int i = 0; i < rounds; ++i)
            inProcess.push_back(inProcessStop(*g.sim));
        report(qPrintable(QStringLiteral("in-process stop, %1").arg(QString::fromLatin1(g.what))), inProcess);
        int exitCode = -1;
        for (int i = 0; i < rounds; ++i)
            cli.push_back(cliStop(*g.sim, dir.path(), &exitCode));
        report(qPrintable(QStringLiteral("norvi-cli SIGINT, %1").arg(QString::fromLatin1(g.what))), cli);
        std::printf("norvi-cli exit code after SIGINT: %d\n", exitCode);
    }
    settings.edit([&sim](sConfig& c) { c.gwPort = sim.port(); });
    WriteConfig(settings);

    if (silentRun) {
        QStringList args{QStringLiteral("-C"),
                         dir.path(),
                         QStringLiteral("send"),
                         QStringLiteral("--text"),
                         QStringLiteral("hi"),
                         QStringLiteral("--log"),
                         dir.filePath(QStringLiteral("silent.log"))};
        for (int i = 0; i < 20; ++i)
            args << QStringLiteral("09130000%1").arg(10 + i);
        QProcess run;
        QElapsedTimer timer;
        timer.start();
        run.start(QStringLiteral(NORVI_CLI_PATH), args);
        run.waitForFinished(-1);
        int rows = 0;
        for (const QString& line : QString::fromUtf8(run.readAllStandardOutput()).split(QLatin1Char('\n')))
            rows += line.count(QLatin1Char('\t')) == 7 ? 1 : 0;
        std::printf("20 recipients, default waits, silent gateway: %.1f s, exit code %d, %d rows\n",
                    double(timer.elapsed()) / 1000.0, run.exitCode(), rows);
    }
    return 0;
}
