#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookRows.h"
#include "core/compose/RecipientRecords.h"

#include <QDialog>

#include <list>
#include <vector>

class QAbstractItemView;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;

namespace norvi {

class BookListModel;

// "選擇受訊者" / "選擇群組成員": the member picker. The caller creates it for one use and shows it with one
// of the two entries below, which hand it what to start from and take back what the user chose.
class TFormSelectMember : public QDialog {
    Q_OBJECT
public:
    explicit TFormSelectMember(AddressBook& book, QWidget* parent = nullptr);

    // Send mode: the send dialog's recipients, in field order. On OK (true) they are replaced by the
    // chosen entries; otherwise they stay as they were.
    bool pickRecipients(std::list<sMtData>& recipients);
    // Group mode: the member and group ids of `editedGroup` (nullptr for a group not stored yet). On OK
    // (true) `ids` holds the chosen ones.
    bool pickGroupMembers(const sGroup* editedGroup, std::vector<int32_t>& ids);

    bool sendMode() const { return m_sendMode; }

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

    AddressBook& m_book;
    bool m_sendMode = false;
    int32_t m_editedGroupId = 0;     // group mode: the group edited, found again at OK (a save may read the book anew)
    std::list<sMtData> m_recipients; // send mode: what the picker starts from and returns
    sGroup m_scratch{};              // group mode: the same, as group slots

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
