// One progress step per sent message, saved row or loaded record: what a step costs in the bookkeeping
// alone and in the progress window, where it also relabels and may resize.
#include "WidgetsBenchMain.h"
#include "core/shared/Clock.h"
#include "core/shared/Progress.h"
#include "core/workers/JobChannel.h"
#include "gui/shared/TFormShowProcess.h"

#include <QApplication>
#include <QCoreApplication>

#include <benchmark/benchmark.h>

using namespace norvi;

static void BM_TrackerStep(benchmark::State& state) {
    ProgressTracker tracker;
    tracker.start(int(state.max_iterations));
    const qint64 start = Clock::nowMSecsSinceEpoch();
    qint64 ms = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(tracker.handle(StateSending, start + ++ms));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrackerStep);

// Posts a batch of steps the way a save on the user-interface thread does, then lets the window catch up.
static void BM_WindowStepBatch(benchmark::State& state) {
    const int batch = int(state.range(0));
    TFormShowProcess window;
    JobChannel channel;
    channel.setProgressTarget(&window);
    for (auto _ : state) {
        window.setMaximum(batch);
        window.show();
        for (int i = 0; i < batch; ++i)
            channel.postShowProcess(StateLogSaving);
        QCoreApplication::sendPostedEvents(&window);
        window.hide();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_WindowStepBatch)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return RunWidgetsBenchmarks(argc, argv);
}
