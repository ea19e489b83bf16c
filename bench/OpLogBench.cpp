// The operation log opens, appends and closes its file for every line, under one lock for all threads.
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace norvi;

static void BM_WriteOpLog(benchmark::State& state) {
    const QByteArray line = big5("傳送執行緒1(0000ABCD) 0912345678 傳送失敗 重送一次");
    for (auto _ : state)
        WriteOpLog(line);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteOpLog)->Threads(1)->Threads(2)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    SetOpLogFolder(folder.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
