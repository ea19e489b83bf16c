#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/workers/DeliveryClass.h"
#include "core/workers/MessageHistory.h"
#include "core/workers/MonthUsage.h"
#include "gui/sendlog/FollowUp.h"
#include "gui/sendlog/SendLogColumns.h"
#include "gui/sendlog/SendLogDelegate.h"
#include "gui/sendlog/SendLogFiles.h"
#include "gui/sendlog/TFormFollowUp.h"
#include "gui/sendlog/TFormMain.h"
#include "gui/sendlog/TFormResults.h"
#include "gui/sendlog/TFormUndelivered.h"
#include "gui/sendlog/TFormUsage.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/IconTable.h"
#include "gui/shared/Prompts.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

// The main window's commands, menus, tool bar, pop-up menu and the two areas of its centre.
namespace norvi {

void TFormMain::buildActions() {
    MItemFLoad = makeAction(this, QStringLiteral("載入紀錄(&L)..."), "MItemFLoad", &TFormMain::MItemFLoadClick);
    MItemFSave = makeAction(this, QStringLiteral("儲存紀錄(&S)..."), "MItemFSave");
    connect(MItemFSave, &QAction::triggered, this, [this] { m_files->SaveLog(); });
    MItemFContent = makeAction(this, QStringLiteral("內容(&C)"), "MItemFContent", &TFormMain::MItemFContentClick);
    // The key is Alt+Enter, and the menu says so: left to itself it would print the key's name "Return".
    MItemFContent->setText(MItemFContent->text() + QStringLiteral("\tAlt+Enter"));
    MItemFContent->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    MItemFDelete = makeAction(this, QStringLiteral("刪除(&D)"), "MItemFDelete", &TFormMain::MItemFDeleteClick);
    MItemFExit = makeAction(this, QStringLiteral("結束(&X)"), "MItemFExit", &TFormMain::MItemFExitClick);

    MItemVToolBar = makeAction(this, QStringLiteral("工具列(&T)"), "MItemVToolBar", &TFormMain::MItemVToolBarClick);
    MItemVStatusBar =
        makeAction(this, QStringLiteral("狀態列(&S)"), "MItemVStatusBar", &TFormMain::MItemVStatusBarClick);
    MItemVMsgWin = makeAction(this, QStringLiteral("訊息視窗(&W)"), "MItemVMsgWin", &TFormMain::MItemVMsgWinClick);
    for (QAction* a : {MItemVToolBar, MItemVStatusBar, MItemVMsgWin}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    static const char* const sortNames[kSendLogColumns] = {
        "MItemVSortName",       "MItemVSortMobile",    "MItemVSortSendTime",    "MItemVSortSendCode",
        "MItemVSortSendResult", "MItemVSortQueryCode", "MItemVSortQueryResult", "MItemVSortContent"};
    const QString sortCaptions[kSendLogColumns] = {QStringLiteral("名稱(&N)"),     QStringLiteral("手機門號(&M)"),
                                                   QStringLiteral("傳送時間(&T)"), QStringLiteral("傳送碼(&C)"),
                                                   QStringLiteral("傳送結果(&R)"), QStringLiteral("查詢碼(&Q)"),
                                                   QStringLiteral("查詢結果(&U)"), QStringLiteral("訊息內容(&E)")};
    m_sortGroup = new QActionGroup(this);
    for (int k = 0; k < kSendLogColumns; ++k) {
        MItemVSort[k] = makeAction(this, sortCaptions[k], sortNames[k]);
        MItemVSort[k]->setCheckable(true);
        m_sortGroup->addAction(MItemVSort[k]);
        connect(MItemVSort[k], &QAction::triggered, this, [this, k] { ListViewLogColumnClick(k); });
    }
    MItemVSort[ColName]->setChecked(true);
    m_orderGroup = new QActionGroup(this);
    MItemVAscending = makeAction(this, QStringLiteral("遞增(&A)"), "MItemVAscending", &TFormMain::MItemVAscendingClick);
    MItemVDescending =
        makeAction(this, QStringLiteral("遞減(&D)"), "MItemVDescending", &TFormMain::MItemVDescendingClick);
    for (QAction* a : {MItemVAscending, MItemVDescending}) {
        a->setCheckable(true);
        m_orderGroup->addAction(a);
    }
    MItemVAscending->setChecked(true);

    MItemTSendSMS = makeAction(this, QStringLiteral("發訊(&S)..."), "MItemTSendSMS", &TFormMain::MItemTSendSMSClick);
    MItemTQuerySMS = makeAction(this, QStringLiteral("查詢(&Q)..."), "MItemTQuerySMS", &TFormMain::MItemTQuerySMSClick);
    MItemTCancelSMS =
        makeAction(this, QStringLiteral("取消預約(&C)..."), "MItemTCancelSMS", &TFormMain::MItemTCancelSMSClick);
    MItemTAdrBk = makeAction(this, QStringLiteral("通訊錄(&B)..."), "MItemTAdrBk", &TFormMain::MItemTAdrBkClick);
    MItemTSettings = makeAction(this, QStringLiteral("設定(&O)..."), "MItemTSettings", &TFormMain::MItemTSettingsClick);
    MItemTOptOut = makeAction(this, QStringLiteral("拒收名單(&R)..."), "MItemTOptOut", &TFormMain::MItemTOptOutClick);
    MItemHAbout = makeAction(this, QStringLiteral("關於(&A)..."), "MItemHAbout", &TFormMain::MItemHAboutClick);
    MItemTFollowUp =
        makeAction(this, QStringLiteral("追蹤傳送結果(&F)..."), "MItemTFollowUp", &TFormMain::MItemTFollowUpClick);
    MItemVResults =
        makeAction(this, QStringLiteral("傳送結果統計(&R)..."), "MItemVResults", &TFormMain::MItemVResultsClick);
    MItemVUsage = makeAction(this, QStringLiteral("使用量統計(&U)..."), "MItemVUsage", &TFormMain::MItemVUsageClick);
    MItemFUndelivered = makeAction(this, QStringLiteral("匯出未送達名單(&U)..."), "MItemFUndelivered",
                                   &TFormMain::MItemFUndeliveredClick);
    // The menu's and the pop-up's 重發未送達 are one command, as 失敗重發 would be.
    MItemTRSendUndelivered = makeAction(this, QStringLiteral("重發未送達(&U)"), "MItemTRSendUndelivered",
                                        &TFormMain::PMItemLvRSendUndeliveredClick);
    PMItemLvRSendUndelivered = makeAction(this, QStringLiteral("重發未送達(&U)"), "PMItemLvRSendUndelivered",
                                          &TFormMain::PMItemLvRSendUndeliveredClick);

    // The tool buttons run the menu's own commands under their short captions; only 訊息視窗 is an action of
    // its own, since its tooltip tells what the next press will do.
    const struct {
        QAction* command;
        QString caption;
    } shortCaptions[] = {{MItemTSendSMS, QStringLiteral("發訊")},       {MItemTQuerySMS, QStringLiteral("查詢")},
                         {MItemTCancelSMS, QStringLiteral("取消預約")}, {MItemFSave, QStringLiteral("儲存紀錄")},
                         {MItemFLoad, QStringLiteral("載入紀錄")},      {MItemTAdrBk, QStringLiteral("通訊錄")},
                         {MItemTSettings, QStringLiteral("設定")},      {MItemHAbout, QStringLiteral("關於")}};
    for (const auto& c : shortCaptions)
        c.command->setIconText(c.caption);
    SpeedButtonMsgWin = makeAction(this, QStringLiteral("訊息視窗"), "SpeedButtonMsgWin");
    connect(SpeedButtonMsgWin, &QAction::triggered, MItemVMsgWin, &QAction::trigger);
    SpeedButtonMsgWin->setToolTip(QStringLiteral("關閉訊息視窗"));

    PMItemLvSave = makeAction(this, QStringLiteral("儲存紀錄(&S)"), "PMItemLvSave");
    connect(PMItemLvSave, &QAction::triggered, this, [this] { m_files->SaveLog(); });
    PMItemLvQuerySMS =
        makeAction(this, QStringLiteral("查詢(&Q)"), "PMItemLvQuerySMS", &TFormMain::PMItemLvQuerySMSClick);
    PMItemLvCancelSMS =
        makeAction(this, QStringLiteral("取消預約(&C)"), "PMItemLvCancelSMS", &TFormMain::PMItemLvCancelSMSClick);
    PMItemLvRSendSMS =
        makeAction(this, QStringLiteral("失敗重發(&R)"), "PMItemLvRSendSMS", &TFormMain::PMItemLvRSendSMSClick);
    PMItemLvOSendSMS =
        makeAction(this, QStringLiteral("原訊息發訊(&M)"), "PMItemLvOSendSMS", &TFormMain::PMItemLvOSendSMSClick);
    PMItemLvContent = makeAction(this, QStringLiteral("內容(&O)"), "PMItemLvContent", &TFormMain::MItemFContentClick);
    PMItemLvDelete = makeAction(this, QStringLiteral("刪除(&D)"), "PMItemLvDelete", &TFormMain::MItemFDeleteClick);
    PMItemLvSelectAll =
        makeAction(this, QStringLiteral("全選(&A)"), "PMItemLvSelectAll", &TFormMain::PMItemLvSelectAllClick);

    m_runLockGroup = new QActionGroup(this);
    m_runLockGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (QAction* a :
         {MItemFLoad, MItemFSave, PMItemLvSave, MItemFDelete, PMItemLvDelete, MItemTSendSMS, MItemTQuerySMS,
          MItemTCancelSMS, MItemTFollowUp, MItemTAdrBk, MItemTOptOut, MItemTSettings, PMItemLvQuerySMS,
          PMItemLvCancelSMS, PMItemLvRSendSMS, PMItemLvOSendSMS, MItemTRSendUndelivered, PMItemLvRSendUndelivered})
        m_runLockGroup->addAction(a);
}

void TFormMain::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("檔案(&F)"));
    file->setObjectName(QStringLiteral("MItemFile"));
    file->addActions({MItemFLoad, MItemFSave});
    file->addSeparator();
    file->addActions({MItemFContent, MItemFDelete});
    file->addSeparator();
    file->addAction(MItemFUndelivered);
    file->addSeparator();
    file->addAction(MItemFExit);

