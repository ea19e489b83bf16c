#pragma once

#include "gui/addressbook/BookListPane.h"

#include <QObject>

class QAction;
class QDialog;
class QMenu;
class QMenuBar;
class QPoint;
class QToolBar;
class QToolButton;

namespace norvi {

// The address book window's menu bar, tool bar and pop-up menus, and the items in them. Items with the same
// effect in several menus give the same signal and are enabled together; the window runs the commands.
class BookCommands : public QObject {
    Q_OBJECT
public:
    // What the selection allows: 內容, 刪除, 發訊 and 加入拒收名單.
    struct Allowed {
        bool content = false;
        bool remove = false;
        bool send = false;
        bool optOut = false;
    };

    // Builds the items into `dialog`, its menu bar and its tool bar (ToolBar1).
    explicit BookCommands(QDialog* dialog);

    QMenuBar* menuBar() const { return m_menuBar; }
    QToolBar* toolBar() const { return m_toolBar; }

    void enable(const Allowed& allowed);
    // The 排列方式 items check the list's sort column and order.
    void checkSort(int column, bool ascending);
    void popUpTreeMenu(const QPoint& globalPos);
    void popUpListMenu(const QPoint& globalPos);

signals:
    void newMemberChosen();
    void newGroupChosen();
    void contentChosen();
    void deleteChosen();
    void importChosen();
    void exportChosen();
    void sendChosen();
    void optOutChosen();
    void refreshChosen();
    void toolBarChosen(bool shown);
    void statusBarChosen(bool shown);
    void groupPaneChosen(bool shown);
    void viewStyleChosen(BookViewStyle style);
    void sortColumnChosen(int column);
    void sortOrderChosen(bool ascending);

private:
    void buildActions();
    void buildViewActions();
    void buildPopupActions();
    void buildMenus();
    void buildToolBar();
    void buildPopups();
    QAction* item(const QString& caption, const char* name, void (BookCommands::*chosen)());

    QDialog* m_dialog;
    QMenuBar* m_menuBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu *m_popupListView = nullptr, *m_popupTreeView = nullptr, *m_popupBtNew = nullptr, *m_popupBtAction = nullptr;

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
