#include "gui/compose/TFormOptOut.h"

#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvi {

namespace {

const QString kOptOutTitle = QStringLiteral("拒收名單");
const QString kOptOutFileFilter = QStringLiteral("文字檔(*.txt;*.csv)|*.txt;*.csv|所有檔案(*.*)|*.*");

enum OptOutColumn { ColNumber, ColAdded, ColNote, kOptOutColumns };

// Every change goes into the operation log and the message area.
void tellOptOutChange(const QString& text) {
    WriteOpLog(big5(text));
    ShowMsgLine(big5(text));
}

// The Delete key in the list is 刪除.
// A key that clicks a button of the window while `watched` has the focus, or, with no button, does nothing
// there: Delete in the list is 刪除, and Return in the filter box stays a filter, not a 新增 of nothing.
class KeyClicks : public QObject {
public:
    KeyClicks(int key, QPushButton* button, QObject* parent) : QObject(parent), m_key(key), m_button(button) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool matches = key == m_key || (m_key == Qt::Key_Return && key == Qt::Key_Enter);
        if (!matches || (m_button && !m_button->isEnabled()))
            return QObject::eventFilter(watched, event);
        if (m_button)
            m_button->click();
        return true;
    }

private:
    int m_key;
    QPushButton* m_button;
};

} // namespace

TFormOptOut::TFormOptOut(const Config& config, QWidget* parent)
    : QDialog(parent), m_config(config), m_path(OptOutPath(config.StartDir())) {
    setObjectName(QStringLiteral("TFormOptOut"));
    setWindowTitle(kOptOutTitle);
    applyFormFont(this);

    EditNumber = makeEdit(this, "EditNumber");
    EditNote = makeEdit(this, "EditNote");
    ButtonAdd = makeButton(this, QStringLiteral("新增(&A)"), "ButtonAdd");
    // Return in the number or the note adds it.
    ButtonAdd->setDefault(true);
    auto* addRow = new QGridLayout;
    addRow->addWidget(makeLabel(this, QStringLiteral("號碼(&N)："), EditNumber), 0, 0);
    addRow->addWidget(EditNumber, 0, 1);
    addRow->addWidget(makeLabel(this, QStringLiteral("備註(&M)："), EditNote), 0, 2);
    addRow->addWidget(EditNote, 0, 3);
    addRow->addWidget(ButtonAdd, 0, 4);
    addRow->setColumnStretch(3, 1);

    EditFilter = makeEdit(this, "EditFilter");
    EditFilter->setClearButtonEnabled(true);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(makeLabel(this, QStringLiteral("篩選(&F)："), EditFilter));
    filterRow->addWidget(EditFilter, 1);

    ListViewOptOut = new QTreeWidget(this);
    ListViewOptOut->setObjectName(QStringLiteral("ListViewOptOut"));
    ListViewOptOut->setAccessibleName(QStringLiteral("拒收的號碼"));
    ListViewOptOut->setRootIsDecorated(false);
    ListViewOptOut->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewOptOut->setHeaderLabels({QStringLiteral("號碼"), QStringLiteral("加入日期"), QStringLiteral("備註")});
    ListViewOptOut->setSortingEnabled(true);
    ListViewOptOut->sortByColumn(ColNumber, Qt::AscendingOrder);
    ListViewOptOut->header()->setSectionResizeMode(ColNote, QHeaderView::Stretch);
    ListViewOptOut->setColumnWidth(ColNumber, 120);
    ListViewOptOut->setColumnWidth(ColAdded, 90);
    keepSelectionVisible(ListViewOptOut);

    LabelCount = new QLabel(this);
    LabelCount->setObjectName(QStringLiteral("LabelCount"));
    LabelDamaged = new QLabel(this);
    LabelDamaged->setObjectName(QStringLiteral("LabelDamaged"));
    LabelDamaged->setWordWrap(true);
    LabelDamaged->hide();

    ButtonDelete = makeButton(this, QStringLiteral("刪除(&D)"), "ButtonDelete");
    ButtonImport = makeButton(this, QStringLiteral("匯入(&I)..."), "ButtonImport");
    ButtonExport = makeButton(this, QStringLiteral("匯出(&E)..."), "ButtonExport");
    ButtonClose = makeButton(this, QStringLiteral("關閉"), "ButtonClose");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonDelete);
    buttons->addWidget(ButtonImport);
    buttons->addWidget(ButtonExport);
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(addRow);
    layout->addLayout(filterRow);
    layout->addWidget(ListViewOptOut, 1);
    layout->addWidget(LabelCount);
    layout->addWidget(LabelDamaged);
    layout->addLayout(buttons);
    resize(520, 400);
    setMinimumSize(420, 280);

    connect(ButtonAdd, &QPushButton::clicked, this, &TFormOptOut::ButtonAddClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormOptOut::ButtonDeleteClick);
    connect(ButtonImport, &QPushButton::clicked, this, &TFormOptOut::ButtonImportClick);
    connect(ButtonExport, &QPushButton::clicked, this, &TFormOptOut::ButtonExportClick);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditFilter, &QLineEdit::textChanged, this, &TFormOptOut::EditFilterChange);
    connect(ListViewOptOut, &QTreeWidget::itemSelectionChanged, this, &TFormOptOut::updateCommands);
    ListViewOptOut->installEventFilter(new KeyClicks(Qt::Key_Delete, ButtonDelete, this));
    EditFilter->installEventFilter(new KeyClicks(Qt::Key_Return, nullptr, this));
}

