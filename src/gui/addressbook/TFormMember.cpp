#include "gui/addressbook/TFormMember.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookRows.h"
#include "core/addressbook/BookTexts.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/shared/FontRows.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/IconTable.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>

namespace norvi {

namespace {

const QString kDefaultMarker = QStringLiteral(" (預設手機門號)");

} // namespace

TFormMember::TFormMember(AddressBook& book, QWidget* parent) : QDialog(parent), m_book(book) {
    const EditorFrame frame = BeginEditorFrame(this, "TFormMember", "TabSheetMember", QStringLiteral("成員"));
    QWidget* page = frame.page;

    EditName = makeEdit(page, "EditName");
    EditDesc = makeEdit(page, "EditDesc");
    EditMsisdn = makeEdit(page, "EditMsisdn");
    EditMsisdn->setMaxLength(120);
    EditMsisdn->installEventFilter(this);

    ListViewMsisdn = new QTreeWidget(page);
    ListViewMsisdn->setObjectName(QStringLiteral("ListViewMsisdn"));
    ListViewMsisdn->setAccessibleName(QStringLiteral("手機門號清單"));
    ListViewMsisdn->setColumnCount(2);
    // Every number keeps the default's icon room, so the numbers line up whichever one is the default.
    useFontRows(ListViewMsisdn, FontRowDelegate::ReserveIcon);
    ListViewMsisdn->setHeaderHidden(true);
    ListViewMsisdn->setRootIsDecorated(false);
    ListViewMsisdn->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewMsisdn->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewMsisdn->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    ListViewMsisdn->header()->setStretchLastSection(true);
    ListViewMsisdn->header()->resizeSection(0, 120);
    ListViewMsisdn->setMinimumWidth(250);
    ListViewMsisdn->setMinimumHeight(90);

    ButtonAddMsisdn = makeButton(page, QStringLiteral("新增(&A)"), "ButtonAddMsisdn");
    ButtonEditMsisdn = makeButton(page, QStringLiteral("編輯(&E)"), "ButtonEditMsisdn");
    ButtonRemoveMsisdn = makeButton(page, QStringLiteral("移除(&R)"), "ButtonRemoveMsisdn");
    ButtonSetDefMsisdn = makeButton(page, QStringLiteral("設成預設值(&S)"), "ButtonSetDefMsisdn");

    ListBoxBelong = new QListWidget(page);
    ListBoxBelong->setObjectName(QStringLiteral("ListBoxBelong"));
    ListBoxBelong->setSortingEnabled(true);
    useFontRows(ListBoxBelong);
    ListBoxBelong->setSelectionMode(QAbstractItemView::NoSelection);
    ListBoxBelong->setMaximumHeight(70);
    ListBoxBelong->setAccessibleName(QStringLiteral("群組成員："));

    auto* heading = new QLabel(QStringLiteral("請輸入成員相關資料"), page);
    auto* grid = new QGridLayout(page);
    grid->addWidget(heading, 0, 0, 1, 3);
    grid->addWidget(makeLabel(page, QStringLiteral("名稱(&N)："), EditName), 1, 0);
    grid->addWidget(EditName, 1, 1, 1, 2);
    grid->addWidget(makeLabel(page, QStringLiteral("說明(&D)："), EditDesc), 2, 0);
    grid->addWidget(EditDesc, 2, 1, 1, 2);
    grid->addWidget(makeLabel(page, QStringLiteral("行動電話(&M)："), EditMsisdn), 3, 0);
    grid->addWidget(EditMsisdn, 3, 1);
    grid->addWidget(ButtonAddMsisdn, 3, 2);
    auto* numberButtons = new QVBoxLayout;
    numberButtons->addWidget(ButtonEditMsisdn);
    numberButtons->addWidget(ButtonRemoveMsisdn);
    numberButtons->addWidget(ButtonSetDefMsisdn);
    numberButtons->addStretch(1);
    grid->addWidget(ListViewMsisdn, 4, 1);
    grid->addLayout(numberButtons, 4, 2);
    grid->addWidget(makeLabel(page, QStringLiteral("群組成員(&G)："), ListBoxBelong), 5, 0, Qt::AlignTop);
    grid->addWidget(ListBoxBelong, 5, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    setTabOrder(EditMsisdn, ButtonAddMsisdn); // 新增 stands beside the number it adds, before the list
    EndEditorFrame(this, frame, 470, &ButtonOk, &ButtonCancel);

    connect(EditMsisdn, &QLineEdit::textChanged, this,
            [this](const QString& text) { ButtonAddMsisdn->setEnabled(!text.isEmpty()); });
    connect(ButtonAddMsisdn, &QPushButton::clicked, this, &TFormMember::ButtonAddMsisdnClick);
    connect(ButtonEditMsisdn, &QPushButton::clicked, this, &TFormMember::ButtonEditMsisdnClick);
    connect(ButtonRemoveMsisdn, &QPushButton::clicked, this, &TFormMember::ButtonRemoveMsisdnClick);
    connect(ButtonSetDefMsisdn, &QPushButton::clicked, this, &TFormMember::ButtonSetDefMsisdnClick);
    connect(ListViewMsisdn, &QTreeWidget::itemDoubleClicked, this, &TFormMember::ButtonSetDefMsisdnClick);
    connect(ListViewMsisdn, &QTreeWidget::itemChanged, this, &TFormMember::ListViewMsisdnEdited);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormMember::ButtonOkClick);
}

void TFormMember::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormMember::FormShow() {
    ButtonAddMsisdn->setEnabled(false);
    ListBoxBelong->clear();
    EditMsisdn->clear();
    if (!record) {
        setWindowTitle(QStringLiteral("內容"));
        EditName->clear();
        EditDesc->clear();
        m_numbers = NumberList();
        showNumbers();
    } else {
        setWindowTitle(fromBig5(getField(record->name)) + QStringLiteral(" 內容"));
        EditName->setText(fromBig5(getField(record->name)));
        EditDesc->setText(fromBig5(getField(record->desc)));
        m_numbers = NumberList(getField(record->msisdn));
        showNumbers(m_numbers.defaultRow());
        for (const QByteArray& name : GroupsHolding(m_book, record->id))
            ListBoxBelong->addItem(fromBig5(name));
    }
    EditName->setFocus(Qt::OtherFocusReason);
}

// ---- the number list ----

void TFormMember::showNumbers(int selectRow) {
    m_showing = true;
    ListViewMsisdn->clear();
    for (int row = 0; row < m_numbers.count(); ++row) {
        auto* item = new QTreeWidgetItem(ListViewMsisdn);
        item->setText(0, QString::fromLatin1(m_numbers.at(row)));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (row == m_numbers.defaultRow()) {
            item->setText(1, kDefaultMarker);
            item->setIcon(0, IconTable::icon(BookIcon::DefaultNumber));
        }
    }
    if (selectRow >= 0 && selectRow < m_numbers.count()) {
        QTreeWidgetItem* item = ListViewMsisdn->topLevelItem(selectRow);
        ListViewMsisdn->setCurrentItem(item);
        item->setSelected(true);
    }
    m_showing = false;
    updateButtons();
}

QList<int> TFormMember::selectedNumberRows() const {
    QList<int> rows;
    for (QTreeWidgetItem* item : ListViewMsisdn->selectedItems())
        rows.append(ListViewMsisdn->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TFormMember::updateButtons() {
    const bool any = m_numbers.count() > 0;
    ButtonEditMsisdn->setEnabled(any);
    ButtonRemoveMsisdn->setEnabled(any);
    ButtonSetDefMsisdn->setEnabled(any);
}

bool TFormMember::acceptNumber(const QString& number, bool adding) {
    switch (CheckMobileNumber(number)) {
    case NumberCheck::Valid:
        return true;
    case NumberCheck::Empty:
        return false;
    case NumberCheck::NotAscii:
        prompts().okBox(this, Prompts::Icon::Warning, BookBoxTitle(), NotAsciiNumberText());
        return false;
    case NumberCheck::Separator:
        prompts().okBox(this, Prompts::Icon::Warning, BookBoxTitle(), SeparatorNumberText());
        return false;
    case NumberCheck::Unusual:
        return prompts().message(this, Prompts::Icon::Warning, Prompts::Buttons::YesNo, BookBoxTitle(),
                                 UnusualNumberQuestion(number, adding)) == Prompts::Answer::Yes;
    }
    return false;
}

bool TFormMember::addTypedNumber() {
    const QString number = EditMsisdn->text();
    if (number.isEmpty() || !acceptNumber(number, true))
        return false;
    m_numbers.add(number.toLatin1());
    showNumbers(m_numbers.count() == 1 ? 0 : -1);
    EditMsisdn->clear();
    ButtonAddMsisdn->setEnabled(false);
    return true;
}

void TFormMember::ButtonAddMsisdnClick() {
    addTypedNumber();
    EditMsisdn->setFocus(Qt::OtherFocusReason);
}

// Enter in the number field adds the number rather than closing the window.
bool TFormMember::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditMsisdn && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !EditMsisdn->text().isEmpty()) {
            ButtonAddMsisdnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormMember::ButtonEditMsisdnClick() {
    const QList<int> rows = selectedNumberRows();
    if (rows.size() != 1)
        return;
    QTreeWidgetItem* item = ListViewMsisdn->topLevelItem(rows.first());
    ListViewMsisdn->setFocus(Qt::OtherFocusReason);
    ListViewMsisdn->setCurrentItem(item);
    ListViewMsisdn->editItem(item, 0);
}

// An edited number is checked once its editor has closed, so the question never appears under an open
// editor; a refused number gives the row its old number back.
void TFormMember::ListViewMsisdnEdited(QTreeWidgetItem* item, int column) {
    if (m_showing || column != 0)
        return;
    const int row = ListViewMsisdn->indexOfTopLevelItem(item);
    if (row < 0 || row >= m_numbers.count())
        return;
    const QString typed = item->text(0);
    if (typed == QString::fromLatin1(m_numbers.at(row)))
        return;
    QTimer::singleShot(0, this, [this, row, typed] {
        if (row < m_numbers.count() && acceptNumber(typed, false))
            m_numbers.replace(row, typed.toLatin1());
        showNumbers(row);
    });
}

void TFormMember::ButtonSetDefMsisdnClick() {
    const QList<int> rows = selectedNumberRows();
    if (rows.size() != 1)
        return;
    m_numbers.setDefault(rows.first());
    showNumbers(rows.first());
}

void TFormMember::ButtonRemoveMsisdnClick() {
    const QList<int> rows = selectedNumberRows();
    if (rows.isEmpty())
        return;
    m_numbers.remove(rows);
    showNumbers();
}

// ---- OK ----

void TFormMember::ButtonOkClick() {
    // A number still standing in the field is what the user meant to add, not something to drop.
    if (!EditMsisdn->text().isEmpty() && !addTypedNumber())
        return;
    if (m_numbers.count() == 0) {
        prompts().notice(this, Prompts::Icon::Warning, BookBoxTitle(), NoNumberText());
        return;
    }
    const QByteArray numbers = m_numbers.storedText();
    if (numbers.size() > int(sizeof(record->msisdn))) {
        prompts().okBox(this, Prompts::Icon::Warning, BookBoxTitle(), NumbersTooLongText(int(numbers.size())));
        return;
    }
    const FieldText name = NameFieldText(EditName->text(), int(sizeof(record->name)), QStringLiteral("名稱"));
    const FieldText desc = PlainFieldText(EditDesc->text(), int(sizeof(record->desc)), QStringLiteral("說明"));
    for (const auto& [field, edit] : {std::pair{&name, EditName}, std::pair{&desc, EditDesc}}) {
        if (!field->ok) {
            prompts().okBox(this, Prompts::Icon::Warning, BookBoxTitle(), field->error);
            edit->setFocus(Qt::OtherFocusReason);
            return;
        }
    }

    sMember edited;
    if (record) {
        edited = *record;
    } else {
        std::memset(&edited, 0, sizeof edited);
        edited.id = NewEntryId(m_book, EntryKind::Member, EntryIdStart(EntryKind::Member));
    }
    putField(edited.name, name.bytes);
    putField(edited.msisdn, numbers);
    putField(edited.desc, desc.bytes);
    m_book.putMember(edited);

    emit BookNotifier::of(m_book).listReloadRequested();
    SaveBook(this, m_book);
    // A save that met another program's changes builds the book anew: the record is found again.
    record = m_book.member(edited.id);
    accept();
}

} // namespace norvi
