// The send log at 100,000 rows: saving and loading a ".log" file, sorting by each column, rows
// arriving one by one in sorted position as during a long send run, and the same rows recorded one
// write each in a journal (what the journal adds to a send run per row, without the gateway).
#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecordCheck.h"
#include "core/sendlog/LogStream.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Big5.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include <random>
#include <vector>

using namespace norvi;

namespace {

constexpr int kRows = 100000;

// Rows that look like a real run: a few thousand recipients, mostly successful codes, reservations
// now and then, and contents of every length.
std::vector<SendLogRow> makeRows(int count) {
    std::mt19937 rng(20240301);
    const QByteArray surnames[] = {big5("陳"), big5("林"), big5("黃"), big5("張"), big5("李"), "Wang", "lee"};
    const QByteArray given[] = {big5("小明"), big5("美玲"), big5("志豪"), big5("淑芬"), big5("家豪"), ""};
    const QByteArray codes[] = {"0", "0", "0", "0", "10", "9", "-1", "31"};
    std::vector<SendLogRow> rows;
    rows.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        SendLogRow row;
        row.texts[ColName] = surnames[rng() % 7] + given[rng() % 6] + QByteArray::number(rng() % 500);
        row.texts[ColMobile] = "09" + QByteArray::number(10000000 + rng() % 89999999);
        row.texts[ColSendTime] = "202403" + QByteArray::number(10000000 + rng() % 89999999);
        row.texts[ColSendCode] = codes[rng() % 8];
        row.texts[ColSendResult] = big5("傳送成功(MsgId:") + QByteArray::number(quint64(rng()) * 977) + ")";
        row.texts[ColQueryCode] = (rng() % 3) ? QByteArray::number(rng() % 5) : QByteArray();
        row.texts[ColQueryResult] = (rng() % 3) ? big5("已送達手機") : QByteArray();
        row.texts[ColContent] = big5("明天上午九點於三樓會議室開會，請準時出席。").left(int(10 + rng() % 150));
        row.image = (rng() % 3 == 0) ? ImageMember : ImageTyped;
        row.codeImage = (rng() % 10 == 0) ? ImageReservation : ImageNone;
        rows.push_back(row);
    }
    return rows;
}

const std::vector<SendLogRow>& sampleRows() {
    static const std::vector<SendLogRow> rows = makeRows(kRows);
    return rows;
}

void fill(SendLogModel& model) {
    for (const SendLogRow& row : sampleRows())
        model.addRow(row);
}

void BM_SaveLog(benchmark::State& state) {
    QTemporaryDir dir;
    SendLogModel model;
    model.columnClick(ColName);
    fill(model);
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench.log"));
    for (auto _ : state) {
        if (!saveLogFile(path, model))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SaveLog)->Unit(benchmark::kMillisecond);

void BM_LoadLog(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench.log"));
    {
        SendLogModel model;
        model.columnClick(ColName);
        fill(model);
        saveLogFile(path, model);
    }
    for (auto _ : state) {
        SendLogModel model;
        model.columnClick(ColName); // a load always starts from the name order
        int read = 0;
        if (!loadLogFile(path, model, &read) || read != kRows)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LoadLog)->Unit(benchmark::kMillisecond);

// The pass the desktop load makes over every record before it asks whether to clear the list.
void BM_CheckLog(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench.log"));
    {
        SendLogModel model;
        fill(model);
        saveLogFile(path, model);
    }
    for (auto _ : state) {
        const LogFileCheck check = CheckLogFile(path);
        if (!check.opened || !check.refusal.isEmpty())
            state.SkipWithError("check failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_CheckLog)->Unit(benchmark::kMillisecond);

// One column click each iteration: ascending and descending alternate.
void BM_SortByColumn(benchmark::State& state) {
    SendLogModel model;
    fill(model);
    const int column = int(state.range(0));
    for (auto _ : state)
        model.columnClick(column);
    state.SetLabel(SendLogModel::plainCaption(column).toStdString());
}
BENCHMARK(BM_SortByColumn)->DenseRange(0, kSendLogColumns - 1)->Unit(benchmark::kMillisecond);

// A send run: each row is added with its caption, then its cells are written, so while the list is sorted
// by a cell the previous row moves to its place when the next one arrives.
void BM_AppendRowsOneByOne(benchmark::State& state) {
    const int column = int(state.range(0));
    for (auto _ : state) {
        SendLogModel model;
        model.columnClick(column);
        for (const SendLogRow& row : sampleRows()) {
            const quint64 id = model.addRow(row.caption(), row.image);
            const int position = model.positionOf(id);
            for (int c = ColMobile; c < kSendLogColumns; ++c)
                model.setText(position, c, row.texts[std::size_t(c)]);
            model.setCodeImage(position, row.codeImage);
        }
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    state.SetLabel(SendLogModel::plainCaption(column).toStdString());
}
BENCHMARK(BM_AppendRowsOneByOne)->Arg(ColName)->Arg(ColSendCode)->Arg(ColContent)->Unit(benchmark::kMillisecond);

// 失敗重發 of a long log keeps its rows and selects the failed ones: a run then adds its rows to a list of
// 100,000 with every third row selected, a batch of rows each time the user-interface thread takes them.
void BM_RunIntoSelectedList(benchmark::State& state) {
    constexpr int kAdded = 3000;
    constexpr int kBatch = 500;
    const int column = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        SendLogModel model;
        fill(model);
        if (column != ColName)
            model.columnClick(column);
        QItemSelectionModel selection(&model);
        ModelJobRows rows(model, selection);
        QVector<int> failed;
        for (int p = 0; p < model.rowCount(); p += 3)
            failed.append(p);
        rows.setSelectedRows(failed, true);
        state.ResumeTiming();
        for (int i = 0; i < kAdded; ++i) {
            if (i % kBatch == 0)
                rows.beginBatch();
            const SendLogRow& row = sampleRows()[std::size_t(i)];
            const quint64 id = rows.addRow(row.caption(), row.image, row.texts[ColMobile], row.texts[ColSendTime]);
            rows.fillSendResult(id, row.texts[ColSendCode], row.codeImage, row.texts[ColSendResult],
                                row.texts[ColContent]);
            if (i % kBatch == kBatch - 1)
                rows.endBatch();
        }
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * kAdded);
    state.SetLabel(SendLogModel::plainCaption(column).toStdString());
}
BENCHMARK(BM_RunIntoSelectedList)->Arg(ColName)->Arg(ColSendCode)->Unit(benchmark::kMillisecond)->Iterations(1);

// A run's rows into a journal as the worker writes them: one append per row while the stream's own thread
// syncs once a second, then the sync of the run's end. The file is created outside the timing.
void BM_JournalAppend(benchmark::State& state) {
    const std::vector<SendLogRow>& rows = sampleRows(); // made before the timing
    QTemporaryDir dir;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LogStream journal;
        if (!journal.create(QDir(dir.path()).filePath(QStringLiteral("journal-%1.log").arg(++round)))) {
            state.SkipWithError("the journal was not created");
            break;
        }
        state.ResumeTiming();
        bool written = true;
        for (const SendLogRow& row : rows) {
            written = journal.append(row);
            if (!written)
                break;
        }
        if (!written || !journal.sync()) {
            state.SkipWithError("the journal was not written");
            break;
        }
        state.PauseTiming();
        journal.discard();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_JournalAppend)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
