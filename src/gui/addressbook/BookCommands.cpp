#include "gui/addressbook/BookCommands.h"

#include "gui/addressbook/BookGlyphs.h"
#include "gui/shared/FormControls.h"

#include <QActionGroup>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace norvi {

BookCommands::BookCommands(QDialog* dialog) : m_dialog(dialog) {
    buildActions();
    m_menuBar = new QMenuBar(dialog);
    buildMenus();
    buildToolBar();
    buildPopups();
}

QAction* BookCommands::item(const QString& caption, const char* name, void (BookCommands::*chosen)()) {
    QAction* action = makeAction(m_dialog, caption, name);
    connect(action, &QAction::triggered, this, chosen);
    return action;
}

void BookCommands::buildActions() {
    MItemFNewMember = item(QStringLiteral("新成員(&M)..."), "MItemFNewMember", &BookCommands::newMemberChosen);
    MItemFNewMember->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    MItemFNewGroup = item(QStringLiteral("新群組(&G)..."), "MItemFNewGroup", &BookCommands::newGroupChosen);
    MItemFNewGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    MItemFContent = item(QStringLiteral("內容(&C)"), "MItemFContent", &BookCommands::contentChosen);
    MItemFContent->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    MItemFDelete = item(QStringLiteral("刪除(&D)"), "MItemFDelete", &BookCommands::deleteChosen);
    MItemFImport = item(QStringLiteral("匯入(&I)..."), "MItemFImport", &BookCommands::importChosen);
    MItemFExport = item(QStringLiteral("匯出(&E)..."), "MItemFExport", &BookCommands::exportChosen);
    MItemEnd = makeAction(m_dialog, QStringLiteral("結束(&X)"), "MItemEnd");
    connect(MItemEnd, &QAction::triggered, m_dialog, &QDialog::close);

    buildViewActions();

    MItemRefresh = item(QStringLiteral("重新整理(&R)"), "MItemRefresh", &BookCommands::refreshChosen);
    MItemRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    MItemASend = item(QStringLiteral("發訊(&S)"), "MItemASend", &BookCommands::sendChosen);
    MItemAOptOut = item(QStringLiteral("加入拒收名單(&O)..."), "MItemAOptOut", &BookCommands::optOutChosen);

    buildPopupActions();
}

void BookCommands::buildViewActions() {
    MItemVTool = makeAction(m_dialog, QStringLiteral("工具列(&T)"), "MItemVTool");
    connect(MItemVTool, &QAction::triggered, this, &BookCommands::toolBarChosen);
    MItemVStatus = makeAction(m_dialog, QStringLiteral("狀態列(&S)"), "MItemVStatus");
    connect(MItemVStatus, &QAction::triggered, this, &BookCommands::statusBarChosen);
    MItemVGroup = makeAction(m_dialog, QStringLiteral("群組(&O)"), "MItemVGroup");
    connect(MItemVGroup, &QAction::triggered, this, &BookCommands::groupPaneChosen);
    for (QAction* a : {MItemVTool, MItemVStatus, MItemVGroup}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    auto* styleGroup = new QActionGroup(m_dialog);
    MItemVBIcon = makeAction(m_dialog, QStringLiteral("大圖示(&G)"), "MItemVBIcon");
    MItemVSIcon = makeAction(m_dialog, QStringLiteral("小圖示(&M)"), "MItemVSIcon");
    MItemVList = makeAction(m_dialog, QStringLiteral("清單(&L)"), "MItemVList");
    MItemVDetail = makeAction(m_dialog, QStringLiteral("詳細資料(&D)"), "MItemVDetail");
    const struct {
        QAction* item;
        BookViewStyle style;
    } styles[] = {{MItemVBIcon, BookViewStyle::LargeIcons},
                  {MItemVSIcon, BookViewStyle::SmallIcons},
                  {MItemVList, BookViewStyle::List},
                  {MItemVDetail, BookViewStyle::Details}};
    for (const auto& s : styles) {
        s.item->setCheckable(true);
        styleGroup->addAction(s.item);
        connect(s.item, &QAction::triggered, this, [this, style = s.style] { emit viewStyleChosen(style); });
    }
    MItemVDetail->setChecked(true);

    auto* sortGroup = new QActionGroup(m_dialog);
    MItemVSortName = makeAction(m_dialog, QStringLiteral("名稱(&N)"), "MItemVSortName");
    MItemVSortMsisdn = makeAction(m_dialog, QStringLiteral("手機門號(&M)"), "MItemVSortMsisdn");
    MItemVSortDescscript = makeAction(m_dialog, QStringLiteral("說明(&E)"), "MItemVSortDescscript");
    QAction* const sortItems[] = {MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript};
    for (int column = 0; column < 3; ++column) {
        QAction* a = sortItems[column];
        a->setCheckable(true);
        sortGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, column] { emit sortColumnChosen(column); });
    }
    auto* orderGroup = new QActionGroup(m_dialog);
    MItemVSortAsc = makeAction(m_dialog, QStringLiteral("遞增(&A)"), "MItemVSortAsc");
    MItemVSortDesc = makeAction(m_dialog, QStringLiteral("遞減(&D)"), "MItemVSortDesc");
    connect(MItemVSortAsc, &QAction::triggered, this, [this] { emit sortOrderChosen(true); });
    connect(MItemVSortDesc, &QAction::triggered, this, [this] { emit sortOrderChosen(false); });
    for (QAction* a : {MItemVSortAsc, MItemVSortDesc}) {
        a->setCheckable(true);
        orderGroup->addAction(a);
    }
}

