#include "gui/addressbook/BookLists.h"

#include "core/addressbook/BookFile.h"
#include "core/addressbook/BookRows.h"
#include "gui/addressbook/BookListModel.h"
#include "gui/addressbook/TFormGroup.h"
#include "gui/addressbook/TFormMember.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace norvi {

EditorFrame BeginEditorFrame(QDialog* form, const char* formName, const char* pageName, const QString& tab) {
    form->setObjectName(QLatin1String(formName));
    applyFormFont(form);
    form->setWindowTitle(QStringLiteral("內容"));
    auto* pages = new QTabWidget(form);
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* page = new QWidget(pages);
    page->setObjectName(QLatin1String(pageName));
    pages->addTab(page, tab);
    return {pages, page};
}

void EndEditorFrame(QDialog* form, const EditorFrame& frame, int width, QPushButton** ok, QPushButton** cancel) {
    *ok = makeButton(form, QStringLiteral("確定"), "ButtonOk");
    (*ok)->setDefault(true);
    *cancel = makeButton(form, QStringLiteral("取消"), "ButtonCancel");
    auto* layout = new QVBoxLayout(form);
    layout->addWidget(frame.pages);
    layout->addWidget(makeButtonBox(form, *ok, *cancel));
    form->resize(width, 400);
    QObject::connect(*cancel, &QPushButton::clicked, form, &QDialog::reject);
}

void FillAllList(const AddressBook& book, BookListModel& list) {
    list.setRows(AllBookRows(book));
}

void FillFromGroup(const AddressBook& book, BookListModel& list, const sGroup* group, int columns) {
    list.setRows(group ? GroupRows(book, *group, columns == 3) : std::vector<BookRow>());
}

bool EditListEntry(QWidget* parent, AddressBook& book, BookListModel& list, int row, int columns) {
    if (row < 0 || row >= list.rowCount())
        return false;
    const BookRow shown = list.row(row);
    BookRow updated;
    if (shown.kind == RowKind::Member) {
        const sMember* member = book.member(shown.id);
        if (!member)
            return false;
        TFormMember editor(book, parent);
        editor.record = member;
        if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
            return false;
        updated = MemberRow(*editor.record, columns == 3);
    } else if (shown.kind == RowKind::Group) {
        const sGroup* group = book.group(shown.id);
        if (!group)
            return false;
        TFormGroup editor(book, parent);
        editor.record = group;
        if (prompts().execDialog(&editor) != QDialog::Accepted || !editor.record)
            return false;
        updated = GroupRow(*editor.record);
    } else {
        return false;
    }
    // The list may have changed under the editor; every row that shows the record follows it.
    for (int r = 0; r < list.rowCount(); ++r)
        if (list.row(r).id == updated.id && list.row(r).kind == updated.kind)
            list.replaceRow(r, updated);
    return true;
}

QList<int> SelectedRows(const QAbstractItemView* view) {
    QList<int> rows;
    if (!view || !view->selectionModel())
        return rows;
    for (const QModelIndex& index : view->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void DeleteSelectedRows(QAbstractItemView* view) {
    auto* model = view ? qobject_cast<BookListModel*>(view->model()) : nullptr;
    if (model)
        model->removeRowsAt(SelectedRows(view));
}

QString BookBoxTitle() {
    return QString::fromUtf8("Norvi簡訊服務軟體");
}

bool SaveBook(QWidget* parent, AddressBook& book) {
    const AddressBookResult saved = SaveAddressBook(book);
    if (!saved.message.isEmpty())
        prompts().notice(parent, saved.ok ? Prompts::Icon::Information : Prompts::Icon::Error, BookBoxTitle(),
                         saved.message);
    // Another program had changed the book: the windows show it as it now stands, with this change in it.
    if (saved.reloaded) {
        emit BookNotifier::of(book).treeRebuildRequested();
        emit BookNotifier::of(book).listReloadRequested();
    }
    return saved.ok;
}

BookNotifier& BookNotifier::of(AddressBook& book) {
    if (auto* const notifier = book.findChild<BookNotifier*>(QString(), Qt::FindDirectChildrenOnly))
        return *notifier;
    return *new BookNotifier(&book); // the book deletes it
}

QStringList BookColumnCaptions(int sortColumn, bool ascending) {
    QStringList captions{QStringLiteral("名稱"), QStringLiteral("行動電話"), QStringLiteral("說明")};
    if (sortColumn >= 0 && sortColumn < captions.size())
        captions[sortColumn] += ascending ? QStringLiteral(" ↑") : QStringLiteral(" ↓");
    return captions;
}

} // namespace norvi