    QMenu* view = menuBar()->addMenu(QStringLiteral("檢視(&V)"));
    view->setObjectName(QStringLiteral("MItemView"));
    view->addActions({MItemVToolBar, MItemVStatusBar, MItemVMsgWin});
    view->addSeparator();
    QMenu* sort = view->addMenu(QStringLiteral("排列方式(&B)"));
    sort->setObjectName(QStringLiteral("MItemVSort"));
    for (QAction* a : MItemVSort)
        sort->addAction(a);
    sort->addSeparator();
    sort->addActions({MItemVAscending, MItemVDescending});
    view->addSeparator();
    view->addActions({MItemVResults, MItemVUsage});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("工具(&T)"));
    tools->setObjectName(QStringLiteral("MItemTool"));
    tools->addActions({MItemTSendSMS, MItemTQuerySMS, MItemTCancelSMS, MItemTFollowUp, MItemTRSendUndelivered});
    tools->addSeparator();
    tools->addActions({MItemTAdrBk, MItemTOptOut});
    tools->addSeparator();
    tools->addAction(MItemTSettings);

    QMenu* help = menuBar()->addMenu(QStringLiteral("說明(&H)"));
    help->setObjectName(QStringLiteral("MItemHelp"));
    help->addAction(MItemHAbout);
}

