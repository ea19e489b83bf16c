#pragma once

#include "core/addressbook/AddressBook.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QAbstractItemView;
class QDialog;
class QPushButton;
class QTabWidget;
class QWidget;

// The list operations that the address book window, the group editor and the member picker share, and the
// one way every window saves the book.
namespace norvi {

class BookListModel;

// The frame both record editors share: the form's name, font and title "內容", one tab page (PageControl1)
// for the controls, and 確定/取消 below it. The editor fills the page between the two calls, so the Tab key
// reaches the buttons after the page's controls; 取消 rejects, and the editor connects 確定.
struct EditorFrame {
    QTabWidget* pages;
    QWidget* page;
};
EditorFrame BeginEditorFrame(QDialog* form, const char* formName, const char* pageName, const QString& tab);
void EndEditorFrame(QDialog* form, const EditorFrame& frame, int width, QPushButton** ok, QPushButton** cancel);

// The whole book: every member in id order, then every group.
void FillAllList(const AddressBook& book, BookListModel& list);
// The entries of `group` in slot order (nothing without a group); `columns` 3 adds the number text and the
// description of members.
void FillFromGroup(const AddressBook& book, BookListModel& list, const sGroup* group, int columns);
// Opens the member editor (member row) or the group editor (group row) on the row's record. On OK every row
// of the list that shows that record takes its new name (and, with 3 columns, number text and description).
// True on OK.
bool EditListEntry(QWidget* parent, AddressBook& book, BookListModel& list, int row, int columns);
// The selected rows of a view, top to bottom.
QList<int> SelectedRows(const QAbstractItemView* view);
// Removes the selected rows from the list; the records they show stay in the book.
void DeleteSelectedRows(QAbstractItemView* view);

// Writes the book with SaveAddressBook and tells the user when that failed (the file on disk stays as it
// was) or when a damaged file was kept aside first. True when the file now holds the book.
bool SaveBook(QWidget* parent, AddressBook& book);
QString BookBoxTitle();
// The captions of the name, number and description columns; the sorted column (0..2) carries the order's
// arrow.
QStringList BookColumnCaptions(int sortColumn = -1, bool ascending = true);

// What the editors ask of the address book window after an OK, without knowing the window: one per book, a
// child of the book, so it lives as long as the book the windows share.
class BookNotifier : public QObject {
    Q_OBJECT
public:
    static BookNotifier& of(AddressBook& book);

private:
    explicit BookNotifier(QObject* book) : QObject(book) {}

public:
signals:
    void listReloadRequested();  // the list shows the book as it now stands
    void treeRebuildRequested(); // the groups changed
};

} // namespace norvi
