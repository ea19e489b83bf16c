#include "gui/addressbook/TFormSelectMember.h"
#include "gui/shared/FontRows.h"

#include "core/addressbook/BookEdits.h"
#include "core/addressbook/BookTexts.h"
#include "core/compose/ComposeState.h"
#include "core/compose/PickedEntries.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookLists.h"
#include "gui/addressbook/TFormMember.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeView>
#include <QVBoxLayout>

namespace norvi {

namespace {

QTreeView* makeList(QWidget* parent, const char* name, BookListModel* model) {
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    useFontRows(view);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionsMovable(false);
    view->header()->setStretchLastSection(false);
    return view;
}

// A row read back from the recipient field: what it is comes from the entry's kind and the sign of its id.
BookRow rowForEntry(const sMtData& entry) {
    BookRow row;
    row.caption = getField(entry.label);
    if (entry.kind == KindAddressBook) {
        row.id = entry.id;
        row.kind = entry.id <= 0 ? RowKind::Group : RowKind::Member;
    } else if (entry.kind == KindListRow) {
        row.id = entry.id;
        row.kind = RowKind::ListFileRow;
    } else {
        row.id = 0;
        row.kind = RowKind::TypedNumber;
    }
    return row;
}

} // namespace

TFormSelectMember::TFormSelectMember(AddressBook& book, QWidget* parent) : QDialog(parent), m_book(book) {
    setObjectName(QStringLiteral("TFormSelectMember"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("選擇群組成員"));

    m_all = new BookListModel(3, this);
    m_chosen = new BookListModel(1, this);
    ListViewAll = makeList(this, "ListViewAll", m_all);
    ListViewAll->header()->setSectionsClickable(true);
    ListViewAll->header()->setSortIndicatorShown(false);
    ListViewAll->header()->resizeSection(0, 100);
    ListViewAll->header()->resizeSection(1, 100);
    ListViewAll->header()->resizeSection(2, 150);
    ListViewAll->setFixedSize(372, 300);
    ListViewMember = makeList(this, "ListViewMember", m_chosen);
    ListViewMember->setHeaderHidden(true);
    ListViewMember->header()->resizeSection(0, 200);
    ListViewMember->setContextMenuPolicy(Qt::CustomContextMenu);
    ListViewMember->setFixedSize(222, 300);
    currentView = ListViewAll;

    auto* allLabel = makeLabel(this, QStringLiteral("從清單挑選(&Y)："), ListViewAll);
    m_chosenLabel = makeLabel(this, QStringLiteral("成員(&M)："), ListViewMember);
    m_chosenLabel->setObjectName(QStringLiteral("LabelMember"));
    // Lists are not named by their labels for screen readers; they carry the label's text themselves.
    ListViewAll->setAccessibleName(QStringLiteral("從清單挑選："));
    ListViewMember->setAccessibleName(QStringLiteral("成員："));

    ButtonSelect = makeButton(this, QStringLiteral("選擇(&T) ->"), "ButtonSelect");
    ButtonNewMember = makeButton(this, QStringLiteral("新成員(&W)"), "ButtonNewMember");
    ButtonContent = makeButton(this, QStringLiteral("內容(&C)"), "ButtonContent");
    ButtonOk = makeButton(this, QStringLiteral("確定"), "ButtonOk");
    ButtonOk->setDefault(true);
    ButtonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    PopupMenuLvMember = new QMenu(this);
    PopupMenuLvMember->setObjectName(QStringLiteral("PopupMenuLvMember"));
    QMenu* actions = PopupMenuLvMember->addMenu(QStringLiteral("動作(&A)"));
    PMItemLvMAction = actions->menuAction();
    PMItemLvMAction->setObjectName(QStringLiteral("PMItemLvMAction"));
    PMItemLvMAction->setVisible(false);
    PMItemLvMSend = actions->addAction(QStringLiteral("發訊(&S)"));
    PMItemLvMSend->setObjectName(QStringLiteral("PMItemLvMSend"));
    PMItemLvMSeparator = PopupMenuLvMember->addSeparator();
    PMItemLvMSeparator->setVisible(false);
    PMItemLvMContent = PopupMenuLvMember->addAction(QStringLiteral("內容(&C)"));
    PMItemLvMContent->setObjectName(QStringLiteral("PMItemLvMContent"));
    PMItemLvMDelete = PopupMenuLvMember->addAction(QStringLiteral("刪除(&D)"));
    PMItemLvMDelete->setObjectName(QStringLiteral("PMItemLvMDelete"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(allLabel, 0, 0);
    grid->addWidget(ListViewAll, 1, 0);
    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(ButtonSelect);
    middle->addStretch(1);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_chosenLabel, 0, 2);
    grid->addWidget(ListViewMember, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ButtonNewMember);
    bottom->addWidget(ButtonContent);
    bottom->addStretch(1);
    bottom->addWidget(makeButtonBox(this, ButtonOk, ButtonCancel));
    grid->addLayout(bottom, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    // Tab reads as the eye does: the book, 選擇 between the lists, then the chosen entries.
    setTabOrder(ListViewAll, ButtonSelect);
    setTabOrder(ButtonSelect, ListViewMember);

    connect(ButtonSelect, &QPushButton::clicked, this, &TFormSelectMember::ButtonSelectClick);
    connect(ListViewAll, &QAbstractItemView::doubleClicked, this, &TFormSelectMember::ButtonSelectClick);
    connect(ButtonNewMember, &QPushButton::clicked, this, &TFormSelectMember::ButtonNewMemberClick);
    connect(ButtonContent, &QPushButton::clicked, this, &TFormSelectMember::ButtonContentClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormSelectMember::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListViewAll->header(), &QHeaderView::sectionClicked, this, &TFormSelectMember::ListViewAllColumnClick);
    connect(ListViewMember, &QWidget::customContextMenuRequested, this, &TFormSelectMember::ListViewMemberPopup);
    connect(PMItemLvMContent, &QAction::triggered, this, &TFormSelectMember::PMItemLvMContentClick);
    connect(PMItemLvMDelete, &QAction::triggered, this, &TFormSelectMember::PMItemLvMDeleteClick);
    connect(ListViewAll->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { currentView = ListViewAll; });
    connect(ListViewMember->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { currentView = ListViewMember; });
    resetSortState();
}

bool TFormSelectMember::pickRecipients(std::list<sMtData>& recipients) {
    m_sendMode = true;
    m_editedGroupId = 0;
    m_recipients = recipients;
    if (prompts().execDialog(this) != 1)
        return false;
    recipients = m_recipients;
    return true;
}

bool TFormSelectMember::pickGroupMembers(const sGroup* editedGroup, std::vector<int32_t>& ids) {
    m_sendMode = false;
    m_editedGroupId = editedGroup ? editedGroup->id : 0;
    m_scratch = sGroup{};
    WriteGroupSlots(m_scratch, ids);
    if (prompts().execDialog(this) != 1)
        return false;
    ids.clear();
    for (int32_t slot : m_scratch.members)
        if (slot != 0)
            ids.push_back(slot);
    return true;
}

void TFormSelectMember::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormSelectMember::FormShow() {
    FillAllList(m_book, *m_all);
    ListViewAllColumnClick(0);
    if (m_all->rowCount() > 0)
        ListViewAll->selectionModel()->setCurrentIndex(m_all->index(0, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (sendMode()) {
        setWindowTitle(QStringLiteral("選擇受訊者"));
        m_chosenLabel->setText(QStringLiteral("受訊者(&M)："));
        ListViewMember->setAccessibleName(QStringLiteral("受訊者："));
        fillChosenFromRecipients();
    } else {
        setWindowTitle(QStringLiteral("選擇群組成員"));
        m_chosenLabel->setText(QStringLiteral("成員(&M)："));
        ListViewMember->setAccessibleName(QStringLiteral("成員："));
        FillFromGroup(m_book, *m_chosen, &m_scratch, 1);
    }
    currentView = ListViewAll;
    ListViewAll->setFocus(Qt::OtherFocusReason);
}

void TFormSelectMember::fillChosenFromRecipients() {
    std::vector<BookRow> rows;
    rows.reserve(m_recipients.size());
    for (const sMtData& entry : m_recipients)
        rows.push_back(rowForEntry(entry));
    m_chosen->setRows(std::move(rows));
}

// ---- the left list ----

void TFormSelectMember::resetSortState() {
    sortColumn = 0;
    sortAscending = false;
    m_all->setCaptions(BookColumnCaptions());
}

void TFormSelectMember::ListViewAllColumnClick(int column) {
    if (column < 0 || column > 2)
        return;
    if (column != sortColumn)
        sortAscending = false;
    sortAscending = !sortAscending;
    m_all->setCaptions(BookColumnCaptions(column, sortAscending));
    sortColumn = column;
    m_all->sortRows(sortColumn, sortAscending);
}

void TFormSelectMember::ButtonSelectClick() {
    for (const int r : SelectedRows(ListViewAll))
        m_chosen->appendRow(m_all->row(r));
}

void TFormSelectMember::selectAllRowOf(int32_t id) {
    const int row = m_all->findId(id, RowKind::Member);
    ListViewAll->setFocus(Qt::OtherFocusReason);
    if (row < 0)
        return;
    const QModelIndex index = m_all->index(row, 0);
    ListViewAll->selectionModel()->setCurrentIndex(index,
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ListViewAll->scrollTo(index);
}

void TFormSelectMember::ButtonNewMemberClick() {
    TFormMember editor(m_book, this);
    if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
        return;
    const int32_t id = editor.record->id;
    resetSortState();
    FillAllList(m_book, *m_all);
    ListViewAllColumnClick(0);
    selectAllRowOf(id);
}

void TFormSelectMember::refreshRowsOf(int32_t id, RowKind kind) {
    BookRow updated;
    if (kind == RowKind::Member) {
        const sMember* member = m_book.member(id);
        if (!member)
            return;
        updated = MemberRow(*member);
    } else {
        const sGroup* group = m_book.group(id);
        if (!group)
            return;
        updated = GroupRow(*group);
    }
    for (BookListModel* list : {m_all, m_chosen})
        for (int r = 0; r < list->rowCount(); ++r)
            if (list->row(r).id == id && list->row(r).kind == kind)
                list->replaceRow(r, updated);
}

void TFormSelectMember::ButtonContentClick() {
    QAbstractItemView* view = currentView;
    const QList<int> rows = SelectedRows(view);
    BookListModel* list = view == ListViewAll ? m_all : m_chosen;
    if (rows.size() != 1 || !list->row(rows.first()).isBookEntry())
        return;
    const BookRow row = list->row(rows.first());
    if (EditListEntry(this, m_book, *list, rows.first(), view == ListViewAll ? 3 : 1))
        refreshRowsOf(row.id, row.kind);
    view->setFocus(Qt::OtherFocusReason);
}

// ---- the right list ----

void TFormSelectMember::ListViewMemberPopup(const QPoint& pos) {
    const QList<int> rows = SelectedRows(ListViewMember);
    PMItemLvMContent->setEnabled(rows.size() == 1 && m_chosen->row(rows.first()).isBookEntry());
    PMItemLvMDelete->setEnabled(!rows.isEmpty());
    PMItemLvMSend->setEnabled(!rows.isEmpty());
    PopupMenuLvMember->popup(ListViewMember->viewport()->mapToGlobal(pos));
}

void TFormSelectMember::PMItemLvMContentClick() {
    const QList<int> rows = SelectedRows(ListViewMember);
    if (rows.size() != 1 || !m_chosen->row(rows.first()).isBookEntry())
        return;
    const BookRow row = m_chosen->row(rows.first());
    if (EditListEntry(this, m_book, *m_chosen, rows.first(), 1))
        refreshRowsOf(row.id, row.kind);
}

void TFormSelectMember::PMItemLvMDeleteClick() {
    DeleteSelectedRows(ListViewMember);
}

// ---- OK ----

void TFormSelectMember::ButtonOkClick() {
    const bool send = sendMode();
    const sGroup* edited = send || m_editedGroupId == 0 ? nullptr : m_book.group(m_editedGroupId);
    const PickOutcome outcome = ResolvePickedRows(m_book, m_chosen->rows(), send, edited);
    if (send) {
        m_recipients.assign(outcome.recipients.begin(), outcome.recipients.end());
        done(1);
        return;
    }
    for (const QByteArray& name : outcome.refusedGroups)
        prompts().okBox(this, Prompts::Icon::Error, BookBoxTitle(), GroupCycleText(fromBig5(name)));
    if (outcome.tooMany) {
        prompts().notice(this, Prompts::Icon::Warning, BookBoxTitle(), GroupOverfullText());
        return;
    }
    WriteGroupSlots(m_scratch, outcome.groupIds);
    done(1);
}

} // namespace norvi