void BookCommands::buildPopupActions() {
    PMItemLvNewMember = item(QStringLiteral("新成員(&M)..."), "PMItemLvNewMember", &BookCommands::newMemberChosen);
    PMItemLvNewGroup = item(QStringLiteral("新群組(&G)..."), "PMItemLvNewGroup", &BookCommands::newGroupChosen);
    PMItemLvContent = item(QStringLiteral("內容(&C)"), "PMItemLvContent", &BookCommands::contentChosen);
    PMItemLvDelete = item(QStringLiteral("刪除(&D)"), "PMItemLvDelete", &BookCommands::deleteChosen);
    PMItemLvSend = item(QStringLiteral("發訊(&S)"), "PMItemLvSend", &BookCommands::sendChosen);
    PMItemLvOptOut = item(QStringLiteral("加入拒收名單(&O)..."), "PMItemLvOptOut", &BookCommands::optOutChosen);
    PMItemTvNewMember = item(QStringLiteral("新成員(&M)..."), "PMItemTvNewMember", &BookCommands::newMemberChosen);
    PMItemTvNewGroup = item(QStringLiteral("新群組(&G)..."), "PMItemTvNewGroup", &BookCommands::newGroupChosen);
    PMItemTvContent = item(QStringLiteral("內容(&C)"), "PMItemTvContent", &BookCommands::contentChosen);
    PMItemTvDelete = item(QStringLiteral("刪除(&D)"), "PMItemTvDelete", &BookCommands::deleteChosen);
    PMItemBtNewMember = item(QStringLiteral("新成員(&M)..."), "PMItemBtNewMember", &BookCommands::newMemberChosen);
    PMItemBtNewGroup = item(QStringLiteral("新群組(&G)..."), "PMItemBtNewGroup", &BookCommands::newGroupChosen);
    PMItemBtSend = item(QStringLiteral("發訊(&S)"), "PMItemBtSend", &BookCommands::sendChosen);
}

void BookCommands::buildMenus() {
    m_menuBar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = m_menuBar->addMenu(QStringLiteral("檔案(&F)"));
    file->setObjectName(QStringLiteral("MItemFile"));
    file->addActions({MItemFNewMember, MItemFNewGroup});
    file->addSeparator();
    file->addActions({MItemFContent, MItemFDelete});
    file->addSeparator();
    file->addActions({MItemFImport, MItemFExport});
    file->addSeparator();
    file->addAction(MItemEnd);

    QMenu* view = m_menuBar->addMenu(QStringLiteral("檢視(&V)"));
    view->setObjectName(QStringLiteral("MItemView"));
    view->addActions({MItemVTool, MItemVStatus, MItemVGroup});
    view->addSeparator();
    view->addActions({MItemVBIcon, MItemVSIcon, MItemVList, MItemVDetail});
    view->addSeparator();
    QMenu* sort = view->addMenu(QStringLiteral("排列方式(&B)"));
    sort->setObjectName(QStringLiteral("MItemVSort"));
    sort->addActions({MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript});
    sort->addSeparator();
    sort->addActions({MItemVSortAsc, MItemVSortDesc});
    view->addSeparator();
    view->addAction(MItemRefresh);

    QMenu* act = m_menuBar->addMenu(QStringLiteral("動作(&A)"));
    act->setObjectName(QStringLiteral("MItemAction"));
    act->addActions({MItemASend, MItemAOptOut});
}

