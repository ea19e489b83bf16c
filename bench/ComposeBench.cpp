#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/compose/ComposeState.h"
#include "core/compose/MessageCount.h"
#include "core/compose/OptOutList.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SegmentMessage.h"
#include "core/compose/SendSummary.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <malloc.h>

using namespace norvi;

namespace {

// The book every case of this program fills and reads.
AddressBook g_book;

// Half the rows carry their own placeholder values, as a typical billing list does.
QByteArray listFile(int lines) {
    QByteArray bytes;
    bytes.reserve(lines * 40);
    for (int i = 0; i < lines; ++i) {
        bytes += "09" + QByteArray::number(10000000 + i);
        if (i % 2)
            bytes += big5(" $王小明$ $") + QByteArray::number(i % 997) + "$";
        bytes += "\r\n";
    }
    return bytes;
}

ParsedRecipients g_parsed;           // the dialog's lists
std::list<sSendContent> g_SendQueue; // the run it builds

void releaseContainers() {
    g_parsed.RecipientList.clear();
    g_parsed.ListFileRows.clear();
    g_SendQueue.clear();
    malloc_trim(0);
}

// Reading the file into rows and building the run from them, as 上載... then 傳送 do. "cold" hands all
// memory back to the system first, as in a program that has not loaded a list yet: the records of
// both containers (about 220 MB for 100,000 rows) are then touched for the first time. "warm" repeats
// the run in a program that has loaded a list of that size before.
void listFileToSendQueue(benchmark::State& state, bool cold) {
    const QByteArray bytes = listFile(int(state.range(0)));
    const ComposeInput input =
        ComposeInput::fromText(big5("親愛的$1$您好，您本月的帳單金額為$2$元，請於期限內繳納。"), true);
    if (!cold) {
        ReadListFile(g_parsed, bytes);
        BuildSendQueue(g_book, input, g_parsed, g_SendQueue);
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (cold)
            releaseContainers();
        else
            g_parsed.RecipientList.clear();
        state.ResumeTiming();
        ReadListFile(g_parsed, bytes);
        const SendQueueResult r = BuildSendQueue(g_book, input, g_parsed, g_SendQueue);
        benchmark::DoNotOptimize(r.totalCount);
    }
    state.counters["rows"] = double(g_parsed.ListFileRows.size());
    state.counters["messages"] = double(g_SendQueue.size());
    releaseContainers();
}

void BM_ListFileToSendQueueCold(benchmark::State& state) {
    listFileToSendQueue(state, true);
}
void BM_ListFileToSendQueueWarm(benchmark::State& state) {
    listFileToSendQueue(state, false);
}
// The summary before a send of a 100,000-row list (half with their own values, one row in ten a duplicate
// written another way) against a stop list of 10,000 numbers read from OptOut.txt: what 傳送 does before
// its box shows, from the rows already loaded to the summary's lines. The goal is well under a second.
void BM_SummaryOfListAgainstStopList(benchmark::State& state) {
    const int rows = int(state.range(0));
    QByteArray bytes = listFile(rows);
    for (int i = 0; i < rows / 10; ++i)
        bytes += "09" + QByteArray::number(10000000 + i * 7).insert(4, '-') + "\r\n";
    QTemporaryDir dir;
    QFile stopFile(OptOutPath(dir.path()));
    stopFile.open(QIODevice::WriteOnly);
    for (int i = 0; i < int(state.range(1)); ++i)
        stopFile.write("09" + QByteArray::number(10000000 + i * 13) + ",2024/05/01,bench\r\n");
    stopFile.close();
    ParsedRecipients parsed;
    ReadListFile(parsed, bytes);
    std::list<sSendContent> SendQueue;
    const ComposeInput input =
        ComposeInput::fromText(big5("親愛的$1$您好，您本月的帳單金額為$2$元，請於期限內繳納。"), true);
    const QDateTime now(QDate(2024, 5, 1), QTime(10, 0));
    SendSummary summary;
    for (auto _ : state) {
        OptOutList optOut;
        QString error;
        ReadOptOutFile(OptOutPath(dir.path()), &optOut, &error);
        const SendQueueResult r = BuildSendQueue(g_book, input, parsed, SendQueue, {&optOut, false, true});
        summary = SummarizeSend(r, {}, QuietHours(), now);
        benchmark::DoNotOptimize(summary.messages);
    }
    state.counters["recipients"] = summary.recipients;
    state.counters["duplicates"] = summary.duplicates;
    state.counters["optedOut"] = summary.optedOut;
}

BENCHMARK(BM_SummaryOfListAgainstStopList)->Args({100000, 10000})->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFileToSendQueueCold)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFileToSendQueueWarm)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);

