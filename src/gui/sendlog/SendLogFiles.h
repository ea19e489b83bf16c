#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QWidget;

namespace norvi {

class Config;
class JobSupervisor;
class SendLogKeeper;
class SendLogModel;

// The send log as a file: 儲存紀錄 and 載入紀錄 of ".log" files, the unfinished copy a killed command-line run
// left beside a log, the question before the rows are emptied, and whether the rows changed since they were
// last saved or loaded. Part of the main window (`window`), found in it by its objectName, SendLogFiles.
class SendLogFiles : public QObject {
    Q_OBJECT
public:
    enum class SaveOutcome { Saved, Cancelled, Failed };

    // `keeper` (the main window) asks before a load whether to empty the list; `status` is its count of rows,
    // which an emptied list sets.
    SendLogFiles(SendLogModel& model, SendLogKeeper& keeper, JobSupervisor& jobs, Config& config, QLabel& status,
                 QWidget* window);

    // Nothing changed since the last save or load.
    bool logSaved() const { return m_logSaved; }
    void setLogSaved(bool saved) { m_logSaved = saved; }
    // The last question before rows came in emptied the list rather than keeping its rows: a load then
    // leaves nothing unsaved.
    bool loadReplaces() const { return m_loadReplaces; }
    void setLoadReplaces(bool replaces) { m_loadReplaces = replaces; }

    // Saves every row; a cancelled file dialog or a failed write leaves logSaved() as it was.
    SaveOutcome SaveLog();
    // 載入紀錄: a file chosen and checked, then its rows added after the question about the rows there.
    void LoadLog();
    // The question of ConfirmClearLog once the list is sorted by name: offers to empty the list, saving it
    // first when it changed. False means the command is abandoned.
    bool confirmClear();
    // The exit's question about unsaved rows; false keeps the program open (取消, a save cancelled or failed).
    bool offerSaveBeforeLeaving();

private:
    // Before a load of `path`: a norvi-cli run killed while it rewrote that log left a newer copy beside it,
    // which the user may finish first. False abandons the load.
    bool settleUnfinishedLog(const QString& path);
    void prepareProgress(int maximum);
    QString boxTitle() const;

    SendLogModel& m_model;
    SendLogKeeper& m_keeper;
    JobSupervisor& m_jobs;
    Config& m_config;
    QLabel& m_status;
    QWidget* m_window;
    bool m_logSaved = true;     // nothing changed since the last save or load
    bool m_loadReplaces = true; // the last load replaced the list rather than appending to it
};

} // namespace norvi
