#pragma once

#include "core/addressbook/AddressBook.h"
#include "core/compose/OptOutList.h"
#include "core/compose/RecipientRecords.h"

#include <QDialog>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QListView;
class QMenu;
class QMenuBar;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QAbstractItemView;

namespace norvi {

class FontRowDelegate;

class BookListModel;

// "通訊錄": the address book window, created once at start-up (which loads AddressBook.bin) and shown
// modally from the main window. The tree on the left lists the groups under 我的連絡人; the list on the
// right shows what the selected node holds: the whole book for the root, a group's entries for a group.
// Every change made here is written to the file at once.
class TFormAdrBk : public QDialog {
    Q_OBJECT
public:
    explicit TFormAdrBk(AddressBook& book, QWidget* parent = nullptr);
    ~TFormAdrBk() override;

    // Member ids of the list's rows in list order; the export writes these members.
    std::vector<int32_t> listedMemberIds() const;

    // The list shows again what the selected tree node holds as the book now stands, sorted by 名稱
    // ascending. The editors call it (through BookNotifier) after an OK, the import after its run.
    void ReloadList();
    // Builds the tree again from the book's groups; the node shown before stays selected while its group exists,
    // otherwise the root is selected. The list follows the selected node.
    void RebuildTree();

    enum class Context { Tree, List };
    // The numbers 加入拒收名單 offers: those of the members among the list's selected rows.
    std::vector<OptOutCandidate> optOutCandidates() const;
    Context context() const { return m_context; }

signals:
    // 發訊: the chosen entries, in list order, for the send dialog. 匯入/匯出: the file type chooser, which
    // leads on to the wizard; an export writes `listedIds`.
    void sendRequested(const std::vector<sMtData>& entries);
    // 加入拒收名單: every number of the chosen members, with the member's name.
    void optOutRequested(const std::vector<OptOutCandidate>& numbers);
    void exchangeRequested(bool import, const std::vector<int32_t>& listedIds);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private slots:
    void MItemFNewMemberClick();
    void MItemFNewGroupClick();
    void MItemFContentClick();
    void MItemFDeleteClick();
    void MItemFImportClick();
    void MItemFExportClick();
    void MItemASendClick();
    void MItemAOptOutClick();
    void MItemRefreshClick();
    void MItemVToolClick();
    void MItemVStatusClick();
    void MItemVGroupClick();
    void ViewStyleClick(QAction* item);
    void MItemVSortAscClick();
    void MItemVSortDescClick();
    void ListViewAllColumnClick(int column);
    void SpeedButtonNewClick();
    void SpeedButtonActionClick();
    void TreeViewGroupChange();
    void TreeViewGroupPopup(const QPoint& pos);
    void ListViewAllPopup(const QPoint& pos);
    void UpdateCommands();

private:
    // Building (TFormAdrBkMenus.cpp)
    void buildActions();
    void buildMenus(QMenuBar* bar);
    void buildToolBar();
    void buildPopups();

    // Layout and state (TFormAdrBk.cpp)
    void buildPanes();
    void FormShow();
    void layoutPanes();
    void setContext(Context context);
    QTreeWidgetItem* rootNode() const;
    QTreeWidgetItem* selectedNode() const;
    QTreeWidgetItem* groupNode(int32_t id) const;
    int32_t nodeGroupId(const QTreeWidgetItem* node) const; // 0 for the root
    void selectNode(QTreeWidgetItem* node);
    void showNodeContent(QTreeWidgetItem* node);
    void fillList(int32_t groupId); // 0: the whole book
    void resetSort();
    void sortList();
    void updateSortChecks();
    void setStatusText();
    void selectListRow(int row);
    QAbstractItemView* listView() const;
    QList<int> selectedListRows() const;

    // Commands (TFormAdrBkCommands.cpp)
    void editMember(int32_t id);
    void editGroup(int32_t id);
    void deleteAllGroups();
    void deleteGroupNode(QTreeWidgetItem* node);
    void deleteListRowsForever();
    void removeListRowsFromGroup(int32_t groupId);
    void openExchange(bool import);

    AddressBook& m_book;
    Context m_context = Context::Tree;
    int m_sortColumn = 0;
    bool m_sortAscending = true;
    // The node whose content the list shows (none right after the window is shown), so a click on the same
    // node again does not fill the list again: the group's id, 0 for the root.
    bool m_nodeShown = false;
    int32_t m_shownGroup = 0;
    QSize m_lastLayoutSize;

    QToolBar* m_toolBar = nullptr;
    QTreeWidget* m_tree = nullptr;
    QSplitter* m_splitter = nullptr;
    QStackedWidget* m_listStack = nullptr;
    QTreeView* m_details = nullptr; // ListViewAll in the detail style
    QListView* m_icons = nullptr;   // the same rows in the icon and list styles
    FontRowDelegate* m_iconCells = nullptr;
    BookListModel* m_model = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusText = nullptr;
    QMenu *m_popupListView = nullptr, *m_popupTreeView = nullptr, *m_popupBtNew = nullptr, *m_popupBtAction = nullptr;
    QActionGroup* m_styleGroup = nullptr;

    QAction *MItemFNewMember, *MItemFNewGroup, *MItemFContent, *MItemFDelete, *MItemFImport, *MItemFExport, *MItemEnd;
    QAction *MItemVTool, *MItemVStatus, *MItemVGroup, *MItemVBIcon, *MItemVSIcon, *MItemVList, *MItemVDetail;
    QAction *MItemVSortName, *MItemVSortMsisdn, *MItemVSortDescscript, *MItemVSortAsc, *MItemVSortDesc;
    QAction *MItemRefresh, *MItemASend, *MItemAOptOut;
    QAction *PMItemLvNewMember, *PMItemLvNewGroup, *PMItemLvContent, *PMItemLvDelete, *PMItemLvSend, *PMItemLvOptOut;
    QAction *PMItemTvNewMember, *PMItemTvNewGroup, *PMItemTvContent, *PMItemTvDelete;
    QAction *PMItemBtNewMember, *PMItemBtNewGroup, *PMItemBtSend;
    QToolButton *SpeedButtonNew, *SpeedButtonContent, *SpeedButtonDelete, *SpeedButtonAction;
};

} // namespace norvi
