// The send dialog with large recipient lists: a 100,000-line list file loaded with 上載... into the field,
// read back by ParseRecipientField and built into SendQueue; one keystroke in a field of 100,000 entries;
// the recount of a 1,000-character message on every keystroke.
#include "WidgetsBenchMain.h"
#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"
#include "core/shared/Big5.h"
#include "gui/WindowSet.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/RichEditMT.h"
#include "gui/shared/Prompts.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <cstring>

using namespace norvi;

namespace {

// Hands the list file to the file chooser and answers every box, so a load runs without a person.
class BenchPrompts : public Prompts {
public:
    QString file;
    using Prompts::message;
    Answer message(QWidget*, Icon, Buttons, const QString&, const QString&, Answer) override { return Answer::Ok; }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return file; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    int execDialog(QDialog*) override { return QDialog::Rejected; }
};

// Half the rows carry their own placeholder values, as a typical billing list does.
QByteArray listFile(int lines) {
    QByteArray bytes;
    for (int i = 0; i < lines; ++i) {
        bytes += "09" + QByteArray::number(10000000 + i);
        if (i % 2)
            bytes += big5(" $王小明$ $") + QByteArray::number(i % 997) + "$";
        bytes += "\r\n";
    }
    return bytes;
}

// The window set with the send dialog on screen.
struct Windows {
    QTemporaryDir dir;
    BenchPrompts prompts;
    std::unique_ptr<WindowSet> set;

    Windows() {
        QDir::setCurrent(dir.path());
        setPrompts(&prompts);
        set = std::make_unique<WindowSet>();
        set->sendSMS().show();
        QCoreApplication::processEvents();
    }
    ~Windows() {
        set.reset();
        setPrompts(nullptr);
    }
    TFormSendSMS& dialog() { return set->sendSMS(); }
    template <typename T> T* control(const char* name) { return dialog().findChild<T*>(QString::fromLatin1(name)); }
    RecipientsBox& box() { return *control<RecipientsBox>("RecipientsBox"); }
};

void BM_ListFileIntoFieldAndSendQueue(benchmark::State& state) {
    Windows w;
    const QString path = w.dir.filePath(QStringLiteral("list.txt"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(listFile(int(state.range(0))));
    f.close();
    w.prompts.file = path;
    auto* load = w.control<QToolButton>("SpeedButtonLoadMT");
    TFormShowProcess& progress = w.set->showProcess();
    const ComposeInput input =
        ComposeInput::fromText(big5("親愛的$1$您好，您本月的帳單金額為$2$元，請於期限內繳納。"), true);
    for (auto _ : state) {
        QTest::mouseClick(load, Qt::LeftButton);
        // The field lays out its text and the progress window catches up, as on screen.
        QCoreApplication::processEvents();
        w.box().ParseRecipientField(true);
        std::list<sSendContent> SendQueue;
        const SendQueueResult r = BuildSendQueue(w.set->book(), input, w.box().recipients(), SendQueue);
        benchmark::DoNotOptimize(r.totalCount);
        state.PauseTiming();
        state.counters["entries"] = double(w.box().recipients().RecipientList.size());
        state.counters["messages"] = double(SendQueue.size());
        QTest::mouseClick(progress.findChild<QPushButton*>(QStringLiteral("ButtonOk")), Qt::LeftButton);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ListFileIntoFieldAndSendQueue)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_KeystrokeInFieldOfEntries(benchmark::State& state) {
    Windows w;
    std::list<sMtData>& RecipientList = w.box().recipients().RecipientList;
    RecipientList.clear();
    for (int i = 0; i < state.range(0); ++i) {
        sMtData e;
        std::memset(&e, 0, sizeof e);
        e.kind = i % 3 == 0 ? KindAddressBook : KindListRow;
        e.id = i + 1;
        const QByteArray label = "09" + QByteArray::number(10000000 + i);
        std::memcpy(e.label, label.constData(), std::size_t(label.size()));
        RecipientList.push_back(e);
    }
    w.box().RenderRecipientField();
    auto* field = w.dialog().findChild<RichEditMT*>(QStringLiteral("RichEditMT"));
    field->setFocus();
    QTextCursor middle = field->textCursor();
    middle.setPosition(field->document()->characterCount() / 2);
    field->setTextCursor(middle);
    QCoreApplication::processEvents();
    int n = 0;
    for (auto _ : state) {
        // A digit, then Backspace, so the field stays the same size; each is a keystroke with its repaint.
        QTest::keyClick(field, ++n % 2 ? Qt::Key_5 : Qt::Key_Backspace);
        field->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
// 500 entries: a class's parents, the field a user types into most; 100,000: a whole list file.
BENCHMARK(BM_KeystrokeInFieldOfEntries)->Arg(500)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_RecountPerKeystroke(benchmark::State& state) {
    Windows w;
    auto* memo = w.control<QPlainTextEdit>("MemoSM");
    memo->setPlainText(QString::fromUtf8("簡訊服務").repeated(int(state.range(0)) / 4));
    memo->moveCursor(QTextCursor::End);
    int n = 0;
    for (auto _ : state)
        QTest::keyClick(memo, ++n % 2 ? Qt::Key_A : Qt::Key_Backspace);
    state.counters["count"] = w.control<QLabel>("LabelMsgNo")->text().section(QLatin1Char(' '), 1, 1).toDouble();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecountPerKeystroke)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return RunWidgetsBenchmarks(argc, argv);
}
