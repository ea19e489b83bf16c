// A send run of 10,000 one-segment messages through the real worker into a real send-log model, against
// the in-process gateway simulator, set against the rate of the bare client exchange (one logged-in
// client sending the same requests itself). The worker's extra cost per segment is its two trips to
// the user-interface thread (add the row, fill it), the progress step and the model's sorted insert.

#include "GatewaySimulator.h"
#include "core/compose/ComposeState.h"
#include "core/gateway/GwRecords.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/sendlog/ModelSendLog.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"
#include "support/FaultRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace norvi;

constexpr int kMessages = 10000;

class BenchOwner : public JobOwner {
public:
    bool isSendDialog() const override { return true; }
    void closeForm() override {}
    void showResultBox(const QByteArray&, const QByteArray&) override {}
};

// The simulator, the configuration pointing at it, and a full SendQueue, as the fault run sets them up.
struct Environment {
    test::StartFolder dir;
    std::unique_ptr<gwsim::GatewaySimulator> sim;
    test::StepSink progress;

    bool start() {
        gwsim::SimOptions options;
        options.port = 0;
        sim = std::make_unique<gwsim::GatewaySimulator>(options);
        if (!sim->start() || !dir.isValid() ||
            !dir.writeConfig({QFile::encodeName(dir.path()), "127.0.0.1", sim->port(), "demo", "demo"}))
            return false;
        GatewayHost = "127.0.0.1";
        SetProgressTarget(&progress);
        test::queueOneSegmentMessages(kMessages, "benchmark message ");
        return true;
    }
    ~Environment() { SetProgressTarget(nullptr); }
};

Environment* g_environment = nullptr; // lives in main, inside the application's lifetime

Environment& environment() {
    return *g_environment;
}

// One logged-in client sending every queued segment itself: the ceiling for the worker.
double rawExchangeSeconds() {
    SMSendNorviGw client;
    client.SetHost(GatewayHost);
    client.SetPort(Config.gwPort);
    client.SetAccount(getField(Config.gwAccount));
    client.SetPassword(getField(Config.gwPasswd));
    QElapsedTimer timer;
    timer.start();
    if (!client.Login())
        qFatal("login to the simulator failed");
    QByteArray text;
    for (const sSendContent& r : SendQueue) {
        const QByteArray segment = getField(r.segments[0]);
        client.Clear();
        client.SetType(GwSendDomestic);
        client.SetCoding(1);
        client.SetMobile(getField(r.msisdn));
        client.SetContent(int(segment.size()), segment.constData());
        if (client.Send(text) != 0)
            qFatal("the simulator refused a message");
    }
    client.Logout();
    return double(timer.nsecsElapsed()) / 1e9;
}

// The whole run through the worker while this thread pumps events like the desktop program's.
double workerRunSeconds() {
    SendLogModel model;
    QItemSelectionModel selection(&model);
    ModelSendLog access(model, selection);
    BenchOwner owner;
    QElapsedTimer timer;
    timer.start();
    SendThd* worker = nullptr;
    QString error;
    if (!StartWorker(WorkerMode::Send, &owner, &access, QByteArray(), &error, &worker))
        qFatal("worker not started: %s", qPrintable(error));
    QEventLoop loop;
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (model.rowCount() != kMessages)
        qFatal("the run left %d rows instead of %d", model.rowCount(), kMessages);
    return seconds;
}

void BM_RawClientExchange(benchmark::State& state) {
    environment();
    double seconds = 0;
    for (auto _ : state) {
        const double s = rawExchangeSeconds();
        state.SetIterationTime(s);
        seconds += s;
    }
    state.counters["segments/s"] = double(kMessages) * double(state.iterations()) / seconds;
}
BENCHMARK(BM_RawClientExchange)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SendRunThroughWorker(benchmark::State& state) {
    environment();
    // The ceiling is measured next to each run, on the same simulator, so both see the same machine
    // load; the median of the per-run ratios keeps one disturbed run from deciding the figure.
    std::vector<double> ratios;
    double runSeconds = 0;
    double rawSeconds = 0;
    for (auto _ : state) {
        const double raw = rawExchangeSeconds();
        const double run = workerRunSeconds();
        state.SetIterationTime(run);
        rawSeconds += raw;
        runSeconds += run;
        ratios.push_back(raw / run);
    }
    std::sort(ratios.begin(), ratios.end());
    const double segments = double(kMessages) * double(state.iterations());
    state.counters["segments/s"] = segments / runSeconds;
    state.counters["raw_segments/s"] = segments / rawSeconds;
    state.counters["ratio_to_raw"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_SendRunThroughWorker)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    Environment env;
    if (!env.start())
        qFatal("the gateway simulator did not start");
    g_environment = &env;
    benchmark::RunSpecifiedBenchmarks();
    g_environment = nullptr;
    benchmark::Shutdown();
    return 0;
}
