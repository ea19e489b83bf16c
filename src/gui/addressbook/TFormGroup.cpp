#include "gui/addressbook/TFormGroup.h"
#include "gui/shared/FontRows.h"

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookEdits.h"
#include "core/addressbook/BookTexts.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/addressbook/TFormMember.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstring>

namespace norvi {

TFormGroup::TFormGroup(AddressBook& book, QWidget* parent) : QDialog(parent), m_book(book) {
    const EditorFrame frame = BeginEditorFrame(this, "TFormGroup", "TabSheetGroup", QStringLiteral("群組"));
    QWidget* page = frame.page;

    // The two notes are broken where they pause rather than wrapped: a wrapped label inside a page control
    // would take more lines at the window's smallest width than its minimum height allows for.
    auto* intro = new QLabel(
        QStringLiteral("鍵入群組的名稱，然後加入成員。\n群組建立之後，隨時都可以新增或移除其中的成員。"), page);
    EditName = makeEdit(page, "EditName");
    auto* nameLabel = makeLabel(page, QStringLiteral("名稱(&G)："), EditName);
    auto* ways =
        new QLabel(QStringLiteral("您有兩種方法加入群組成員：\n從通訊錄選擇成員、將新連絡人加入通訊錄和群組。"), page);
    LabelCountMember = new QLabel(page);
    LabelCountMember->setObjectName(QStringLiteral("LabelCountMember"));

    m_model = new BookListModel(1, this);
    ListViewMember = new QListView(page);
    ListViewMember->setObjectName(QStringLiteral("ListViewMember"));
    ListViewMember->setModel(m_model);
    ListViewMember->setViewMode(QListView::ListMode);
    ListViewMember->setFlow(QListView::TopToBottom);
    ListViewMember->setWrapping(true);
    ListViewMember->setResizeMode(QListView::Adjust);
    ListViewMember->setUniformItemSizes(true);
    ListViewMember->setIconSize(QSize(16, 16));
    useFontRows(ListViewMember);
    ListViewMember->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewMember->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewMember->setMinimumSize(260, 150);
    auto* listLabel = makeLabel(page, QStringLiteral("群組成員(&O)："), ListViewMember);
    ListViewMember->setAccessibleName(QStringLiteral("群組成員："));

    ButtonSelectMember = makeButton(page, QStringLiteral("選擇成員(&S)"), "ButtonSelectMember");
    ButtonEditNewMember = makeButton(page, QStringLiteral("新連絡人(&N)"), "ButtonEditNewMember");
    ButtonRemoveMember = makeButton(page, QStringLiteral("移除(&V)"), "ButtonRemoveMember");
    ButtonContent = makeButton(page, QStringLiteral("內容(&R)"), "ButtonContent");

    auto* grid = new QGridLayout(page);
    grid->addWidget(intro, 0, 0, 1, 3);
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(EditName, 1, 1, 1, 2);
    grid->addWidget(ways, 2, 0, 1, 3);
    auto* listCaption = new QHBoxLayout;
    listCaption->addWidget(listLabel);
    listCaption->addStretch(1);
    listCaption->addWidget(LabelCountMember);
    grid->addLayout(listCaption, 3, 0, 1, 2);
    // The entry list sits 9 pixels below its label, 16 from the left, 7 short of the buttons.
    auto* listBox = new QHBoxLayout;
    listBox->setContentsMargins(16 - grid->contentsMargins().left(), 9 - grid->verticalSpacing(), 7, 0);
    listBox->addWidget(ListViewMember);
    grid->addLayout(listBox, 4, 0, 1, 2);
    auto* buttonsRight = new QVBoxLayout;
    for (QPushButton* b : {ButtonSelectMember, ButtonEditNewMember, ButtonRemoveMember, ButtonContent})
        buttonsRight->addWidget(b);
    buttonsRight->addStretch(1);
    grid->addLayout(buttonsRight, 4, 2);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    EndEditorFrame(this, frame, 430, &ButtonOk, &ButtonCancel);

    connect(ButtonSelectMember, &QPushButton::clicked, this, &TFormGroup::ButtonSelectMemberClick);
    connect(ButtonEditNewMember, &QPushButton::clicked, this, &TFormGroup::ButtonEditNewMemberClick);
    connect(ButtonRemoveMember, &QPushButton::clicked, this, &TFormGroup::ButtonRemoveMemberClick);
    connect(ButtonContent, &QPushButton::clicked, this, &TFormGroup::ButtonContentClick);
    connect(ListViewMember, &QAbstractItemView::doubleClicked, this, &TFormGroup::ButtonContentClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormGroup::ButtonOkClick);
}

void TFormGroup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

const sGroup* TFormGroup::editedGroup() const {
    return m_editedId != 0 ? m_book.group(m_editedId) : nullptr;
}

void TFormGroup::FormShow() {
    m_editedId = record ? record->id : 0;
    if (record) {
        setWindowTitle(fromBig5(getField(record->name)) + QStringLiteral(" 內容"));
        EditName->setText(fromBig5(getField(record->name)));
        FillFromGroup(m_book, *m_model, record, 1);
        m_model->sortByCaptionLocale();
    } else {
        setWindowTitle(QStringLiteral("內容"));
        EditName->clear();
        m_model->setRows({});
    }
    entriesChanged();
    EditName->setFocus(Qt::OtherFocusReason);
}

void TFormGroup::entriesChanged() {
    const int count = m_model->rowCount();
    LabelCountMember->setText(QString::number(count) + QStringLiteral(" 個成員"));
    ButtonRemoveMember->setEnabled(count > 0);
    ButtonContent->setEnabled(count > 0);
    // An empty list is painted like the window around it.
    QPalette palette = ListViewMember->palette();
    palette.setColor(QPalette::Base, count > 0 ? QPalette().color(QPalette::Base) : QPalette().color(QPalette::Window));
    ListViewMember->setPalette(palette);
}

void TFormGroup::selectEntry(int32_t id, RowKind kind) {
    const int row = m_model->findId(id, kind);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row, 0);
    ListViewMember->setFocus(Qt::OtherFocusReason);
    ListViewMember->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    ListViewMember->scrollTo(index);
}

