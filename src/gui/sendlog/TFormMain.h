#pragma once

#include "core/sendlog/ModelJobRows.h"
#include "core/sendlog/SendLogModel.h"
#include "gui/sendlog/SendLogKeeper.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QItemSelectionModel;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QToolBar;
class QTreeView;

namespace norvi {

class Config;
class FittedColumns;
class FollowUp;
class JobSupervisor;
class SendLogFiles;

// "Norvi簡訊服務軟體": the main window and home of the send log. It reads the configuration at its first
// show, lists every short message sent (ListViewLog over a SendLogModel), hosts the message area (MemoShow)
// and ends the application. Its ".log" files are SendLogFiles' part.
class TFormMain : public QMainWindow, public SendLogKeeper {
    Q_OBJECT
public:
    // `jobs` owns every job this window starts and is asked before the program ends. The first show reads
    // `config` from its file.
    TFormMain(JobSupervisor& jobs, Config& config, QWidget* parent = nullptr);
    ~TFormMain() override;

    SendLogModel& logModel() { return *m_model; }
    QTreeView* listView() const { return m_list; }
    // The send log as jobs meet it: the rows they add, their answers, the rows a starter reads. Direct: the
    // user-interface thread only.
    ModelJobRows& jobRows() override { return *m_access; }
    FollowUp& followUp() { return *m_followUp; }

    // The rows changed since they were last saved or loaded, or no longer.
    void setLogSaved(bool saved);

    void EnableGatewayCommands(bool flag);
    void ResetColumnCaptions();
    // Before rows are loaded or resent: sort by name, then offer to empty the list (saving it first when it
    // changed). False means the command is abandoned: 取消, or a save asked for that was cancelled or failed.
    bool ConfirmClearLog() override;
    // Shows the progress window for an operation of `maximum` steps owned by this window.
    void prepareProgress(int maximum);

    // Appends one line to the message area as it is; ShowMsgLine adds the time stamp before it gets here.
    void appendMessageLine(const QString& line);
    // Lines a worker said one after another, appended together (the batch sink of the message area).
    void appendMessageLines(const QStringList& lines);

    // True while a job runs (JobSupervisor::busy): rows are found by position meanwhile, so the commands
    // that would empty, reload, renumber or re-sort the send log are unavailable, and so is every command
    // that starts other work (the progress window and the worker are one each).
    bool runLocked() const { return m_runLocked; }
    void setRunLocked(bool locked);

    // Ends the program without a question, every row of the run kept in the journal (a signal asked).
    void endWithoutSaving();
    // Asked once the send log's rows are seen to as the user leaves: false keeps the program open.
    void setLeavingCheck(std::function<bool()> check) { m_leavingCheck = std::move(check); }

signals:
    // The windows this one opens; the window set connects them.
    void sendDialogRequested();
    void queryDialogRequested(bool cancelMode); // 查詢 or 取消預約
    void addressBookRequested();
    // 工具 → 拒收名單...
    void optOutListRequested();
    void settingsRequested();
    // The user ended the program and every question was answered: the event loop may end.
    void programEnding();

