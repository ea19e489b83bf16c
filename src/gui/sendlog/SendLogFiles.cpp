#include "gui/sendlog/SendLogFiles.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecordCheck.h"
#include "core/sendlog/PartialLog.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/FileLock.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/Progress.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SystemErrorText.h"
#include "gui/sendlog/SendLogKeeper.h"
#include "gui/shared/Prompts.h"
#include "gui/workers/JobSupervisor.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QWidget>

#include <memory>

namespace norvi {

namespace {

const QString kLogFilter = QStringLiteral("記錄檔(*.log)|*.log|所有檔案(*.*)|*.*");
const QString kSaveFailed = QStringLiteral("寫入傳送紀錄檔案失敗！");

// Why the log's lock (taken by norvi-cli while it reads, runs on and writes back a log) could not be had.
QString lockRefusal(const QString& path, const FileLock& lock) {
    if (!lock.error().isEmpty())
        return lock.error();
    return QStringLiteral("%1 正由另一個程式%2使用中，請稍候再試。")
        .arg(path, lock.holder().isEmpty() ? QString() : QStringLiteral("（%1）").arg(lock.holder()));
}

} // namespace

SendLogFiles::SendLogFiles(SendLogModel& model, SendLogKeeper& keeper, JobSupervisor& jobs, Config& config,
                           QLabel& status, QWidget* window)
    : QObject(window), m_model(model), m_keeper(keeper), m_jobs(jobs), m_config(config), m_status(status),
      m_window(window) {
    setObjectName(QStringLiteral("SendLogFiles"));
}

SendLogFiles::SaveOutcome SendLogFiles::SaveLog() {
    QString path;
    // Held until the file is replaced: a command line run that holds the log replaces it whole at its end,
    // and would put its own rows over these. Such a log is named, and another name may be given. A lock file
    // that cannot be made (a folder that cannot be written) holds nobody: the writing says what fails.
    std::unique_ptr<FileLock> lock;
    for (;;) {
        const QString proposed =
            QDir(LogFolder(m_config))
                .filePath(Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".log"));
        path = prompts().saveFileName(m_window, QStringLiteral("儲存紀錄"), kLogFilter, proposed);
        if (path.isEmpty())
            return SaveOutcome::Cancelled;
        // The program's own files and what is no regular file are named, and another name is asked for.
        if (const QString refusal = OutputRefusal(path, m_config.StartDir()); !refusal.isEmpty()) {
            prompts().notice(m_window, Prompts::Icon::Error, boxTitle(), refusal);
            continue;
        }
        lock = std::make_unique<FileLock>(SaveTargetPath(path));
        if (!lock->tryLock() && lock->error().isEmpty()) {
            prompts().notice(m_window, Prompts::Icon::Error, boxTitle(), lockRefusal(path, *lock));
            continue;
        }
        if (!QFileInfo::exists(path) ||
            prompts().confirm(m_window, boxTitle(), QStringLiteral("該檔案已存在，要覆蓋？")))
            break;
    }

    const int count = m_model.rowCount();
    LogFileWriter writer(path);
    if (!writer.open(count)) {
        prompts().notice(m_window, Prompts::Icon::Error, boxTitle(), WithReason(kSaveFailed, writer.errorString()));
        return SaveOutcome::Failed;
    }
    prepareProgress(count);
    for (const int position : SaveOrder(m_model)) {
        m_jobs.registry().channel().postShowProcess(StateLogSaving);
        writer.write(m_model.row(position));
    }
    const bool written = writer.commit();
    m_jobs.registry().channel().postShowProcess(written ? StateLogSaved : StateLogSaveFailed);
    if (!written) {
        // The earlier file, if any, is still in place: the new one replaces it only when complete.
        prompts().notice(m_window, Prompts::Icon::Error, boxTitle(), WithReason(kSaveFailed, writer.errorString()));
        return SaveOutcome::Failed;
    }
    m_logSaved = true;
    if (RowJournal* journal = m_jobs.registry().journal())
        journal->rowsSettled();
    return SaveOutcome::Saved;
}

