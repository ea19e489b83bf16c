// A list query over 100,000 send-log rows of which none can be asked (every send failed): what the walk
// over the rows costs by itself, set against loading and saving the same log. Measured twice: as the
// command-line front end runs it (rows in file order, the progress bookkeeping), and as the desktop program
// does (the window set shown on the offscreen platform: the main window's list with its selection and
// handlers, the progress window). Arg 1 walks all rows, arg 0 the selected rows (all of them selected,
// so every row is deselected on the way: the most the walk can write to the selection).
// A follow-up round over the same rows, all final already (failed sends, arg 0; delivered messages, arg 1),
// in the desktop program: it must stay within twice the list query's walk, in time and in memory (it keeps
// nothing of a row it does not ask about).

#include "BenchJobs.h"
#include "WidgetsBenchMain.h"
#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogFile.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"
#include "gui/WindowSet.h"
#include "gui/sendlog/FollowUp.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstring>
#include <memory>
#include <numeric>

namespace {

using namespace norvi;

constexpr int kRows = 100000;

struct Environment {
    QTemporaryDir dir;
    Config settings;
    QString logPath;
    QString deliveredPath; // the same rows, every message sent and delivered

    bool start() {
        if (!dir.isValid())
            return false;
        settings.setStartDir(dir.path());
        QDir::setCurrent(dir.path());
        settings.edit([this](sConfig& c) {
            putField(c.logFiles, QFile::encodeName(dir.path()));
            putField(c.gwIp, QByteArray("127.0.0.1"));
            putField(c.gwAccount, QByteArray("demo"));
            putField(c.gwPasswd, QByteArray("demo"));
            c.gwPort = 9; // never reached: no row is asked
        });
        if (!WriteConfig(settings))
            return false;
        FileOrderJobRows log;
        for (int i = 0; i < kRows; ++i) {
            SendLogRow row;
            row.texts[ColName] = "A" + QByteArray::number(i);
            row.texts[ColMobile] = "09" + QByteArray::number(12000000 + i);
            row.texts[ColSendTime] = "20240301093000";
            row.texts[ColSendCode] = "-1";
            row.texts[ColSendResult] = big5("網路連線失敗");
            row.texts[ColContent] = big5("明天上午九點於三樓會議室開會，請準時出席。");
            row.image = ImageTyped;
            log.append(row);
        }
        logPath = QDir(dir.path()).filePath(QStringLiteral("big.log"));
        if (!log.save(logPath))
            return false;
        FileOrderJobRows delivered;
        for (int i = 0; i < kRows; ++i) {
            SendLogRow row = log.rows()[std::size_t(i)];
            row.texts[ColSendCode] = "0";
            row.texts[ColSendResult] = big5("訊息已成功送出(MsgId:NV") + QByteArray::number(i) + ')';
            row.texts[ColQueryCode] = "0";
            row.texts[ColQueryResult] = big5("訊息已送達對方(delivered)");
            delivered.append(row);
        }
        deliveredPath = QDir(dir.path()).filePath(QStringLiteral("delivered.log"));
        return delivered.save(deliveredPath);
    }
};

Environment* g_environment = nullptr;

void waitForWorker(SendThd* worker) {
    QPointer<SendThd> guarded(worker);
    if (guarded) {
        QEventLoop loop;
        QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QCoreApplication::sendPostedEvents();
}

void BM_CliQueryWalk(benchmark::State& state) {
    const bool allRows = state.range(0) != 0;
    double walkSeconds = 0;
    double loadSaveSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        FileOrderJobRows log;
        if (!log.load(g_environment->logPath))
            state.SkipWithError("load failed");
        const double load = double(timer.nsecsElapsed()) / 1e9;
        if (!allRows) {
            QVector<int> all(kRows);
            std::iota(all.begin(), all.end(), 0);
            log.select(all);
        }

        TrackerTarget progress;
        BenchOwner owner;
        JobRegistry jobs;
        jobs.channel().setProgressTarget(&progress);
        SendThd* worker = nullptr;
        int maximum = 0;
        QString error;
        timer.restart();
        if (!StartRowJob(jobs, TargetFor(g_environment->settings.record(), "127.0.0.1"), WorkerMode::Query, allRows,
                         &owner, &log, &log, &maximum, &error, &worker))
            state.SkipWithError(qPrintable(error));
        progress.tracker.start(maximum);
        waitForWorker(worker);
        const double walk = double(timer.nsecsElapsed()) / 1e9;
        if (!progress.tracker.done() || progress.steps != kRows)
            state.SkipWithError("the walk did not report every row");

        timer.restart();
        if (!log.save(QDir(g_environment->dir.path()).filePath(QStringLiteral("out.log"))))
            state.SkipWithError("save failed");
        loadSaveSeconds += load + double(timer.nsecsElapsed()) / 1e9;
        walkSeconds += walk;
        state.SetIterationTime(walk);
    }
    state.counters["load_save_ms"] = loadSaveSeconds * 1000 / double(state.iterations());
    state.SetLabel(allRows ? "all rows" : "selected rows");
}
BENCHMARK(BM_CliQueryWalk)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DesktopQueryWalk(benchmark::State& state) {
    const bool allRows = state.range(0) != 0;
    WindowSet windows;
    windows.show();
    TFormMain& main = windows.main();
    double walkSeconds = 0;
    double loadSaveSeconds = 0;
    for (auto _ : state) {
        main.logModel().clear();
        QElapsedTimer timer;
        timer.start();
        int read = 0;
        if (!loadLogFile(g_environment->logPath, main.logModel(), &read) || read != kRows)
            state.SkipWithError("load failed");
        const double load = double(timer.nsecsElapsed()) / 1e9;
        if (!allRows)
            main.listView()->selectAll();
        else
            main.listView()->selectionModel()->clearSelection();

        BenchOwner owner;
        SendThd* worker = nullptr;
        int maximum = 0;
        QString error;
        timer.restart();
        main.prepareProgress(allRows ? kRows : int(main.jobRows().selectedRows().size()));
        if (!StartRowJob(windows.jobs().registry(), TargetFor(g_environment->settings.record(), "127.0.0.1"),
                         WorkerMode::Query, allRows, &owner, &main.jobRows(), &main.jobRows(), &maximum, &error,
                         &worker))
            state.SkipWithError(qPrintable(error));
        windows.jobs().workerStarted(worker); // as the window's own start hands it over
        waitForWorker(worker);
        while (!windows.showProcess().tracker().done())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const double walk = double(timer.nsecsElapsed()) / 1e9;
        if (windows.showProcess().tracker().position() != kRows)
            state.SkipWithError("the walk did not report every row");
        windows.showProcess().hide();
        main.setEnabled(true);

        timer.restart();
        if (!saveLogFile(QDir(g_environment->dir.path()).filePath(QStringLiteral("out.log")), main.logModel()))
            state.SkipWithError("save failed");
        loadSaveSeconds += load + double(timer.nsecsElapsed()) / 1e9;
        walkSeconds += walk;
        state.SetIterationTime(walk);
    }
    main.setLogSaved(true); // nothing to ask about at the end
    state.counters["load_save_ms"] = loadSaveSeconds * 1000 / double(state.iterations());
    state.SetLabel(allRows ? "all rows" : "selected rows");
}
BENCHMARK(BM_DesktopQueryWalk)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DesktopFollowUpRound(benchmark::State& state) {
    WindowSet windows;
    windows.show();
    TFormMain& main = windows.main();
    int read = 0;
    if (!loadLogFile(state.range(0) != 0 ? g_environment->deliveredPath : g_environment->logPath, main.logModel(),
                     &read) ||
        read != kRows)
        state.SkipWithError("load failed");
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        main.followUp().start({1, 1});
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (main.followUp().active() || main.followUp().unsettled() != 0)
            state.SkipWithError("a final row was taken for one to ask about");
    }
    main.setLogSaved(true);
    state.SetLabel(state.range(0) != 0 ? "delivered rows" : "failed rows");
}
BENCHMARK(BM_DesktopFollowUpRound)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The answers of a list query taking their place in the desktop's list, as the worker hands them over, one
// drain per row (a gateway that answers slower than the hand-over's timer): each row the walk comes to is
// marked in the list's selection and each row asked gets its two query cells. range(0) rows are asked;
// range(1): 0, a whole-list job that asks every row; 1, a whole-list job that asks every other row (the rest
// are final); 2, a job over the selected rows (all of them) that asks every other row and lets go of the rest.
void BM_DesktopAnswersIntoList(benchmark::State& state) {
    const int asked = int(state.range(0));
    const int pattern = int(state.range(1));
    const int walked = pattern == 0 ? asked : 2 * asked;
    WindowSet windows;
    windows.show();
    TFormMain& main = windows.main();
    int read = 0;
    if (!loadLogFile(g_environment->deliveredPath, main.logModel(), &read) || read != kRows || walked > kRows)
        state.SkipWithError("load failed");
    ModelJobRows& rows = main.jobRows();
    const QByteArray result = big5("訊息已送達對方(delivered)");
    for (auto _ : state) {
        if (pattern == 2)
            main.listView()->selectAll();
        else
            main.listView()->selectionModel()->clearSelection();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        rows.walkBegins(pattern != 2);
        for (int i = 0; i < walked; ++i) {
            const quint64 id = rows.rowId(i);
            const bool ask = pattern == 0 || i % 2 == 0;
            rows.walked({id}, ask);
            if (ask)
                rows.answered(id, "0", result);
            rows.settle(); // the hand-over's batch ends
        }
        const int marked = rows.selectedCount(); // what waits to be shown is shown
        QCoreApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        const int expected = pattern == 2 ? kRows - (walked - asked) : asked;
        if (marked != expected)
            state.SkipWithError("the rows walked are not marked as they should be");
    }
    main.setLogSaved(true);
    state.counters["asked"] = asked;
}
BENCHMARK(BM_DesktopAnswersIntoList)
    ->ArgsProduct({{5000, 10000, 20000}, {0, 1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Lines in the main window's message area, as a run whose every message the gateway refuses writes them: one
// line a message, each shown before the next comes. range(0) lines into an empty area.
void BM_MessageAreaLines(benchmark::State& state) {
    WindowSet windows;
    windows.show();
    QCoreApplication::processEvents();
    const QByteArray line = big5("傳送執行緒1(0000417D) 0920000000[1] 傳送失敗: 8, 訊息內容不符規定");
    for (auto _ : state) {
        for (int i = 0; i < state.range(0); ++i) {
            ShowMsgLine(line);
            QCoreApplication::processEvents();
        }
    }
    windows.main().setLogSaved(true);
}
BENCHMARK(BM_MessageAreaLines)->Arg(2000)->Arg(8000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetsBenchmarksIn(argc, argv, g_environment, "the benchmark's send log could not be written");
}
