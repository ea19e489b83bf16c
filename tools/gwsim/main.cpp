#include "GatewaySimulator.h"
#include "SimCommandLine.h"

#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>

using namespace norvi::gwsim;

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    SimOptions options;
    bool help = false;
    QString error;
    if (!parseCommandLine(args, options, help, &error)) {
        std::fprintf(stderr, "norvi-gwsim: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (help) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    options.verbose = true;
    // With TZ unset the C library checks /etc/localtime on every local-time conversion, and the
    // simulator makes one for every request; naming the same zone lets it read the file once.
    setenv("TZ", ":/etc/localtime", 0);

    // The signals are taken by sigwait below; blocking them first keeps every thread the simulator
    // starts from being interrupted by them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    GatewaySimulator simulator(options);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "norvi-gwsim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::fprintf(stdout, "stopping on signal %d\n", signal);
    std::fflush(stdout);
    simulator.stop();
    return 0;
}
