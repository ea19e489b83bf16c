#include "gui/addressbook/BookGlyphs.h"
#include "gui/addressbook/TFormAdrBk.h"
#include "gui/shared/FormControls.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

// The address book window's menus, pop-up menus and tool buttons. Items with the same effect in several
// menus run the same command and are enabled together.
namespace norvi {

void TFormAdrBk::buildActions() {
    MItemFNewMember =
        makeAction(this, QStringLiteral("新成員(&M)..."), "MItemFNewMember", &TFormAdrBk::MItemFNewMemberClick);
    MItemFNewMember->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    MItemFNewGroup =
        makeAction(this, QStringLiteral("新群組(&G)..."), "MItemFNewGroup", &TFormAdrBk::MItemFNewGroupClick);
    MItemFNewGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    MItemFContent = makeAction(this, QStringLiteral("內容(&C)"), "MItemFContent", &TFormAdrBk::MItemFContentClick);
    MItemFContent->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    MItemFDelete = makeAction(this, QStringLiteral("刪除(&D)"), "MItemFDelete", &TFormAdrBk::MItemFDeleteClick);
    MItemFImport = makeAction(this, QStringLiteral("匯入(&I)..."), "MItemFImport", &TFormAdrBk::MItemFImportClick);
    MItemFExport = makeAction(this, QStringLiteral("匯出(&E)..."), "MItemFExport", &TFormAdrBk::MItemFExportClick);
    MItemEnd = makeAction(this, QStringLiteral("結束(&X)"), "MItemEnd");
    connect(MItemEnd, &QAction::triggered, this, &QDialog::close);

    MItemVTool = makeAction(this, QStringLiteral("工具列(&T)"), "MItemVTool", &TFormAdrBk::MItemVToolClick);
    MItemVStatus = makeAction(this, QStringLiteral("狀態列(&S)"), "MItemVStatus", &TFormAdrBk::MItemVStatusClick);
    MItemVGroup = makeAction(this, QStringLiteral("群組(&O)"), "MItemVGroup", &TFormAdrBk::MItemVGroupClick);
    for (QAction* a : {MItemVTool, MItemVStatus, MItemVGroup}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    m_styleGroup = new QActionGroup(this);
    MItemVBIcon = makeAction(this, QStringLiteral("大圖示(&G)"), "MItemVBIcon");
    MItemVSIcon = makeAction(this, QStringLiteral("小圖示(&M)"), "MItemVSIcon");
    MItemVList = makeAction(this, QStringLiteral("清單(&L)"), "MItemVList");
    MItemVDetail = makeAction(this, QStringLiteral("詳細資料(&D)"), "MItemVDetail");
    for (QAction* a : {MItemVBIcon, MItemVSIcon, MItemVList, MItemVDetail}) {
        a->setCheckable(true);
        m_styleGroup->addAction(a);
    }
    MItemVDetail->setChecked(true);
    connect(m_styleGroup, &QActionGroup::triggered, this, &TFormAdrBk::ViewStyleClick);

    auto* sortGroup = new QActionGroup(this);
    MItemVSortName = makeAction(this, QStringLiteral("名稱(&N)"), "MItemVSortName");
    MItemVSortMsisdn = makeAction(this, QStringLiteral("手機門號(&M)"), "MItemVSortMsisdn");
    MItemVSortDescscript = makeAction(this, QStringLiteral("說明(&E)"), "MItemVSortDescscript");
    QAction* const sortItems[] = {MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript};
    for (int column = 0; column < 3; ++column) {
        QAction* a = sortItems[column];
        a->setCheckable(true);
        sortGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, column] { ListViewAllColumnClick(column); });
    }
    auto* orderGroup = new QActionGroup(this);
    MItemVSortAsc = makeAction(this, QStringLiteral("遞增(&A)"), "MItemVSortAsc", &TFormAdrBk::MItemVSortAscClick);
    MItemVSortDesc = makeAction(this, QStringLiteral("遞減(&D)"), "MItemVSortDesc", &TFormAdrBk::MItemVSortDescClick);
    for (QAction* a : {MItemVSortAsc, MItemVSortDesc}) {
        a->setCheckable(true);
        orderGroup->addAction(a);
    }

    MItemRefresh = makeAction(this, QStringLiteral("重新整理(&R)"), "MItemRefresh", &TFormAdrBk::MItemRefreshClick);
    MItemRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    MItemASend = makeAction(this, QStringLiteral("發訊(&S)"), "MItemASend", &TFormAdrBk::MItemASendClick);
    MItemAOptOut =
        makeAction(this, QStringLiteral("加入拒收名單(&O)..."), "MItemAOptOut", &TFormAdrBk::MItemAOptOutClick);

