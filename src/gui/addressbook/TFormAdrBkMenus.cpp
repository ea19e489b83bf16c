#include "gui/addressbook/BookFormControls.h"
#include "gui/addressbook/BookGlyphs.h"
#include "gui/addressbook/TFormAdrBk.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

// The address book window's menus, pop-up menus and tool buttons. Items with the same effect in several
// menus run the same command and are enabled together.
namespace norvi {

namespace {

using namespace bookform;

} // namespace

QAction* TFormAdrBk::action(const char* name, const char* caption, void (TFormAdrBk::*slot)()) {
    auto* a = new QAction(u(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    if (slot)
        connect(a, &QAction::triggered, this, slot);
    return a;
}

void TFormAdrBk::buildActions() {
    MItemFNewMember = action("MItemFNewMember", "新成員(&M)...", &TFormAdrBk::MItemFNewMemberClick);
    MItemFNewMember->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    MItemFNewGroup = action("MItemFNewGroup", "新群組(&G)...", &TFormAdrBk::MItemFNewGroupClick);
    MItemFNewGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    MItemFContent = action("MItemFContent", "內容(&C)", &TFormAdrBk::MItemFContentClick);
    MItemFContent->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Return));
    MItemFDelete = action("MItemFDelete", "刪除(&D)", &TFormAdrBk::MItemFDeleteClick);
    MItemFImport = action("MItemFImport", "匯入(&I)...", &TFormAdrBk::MItemFImportClick);
    MItemFExport = action("MItemFExport", "匯出(&E)...", &TFormAdrBk::MItemFExportClick);
    MItemEnd = action("MItemEnd", "結束(&X)");
    connect(MItemEnd, &QAction::triggered, this, &QDialog::close);

    MItemVTool = action("MItemVTool", "工具列(&T)", &TFormAdrBk::MItemVToolClick);
    MItemVStatus = action("MItemVStatus", "狀態列(&S)", &TFormAdrBk::MItemVStatusClick);
    MItemVGroup = action("MItemVGroup", "群組(&O)", &TFormAdrBk::MItemVGroupClick);
    for (QAction* a : {MItemVTool, MItemVStatus, MItemVGroup}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    m_styleGroup = new QActionGroup(this);
    MItemVBIcon = action("MItemVBIcon", "大圖示(&G)");
    MItemVSIcon = action("MItemVSIcon", "小圖示(&M)");
    MItemVList = action("MItemVList", "清單(&L)");
    MItemVDetail = action("MItemVDetail", "詳細資料(&D)");
    for (QAction* a : {MItemVBIcon, MItemVSIcon, MItemVList, MItemVDetail}) {
        a->setCheckable(true);
        m_styleGroup->addAction(a);
    }
    MItemVDetail->setChecked(true);
    connect(m_styleGroup, &QActionGroup::triggered, this, &TFormAdrBk::ViewStyleClick);

    auto* sortGroup = new QActionGroup(this);
    MItemVSortName = action("MItemVSortName", "名稱(&N)");
    MItemVSortMsisdn = action("MItemVSortMsisdn", "手機門號(&M)");
    MItemVSortDescscript = action("MItemVSortDescscript", "說明(&E)");
    QAction* const sortItems[] = {MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript};
    for (int column = 0; column < 3; ++column) {
        QAction* a = sortItems[column];
        a->setCheckable(true);
        sortGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, column] { ListViewAllColumnClick(column); });
    }
    auto* orderGroup = new QActionGroup(this);
    MItemVSortAsc = action("MItemVSortAsc", "遞增(&A)", &TFormAdrBk::MItemVSortAscClick);
    MItemVSortDesc = action("MItemVSortDesc", "遞減(&D)", &TFormAdrBk::MItemVSortDescClick);
    for (QAction* a : {MItemVSortAsc, MItemVSortDesc}) {
        a->setCheckable(true);
        orderGroup->addAction(a);
    }

    MItemRefresh = action("MItemRefresh", "重新整理(&R)", &TFormAdrBk::MItemRefreshClick);
    MItemRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    MItemASend = action("MItemASend", "發訊(&S)", &TFormAdrBk::MItemASendClick);