// The two buttons with an arrow open their menu under themselves, at their left edge.
void BookCommands::buildToolBar() {
    m_toolBar = makeToolBar(m_dialog, 24);

    const struct {
        QToolButton** button;
        const char* name;
        QString caption;
        BookGlyph glyph;
    } buttons[] = {
        {&SpeedButtonNew, "SpeedButtonNew", QStringLiteral("新增↓"), BookGlyph::New},
        {&SpeedButtonContent, "SpeedButtonContent", QStringLiteral("內容"), BookGlyph::Content},
        {&SpeedButtonDelete, "SpeedButtonDelete", QStringLiteral("刪除"), BookGlyph::Delete},
        {&SpeedButtonAction, "SpeedButtonAction", QStringLiteral("動作↓"), BookGlyph::Action},
    };
    for (const auto& b : buttons) {
        auto* button = new QToolButton(m_toolBar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setText(b.caption);
        button->setIcon(bookGlyph(b.glyph));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIconSize(QSize(24, 24));
        button->setMinimumWidth(48);
        m_toolBar->addWidget(button);
        *b.button = button;
    }
    connect(SpeedButtonNew, &QToolButton::clicked, this,
            [this] { m_popupBtNew->popup(SpeedButtonNew->mapToGlobal(QPoint(0, SpeedButtonNew->height()))); });
    connect(SpeedButtonContent, &QToolButton::clicked, this, &BookCommands::contentChosen);
    connect(SpeedButtonDelete, &QToolButton::clicked, this, &BookCommands::deleteChosen);
    connect(SpeedButtonAction, &QToolButton::clicked, this,
            [this] { m_popupBtAction->popup(SpeedButtonAction->mapToGlobal(QPoint(0, SpeedButtonAction->height()))); });
}

void BookCommands::buildPopups() {
    m_popupListView = new QMenu(m_dialog);
    m_popupListView->setObjectName(QStringLiteral("PopupMenuListView"));
    QMenu* lvNew = m_popupListView->addMenu(QStringLiteral("新增(&N)"));
    lvNew->setObjectName(QStringLiteral("PMItemLvNew"));
    lvNew->addActions({PMItemLvNewMember, PMItemLvNewGroup});
    m_popupListView->addSeparator();
    m_popupListView->addActions({PMItemLvContent, PMItemLvDelete});
    m_popupListView->addSeparator();
    QMenu* lvAction = m_popupListView->addMenu(QStringLiteral("動作(&A)"));
    lvAction->setObjectName(QStringLiteral("PMItemLvAction"));
    lvAction->addAction(PMItemLvSend);
    m_popupListView->addAction(PMItemLvOptOut);

    m_popupTreeView = new QMenu(m_dialog);
    m_popupTreeView->setObjectName(QStringLiteral("PopupMenuTreeView"));
    QMenu* tvNew = m_popupTreeView->addMenu(QStringLiteral("新增(&N)"));
    tvNew->setObjectName(QStringLiteral("PMItemTvNew"));
    tvNew->addActions({PMItemTvNewMember, PMItemTvNewGroup});
    m_popupTreeView->addSeparator();
    m_popupTreeView->addActions({PMItemTvContent, PMItemTvDelete});

    m_popupBtNew = new QMenu(m_dialog);
    m_popupBtNew->setObjectName(QStringLiteral("PopupMenuBtNew"));
    m_popupBtNew->addActions({PMItemBtNewMember, PMItemBtNewGroup});

    m_popupBtAction = new QMenu(m_dialog);
    m_popupBtAction->setObjectName(QStringLiteral("PopupMenuBtAction"));
    m_popupBtAction->addAction(PMItemBtSend);
}

void BookCommands::enable(const Allowed& allowed) {
    for (QAction* a : {MItemFContent, PMItemLvContent, PMItemTvContent})
        a->setEnabled(allowed.content);
    SpeedButtonContent->setEnabled(allowed.content);
    for (QAction* a : {MItemFDelete, PMItemLvDelete, PMItemTvDelete})
        a->setEnabled(allowed.remove);
    SpeedButtonDelete->setEnabled(allowed.remove);
    for (QAction* a : {MItemASend, PMItemLvSend, PMItemBtSend})
        a->setEnabled(allowed.send);
    SpeedButtonAction->setEnabled(allowed.send);
    for (QAction* a : {MItemAOptOut, PMItemLvOptOut})
        a->setEnabled(allowed.optOut);
}

void BookCommands::checkSort(int column, bool ascending) {
    QAction* const items[] = {MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript};
    items[column]->setChecked(true);
    (ascending ? MItemVSortAsc : MItemVSortDesc)->setChecked(true);
}

void BookCommands::popUpTreeMenu(const QPoint& globalPos) {
    m_popupTreeView->popup(globalPos);
}

void BookCommands::popUpListMenu(const QPoint& globalPos) {
    m_popupListView->popup(globalPos);
}

} // namespace norvi