void TFormMain::buildToolBar() {
    m_toolBar = makeToolBar(this, 32);
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    const struct {
        QAction* action;
        const char* buttonName;
        IconTable::Glyph glyph;
        bool dividerBefore;
    } buttons[] = {
        {MItemTSendSMS, "SpeedButtonSendSMS", IconTable::GlyphSendSMS, false},
        {MItemTQuerySMS, "SpeedButtonQuerySMS", IconTable::GlyphQuerySMS, false},
        {MItemTCancelSMS, "SpeedButtonCancelSMS", IconTable::GlyphCancelSMS, false},
        {MItemFSave, "SpeedButtonSave", IconTable::GlyphSave, true},
        {MItemFLoad, "SpeedButtonLoad", IconTable::GlyphLoad, false},
        {MItemTAdrBk, "SpeedButtonAdrBk", IconTable::GlyphAdrBk, true},
        {MItemTSettings, "SpeedButtonSettings", IconTable::GlyphSettings, true},
        {SpeedButtonMsgWin, "SpeedButtonMsgWin", IconTable::GlyphMsgWin, false},
        {MItemHAbout, "SpeedButtonAbout", IconTable::GlyphAbout, true},
    };
    for (const auto& b : buttons) {
        if (b.dividerBefore)
            m_toolBar->addSeparator();
        b.action->setIcon(IconTable::glyph(b.glyph));
        b.action->setIconVisibleInMenu(false);
        m_toolBar->addAction(b.action);
        // The button carries the form's name for it, so it can be found as the control it is.
        m_toolBar->widgetForAction(b.action)->setObjectName(QString::fromLatin1(b.buttonName));
    }
}

