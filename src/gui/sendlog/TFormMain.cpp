#include "gui/sendlog/TFormMain.h"

#include "core/shared/Config.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/OpLog.h"
#include "core/shared/SystemErrorText.h"
#include "gui/sendlog/FollowUp.h"
#include "gui/sendlog/SendLogColumns.h"
#include "gui/sendlog/SendLogFiles.h"
#include "gui/sendlog/TFormAbout.h"
#include "gui/sendlog/TFormShowMsg.h"
#include "gui/shared/IconTable.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCursor>
#include <QToolBar>
#include <QTreeView>

namespace norvi {

TFormMain::TFormMain(JobSupervisor& jobs, Config& config, QWidget* parent)
    : QMainWindow(parent), m_jobs(jobs), m_config(config) {
    setObjectName(QStringLiteral("TFormMain"));
    setWindowTitle(QStringLiteral("Norvi簡訊服務軟體"));
    setWindowIcon(IconTable::programIcon());
    applyFormFont(this);

    m_model = new SendLogModel(this);
    buildActions();
    buildMenus();
    buildToolBar();
    buildCentre();
    buildPopup();

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    m_status = new QLabel(QStringLiteral("0  筆發訊紀錄"), this);
    m_status->setObjectName(QStringLiteral("StatusPanel1"));
    m_status->setMinimumWidth(150);
    statusBar()->addWidget(m_status);
    m_files = new SendLogFiles(*m_model, *this, m_jobs, m_config, *m_status, this);
    m_followUp = new FollowUp(*m_model, m_jobs, m_config, *statusBar());

    m_access = std::make_unique<ModelJobRows>(*m_model, *m_selection);
    SetMessageAreaSink([this](const QString& line) { appendMessageLine(line); });
    SetMessageAreaBatchSink([this](const QStringList& lines) { appendMessageLines(lines); });

    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TFormMain::ListViewLogInsert);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TFormMain::ListViewLogChange);
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, &TFormMain::ListViewLogSelectItem);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, &TFormMain::ListViewLogColumnClick);
    connect(m_list, &QTreeView::doubleClicked, this, [this] { MItemFContentClick(); });
    connect(m_list, &QWidget::customContextMenuRequested, this, &TFormMain::ListViewLogContextPopup);
    connect(&m_jobs, &JobSupervisor::busyChanged, this, &TFormMain::setRunLocked);
    // A list job's answers are on the disk as it ends, as a send run's rows are.
    connect(&m_jobs, &JobSupervisor::workersGone, m_model, &SendLogModel::answersDone);

    // Never so narrow that the tool bar folds buttons away behind its arrow.
    setMinimumSize(std::max(450, m_toolBar->sizeHint().width()), 300);
    resize(sendLogWindowWidth(this, *m_columns, 641), 374 + menuBar()->sizeHint().height());
}

TFormMain::~TFormMain() {
    SetMessageAreaSink(nullptr);
    SetMessageAreaBatchSink(nullptr);
}

// ---- start ----

void TFormMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        FormShow();
    }
}

void TFormMain::FormShow() {
    QString problem;
    // A port no gateway can listen on (a file edited by hand) is said at once: every send would fail with
    // only "網路連線失敗". The record stays loaded, so the settings show what to correct.
    if (ReadConfig(m_config, &problem) && (problem = ConfigPortProblem(m_config.record())).isEmpty()) {
        EnableGatewayCommands(true);
    } else {
        prompts().okBox(this, Prompts::Icon::None, QStringLiteral("錯誤"), ConfigReadErrorText(problem));
        EnableGatewayCommands(false);
        // Nothing can be sent before the settings are made: their window is the next step, once the main
        // window is up behind it.
        QMetaObject::invokeMethod(this, &TFormMain::settingsRequested, Qt::QueuedConnection);
    }
    InitMainWindow();
    ListViewLogColumnClick(ColName);
}

