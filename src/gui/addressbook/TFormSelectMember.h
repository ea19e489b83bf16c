#pragma once

#include "addressbook/AddressBookRecords.h"
#include "addressbook/BookRows.h"

#include <QDialog>

class QAbstractItemView;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;

namespace norvi {

class BookListModel;

// "選擇受訊者" / "選擇群組成員": the member picker. The caller creates it for one use, sets `caller` and
// `editedGroup`, shows it modally and destroys it. A result of 1 means the output has been written:
// RecipientList when the caller is the send dialog (send mode), GroupScratch.members otherwise.
class TFormSelectMember : public QDialog {
    Q_OBJECT
public:
    explicit TFormSelectMember(QWidget* parent = nullptr);

    QWidget* caller = nullptr;
    sGroup* editedGroup = nullptr;

    // The send dialog opens the picker for its recipients; every other caller edits a group.
    bool sendMode() const;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void ButtonSelectClick();
    void ButtonNewMemberClick();
    void ButtonContentClick();
    void ButtonOkClick();
    void ListViewAllColumnClick(int column);
    void ListViewMemberPopup(const QPoint& pos);
    void PMItemLvMContentClick();
    void PMItemLvMDeleteClick();

private:
    void FormShow();
    void fillChosenFromRecipients();
    void resetSortState();
    void selectAllRowOf(int32_t id);
    // After an edit, every row that shows the record in either list shows it as it now stands.
    void refreshRowsOf(int32_t id, RowKind kind);

    int sortColumn = 0;
    bool sortAscending = false;
    QAbstractItemView* currentView = nullptr;

    BookListModel* m_all;
    BookListModel* m_chosen;
    QTreeView* ListViewAll;
    QTreeView* ListViewMember;
    QLabel* m_chosenLabel;
    QPushButton *ButtonSelect, *ButtonNewMember, *ButtonContent, *ButtonOk, *ButtonCancel;
    QMenu* PopupMenuLvMember;
    QAction *PMItemLvMAction, *PMItemLvMSend, *PMItemLvMSeparator, *PMItemLvMContent, *PMItemLvMDelete;
};

} // namespace norvi