// The encoding check norvi-cli makes on a list file before it reads the rows, on the same 100,000 rows
// as above (Big5 as it stands, and the same text in UTF-8): a small part of reading them into a run.
void BM_ListFileBig5Check(benchmark::State& state) {
    const QByteArray bytes = listFile(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(FirstNonBig5Line(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
void BM_ListFileUtf8Check(benchmark::State& state) {
    const QByteArray bytes = fromBig5(listFile(int(state.range(0)))).toUtf8();
    for (auto _ : state)
        benchmark::DoNotOptimize(FirstNonUtf8Line(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_ListFileBig5Check)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFileUtf8Check)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SegmentMixedText(benchmark::State& state) {
    // 1,000 characters: runs of 20 one-byte characters between runs of 20 Big5 characters.
    QByteArray text;
    const QByteArray chinese = big5("簡訊服務");
    for (int i = 0; i < 1000; ++i)
        text += (i / 20) % 2 ? chinese.mid((i % 4) * 2, 2) : QByteArray(1, char('a' + i % 26));
    char block[kSegmentBlockSize];
    for (auto _ : state) {
        std::memset(block, 0, sizeof block);
        benchmark::DoNotOptimize(SegmentMessage(text.constData(), block, 1));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SegmentMixedText)->Unit(benchmark::kMicrosecond);

// The send dialog's search for rows too long for six short messages, run when the list, the message type or
// (with 替代簡訊) the message changes: every one of 100,000 rows carries 900 bytes of its own (the worst
// case: each needs segmenting), filled into a template or sent as it is.
void findOverlongRows(benchmark::State& state, bool fill) {
    QByteArray bytes;
    for (int i = 0; i < int(state.range(0)); ++i)
        bytes += "09" + QByteArray::number(10000000 + i) + " $" + QByteArray(900, char('a' + i % 26)) + "$\r\n";
    ReadListFile(g_parsed, bytes);
    const QByteArray message = fill ? QByteArray("$1$ and a few words") : QByteArray("hi");
    for (auto _ : state)
        benchmark::DoNotOptimize(FindOverlongRows(g_parsed.ListFileRows, message, fill).rows);
    releaseContainers();
}
void BM_FindOverlongRowsOwnText(benchmark::State& state) {
    findOverlongRows(state, false);
}
void BM_FindOverlongRowsFilled(benchmark::State& state) {
    findOverlongRows(state, true);
}
BENCHMARK(BM_FindOverlongRowsOwnText)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOverlongRowsFilled)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);

void fillBook(int members, int groups) {
    g_book.clear();
    for (int i = 1; i <= members; ++i) {
        sMember m;
        std::memset(&m, 0, sizeof m);
        m.id = 1700000000 + i;
        putField(m.name, big5("會員") + QByteArray::number(i));
        putField(m.msisdn, "@09" + QByteArray::number(10000000 + i) + ";02" + QByteArray::number(20000000 + i));
        g_book.putMember(m);
    }
    for (int g = 1; g <= groups; ++g) {
        sGroup group;
        std::memset(&group, 0, sizeof group);
        group.id = -1700000000 - g;
        for (int s = 0; s < 100; ++s)
            group.members[s] = 1700000000 + (g * 100 + s) % members + 1;
        g_book.putGroup(group);
    }
}

void BM_AddressBookSave(benchmark::State& state) {
    QTemporaryDir dir;
    fillBook(int(state.range(0)), int(state.range(1)));
    const QString path = dir.filePath(QStringLiteral("AddressBook.bin"));
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveAddressBook(g_book, path).ok);
}
BENCHMARK(BM_AddressBookSave)->Args({10000, 100})->Unit(benchmark::kMillisecond);

void BM_AddressBookLoad(benchmark::State& state) {
    QTemporaryDir dir;
    fillBook(int(state.range(0)), int(state.range(1)));
    const QString path = dir.filePath(QStringLiteral("AddressBook.bin"));
    SaveAddressBook(g_book, path);
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadAddressBook(g_book, path).ok);
    state.counters["members"] = double(g_book.MemberMap().size());
}
BENCHMARK(BM_AddressBookLoad)->Args({10000, 100})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