    PMItemLvNewMember =
        makeAction(this, QStringLiteral("新成員(&M)..."), "PMItemLvNewMember", &TFormAdrBk::MItemFNewMemberClick);
    PMItemLvNewGroup =
        makeAction(this, QStringLiteral("新群組(&G)..."), "PMItemLvNewGroup", &TFormAdrBk::MItemFNewGroupClick);
    PMItemLvContent = makeAction(this, QStringLiteral("內容(&C)"), "PMItemLvContent", &TFormAdrBk::MItemFContentClick);
    PMItemLvDelete = makeAction(this, QStringLiteral("刪除(&D)"), "PMItemLvDelete", &TFormAdrBk::MItemFDeleteClick);
    PMItemLvSend = makeAction(this, QStringLiteral("發訊(&S)"), "PMItemLvSend", &TFormAdrBk::MItemASendClick);
    PMItemLvOptOut =
        makeAction(this, QStringLiteral("加入拒收名單(&O)..."), "PMItemLvOptOut", &TFormAdrBk::MItemAOptOutClick);
    PMItemTvNewMember =
        makeAction(this, QStringLiteral("新成員(&M)..."), "PMItemTvNewMember", &TFormAdrBk::MItemFNewMemberClick);
    PMItemTvNewGroup =
        makeAction(this, QStringLiteral("新群組(&G)..."), "PMItemTvNewGroup", &TFormAdrBk::MItemFNewGroupClick);
    PMItemTvContent = makeAction(this, QStringLiteral("內容(&C)"), "PMItemTvContent", &TFormAdrBk::MItemFContentClick);
    PMItemTvDelete = makeAction(this, QStringLiteral("刪除(&D)"), "PMItemTvDelete", &TFormAdrBk::MItemFDeleteClick);
    PMItemBtNewMember =
        makeAction(this, QStringLiteral("新成員(&M)..."), "PMItemBtNewMember", &TFormAdrBk::MItemFNewMemberClick);
    PMItemBtNewGroup =
        makeAction(this, QStringLiteral("新群組(&G)..."), "PMItemBtNewGroup", &TFormAdrBk::MItemFNewGroupClick);
    PMItemBtSend = makeAction(this, QStringLiteral("發訊(&S)"), "PMItemBtSend", &TFormAdrBk::MItemASendClick);
}

void TFormAdrBk::buildMenus(QMenuBar* bar) {
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("檔案(&F)"));
    file->setObjectName(QStringLiteral("MItemFile"));
    file->addActions({MItemFNewMember, MItemFNewGroup});
    file->addSeparator();
    file->addActions({MItemFContent, MItemFDelete});
    file->addSeparator();
    file->addActions({MItemFImport, MItemFExport});
    file->addSeparator();
    file->addAction(MItemEnd);

    QMenu* view = bar->addMenu(QStringLiteral("檢視(&V)"));
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

    QMenu* act = bar->addMenu(QStringLiteral("動作(&A)"));
    act->setObjectName(QStringLiteral("MItemAction"));
    act->addActions({MItemASend, MItemAOptOut});
}

void TFormAdrBk::buildToolBar() {
    m_toolBar = makeToolBar(this, 24);

    const struct {
        QToolButton** button;
        const char* name;
        QString caption;
        BookGlyph glyph;
        void (TFormAdrBk::*slot)();
    } buttons[] = {
        {&SpeedButtonNew, "SpeedButtonNew", QStringLiteral("新增↓"), BookGlyph::New, &TFormAdrBk::SpeedButtonNewClick},
        {&SpeedButtonContent, "SpeedButtonContent", QStringLiteral("內容"), BookGlyph::Content,
         &TFormAdrBk::MItemFContentClick},
        {&SpeedButtonDelete, "SpeedButtonDelete", QStringLiteral("刪除"), BookGlyph::Delete,
         &TFormAdrBk::MItemFDeleteClick},
        {&SpeedButtonAction, "SpeedButtonAction", QStringLiteral("動作↓"), BookGlyph::Action,
         &TFormAdrBk::SpeedButtonActionClick},
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
        connect(button, &QToolButton::clicked, this, b.slot);
        m_toolBar->addWidget(button);
        *b.button = button;
    }
}

void TFormAdrBk::buildPopups() {
    m_popupListView = new QMenu(this);
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

    m_popupTreeView = new QMenu(this);
    m_popupTreeView->setObjectName(QStringLiteral("PopupMenuTreeView"));
    QMenu* tvNew = m_popupTreeView->addMenu(QStringLiteral("新增(&N)"));
    tvNew->setObjectName(QStringLiteral("PMItemTvNew"));
    tvNew->addActions({PMItemTvNewMember, PMItemTvNewGroup});
    m_popupTreeView->addSeparator();
    m_popupTreeView->addActions({PMItemTvContent, PMItemTvDelete});

    m_popupBtNew = new QMenu(this);
    m_popupBtNew->setObjectName(QStringLiteral("PopupMenuBtNew"));
    m_popupBtNew->addActions({PMItemBtNewMember, PMItemBtNewGroup});

    m_popupBtAction = new QMenu(this);
    m_popupBtAction->setObjectName(QStringLiteral("PopupMenuBtAction"));
    m_popupBtAction->addAction(PMItemBtSend);
}

// The two buttons with an arrow open their menu under themselves, at their left edge.
void TFormAdrBk::SpeedButtonNewClick() {
    m_popupBtNew->popup(SpeedButtonNew->mapToGlobal(QPoint(0, SpeedButtonNew->height())));
}

void TFormAdrBk::SpeedButtonActionClick() {
    m_popupBtAction->popup(SpeedButtonAction->mapToGlobal(QPoint(0, SpeedButtonAction->height())));
}

} // namespace norvi