void TFormMain::InitMainWindow() {
    offerLogFolder();
    m_files->setLogSaved(true);
    m_files->setLoadReplaces(true);
    m_lastHeight = height();
    m_lastWidth = width();
    updateCommands();
    ResetColumnCaptions();
}

// A missing log folder that the settings name is made only when the user says so, as the settings window asks
// before it stores one; without it the day's operation log is not written, and the message area says so. The
// program's own default folder (no folder set) is made as its other files are.
void TFormMain::offerLogFolder() {
    const bool chosen = !LogFolder(m_config).isEmpty();
    const QString folder = StartLogFolder(m_config);
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return;
    if (chosen &&
        !prompts().confirm(this, boxTitle(), QStringLiteral("運作記錄檔目錄不存在：%1，要建立？").arg(folder))) {
        appendMessageLine(QStringLiteral("運作記錄檔目錄不存在：%1，運作記錄不會寫入").arg(folder));
        return;
    }
    QString reason;
    if (!CreateFolders(folder, &reason))
        appendMessageLine(WithReason(QStringLiteral("無法自動建立 ") + folder + QStringLiteral(" 目錄"), reason));
}

// ---- commands that depend on the configuration and the rows ----

void TFormMain::setLogSaved(bool saved) {
    m_files->setLogSaved(saved);
}

void TFormMain::EnableGatewayCommands(bool flag) {
    m_commandsEnabled = flag;
    updateCommands();
}

// The one place that decides which commands are available, from the configuration, the rows and the
// selection. A running job switches the run-lock group off on top of this.
void TFormMain::updateCommands() {
    const int rows = m_model->rowCount();
    const int selected = selectedCount();
    for (QAction* a : {MItemTSendSMS, MItemTQuerySMS, MItemTCancelSMS, MItemTFollowUp})
        a->setEnabled(m_commandsEnabled);
    for (QAction* a :
         {PMItemLvQuerySMS, PMItemLvCancelSMS, PMItemLvRSendSMS, PMItemLvRSendUndelivered, MItemTRSendUndelivered})
        a->setEnabled(m_commandsEnabled && rows > 0);
    MItemFUndelivered->setEnabled(rows > 0);
    // 原訊息發訊(&M): exactly one row selected and a send dialog that takes its text, gateway or not.
    const bool taken = isSignalConnected(QMetaMethod::fromSignal(&TFormMain::originalSendRequested));
    PMItemLvOSendSMS->setEnabled(taken && selected == 1);
    for (QAction* a : {MItemFSave, PMItemLvSave, PMItemLvSelectAll})
        a->setEnabled(rows > 0);
    for (QAction* a : {MItemFContent, MItemFDelete, PMItemLvContent, PMItemLvDelete})
        a->setEnabled(selected > 0);
}

// Counted by ranges: the handlers that ask run on every change of the selection, and listing a selection of
// 100,000 rows each time would make a job that marks row after row quadratic.
int TFormMain::selectedCount() const {
    return m_access->selectedCount();
}

void TFormMain::setStatusCount() {
    m_status->setText(QString::number(m_model->rowCount()) + QStringLiteral(" 筆發訊紀錄"));
}

QString TFormMain::boxTitle() const {
    return windowTitle();
}

// ---- sorting ----

void TFormMain::ResetColumnCaptions() {
    m_model->resetColumnCaptions();
}

void TFormMain::setRunLocked(bool locked) {
    m_runLocked = locked;
    for (QActionGroup* group : {m_runLockGroup, m_sortGroup, m_orderGroup})
        group->setEnabled(!locked);
    m_list->header()->setSectionsClickable(!locked);
}

void TFormMain::ListViewLogColumnClick(int column) {
    if (m_runLocked)
        return; // a running job finds its rows by position
    m_model->columnClick(column);
    updateSortChecks();
}

void TFormMain::updateSortChecks() {
    MItemVSort[sortColumn()]->setChecked(true);
    MItemVAscending->setChecked(sortAscending());
    MItemVDescending->setChecked(!sortAscending());
}