void TFormOptOut::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    reload();
    EditNumber->setFocus();
}

void TFormOptOut::warn(const QString& text) {
    prompts().okBox(this, Prompts::Icon::Warning, kOptOutTitle, text);
}

void TFormOptOut::reload() {
    OptOutList list;
    QString error;
    if (!ReadOptOutFile(m_path, &list, &error)) {
        warn(error);
        return;
    }
    showList(list);
}

void TFormOptOut::showList(const OptOutList& list) {
    ListViewOptOut->setSortingEnabled(false);
    ListViewOptOut->clear();
    for (const OptOutEntry& entry : list.entries()) {
        auto* item = new QTreeWidgetItem(ListViewOptOut);
        item->setText(ColNumber, fromBig5(entry.number));
        item->setText(ColAdded, fromBig5(entry.added));
        item->setText(ColNote, fromBig5(entry.note));
    }
    ListViewOptOut->setSortingEnabled(true);
    LabelDamaged->setText(list.damageText());
    LabelDamaged->setVisible(list.damagedLines() > 0);
    EditFilterChange();
}

void TFormOptOut::EditFilterChange() {
    const QString filter = EditFilter->text().trimmed();
    int shown = 0;
    const int rows = ListViewOptOut->topLevelItemCount();
    for (int i = 0; i < rows; ++i) {
        QTreeWidgetItem* item = ListViewOptOut->topLevelItem(i);
        bool match = filter.isEmpty();
        for (int c = 0; c < kOptOutColumns && !match; ++c)
            match = item->text(c).contains(filter, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match)
            ++shown;
        else
            item->setSelected(false);
    }
    LabelCount->setText(shown == rows ? QStringLiteral("共 %1 筆").arg(rows)
                                      : QStringLiteral("共 %1 筆，顯示 %2 筆").arg(rows).arg(shown));
    updateCommands();
}

void TFormOptOut::updateCommands() {
    ButtonDelete->setEnabled(!ListViewOptOut->selectedItems().isEmpty());
}

bool TFormOptOut::changeFile(const std::function<bool(OptOutList&)>& change) {
    OptOutList after;
    QString error;
    // The desktop waits for nobody: a lock held by another program is named instead.
    if (!ChangeOptOutFile(m_path, change, &after, &error, false)) {
        warn(error);
        return false;
    }
    showList(after);
    return true;
}

void TFormOptOut::ButtonAddClick() {
    const QString typed = EditNumber->text().trimmed();
    if (typed.isEmpty()) {
        warn(QStringLiteral("請輸入要加入拒收名單的號碼！"));
        EditNumber->setFocus();
        return;
    }
    QByteArray number;
    QByteArray note;
    QString unmappable;
    if (!toBig5(typed, number, &unmappable) || !toBig5(EditNote->text(), note, &unmappable)) {
        warn(unmappableMessage(unmappable));
        return;
    }
    OptOutAdd added = OptOutAdd::NotANumber;
    if (!changeFile([&](OptOutList& list) {
            added = list.add(number, note, Clock::now().date());
            return added == OptOutAdd::Added;
        }))
        return;
    switch (added) {
    case OptOutAdd::Added:
        tellOptOutChange(QStringLiteral("拒收名單新增 %1").arg(typed) +
                         (note.isEmpty() ? QString() : QStringLiteral("（%1）").arg(EditNote->text().trimmed())));
        EditNumber->clear();
        EditNote->clear();
        break;
    case OptOutAdd::AlreadyListed:
        warn(QStringLiteral("%1 已在拒收名單中。").arg(typed));
        break;
    case OptOutAdd::NotANumber:
        warn(QStringLiteral("「%1」不是手機門號，沒有加入拒收名單。").arg(typed));
        break;
    }
    EditNumber->setFocus();
}

