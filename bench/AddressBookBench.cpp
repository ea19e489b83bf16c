// The address book at 10,000 members and 100 groups: filling the list with the whole book or a group,
// sorting 10,000 rows by each column, and the window itself opening and following a click in its tree. And
// one name looked up among 1,000,000 members: the first lookup after a change (which builds the name index),
// every later one, and next to them the walk of every record that each lookup used to make.
#include "WidgetsBenchMain.h"
#include "core/addressbook/BookFile.h"
#include "core/addressbook/BookRows.h"
#include "core/compose/EntryLookup.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/TFormAdrBk.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstring>
#include <map>
#include <random>

using namespace norvi;

namespace {

// The book every case of this program fills and reads.
AddressBook g_book;

constexpr int kMembers = 10000;
constexpr int kGroups = 100;
constexpr int kPerGroup = 100;

// Names, numbers and descriptions as a real book has them: Chinese and Latin names, one to three numbers,
// descriptions often empty.
void makeBook() {
    g_book.clear();
    std::mt19937 rng(20240301);
    const QByteArray surnames[] = {big5("陳"), big5("林"), big5("黃"), big5("張"), big5("李"), "Wang ", "lee "};
    const QByteArray given[] = {big5("小明"), big5("美玲"), big5("志豪"), big5("淑芬"), big5("家豪"), "Amy", "bob"};
    const QByteArray descs[] = {"", "", big5("同事"), big5("客戶"), big5("大學同學"), "VIP"};
    for (int i = 0; i < kMembers; ++i) {
        sMember m;
        std::memset(&m, 0, sizeof m);
        m.id = 1700000000 + i;
        putField(m.name, surnames[rng() % 7] + given[rng() % 7] + QByteArray::number(rng() % 1000));
        QByteArray numbers = "09" + QByteArray::number(10000000 + rng() % 89999999);
        if (rng() % 4 == 0)
            numbers = "@" + numbers + ";+8869" + QByteArray::number(10000000 + rng() % 89999999);
        putField(m.msisdn, numbers);
        putField(m.desc, descs[rng() % 6]);
        g_book.putMember(m);
    }
    for (int g = 0; g < kGroups; ++g) {
        sGroup group;
        std::memset(&group, 0, sizeof group);
        group.id = -1700000000 - g;
        putField(group.name, big5("群組") + QByteArray::number(g));
        for (int k = 0; k < kPerGroup; ++k)
            group.members[k] = 1700000000 + int32_t(rng() % kMembers);
        g_book.putGroup(group);
    }
}

void BM_FillWholeBook(benchmark::State& state) {
    makeBook();
    BookListModel model(3);
    for (auto _ : state) {
        model.setRows(AllBookRows(g_book));
        model.sortRows(0, true);
    }
    state.SetItemsProcessed(state.iterations() * (kMembers + kGroups));
}
BENCHMARK(BM_FillWholeBook)->Unit(benchmark::kMillisecond);

void BM_SortColumn(benchmark::State& state) {
    makeBook();
    BookListModel model(3);
    model.setRows(AllBookRows(g_book));
    const int column = int(state.range(0));
    bool ascending = true;
    for (auto _ : state) {
        model.sortRows(column, ascending);
        ascending = !ascending;
    }
    state.SetItemsProcessed(state.iterations() * (kMembers + kGroups));
    state.SetLabel(column == 0 ? "名稱" : column == 1 ? "行動電話" : "說明");
}
BENCHMARK(BM_SortColumn)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The window as the user meets it: shown (tree built, whole book listed and sorted, painted), then a
// click on a group node in the tree, then back to the root.
void BM_WindowOpen(benchmark::State& state) {
    QTemporaryDir dir;
    g_book.setFilePath(AddressBookPath(dir.path()));
    makeBook();
    TFormAdrBk window(g_book);
    for (auto _ : state) {
        window.show();
        QCoreApplication::processEvents();
        window.hide();
    }
}
BENCHMARK(BM_WindowOpen)->Unit(benchmark::kMillisecond);

void BM_WindowTreeClick(benchmark::State& state) {
    QTemporaryDir dir;
    g_book.setFilePath(AddressBookPath(dir.path()));
    makeBook();
    TFormAdrBk window(g_book);
    window.show();
    QCoreApplication::processEvents();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeViewGroup"));
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (auto _ : state) {
        tree->setCurrentItem(root->child(0)); // a group of 100 entries
        QCoreApplication::processEvents();
        tree->setCurrentItem(root); // the whole book again
        QCoreApplication::processEvents();
    }
    window.hide();
    state.SetLabel("group, then the whole book");
}
BENCHMARK(BM_WindowTreeClick)->Unit(benchmark::kMillisecond);

constexpr int kBigBook = 1000000;

// A million members called "Member 1" to "Member 1000000", read once for every lookup case.
AddressBook& bigBook() {
    static AddressBook* book = [] {
        auto* made = new AddressBook;
        std::map<int32_t, sMember> members;
        for (int32_t id = 1; id <= kBigBook; ++id) {
            sMember m;
            std::memset(&m, 0, sizeof m);
            m.id = id;
            putField(m.name, "Member " + QByteArray::number(id));
            putField(m.msisdn, "09" + QByteArray::number(10000000 + id));
            members.emplace_hint(members.end(), id, m);
        }
        made->replace(std::move(members), {});
        return made;
    }();
    return *book;
}

void BM_NameLookup(benchmark::State& state) {
    const AddressBook& book = bigBook();
    const QByteArray name = "Member " + QByteArray::number(kBigBook - 7);
    FindEntriesByName(book, name); // the index, once
    for (auto _ : state)
        benchmark::DoNotOptimize(FindEntriesByName(book, name));
    state.counters["members"] = double(book.MemberMap().size());
}
BENCHMARK(BM_NameLookup)->Unit(benchmark::kMicrosecond);

// A rename leaves the index stale; the next lookup builds it again.
void BM_NameLookupAfterAChange(benchmark::State& state) {
    AddressBook& book = bigBook();
    const QByteArray name = "Member " + QByteArray::number(kBigBook - 7);
    sMember renamed = book.MemberMap().at(1);
    for (auto _ : state) {
        state.PauseTiming();
        putField(renamed.name, renamed.name[0] == 'M' ? QByteArray("Renamed") : QByteArray("Member 1"));
        book.putMember(renamed);
        state.ResumeTiming();
        benchmark::DoNotOptimize(FindEntriesByName(book, name));
    }
}
BENCHMARK(BM_NameLookupAfterAChange)->Unit(benchmark::kMillisecond);

// The lookup as it was: every member's and group's name taken out of its record and trimmed.
void BM_NameLookupByWalkingTheBook(benchmark::State& state) {
    const AddressBook& book = bigBook();
    const QByteArray name = "Member " + QByteArray::number(kBigBook - 7);
    for (auto _ : state) {
        QList<int32_t> ids;
        for (const auto& [id, member] : book.MemberMap())
            if (getField(member.name).trimmed() == name)
                ids.append(id);
        for (const auto& [id, group] : book.GroupMap())
            if (getField(group.name).trimmed() == name)
                ids.prepend(id);
        benchmark::DoNotOptimize(ids);
    }
}
BENCHMARK(BM_NameLookupByWalkingTheBook)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetsBenchmarks(argc, argv);
}
