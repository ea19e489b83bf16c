// The member picker (選擇成員 of the group editor) over a book of 100,000 members: opening it (the whole
// book listed and sorted by name), and 選擇 with every row of the left list selected. Run it also on a
// display with the accessibility bus (QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, inside the
// journeys' Xvfb and D-Bus session), where each row added is also an accessibility event.
#include "WidgetsBenchMain.h"
#include "core/addressbook/AddressBook.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/shared/Prompts.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>

using namespace norvi;

namespace {

// Runs the picker's body instead of a modal loop, and answers every box.
class BenchPrompts : public Prompts {
public:
    std::function<void(QDialog*)> body;
    using Prompts::message;
    Answer message(QWidget*, Icon, Buttons, const QString&, const QString&, Answer) override { return Answer::Ok; }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    int execDialog(QDialog* dialog) override {
        dialog->setResult(QDialog::Rejected);
        dialog->show();
        if (body)
            body(dialog);
        dialog->hide();
        return dialog->result(); // what 確定 or 取消 in the body gave; 0 when neither was pressed
    }
};

void fillBook(AddressBook& book, int members) {
    for (int i = 0; i < members; ++i) {
        sMember m;
        std::memset(&m, 0, sizeof m);
        m.id = 1700000000 + i;
        putField(m.name, big5("成員") + QByteArray::number((i * 7919) % members));
        putField(m.msisdn, "09" + QByteArray::number(10000000 + i));
        book.putMember(m);
    }
}

void BM_PickerOpens(benchmark::State& state) {
    BenchPrompts prompts;
    setPrompts(&prompts);
    AddressBook book;
    fillBook(book, int(state.range(0)));
    for (auto _ : state) {
        TFormSelectMember picker(book);
        prompts.body = [](QDialog*) { QCoreApplication::processEvents(); };
        std::vector<int32_t> ids;
        picker.pickGroupMembers(nullptr, ids);
    }
    setPrompts(nullptr);
}
BENCHMARK(BM_PickerOpens)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_PickerChoosesEveryRow(benchmark::State& state) {
    BenchPrompts prompts;
    setPrompts(&prompts);
    AddressBook book;
    fillBook(book, int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TFormSelectMember picker(book);
        prompts.body = [&](QDialog* dialog) {
            QCoreApplication::processEvents();
            auto* all = dialog->findChild<QTreeView*>(QStringLiteral("ListViewAll"));
            auto* chosen = dialog->findChild<QTreeView*>(QStringLiteral("ListViewMember"));
            all->selectAll();
            auto* select = dialog->findChild<QPushButton*>(QStringLiteral("ButtonSelect"));
            state.ResumeTiming();
            QTest::mouseClick(select, Qt::LeftButton);
            QCoreApplication::processEvents();
            state.PauseTiming();
            state.counters["chosen"] = double(chosen->model()->rowCount());
            // 1 when an accessibility bridge (AT-SPI) was told of every change, as under a screen reader.
            state.counters["a11y"] = QAccessible::isActive() ? 1 : 0;
        };
        std::vector<int32_t> ids;
        picker.pickGroupMembers(nullptr, ids);
        state.ResumeTiming();
    }
    setPrompts(nullptr);
}
BENCHMARK(BM_PickerChoosesEveryRow)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// 確定 with every member chosen: in send mode they all become recipients (a group holds 1,000 at most).
void BM_PickerOkWithEveryRowChosen(benchmark::State& state) {
    BenchPrompts prompts;
    setPrompts(&prompts);
    AddressBook book;
    fillBook(book, int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TFormSelectMember picker(book);
        prompts.body = [&](QDialog* dialog) {
            QCoreApplication::processEvents();
            dialog->findChild<QTreeView*>(QStringLiteral("ListViewAll"))->selectAll();
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ButtonSelect")), Qt::LeftButton);
            QCoreApplication::processEvents();
            state.ResumeTiming();
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("ButtonOk")), Qt::LeftButton);
            state.PauseTiming();
        };
        std::list<sMtData> recipients;
        picker.pickRecipients(recipients);
        state.counters["recipients"] = double(recipients.size());
        state.ResumeTiming();
    }
    setPrompts(nullptr);
}
BENCHMARK(BM_PickerOkWithEveryRowChosen)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetsBenchmarks(argc, argv);
}
