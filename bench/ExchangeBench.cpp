#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/exchange/AddressTransfer.h"
#include "core/exchange/ColumnMapping.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <cstring>

using namespace norvi;

namespace {

// The book every case of this program fills and reads.
AddressBook g_book;

// A spreadsheet's export: a header, then name, a number written with hyphens and a description.
QByteArray importFile(int lines) {
    QByteArray bytes = big5("名稱,行動電話,備註\r\n");
    bytes.reserve(lines * 48);
    const QByteArray name = big5("王小明");
    const QByteArray desc = big5("業務部, 北區");
    for (int i = 0; i < lines; ++i)
        bytes += name + QByteArray::number(i) + ",0912-" + QByteArray::number(100000 + i) + "," + desc + "\r\n";
    return bytes;
}

void fillBook(int members) {
    g_book.clear();
    for (int i = 0; i < members; ++i) {
        sMember m;
        std::memset(&m, 0, sizeof m);
        m.id = 1700000000 + i;
        putField(m.name, big5("王小明") + QByteArray::number(i));
        putField(m.msisdn, "@0912" + QByteArray::number(100000 + i) + ";0222345678");
        putField(m.desc, big5("業務部, 北區"));
        g_book.putMember(m);
    }
}

// Reading the file and adding every line as a member, all within one second of the clock: the case
// in which a search from the current second for each id would walk the run already handed out.
void importLines(benchmark::State& state, const QByteArray& bytes) {
    Clock::setFixed(QDateTime::fromSecsSinceEpoch(1700000000));
    for (auto _ : state) {
        state.PauseTiming();
        g_book.clear();
        state.ResumeTiming();
        const AddressTextFile file = ParseAddressText(bytes);
        const AddressRecords records = ReadAddressRecords(file, ',', HeaderChoice::Auto);
        const std::array<int, 3> codes = ColumnMapping::fromRecords(records).columnCodes();
        const ImportSummary s = ImportAddressRecords(g_book, records, QStringLiteral("bench.csv"), codes, {});
        benchmark::DoNotOptimize(s.added);
    }
    state.counters["members"] = double(g_book.MemberMap().size());
    g_book.clear();
    Clock::reset();
}

void BM_ImportBig5(benchmark::State& state) {
    importLines(state, importFile(int(state.range(0))));
}
BENCHMARK(BM_ImportBig5)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ImportUtf8(benchmark::State& state) {
    importLines(state, fromBig5(importFile(int(state.range(0)))).toUtf8());
}
BENCHMARK(BM_ImportUtf8)->Arg(10000)->Unit(benchmark::kMillisecond);

// One line with a character that has no Big5 form sends the whole file through the line-by-line path.
void BM_ImportUtf8OneUnmappableLine(benchmark::State& state) {
    importLines(state, fromBig5(importFile(int(state.range(0)))).toUtf8() + "\xF0\x9F\x98\x80,0911,x\r\n");
}
BENCHMARK(BM_ImportUtf8OneUnmappableLine)->Arg(10000)->Unit(benchmark::kMillisecond);

// For comparison: the ids searched one by one from the current second, as a plain loop over
// NewEntryId does. Only the id search is timed.
void BM_OneByOneIdSearch(benchmark::State& state) {
    const int count = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        g_book.clear();
        sMember m;
        std::memset(&m, 0, sizeof m);
        state.ResumeTiming();
        for (int i = 0; i < count; ++i) {
            m.id = NewEntryId(g_book, EntryKind::Member, 1700000000);
            g_book.putMember(m);
        }
    }
    g_book.clear();
}
BENCHMARK(BM_OneByOneIdSearch)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Writing the listed members to the file, all three fields, comma type.
void BM_Export(benchmark::State& state) {
    fillBook(int(state.range(0)));
    std::vector<int32_t> ids;
    for (const auto& entry : g_book.MemberMap())
        ids.push_back(entry.first);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.csv"));
    for (auto _ : state) {
        const ExportResult r = ExportAddressText(g_book, path, ids, ',', {true, true, true});
        if (!r.ok)
            state.SkipWithError("export failed");
    }
    state.counters["members"] = double(ids.size());
    g_book.clear();
}
BENCHMARK(BM_Export)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