    PMItemLvNewMember = action("PMItemLvNewMember", "新成員(&M)...", &TFormAdrBk::MItemFNewMemberClick);
    PMItemLvNewGroup = action("PMItemLvNewGroup", "新群組(&G)...", &TFormAdrBk::MItemFNewGroupClick);
    PMItemLvContent = action("PMItemLvContent", "內容(&C)", &TFormAdrBk::MItemFContentClick);
    PMItemLvDelete = action("PMItemLvDelete", "刪除(&D)", &TFormAdrBk::MItemFDeleteClick);
    PMItemLvSend = action("PMItemLvSend", "發訊(&S)", &TFormAdrBk::MItemASendClick);
    PMItemTvNewMember = action("PMItemTvNewMember", "新成員(&M)...", &TFormAdrBk::MItemFNewMemberClick);
    PMItemTvNewGroup = action("PMItemTvNewGroup", "新群組(&G)...", &TFormAdrBk::MItemFNewGroupClick);
    PMItemTvContent = action("PMItemTvContent", "內容(&C)", &TFormAdrBk::MItemFContentClick);
    PMItemTvDelete = action("PMItemTvDelete", "刪除(&D)", &TFormAdrBk::MItemFDeleteClick);
    PMItemBtNewMember = action("PMItemBtNewMember", "新成員(&M)...", &TFormAdrBk::MItemFNewMemberClick);
    PMItemBtNewGroup = action("PMItemBtNewGroup", "新群組(&G)...", &TFormAdrBk::MItemFNewGroupClick);
    PMItemBtSend = action("PMItemBtSend", "發訊(&S)", &TFormAdrBk::MItemASendClick);
}

void TFormAdrBk::buildMenus(QMenuBar* bar) {
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(u("檔案(&F)"));
    file->setObjectName(QStringLiteral("MItemFile"));
    file->addActions({MItemFNewMember, MItemFNewGroup});
    file->addSeparator();
    file->addActions({MItemFContent, MItemFDelete});
    file->addSeparator();
    file->addActions({MItemFImport, MItemFExport});
    file->addSeparator();
    file->addAction(MItemEnd);

    QMenu* view = bar->addMenu(u("檢視(&V)"));
    view->setObjectName(QStringLiteral("MItemView"));
    view->addActions({MItemVTool, MItemVStatus, MItemVGroup});
    view->addSeparator();
    view->addActions({MItemVBIcon, MItemVSIcon, MItemVList, MItemVDetail});
    view->addSeparator();
    QMenu* sort = view->addMenu(u("排列方式(&B)"));
    sort->setObjectName(QStringLiteral("MItemVSort"));
    sort->addActions({MItemVSortName, MItemVSortMsisdn, MItemVSortDescscript});
    sort->addSeparator();
    sort->addActions({MItemVSortAsc, MItemVSortDesc});
    view->addSeparator();
    view->addAction(MItemRefresh);

    QMenu* act = bar->addMenu(u("動作(&A)"));
    act->setObjectName(QStringLiteral("MItemAction"));
    act->addAction(MItemASend);
}

void TFormAdrBk::buildToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->toggleViewAction()->setVisible(false);

    const struct {
        QToolButton** button;
        const char* name;
        const char* caption;
        BookGlyph glyph;
        void (TFormAdrBk::*slot)();
    } buttons[] = {
        {&SpeedButtonNew, "SpeedButtonNew", "新增↓", BookGlyph::New, &TFormAdrBk::SpeedButtonNewClick},
        {&SpeedButtonContent, "SpeedButtonContent", "內容", BookGlyph::Content, &TFormAdrBk::MItemFContentClick},
        {&SpeedButtonDelete, "SpeedButtonDelete", "刪除", BookGlyph::Delete, &TFormAdrBk::MItemFDeleteClick},
        {&SpeedButtonAction, "SpeedButtonAction", "動作↓", BookGlyph::Action, &TFormAdrBk::SpeedButtonActionClick},
    };
    for (const auto& b : buttons) {
        auto* button = new QToolButton(m_toolBar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setText(u(b.caption));
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
    QMenu* lvNew = m_popupListView->addMenu(u("新增(&N)"));
    lvNew->setObjectName(QStringLiteral("PMItemLvNew"));
    lvNew->addActions({PMItemLvNewMember, PMItemLvNewGroup});
    m_popupListView->addSeparator();
    m_popupListView->addActions({PMItemLvContent, PMItemLvDelete});
    m_popupListView->addSeparator();
    QMenu* lvAction = m_popupListView->addMenu(u("動作(&A)"));
    lvAction->setObjectName(QStringLiteral("PMItemLvAction"));
    lvAction->addAction(PMItemLvSend);

    m_popupTreeView = new QMenu(this);
    m_popupTreeView->setObjectName(QStringLiteral("PopupMenuTreeView"));
    QMenu* tvNew = m_popupTreeView->addMenu(u("新增(&N)"));
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
