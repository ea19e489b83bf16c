// The desktop program's runs against the in-process gateway simulator, the window set shown on the offscreen
// platform: the main window's list, its message area and the progress window take every row and line the
// worker hands over, as they do for a user.
//
// BM_DesktopSendRun: a send run whose every message the gateway accepts (arg 0) or refuses with code 10
// (arg 1). A refusal writes a line in the message area besides its row; `refused_to_accepted` is the time of
// the refused run over the accepted one's, taken round by round, so the machine's load cancels out.
//
// BM_ListQueryAnswers: a list query over rows sent to the simulator, every row asked. Arg 0: the messages
// were delivered (answer 0); arg 1: they were not yet (answer 4, which writes a line per row). Arg 2 picks
// the front end: 0 norvi-cli's (rows in file order, progress bookkeeping only), 1 the desktop's. The
// desktop's figure set against norvi-cli's over the same simulator is what its list, selection and progress
// window cost; `desktop_to_cli` is that ratio of times, taken round by round.

#include "BenchJobs.h"
#include "GatewaySimulator.h"
#include "WidgetsBenchMain.h"
#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/shared/Clock.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"
#include "gui/WindowSet.h"
#include "support/FaultRun.h"
#include "support/StartFolder.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using namespace norvi;

constexpr int kMessages = 3000;
constexpr int kQueried = 10000;
constexpr int kRefusalCode = 10;

void waitForWorker(SendThd* worker) {
    QPointer<SendThd> guarded(worker);
    if (guarded) {
        QEventLoop loop;
        QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QCoreApplication::sendPostedEvents();
}

std::unique_ptr<gwsim::GatewaySimulator> startedSimulator(int deliverAfterSeconds) {
    gwsim::SimOptions options;
    options.port = 0;
    options.deliverAfterSeconds = deliverAfterSeconds;
    options.keepRequests = 16;
    auto sim = std::make_unique<gwsim::GatewaySimulator>(options);
    if (!sim->start())
        qFatal("the simulator did not start");
    return sim;
}

struct Environment {
    test::StartFolder dir;
    std::unique_ptr<gwsim::GatewaySimulator> sim = startedSimulator(0);
    std::unique_ptr<gwsim::GatewaySimulator> pending = startedSimulator(3600); // delivers nothing
    QString deliveredLog;
    QString pendingLog;

    bool start() {
        if (!dir.isValid() ||
            !dir.writeConfig({QFile::encodeName(dir.path()), "127.0.0.1", sim->port(), "demo", "demo"}))
            return false;
        deliveredLog = dir.filePath(QStringLiteral("delivered.log"));
        pendingLog = dir.filePath(QStringLiteral("pending.log"));
        return sendAll(*sim, deliveredLog) && sendAll(*pending, pendingLog);
    }

    GatewayTarget target(const gwsim::GatewaySimulator& s) const {
        GatewayTarget t = dir.gateway();
        t.port = s.port();
        return t;
    }

    // kQueried messages sent to `s` as norvi-cli sends them, their rows saved to `path`.
    bool sendAll(const gwsim::GatewaySimulator& s, const QString& path) const {
        FileOrderJobRows log;
        TrackerTarget progress;
        BenchOwner owner;
        JobRegistry jobs;
        jobs.channel().setProgressTarget(&progress);
        SendThd* worker = nullptr;
        QString error;
        SendRun run = SendRun::ofQueue(test::queueOneSegmentMessages(kQueried, "query bench "), target(s), &owner,
                                       SendSchedule{});
        if (!StartSendWorker(jobs, std::move(run), &log, &error, &worker))
            return false;
        waitForWorker(worker);
        return int(log.rows().size()) == kQueried && log.save(path);
    }
};

Environment* g_environment = nullptr;

int messageAreaLines(TFormMain& main) {
    return main.findChild<QPlainTextEdit*>()->document()->blockCount();
}

// One send run of kMessages through the desktop's list; its seconds.
double desktopSendRun(WindowSet& windows, bool refused) {
    TFormMain& main = windows.main();
    main.logModel().clear();
    if (refused)
        g_environment->sim->failNextSends(kRefusalCode, kMessages);
    BenchOwner owner;
    SendRun run = SendRun::ofQueue(test::queueOneSegmentMessages(kMessages, "send bench "),
                                   g_environment->target(*g_environment->sim), &owner, SendSchedule{});
    const int linesBefore = messageAreaLines(main);
    QElapsedTimer timer;
    timer.start();
    main.prepareProgress(kMessages);
    SendThd* worker = nullptr;
    QString error;
    if (!StartSendRun(windows.jobs().registry(), std::move(run), &main.jobRows(), &error, &worker))
        qFatal("the run did not start: %s", qPrintable(error));
    windows.jobs().workerStarted(worker);
    waitForWorker(worker);
    while (!windows.showProcess().tracker().done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    windows.jobs().dismissProgress();
    main.setEnabled(true);
    // The worker's start and end lines, and one line per refusal.
    if (main.logModel().rowCount() != kMessages || messageAreaLines(main) - linesBefore < (refused ? kMessages : 0))
        qFatal("the run left %d rows and %d lines", main.logModel().rowCount(), messageAreaLines(main) - linesBefore);
    return seconds;
}

void BM_DesktopSendRun(benchmark::State& state) {
    const bool refused = state.range(0) != 0;
    WindowSet windows;
    windows.show();
    QCoreApplication::processEvents();
    double seconds = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        const double run = desktopSendRun(windows, refused);
        state.SetIterationTime(run);
        seconds += run;
        if (refused)
            ratios.push_back(run / desktopSendRun(windows, false));
    }
    windows.main().setLogSaved(true);
    state.counters["messages/s"] = double(kMessages) * double(state.iterations()) / seconds;
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["refused_to_accepted"] = ratios[ratios.size() / 2];
    }
    state.SetLabel(refused ? "every message refused" : "every message accepted");
}
BENCHMARK(BM_DesktopSendRun)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

