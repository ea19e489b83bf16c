#include "gui/addressbook/TFormAdrBk.h"

#include "core/addressbook/BookEdits.h"
#include "core/addressbook/BookTexts.h"
#include "core/compose/ComposeState.h"
#include "core/compose/PickedEntries.h"
#include "core/exchange/ExchangeState.h"
#include "core/shared/FixedField.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/BookListPane.h"
#include "gui/addressbook/BookLists.h"
#include "gui/addressbook/BookTreePane.h"
#include "gui/addressbook/TFormGroup.h"
#include "gui/addressbook/TFormMember.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"

#include <QTreeWidget>

// The address book window's commands: new member and group, properties, the four kinds of deletion,
// import and export, send and refresh.
namespace norvi {

namespace {

bool askBookWarning(QWidget* parent, const QString& text) {
    return prompts().message(parent, Prompts::Icon::Warning, Prompts::Buttons::YesNo, BookBoxTitle(), text) ==
           Prompts::Answer::Yes;
}

} // namespace

void TFormAdrBk::MItemFNewMemberClick() {
    TFormMember editor(m_book, this);
    if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
        return;
    const int32_t id = editor.record->id;
    const int32_t groupId = m_tree->selectedGroup();
    const sGroup* group = groupId ? m_book.group(groupId) : nullptr;
    if (m_context == Context::Tree && group) {
        // A new member made while a group is chosen in the tree joins that group.
        sGroup joined = *group;
        if (AddToFirstFreeSlot(joined, id)) {
            m_book.putGroup(joined);
            SaveBook(this, m_book);
            m_list->refill(groupId);
            setContext(Context::List);
            m_list->selectRow(m_list->model().findId(id, RowKind::Member));
        } else {
            prompts().notice(this, Prompts::Icon::Warning, BookBoxTitle(), GroupNoRoomText());
        }
    } else {
        // The new member is in the book, not in the group the list may show: show the book, so the user
        // sees the member that was made.
        if (m_list->shownGroup() != 0) {
            m_list->forget();
            m_tree->select(0);
            TreeViewGroupChange();
        }
        setContext(Context::List);
        m_list->selectRow(m_list->model().findId(id, RowKind::Member));
    }
    setStatusText();
    UpdateCommands();
}

void TFormAdrBk::MItemFNewGroupClick() {
    TFormGroup editor(m_book, this);
    if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
        return;
    const int32_t id = editor.record->id;
    // The editor had the tree rebuilt; the new group's node is selected and its entries shown.
    m_list->forget();
    m_tree->select(id);
    TreeViewGroupChange();
    m_tree->widget()->expandAll();
    m_tree->widget()->setFocus(Qt::OtherFocusReason);
    setContext(Context::Tree);
}

void TFormAdrBk::MItemFContentClick() {
    if (m_context == Context::Tree) {
        const int32_t id = m_tree->selectedGroup();
        if (!m_tree->hasSelection() || id == 0)
            return;
        editGroup(id);
        // The tree may have been rebuilt; the same group stays selected while it exists.
        m_tree->select(id);
        TreeViewGroupChange();
        m_tree->widget()->expandAll();
        return;
    }
    const QList<int> rows = m_list->selectedRows();
    if (rows.size() != 1)
        return;
    const BookRow row = m_list->model().row(rows.first());
    if (row.kind == RowKind::Member)
        editMember(row.id);
    else if (row.kind == RowKind::Group)
        editGroup(row.id);
    else
        return;
    // The list was filled again after an OK; the edited entry stays the selected one.
    const int again = m_list->model().findId(row.id, row.kind);
    if (again >= 0 && m_list->selectedRows() != QList<int>{again})
        m_list->selectRow(again);
}

void TFormAdrBk::editMember(int32_t id) {
    const sMember* member = m_book.member(id);
    if (!member)
        return;
    TFormMember editor(m_book, this);
    editor.record = member;
    prompts().execDialog(&editor);
}

void TFormAdrBk::editGroup(int32_t id) {
    const sGroup* group = m_book.group(id);
    if (!group)
        return;
    TFormGroup editor(m_book, this);
    editor.record = group;
    prompts().execDialog(&editor);
}

// ---- deleting ----

void TFormAdrBk::MItemFDeleteClick() {
    if (m_context == Context::Tree) {
        if (!m_tree->hasSelection())
            return;
        if (m_tree->rootSelected())
            deleteAllGroups();
        else
            deleteSelectedGroup();
        return;
    }
    if (m_list->selectedRows().isEmpty())
        return;
    if (m_list->shownGroup() == 0)
        deleteListRowsForever();
    else
        removeListRowsFromGroup(m_list->shownGroup());
}

void TFormAdrBk::deleteAllGroups() {
    if (m_book.GroupMap().empty() ||
        !askBookWarning(this, QStringLiteral("您確定要移除所有的群組？\n(不會從通訊錄刪除群組成員)")))
        return;
    m_book.eraseAllGroups();
    m_list->forget();
    RebuildTree();
    setStatusText();
    SaveBook(this, m_book);
    UpdateCommands();
}

void TFormAdrBk::deleteSelectedGroup() {
    if (!askBookWarning(this, QStringLiteral("您確定要移除所選擇的群組？\n(不會從通訊錄刪除群組成員)")))
        return;
    EraseEntry(m_book, m_tree->selectedGroup());
    m_tree->removeSelected();
    TreeViewGroupChange();
    m_tree->widget()->expandAll();
    setStatusText();
    SaveBook(this, m_book);
    UpdateCommands();
}

void TFormAdrBk::deleteListRowsForever() {
    if (!askBookWarning(this, QStringLiteral("要永遠刪除所選的項目？")))
        return;
    const QList<int> rows = m_list->selectedRows();
    BookListModel& model = m_list->model();
    bool groupsGone = false;
    for (const int r : rows) {
        const BookRow& row = model.row(r);
        if (!row.isBookEntry())
            continue;
        EraseEntry(m_book, row.id);
        if (row.kind == RowKind::Group) {
            m_tree->remove(row.id);
            groupsGone = true;
        }
    }
    model.removeRowsAt(rows);
    if (groupsGone)
        m_tree->selectRootIfNone();
    setStatusText();
    SaveBook(this, m_book);
    UpdateCommands();
}

void TFormAdrBk::removeListRowsFromGroup(int32_t groupId) {
    if (!askBookWarning(this, QStringLiteral("您確定只要從這個群組移除所選擇的項目？\n(不會從通訊錄刪除選擇的項目)")))
        return;
    const QList<int> rows = m_list->selectedRows();
    if (const sGroup* group = m_book.group(groupId)) {
        sGroup left = *group;
        for (const int r : rows)
            ClearFirstSlot(left, m_list->model().row(r).id);
        m_book.putGroup(left);
    }
    m_list->model().removeRowsAt(rows);
    setStatusText();
    SaveBook(this, m_book);
    UpdateCommands();
}

// ---- import, export, send, refresh ----

void TFormAdrBk::openExchange(bool import) {
    emit exchangeRequested(import, listedMemberIds());
    if (import) {
        // The import adds members: the tree and the list show the book as it now stands.
        RebuildTree();
        ReloadList();
    }
    setStatusText();
}

// The selected entries join the recipients the send dialog already has, in list order.
void TFormAdrBk::MItemASendClick() {
    std::vector<sMtData> entries;
    for (const int r : m_list->selectedRows())
        entries.push_back(EntryForRow(m_list->model().row(r)));
    emit sendRequested(entries);
}

// Every number of each chosen member, not only the default: who asked to stop asked for all of them.
std::vector<OptOutCandidate> TFormAdrBk::optOutCandidates() const {
    std::vector<OptOutCandidate> numbers;
    if (m_context != Context::List)
        return numbers;
    for (const int r : m_list->selectedRows()) {
        const sMtData entry = EntryForRow(m_list->model().row(r));
        const sMember* member = entry.id > 0 ? m_book.member(entry.id) : nullptr;
        if (!member)
            continue;
        for (const QByteArray& number : SplitMsisdn(getField(member->msisdn)).numbers)
            numbers.push_back({number, getField(member->name)});
    }
    return numbers;
}

void TFormAdrBk::MItemAOptOutClick() {
    emit optOutRequested(optOutCandidates());
}

void TFormAdrBk::MItemRefreshClick() {
    m_list->forget();
    RebuildTree();
    m_tree->widget()->expandAll();
}

} // namespace norvi