void TFormOptOut::ButtonDeleteClick() {
    QList<QByteArray> numbers;
    for (QTreeWidgetItem* item : ListViewOptOut->selectedItems())
        numbers << big5(item->text(ColNumber));
    if (numbers.isEmpty())
        return;
    const QString question =
        numbers.size() == 1
            ? QStringLiteral("要將 %1 從拒收名單移除？之後的傳送會再傳給這個號碼。").arg(fromBig5(numbers.first()))
            : QStringLiteral("要將 %1 個號碼從拒收名單移除？之後的傳送會再傳給這些號碼。").arg(numbers.size());
    if (!prompts().confirmIrreversible(this, kOptOutTitle, question))
        return;
    int removed = 0;
    if (!changeFile([&](OptOutList& list) {
            for (const QByteArray& number : numbers)
                removed += list.remove(number) > 0 ? 1 : 0;
            return removed > 0;
        }))
        return;
    for (const QByteArray& number : numbers)
        tellOptOutChange(QStringLiteral("拒收名單移除 %1").arg(fromBig5(number)));
}

void TFormOptOut::ButtonImportClick() {
    const QString file = prompts().openFileName(this, QStringLiteral("匯入拒收名單"), kOptOutFileFilter);
    if (file.isEmpty())
        return;
    const OptOutImport read = ReadOptOutImport(file);
    if (!read.error.isEmpty()) {
        warn(read.error);
        return;
    }
    OptOutImportCount count;
    if (!changeFile([&](OptOutList& list) {
            count = AddImported(list, read, Clock::now().date());
            return count.added > 0;
        }))
        return;
    const QString done = OptOutImportText(count, read);
    tellOptOutChange(QStringLiteral("拒收名單從 %1 ").arg(QDir::toNativeSeparators(file)) + done);
    prompts().okBox(this, read.skipped > 0 ? Prompts::Icon::Warning : Prompts::Icon::Information, kOptOutTitle, done);
}

void TFormOptOut::ButtonExportClick() {
    const QString file = prompts().saveFileName(this, QStringLiteral("匯出拒收名單"), kOptOutFileFilter,
                                                QDir(m_config.StartDir()).filePath(QStringLiteral("拒收名單.txt")));
    if (file.isEmpty())
        return;
    OptOutList list;
    QString error;
    if (!ReadOptOutFile(m_path, &list, &error) || !ExportOptOut(list, file, m_config.StartDir(), &error)) {
        warn(error);
        return;
    }
    prompts().okBox(
        this, Prompts::Icon::Information, kOptOutTitle,
        QStringLiteral("拒收名單 %1 筆寫入 %2").arg(list.entries().size()).arg(QDir::toNativeSeparators(file)));
}

void TFormOptOut::addFromBook(QWidget* parent, const Config& config, const std::vector<OptOutCandidate>& numbers) {
    if (numbers.empty())
        return;
    const QString question =
        numbers.size() == 1
            ? QStringLiteral("要將 %1（%2）加入拒收名單？之後的傳送都不會傳給這個號碼。")
                  .arg(fromBig5(numbers.front().name), fromBig5(numbers.front().number))
            : QStringLiteral("要將 %1 個門號加入拒收名單？之後的傳送都不會傳給這些號碼。").arg(numbers.size());
    if (!prompts().confirm(parent, kOptOutTitle, question))
        return;
    const QDate today = Clock::now().date();
    QStringList added;
    int listed = 0;
    QString error;
    const bool changed = ChangeOptOutFile(
        OptOutPath(config.StartDir()),
        [&](OptOutList& list) {
            for (const OptOutCandidate& c : numbers) {
                const OptOutAdd result = list.add(c.number, c.name, today);
                if (result == OptOutAdd::Added)
                    added << QStringLiteral("%1（%2）").arg(fromBig5(c.number), fromBig5(c.name));
                else if (result == OptOutAdd::AlreadyListed)
                    ++listed;
            }
            return !added.isEmpty();
        },
        nullptr, &error, false);
    if (!changed) {
        prompts().okBox(parent, Prompts::Icon::Warning, kOptOutTitle, error);
        return;
    }
    for (const QString& a : added)
        tellOptOutChange(QStringLiteral("拒收名單新增 %1").arg(a));
    prompts().okBox(parent, Prompts::Icon::Information, kOptOutTitle,
                    QStringLiteral("已加入拒收名單 %1 個門號，已在名單中 %2 個。").arg(added.size()).arg(listed));
}

} // namespace norvi