void TFormMain::MItemVAscendingClick() {
    if (sortAscending())
        updateSortChecks();
    else
        ListViewLogColumnClick(sortColumn());
}

void TFormMain::MItemVDescendingClick() {
    if (!sortAscending())
        updateSortChecks();
    else
        ListViewLogColumnClick(sortColumn());
}

// ---- saving and loading ----

// The shared progress window, readied for an operation of this window. The window is not disabled for it: the
// run lock takes the commands that would start other work, and 結束, 關於 and the view toggles stay.
void TFormMain::prepareProgress(int maximum) {
    m_jobs.begin(this, maximum, false, OwnerWait::LocksItself);
}

void TFormMain::MItemFLoadClick() {
    m_files->LoadLog();
}

bool TFormMain::ConfirmClearLog() {
    ResetColumnCaptions();
    ListViewLogColumnClick(ColName);
    return m_files->confirmClear();
}

// ---- list events ----

void TFormMain::ListViewLogInsert() {
    m_files->setLogSaved(false);
    setStatusCount();
    updateCommands();
}

void TFormMain::ListViewLogChange() {
    m_files->setLogSaved(false);
}

void TFormMain::ListViewLogSelectItem() {
    // The selection is not saved with the rows: choosing rows (a click, a job marking the rows it asks about)
    // changes nothing the save prompt would keep.
    updateCommands();
}

void TFormMain::ListViewLogContextPopup(const QPoint& pos) {
    m_popup->popup(m_list->viewport()->mapToGlobal(pos));
}

// ---- row commands ----

void TFormMain::MItemFContentClick() {
    // By id: a job may add rows while a viewer is open, which moves positions.
    QVector<quint64> ids;
    for (int row : m_access->selectedRows())
        ids.append(m_model->rowId(row));
    for (quint64 id : ids) {
        const int row = m_model->positionOf(id);
        if (row < 0)
            continue;
        TFormShowMsg viewer(this);
        viewer.showRow(*m_model, row);
        prompts().execDialog(&viewer);
    }
}

void TFormMain::MItemFDeleteClick() {
    m_model->removePositions(m_access->selectedRows());
    m_files->setLogSaved(false);
    setStatusCount();
    updateCommands();
}

void TFormMain::PMItemLvSelectAllClick() {
    m_list->selectAll();
}

void TFormMain::PMItemLvQuerySMSClick() {
    emit queryRowsRequested();
}

void TFormMain::PMItemLvCancelSMSClick() {
    emit cancelRowsRequested();
}

void TFormMain::PMItemLvRSendSMSClick() {
    emit resendRequested();
}

void TFormMain::PMItemLvOSendSMSClick() {
    emit originalSendRequested();
}

void TFormMain::connectNotify(const QMetaMethod& signal) {
    QMainWindow::connectNotify(signal);
    if (signal == QMetaMethod::fromSignal(&TFormMain::originalSendRequested))
        updateCommands();
}

// The connection still counts while its receiver is being destroyed, so the item is updated once that is over.
void TFormMain::disconnectNotify(const QMetaMethod& signal) {
    QMainWindow::disconnectNotify(signal);
    if (signal == QMetaMethod::fromSignal(&TFormMain::originalSendRequested))
        QMetaObject::invokeMethod(this, &TFormMain::updateCommands, Qt::QueuedConnection);
}

// ---- the other windows ----

void TFormMain::MItemTSendSMSClick() {
    emit sendDialogRequested();
}

void TFormMain::MItemTQuerySMSClick() {
    emit queryDialogRequested(false);
}

void TFormMain::MItemTCancelSMSClick() {
    emit queryDialogRequested(true);
}

void TFormMain::MItemTAdrBkClick() {
    emit addressBookRequested();
}

void TFormMain::MItemTOptOutClick() {
    emit optOutListRequested();
}

void TFormMain::MItemTSettingsClick() {
    emit settingsRequested();
}

