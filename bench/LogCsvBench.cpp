// log2csv at 100,000 rows: the CSV text of a large send log in both encodings, and loading the ".log"
// file in file order as the command line's query, cancel and resend do.
#include "core/sendlog/FileOrderJobRows.h"
#include "core/sendlog/LogCsv.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <random>
#include <vector>

using namespace norvi;

namespace {

constexpr int kRows = 100000;

// Rows like a real run's, with commas and quotes in some contents so the quoting path is taken too.
std::vector<SendLogRow> makeRows(int count) {
    std::mt19937 rng(20240301);
    const QByteArray names[] = {big5("陳小明"), big5("林美玲"), "Wang", ""};
    const QByteArray contents[] = {big5("明天上午九點於三樓會議室開會，請準時出席。"), "Hello, \"friend\"",
                                   big5("親愛的王小明您好，本月帳單金額為1,200元。")};
    std::vector<SendLogRow> rows;
    rows.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        SendLogRow row;
        row.texts[ColName] = names[rng() % 4];
        row.texts[ColMobile] = "09" + QByteArray::number(10000000 + rng() % 89999999);
        row.texts[ColSendTime] = "20240301" + QByteArray::number(100000 + rng() % 899999);
        row.texts[ColSendCode] = "0";
        row.texts[ColSendResult] = big5("訊息已成功送出(MsgId:") + QByteArray::number(quint64(rng()) * 977) + ")";
        row.texts[ColQueryCode] = (rng() % 2) ? "0" : QByteArray();
        row.texts[ColQueryResult] = row.texts[ColQueryCode].isEmpty() ? QByteArray() : big5("訊息已送達對方");
        row.texts[ColContent] = contents[rng() % 3];
        row.image = ImageTyped;
        rows.push_back(row);
    }
    return rows;
}

const std::vector<SendLogRow>& rows() {
    static const std::vector<SendLogRow> r = makeRows(kRows);
    return r;
}

void BM_LogCsvUtf8(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LogCsv(rows(), CsvEncoding::Utf8WithBom));
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LogCsvUtf8)->Unit(benchmark::kMillisecond);

void BM_LogCsvBig5(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LogCsv(rows(), CsvEncoding::Big5));
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_LogCsvBig5)->Unit(benchmark::kMillisecond);

void BM_RowListLoad(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("big.log"));
    LogFileWriter writer(path);
    writer.open(kRows);
    for (const SendLogRow& row : rows())
        writer.write(row);
    if (!writer.commit()) {
        state.SkipWithError("could not write the log file");
        return;
    }
    for (auto _ : state) {
        FileOrderJobRows log;
        benchmark::DoNotOptimize(log.load(path));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_RowListLoad)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