    // The send-log pop-up's jobs, for whoever runs them (MainWindowJobs). 原訊息發訊(&M) stays disabled
    // while nothing is connected to originalSendRequested: it has nothing to open until the send dialog
    // takes a text.
    void queryRowsRequested();         // 查詢(&Q)
    void cancelRowsRequested();        // 取消預約(&C)
    void resendRequested();            // 失敗重發(&R)
    void undeliveredResendRequested(); // 重發未送達(&U)
    void originalSendRequested();      // 原訊息發訊(&M)

protected:
    void showEvent(QShowEvent* e) override;
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private slots:
    // What the user reaches with the mouse or the keyboard.
    void ListViewLogColumnClick(int column);
    void MItemFLoadClick();
    void MItemFContentClick();
    void MItemFDeleteClick();
    void MItemFExitClick();
    void MItemVToolBarClick();
    void MItemVStatusBarClick();
    void MItemVMsgWinClick();
    void MItemVAscendingClick();
    void MItemVDescendingClick();
    void MItemTSendSMSClick();
    void MItemTQuerySMSClick();
    void MItemTCancelSMSClick();
    void MItemTAdrBkClick();
    void MItemTOptOutClick();
    void MItemTSettingsClick();
    void MItemTFollowUpClick();
    void MItemVResultsClick();
    void MItemVUsageClick();
    void MItemFUndeliveredClick();
    void PMItemLvRSendUndeliveredClick();
    void MItemHAboutClick();
    void PMItemLvQuerySMSClick();
    void PMItemLvCancelSMSClick();
    void PMItemLvRSendSMSClick();
    void PMItemLvOSendSMSClick();
    void PMItemLvSelectAllClick();
    void ListViewLogContextPopup(const QPoint& pos);

private:
    bool m_commandsEnabled = false;
    int m_lastHeight = 0;
    int m_lastWidth = 0;
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildPopup();
    void buildCentre();

    void FormShow();
    void InitMainWindow();
    void offerLogFolder();
    void layoutPass();
    void updateSortChecks();
    void setStatusCount();
    void updateCommands();
    int selectedCount() const;
    int sortColumn() const { return m_model->sortColumn(); }
    bool sortAscending() const { return m_model->sortAscending(); }
    QString boxTitle() const;

    void leave();

    void ListViewLogInsert();
    void ListViewLogChange();
    void ListViewLogSelectItem();

    JobSupervisor& m_jobs;
    Config& m_config;
    SendLogModel* m_model = nullptr;
    QItemSelectionModel* m_selection = nullptr;
    std::unique_ptr<ModelJobRows> m_access;
    bool m_firstShowDone = false;

    QToolBar* m_toolBar = nullptr;
    QTreeView* m_list = nullptr;
    FittedColumns* m_columns = nullptr; // owned by m_list
    QSplitter* m_splitter = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QLabel* m_status = nullptr;
    SendLogFiles* m_files = nullptr; // the .log files and whether the rows are saved
    FollowUp* m_followUp = nullptr;  // owned by the status bar
    QMenu* m_popup = nullptr;
    QActionGroup* m_sortGroup = nullptr;
    QActionGroup* m_orderGroup = nullptr;
    // The commands a running job locks. A group switched off keeps its actions off, and when it is switched
    // on again each action takes the state that was last asked for it, so the usual updates go on meanwhile.
    QActionGroup* m_runLockGroup = nullptr;
    bool m_runLocked = false;
    bool m_stopForExitAsked = false;
    std::function<bool()> m_leavingCheck;
    bool m_leaving = false;

    // Menu items.
    QAction *MItemFLoad, *MItemFSave, *MItemFContent, *MItemFDelete, *MItemFExit;
    QAction *MItemVToolBar, *MItemVStatusBar, *MItemVMsgWin, *MItemVAscending, *MItemVDescending;
    QAction* MItemVSort[kSendLogColumns];
    QAction *MItemTSendSMS, *MItemTQuerySMS, *MItemTCancelSMS, *MItemTAdrBk, *MItemTOptOut, *MItemTSettings,
        *MItemHAbout;
    QAction *MItemTFollowUp, *MItemVResults;
    QAction *MItemFUndelivered, *MItemVUsage, *MItemTRSendUndelivered, *PMItemLvRSendUndelivered;
    // The tool bar's own action; its other buttons run the menu items above.
    QAction* SpeedButtonMsgWin;
    // Pop-up items of the list.
    QAction *PMItemLvSave, *PMItemLvQuerySMS, *PMItemLvCancelSMS, *PMItemLvRSendSMS, *PMItemLvOSendSMS;
    QAction *PMItemLvContent, *PMItemLvDelete, *PMItemLvSelectAll;
};

} // namespace norvi
