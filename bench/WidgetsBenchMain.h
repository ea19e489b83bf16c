#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

#include <functional>

// The main() of a benchmark of windows: drawn off screen unless QT_QPA_PLATFORM says where, under one
// application for every benchmark. `around`, when given, sets up what the benchmarks share and runs them
// (the call it is handed) inside it.
inline int RunWidgetsBenchmarks(int argc, char** argv,
                                const std::function<void(const std::function<void()>& runAll)>& around = {}) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The benchmark's own options are taken out first, so the application never sees them.
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    const std::function<void()> runAll = [] { benchmark::RunSpecifiedBenchmarks(); };
    if (around)
        around(runAll);
    else
        runAll();
    benchmark::Shutdown();
    return 0;
}

// RunWidgetsBenchmarks with an `Environment` the benchmarks share, made and started once before they run and
// reached through `current` meanwhile; `failure` is said when it cannot start.
template <typename Environment>
int RunWidgetsBenchmarksIn(int argc, char** argv, Environment*& current, const char* failure) {
    return RunWidgetsBenchmarks(argc, argv, [&current, failure](const std::function<void()>& runAll) {
        Environment env;
        if (!env.start())
            qFatal("%s", failure);
        current = &env;
        runAll();
        current = nullptr;
    });
}
