// 使用量統計 and norvi-cli usage over a month of logs: 100 logs of 10,000 rows each, read and counted day by day.
// The aim is a month under 3 s.
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/workers/MonthUsage.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <random>

using namespace norvi;

namespace {

constexpr int kLogs = 100;
constexpr int kRowsPerLog = 10000;

// The logs of a month: each of a day's runs, its rows sent, refused, unanswered, delivered or not.
struct MonthOfLogs {
    QTemporaryDir dir;
    QStringList files;

    MonthOfLogs() {
        std::mt19937 rng(20261201);
        const QByteArray content = big5("親愛的王小明您好，本月帳單金額為1,200元。");
        const QByteArray sent = big5("訊息已成功送出(MsgId:");
        const QByteArray delivered = big5("訊息已送達對方(d)");
        for (int log = 0; log < kLogs; ++log) {
            const QString file = QDir(dir.path()).filePath(QStringLiteral("run%1.log").arg(log));
            LogFileWriter writer(file);
            if (!writer.open(kRowsPerLog))
                return;
            const QByteArray day = "202612" + QByteArray::number(1 + log % 30).rightJustified(2, '0');
            for (int i = 0; i < kRowsPerLog; ++i) {
                SendLogRow row;
                row.image = ImageTyped;
                const unsigned roll = rng() % 100;
                row.texts[ColMobile] = "09" + QByteArray::number(10000000 + rng() % 89999999);
                row.texts[ColSendTime] = day + QByteArray::number(100000 + i % 89999);
                row.texts[ColSendCode] = roll < 95 ? "0" : "11";
                row.texts[ColSendResult] = sent + QByteArray::number(i) + ')';
                row.texts[ColQueryCode] = roll < 80 ? "0" : (roll < 90 ? "17" : QByteArray());
                row.texts[ColQueryResult] = row.texts[ColQueryCode] == "0" ? delivered : QByteArray();
                row.texts[ColContent] = content;
                writer.write(row);
            }
            if (writer.commit())
                files << file;
        }
    }
};

void BM_MonthUsage(benchmark::State& state) {
    static const MonthOfLogs month;
    if (month.files.size() != kLogs) {
        state.SkipWithError("the logs could not be written");
        return;
    }
    for (auto _ : state) {
        const MonthUsage usage = CountMonthUsage(QDate(2026, 12, 1), month.files);
        if (usage.total.shortMessages != kLogs * kRowsPerLog)
            state.SkipWithError("rows went uncounted");
        benchmark::DoNotOptimize(usage);
    }
    state.SetItemsProcessed(state.iterations() * kLogs * kRowsPerLog);
}
BENCHMARK(BM_MonthUsage)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