void TFormGroup::ButtonSelectMemberClick() {
    std::vector<int32_t> ids;
    for (const BookRow& row : m_model->rows())
        ids.push_back(row.id);
    // The picker holds a group's 1,000 slots: a list past them (新連絡人 on a full group) would come back
    // cut, its last entries by name dropped without a word. The user removes some first, as for 確定.
    if (ids.size() > std::size_t(kGroupSlots)) {
        prompts().notice(this, Prompts::Icon::Warning, BookBoxTitle(), GroupOverfullText());
        return;
    }
    TFormSelectMember picker(m_book, this);
    if (!picker.pickGroupMembers(editedGroup(), ids))
        return;
    sGroup chosen{};
    WriteGroupSlots(chosen, ids);
    FillFromGroup(m_book, *m_model, &chosen, 1);
    m_model->sortByCaptionLocale();
    entriesChanged();
}

void TFormGroup::ButtonEditNewMemberClick() {
    TFormMember editor(m_book, this);
    if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
        return;
    const BookRow row = MemberRow(*editor.record, false);
    m_model->insertRowAt(m_model->captionLocalePosition(row), row);
    selectEntry(row.id, row.kind);
    entriesChanged();
}

void TFormGroup::ButtonRemoveMemberClick() {
    if (SelectedRows(ListViewMember).isEmpty())
        return;
    DeleteSelectedRows(ListViewMember);
    entriesChanged();
}

void TFormGroup::ButtonContentClick() {
    const QList<int> rows = SelectedRows(ListViewMember);
    if (rows.size() != 1)
        return;
    const BookRow row = m_model->row(rows.first());
    if (!EditListEntry(this, m_book, *m_model, rows.first(), 1))
        return;
    // A new name may move the entry within the list, which stays in name order.
    m_model->sortByCaptionLocale();
    selectEntry(row.id, row.kind);
}

void TFormGroup::dropCyclicGroups() {
    if (m_editedId == 0)
        return; // no group holds a group that is not stored yet
    QList<int> cyclic;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const BookRow& row = m_model->row(r);
        if (row.kind == RowKind::Group && (row.id == m_editedId || GroupContains(m_book, row.id, m_editedId))) {
            prompts().okBox(this, Prompts::Icon::Error, BookBoxTitle(), GroupCycleText(fromBig5(row.caption)));
            cyclic.append(r);
        }
    }
    m_model->removeRowsAt(cyclic);
    entriesChanged();
}

void TFormGroup::ButtonOkClick() {
    if (m_model->rowCount() > kGroupSlots) {
        prompts().notice(this, Prompts::Icon::Warning, BookBoxTitle(), GroupOverfullText());
        return;
    }
    const FieldText name = NameFieldText(EditName->text(), int(sizeof(record->name)), QStringLiteral("名稱"));
    if (!name.ok) {
        prompts().okBox(this, Prompts::Icon::Warning, BookBoxTitle(), name.error);
        EditName->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A group picked here may have come to hold this one in the meantime (through an editor opened from
    // this one); storing it would make the group contain itself.
    dropCyclicGroups();
    std::vector<int32_t> ids;
    for (const BookRow& row : m_model->rows())
        ids.push_back(row.id);

    sGroup edited;
    if (const sGroup* current = editedGroup()) {
        edited = *current;
    } else if (m_editedId != 0) {
        // Another program deleted the group meanwhile: this editor's version of it is kept.
        std::memset(&edited, 0, sizeof edited);
        edited.id = m_editedId;
    } else {
        std::memset(&edited, 0, sizeof edited);
        edited.id = NewEntryId(m_book, EntryKind::Group, EntryIdStart(EntryKind::Group));
    }
    putField(edited.name, name.bytes);
    WriteGroupSlots(edited, ids);
    m_book.putGroup(edited);

    emit BookNotifier::of(m_book).treeRebuildRequested();
    emit BookNotifier::of(m_book).listReloadRequested();
    SaveBook(this, m_book);
    // A save that met another program's changes builds the book anew: the record is found again.
    record = m_book.group(edited.id);
    accept();
}

} // namespace norvi