void TFormMain::buildCentre() {
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("ListViewLog"));
    // Neither area has a label of its own; screen readers call them by what the menus call them.
    m_list->setAccessibleName(QStringLiteral("發訊紀錄"));
    m_list->setModel(m_model);
    m_selection = m_list->selectionModel();
    m_list->setItemDelegate(new SendLogDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformRowHeights(true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setMinimumHeight(110);
    QHeaderView* header = m_list->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    m_columns = fitSendLogColumns(m_list);
    keepSelectionVisible(m_list);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("MemoShow"));
    m_memo->setAccessibleName(QStringLiteral("訊息視窗"));
    m_memo->setReadOnly(true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setMinimumHeight(35);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->addWidget(m_list);
    m_splitter->addWidget(m_memo);
    m_splitter->setHandleWidth(8);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->handle(1)->setObjectName(QStringLiteral("Panel1"));
    // A screen reader names the divider the mouse drags, as it names every other control.
    m_splitter->setAccessibleName(QStringLiteral("發訊紀錄與訊息視窗"));
    m_splitter->handle(1)->setAccessibleName(QStringLiteral("發訊紀錄與訊息視窗分隔線"));
    m_splitter->setStretchFactor(0, 6);
    m_splitter->setStretchFactor(1, 4);
    setCentralWidget(m_splitter);
}

void TFormMain::buildPopup() {
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenuLv"));
    m_popup->addAction(PMItemLvSave);
    m_popup->addSeparator();
    m_popup->addActions(
        {PMItemLvQuerySMS, PMItemLvCancelSMS, PMItemLvRSendSMS, PMItemLvRSendUndelivered, PMItemLvOSendSMS});
    m_popup->addSeparator();
    m_popup->addActions({PMItemLvContent, PMItemLvDelete});
    m_popup->addSeparator();
    m_popup->addAction(PMItemLvSelectAll);
}

// ---- follow-up and results ----

void TFormMain::MItemTFollowUpClick() {
    TFormFollowUp dialog(m_followUp->plan(), m_followUp->active(), this);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return;
    if (dialog.stopAsked())
        m_followUp->stop(QStringLiteral("已停止"));
    else
        m_followUp->start(dialog.plan());
}

void TFormMain::MItemVResultsClick() {
    // The selection when there is one, as the list's other commands take it; else every row.
    // A message counts once, by its latest row: a failed row that a later row resent is not a failure.
    const QVector<int> selected = m_access->selectedRows();
    const int rows = selected.isEmpty() ? m_model->rowCount() : int(selected.size());
    const DeliveryCounts counts = CountMessages(*m_access, selected);
    const QString scope =
        (selected.isEmpty() ? QStringLiteral("全部 %1 筆紀錄") : QStringLiteral("所選的 %1 筆紀錄")).arg(rows) +
        (counts.total() == rows ? QString() : QStringLiteral("，%1 則訊息").arg(counts.total()));
    TFormResults results(counts, scope, LogFolder(m_config), this);
    prompts().execDialog(&results);
}

void TFormMain::MItemFUndeliveredClick() {
    TFormUndelivered dialog(*m_access, LogFolder(m_config), this);
    prompts().execDialog(&dialog);
}

void TFormMain::PMItemLvRSendUndeliveredClick() {
    emit undeliveredResendRequested();
}

void TFormMain::MItemVUsageClick() {
    // Every log of the folder, and the rows of the list the user has not saved: they are this month's too.
    TFormUsage::Inputs inputs;
    const QString folder = LogFolder(m_config);
    QString problem;
    if (!UsageLogFiles(folder, &inputs.logFiles, &problem))
        inputs.folderProblem = problem;
    if (!m_files->logSaved())
        for (int position = 0; position < m_model->rowCount(); ++position)
            inputs.listRows.push_back(m_model->row(position));
    TFormUsage usage(std::move(inputs), Clock::now().date(), folder, this);
    prompts().execDialog(&usage);
}

} // namespace norvi
