#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookRows.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace norvi {

class BookListModel;

// The group editor: the group's name and its entries (members and other groups), picked from the book
// with the member picker or made on the spot. Created for one use by its caller, which sets `record` to a
// group of the book (or leaves it empty for a new group) and shows it modally. On OK the group is in
// the book and the file, and `record` points at it.
class TFormGroup : public QDialog {
    Q_OBJECT
public:
    explicit TFormGroup(AddressBook& book, QWidget* parent = nullptr);

    const sGroup* record = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void ButtonSelectMemberClick();
    void ButtonEditNewMemberClick();
    void ButtonRemoveMemberClick();
    void ButtonContentClick();
    void ButtonOkClick();

private:
    void FormShow();
    void entriesChanged(); // count label, buttons, the empty list's colour
    void selectEntry(int32_t id, RowKind kind);
    // Leaves out the groups that would make this group contain itself, saying which.
    void dropCyclicGroups();
    // The group being edited as the book now holds it: a save of a nested editor that met another program's
    // changes builds the book anew, and `record` no longer points into it.
    const sGroup* editedGroup() const;

    AddressBook& m_book;
    int32_t m_editedId = 0; // the id of `record` when shown; 0 for a new group
    BookListModel* m_model;
    QLineEdit* EditName;
    QLabel* LabelCountMember;
    QListView* ListViewMember;
    QPushButton *ButtonSelectMember, *ButtonEditNewMember, *ButtonRemoveMember, *ButtonContent;
    QPushButton *ButtonOk, *ButtonCancel;
};

} // namespace norvi