void TFormMain::MItemHAboutClick() {
    TFormAbout about(this);
    prompts().execDialog(&about);
}

// ---- view ----

void TFormMain::MItemVToolBarClick() {
    m_toolBar->setVisible(MItemVToolBar->isChecked());
    m_lastHeight = m_lastWidth = 0;
    layoutPass();
}

void TFormMain::MItemVStatusBarClick() {
    statusBar()->setVisible(MItemVStatusBar->isChecked());
    m_lastHeight = m_lastWidth = 0;
    layoutPass();
}

void TFormMain::MItemVMsgWinClick() {
    const bool visible = MItemVMsgWin->isChecked();
    SpeedButtonMsgWin->setToolTip(visible ? QStringLiteral("關閉訊息視窗") : QStringLiteral("開啟訊息視窗"));
    m_memo->setVisible(visible);
    m_splitter->handle(1)->setVisible(visible); // Panel1
    m_lastHeight = m_lastWidth = 0;
    layoutPass();
}

void TFormMain::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    layoutPass();
}

// Every size change gives the list 60 % of the height below the tool bar and the message area the rest;
// with the message area hidden the list takes everything.
void TFormMain::layoutPass() {
    if (height() == m_lastHeight && width() == m_lastWidth)
        return;
    if (!m_memo->isHidden()) {
        const int below = height() - menuBar()->height() - (m_toolBar->isHidden() ? 0 : m_toolBar->height());
        const int listHeight = below * 6 / 10;
        const int rest = m_splitter->height() - m_splitter->handleWidth() - listHeight;
        m_splitter->setSizes({listHeight, std::max(rest, 0)});
    }
    m_lastHeight = height();
    m_lastWidth = width();
}

void TFormMain::appendMessageLine(const QString& line) {
    appendMessageLines({line});
}

void TFormMain::appendMessageLines(const QStringList& lines) {
    // The first line of the area stays empty; every message is a new line below it. The lines of a batch go
    // in as one edit and the view scrolls once: the area lays itself out once per edit, not per line.
    QTextCursor cursor(m_memo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString& line : lines) {
        cursor.insertBlock();
        cursor.insertText(line);
    }
    cursor.endEditBlock();
    m_memo->verticalScrollBar()->setValue(m_memo->verticalScrollBar()->maximum());
}

// ---- exit ----

void TFormMain::MItemFExitClick() {
    close();
}

// 結束, the close box and a session's end come here. A running job is never left behind: the user is
// asked whether to stop it, and the program ends only once its worker has handed over every row; then the
// usual question about unsaved rows, which can be backed out of by 取消 or by cancelling the save.
void TFormMain::closeEvent(QCloseEvent* e) {
    if (m_leaving) {
        e->accept();
        return;
    }
    e->ignore();
    if (m_jobs.jobRunning()) {
        if (m_stopForExitAsked ||
            !prompts().confirm(this, boxTitle(), QStringLiteral("作業進行中，要中斷作業並結束程式？")))
            return;
        m_stopForExitAsked = true;
        m_jobs.requestStop();
        m_jobs.whenJobGone([this] {
            m_stopForExitAsked = false;
            close();
        });
        return;
    }
    // A job that ended but was not confirmed yet: its summary is written as its 確定 would.
    m_jobs.dismissProgress();
    // The follow-up's answers so far are in the rows the question is about, and no round starts under it.
    m_followUp->hold(true);
    m_followUp->yieldRound();
    if (!m_files->offerSaveBeforeLeaving() || (m_leavingCheck && !m_leavingCheck())) {
        m_followUp->hold(false);
        return;
    }
    m_followUp->stop(QStringLiteral("程式結束"));
    leave();
    e->accept();
}

void TFormMain::endWithoutSaving() {
    m_jobs.requestStop();
    m_jobs.whenJobGone([this] {
        m_jobs.dismissProgress();
        leave();
        close();
    });
}

void TFormMain::leave() {
    m_leaving = true;
    emit programEnding();
}

} // namespace norvi