void SendLogFiles::LoadLog() {
    const QString path = prompts().openFileName(m_window, QStringLiteral("載入紀錄"), kLogFilter, LogFolder(m_config));
    if (path.isEmpty())
        return;
    // A file that is not a send log is refused before the clear prompt, so the list stays as it was.
    const LogFileCheck check = CheckLogFile(path);
    if (!check.refusal.isEmpty()) {
        prompts().notice(m_window, Prompts::Icon::Warning, boxTitle(), check.refusal);
        return;
    }
    if (!settleUnfinishedLog(path) || !m_keeper.ConfirmClearLog())
        return;
    LogFileReader reader(path);
    if (!reader.open()) {
        prompts().notice(m_window, Prompts::Icon::Error, boxTitle(),
                         WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！"), reader.errorString()));
        return;
    }
    prepareProgress(reader.available());
    SendLogRow row;
    while (reader.next(row)) {
        m_jobs.registry().channel().postShowProcess(StateLogLoading);
        m_model.addRow(row);
    }
    m_jobs.registry().channel().postShowProcess(StateLogLoaded);
    m_logSaved = m_loadReplaces;
    if (reader.damaged())
        prompts().okBox(m_window, Prompts::Icon::Warning, boxTitle(), reader.damageMessage());
}

// The log alone lacks the rows the killed run made: a 失敗重發 of it would send their messages again.
bool SendLogFiles::settleUnfinishedLog(const QString& path) {
    for (const PartialLog& partial : PartialLog::of(path)) {
        const QString found = QStringLiteral("%1 有上次中斷的作業留下的未完成紀錄：\n%2（%3 筆完整紀錄）")
                                  .arg(path, partial.path())
                                  .arg(partial.wholeRecords());
        if (partial.ending() == PartialLog::Ending::Elsewhere) {
            if (!prompts().confirmIrreversible(m_window, boxTitle(),
                                               found + u'\n' + partial.advice() +
                                                   QStringLiteral("\n仍要載入 %1？").arg(path)))
                return false;
            continue;
        }
        const Prompts::Answer answer = prompts().message(
            m_window, Prompts::Icon::Question, Prompts::Buttons::YesNoCancel, boxTitle(),
            found + QStringLiteral("\n要先把它完成再載入？（%1）").arg(partial.advice()), Prompts::Answer::Yes);
        if (answer == Prompts::Answer::Cancel)
            return false;
        if (answer == Prompts::Answer::No)
            continue;
        // Under the log's lock, as norvi-cli finish: a run that took it meanwhile is not overtaken.
        FileLock lock(SaveTargetPath(path));
        QString error;
        if (!lock.tryLock())
            error = lockRefusal(path, lock);
        else if (const PartialLog now(partial.path()); now.ending() == PartialLog::Ending::Elsewhere)
            error = now.advice(); // read again under the lock
        else
            now.finish(&error);
        if (!error.isEmpty()) {
            prompts().notice(m_window, Prompts::Icon::Error, boxTitle(), error);
            return false;
        }
    }
    return true;
}

bool SendLogFiles::confirmClear() {
    if (m_model.rowCount() == 0) {
        m_loadReplaces = true;
        return true;
    }
    // Every message of a run costs money, so the question can be backed out of (取消, Esc) as well.
    const Prompts::Answer clear = prompts().message(m_window, Prompts::Icon::Question, Prompts::Buttons::YesNoCancel,
                                                    boxTitle(), QStringLiteral("要清除現有的傳送紀錄？"));
    if (clear == Prompts::Answer::Cancel)
        return false;
    if (clear == Prompts::Answer::No) {
        m_loadReplaces = false;
        return true;
    }
    // Rows that were to be saved are never dropped unsaved: a cancelled or failed save abandons the command, and
    // so does the question left unanswered when the program ends under it.
    if (!m_logSaved) {
        const Prompts::Answer save = prompts().message(m_window, Prompts::Icon::Question, Prompts::Buttons::YesNo,
                                                       boxTitle(), QStringLiteral("現有的傳送紀錄已變更，要儲存？"));
        if (save == Prompts::Answer::Cancel || (save == Prompts::Answer::Yes && SaveLog() != SaveOutcome::Saved))
            return false;
    }
    m_model.clear();
    if (RowJournal* journal = m_jobs.registry().journal())
        journal->rowsSettled();
    m_status.setText(QStringLiteral("0 筆發訊紀錄"));
    m_loadReplaces = true;
    return true;
}

bool SendLogFiles::offerSaveBeforeLeaving() {
    // 取消 (Esc, the box's close button) backs out of the exit: the program stays with its rows and journal.
    const Prompts::Answer save =
        m_model.rowCount() == 0 || m_logSaved
            ? Prompts::Answer::No
            : prompts().message(m_window, Prompts::Icon::Question, Prompts::Buttons::YesNoCancel, boxTitle(),
                                QStringLiteral("現有的傳送紀錄已變更，要儲存？"));
    if (save == Prompts::Answer::Cancel)
        return false;
    if (save == Prompts::Answer::No) {
        if (RowJournal* journal = m_jobs.registry().journal())
            journal->rowsSettled(); // 否, or nothing unsaved: the journal goes
        return true;
    }
    const bool saved = SaveLog() == SaveOutcome::Saved;
    // The save's own progress window ends with it; its summary reaches the operation log first.
    m_jobs.dismissProgress();
    return saved;
}

// The shared progress window, readied for a save or a load, as TFormMain::prepareProgress readies it.
void SendLogFiles::prepareProgress(int maximum) {
    m_jobs.begin(m_window, maximum, false, OwnerWait::LocksItself);
}

QString SendLogFiles::boxTitle() const {
    return m_window->windowTitle();
}

} // namespace norvi