double cliQuery(const QString& path, const GatewayTarget& target) {
    FileOrderJobRows log;
    if (!log.load(path))
        qFatal("load failed");
    TrackerTarget progress;
    BenchOwner owner;
    JobRegistry jobs;
    jobs.channel().setProgressTarget(&progress);
    SendThd* worker = nullptr;
    int maximum = 0;
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!StartRowJob(jobs, target, WorkerMode::Query, true, &owner, &log, &log, &maximum, &error, &worker))
        qFatal("the query did not start: %s", qPrintable(error));
    progress.tracker.start(maximum);
    waitForWorker(worker);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!progress.tracker.done() || progress.tracker.position() != kQueried)
        qFatal("the query did not report every row");
    return seconds;
}

double desktopQuery(WindowSet& windows, const QString& path, const GatewayTarget& target) {
    TFormMain& main = windows.main();
    main.logModel().clear();
    int read = 0;
    if (!loadLogFile(path, main.logModel(), &read) || read != kQueried)
        qFatal("load failed");
    main.listView()->selectionModel()->clearSelection();
    BenchOwner owner;
    SendThd* worker = nullptr;
    int maximum = 0;
    QString error;
    QElapsedTimer timer;
    timer.start();
    main.prepareProgress(kQueried);
    if (!StartRowJob(windows.jobs().registry(), target, WorkerMode::Query, true, &owner, &main.jobRows(),
                     &main.jobRows(), &maximum, &error, &worker))
        qFatal("the query did not start: %s", qPrintable(error));
    windows.jobs().workerStarted(worker);
    waitForWorker(worker);
    while (!windows.showProcess().tracker().done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (windows.showProcess().tracker().position() != kQueried)
        qFatal("the query did not report every row");
    windows.jobs().dismissProgress();
    main.setEnabled(true);
    return seconds;
}

void BM_ListQueryAnswers(benchmark::State& state) {
    const bool pending = state.range(0) != 0;
    const bool desktop = state.range(1) != 0;
    const QString& path = pending ? g_environment->pendingLog : g_environment->deliveredLog;
    const GatewayTarget target = g_environment->target(pending ? *g_environment->pending : *g_environment->sim);
    double seconds = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        if (!desktop) {
            const double run = cliQuery(path, target);
            state.SetIterationTime(run);
            seconds += run;
            continue;
        }
        double run = 0;
        {
            // A window set of its own each round: norvi-cli's run that follows has no message area to write to.
            WindowSet windows;
            windows.show();
            QCoreApplication::processEvents();
            run = desktopQuery(windows, path, target);
            windows.main().setLogSaved(true);
        }
        state.SetIterationTime(run);
        seconds += run;
        ratios.push_back(run / cliQuery(path, target));
    }
    state.counters["rows/s"] = double(kQueried) * double(state.iterations()) / seconds;
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["desktop_to_cli"] = ratios[ratios.size() / 2];
    }
    state.SetLabel(QStringLiteral("%1, %2")
                       .arg(pending ? QStringLiteral("not delivered") : QStringLiteral("delivered"),
                            desktop ? QStringLiteral("desktop") : QStringLiteral("norvi-cli"))
                       .toStdString());
}
BENCHMARK(BM_ListQueryAnswers)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetsBenchmarksIn(argc, argv, g_environment, "the benchmark's send logs could not be made");
}
