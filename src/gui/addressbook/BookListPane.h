#pragma once

#include <QList>
#include <QObject>

#include <cstdint>
#include <vector>

class QAbstractItemView;
class QListView;
class QPoint;
class QStackedWidget;
class QTreeView;
class QWidget;

namespace norvi {

class AddressBook;
class BookListModel;
class FontRowDelegate;

// The four looks of the list the 檢視 menu offers.
enum class BookViewStyle { LargeIcons, SmallIcons, List, Details };

// The right pane of the address book window: what the group chosen in the tree holds (the whole book for the
// root), in the detail view (ListViewAll) or the icon views over the same rows and selection, sorted by one
// column in one order.
class BookListPane : public QObject {
    Q_OBJECT
public:
    // Builds the views into `dialog`.
    BookListPane(AddressBook& book, QWidget* dialog);

    QWidget* widget() const; // the stack of the two views
    BookListModel& model() const { return *m_model; }
    // Sends the views' focus and mouse presses through `filter`, and tells whether it watches `watched`.
    void watch(QObject* filter) const;
    bool watches(const QObject* watched) const;

    // Shows the group's entries (0: the whole book), sorted by 名稱 ascending.
    void show(int32_t groupId);
    // The group whose content the list shows, 0 for the root; `shows` is false for every group right after
    // `forget`, so the next `show` fills the list whatever it showed before.
    int32_t shownGroup() const { return m_shownGroup; }
    bool shows(int32_t groupId) const { return m_showsNode && m_shownGroup == groupId; }
    void forget();
    // Fills the list again with the group's entries as the book now stands, sorted by 名稱 ascending.
    void refill(int32_t groupId);

    // Member ids of the rows in list order.
    std::vector<int32_t> memberIds() const;
    QList<int> selectedRows() const;
    // Gives the shown view the focus and selects `row` in it, when there is such a row.
    void selectRow(int row);

    // A click on the sort column reverses the order; a click on another column sorts by it ascending.
    void sortBy(int column);
    void sortInOrder(bool ascending);
    void resetSort();
    void setViewStyle(BookViewStyle style);

signals:
    void selectionChanged();
    void activated(); // a double click on a row
    void popupRequested(const QPoint& globalPos);
    void sortChanged(int column, bool ascending);

private:
    void buildDetails();
    void buildIcons();
    void fill(int32_t groupId);
    QAbstractItemView* shownView() const;

    AddressBook& m_book;
    BookListModel* m_model = nullptr;
    QTreeView* m_details = nullptr; // ListViewAll in the detail style
    QListView* m_icons = nullptr;   // the same rows in the icon and list styles
    FontRowDelegate* m_iconCells = nullptr;
    QStackedWidget* m_stack = nullptr;
    int m_sortColumn = 0;
    bool m_sortAscending = true;
    // The node whose content the list shows (none right after the window is shown), so a click on the same
    // node again does not fill the list again.
    bool m_showsNode = false;
    int32_t m_shownGroup = 0;
};

} // namespace norvi
