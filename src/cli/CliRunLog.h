#pragma once

#include "cli/CliArgs.h"
#include "cli/CliOutput.h"

#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/SendLogRow.h"
#include "core/shared/FileLock.h"

#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>

#include <memory>
#include <vector>

namespace norvi::cli {

// The ".log" of a norvi-cli run, written while the run goes. It starts, before the first message, as a
// file of its own beside the target ("TARGET.XXXXXX.partial", created exclusively, on disk at once) with
// the count -1 and the rows the run starts from (a resend's or a query's log) copied in; every row is
// appended as it comes; at the end the file gets its count and replaces the target atomically. A run
// that is killed leaves the partial file, whose whole records every reader takes and which
// `norvi-cli finish` puts in place. The target is a regular file or a new name, never one of the program's
// own files (OutputRefusal).
//
// A target named on the command line is locked (TARGET.lock) for the whole run, so two runs that change
// one log take turns; a time-stamped name is taken by creating it exclusively, so two runs never share one.
class CliRunLog : public RowJournal {
public:
    // A new time-stamped log goes in `logFolder`; a rescued file
    // in `startDir` (else the home folder). What the log has to say goes to `console`'s standard error.
    CliRunLog(QString logFolder, QString startDir, Console& console);
    ~CliRunLog() override;

    // Locks `path` (waiting while another run holds it; said on standard error) before its rows are read.
    bool lockTarget(const QString& path);
    // Creates the partial file for `target` (or, when empty, for a new time-stamped name in the log folder)
    // with `head` copied in, and syncs it. False with error(): nothing may be sent then.
    bool start(const QString& target, const std::vector<SendLogRow>& head = {});
    // The same for `send --append`: the records of the finished log `target` itself (checked under the lock
    // taken before) are copied in first, a piece at a time, and the run's rows follow.
    bool startAppending(const QString& target);
    LogStream* beginRun(QString* error) override;
    LogStream& stream() { return m_stream; }

    // Puts the log in place. False with error(); the partial file then stays. A target locked by
    // lockTarget() is replaced only if nobody changed it since. A partial file that lost its
    // name during the run (removed, replaced) is copied from its descriptor to "norvi-rescue-TIME-PID.log" in
    // the start folder (else the home folder), which error() names.
    bool finish();
    // A run that did not start after all: its files are removed.
    void abandon();
    // False when a row could not be written (the run was stopped): error() says why.
    bool recorded() const { return !m_stream.failed(); }

    QString target() const { return m_target; }
    QString error() const { return m_error; }

private:
    // Who a file is, as far as telling a replaced or rewritten one goes.
    struct FileIdentity {
        quint64 device = 0, inode = 0;
        qint64 size = -1, modified = 0;
        bool operator==(const FileIdentity& o) const {
            return device == o.device && inode == o.inode && size == o.size && modified == o.modified;
        }
    };
    static FileIdentity identityOf(const QString& path);

    bool create(const QString& target, const std::function<bool()>& fill);
    bool copyTargetRecords();
    bool takeDefaultName();
    bool rescue();
    void watchSignals();
    void stopWatchingSignals();
    void saveAndEnd();
    void forceEnd(unsigned char signal);
    // How long a second signal leaves the cut job to write its last rows before the log is saved as it stands.
    static constexpr int kForcedEndMs = 1500;
    bool m_forcing = false;

    const QString m_logFolder;
    const QString m_startDir;
    Console& m_console;
    FileLock* m_lock = nullptr;
    std::unique_ptr<FileLock> m_ownLock;
    LogStream m_stream;
    QString m_target; // the name given or taken
    QString m_final;  // the file replaced (links followed)
    QString m_partial;
    QString m_placeholder; // a time-stamped name taken and still empty
    bool m_started = false;
    bool m_appending = false;
    FileIdentity m_kept;        // the target as it was when locked (or when its rows were copied in)
    bool m_keepsTarget = false; // a locked target is replaced only as m_kept
    QString m_error;
    // A second signal's way to the main thread while the log is open (SaveOnSecondSignal).
    int m_signalPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    bool m_watching = false;
};

// Names on standard error every partial log in `folders` that no live run is writing, with how to finish it.
void NoteUnfinishedLogs(const QStringList& folders, Console& console);
// What to do with a file read with the count -1: the one finish command that works, as it can be typed.
QString FinishHint(const QString& path);
// A job on `logs` (the log it reads, the one it writes) does not start while a partial file of one of them
// is left unfinished: it holds rows the log does not, and a resend would send their messages again. Each is
// named on standard error with its finish command. True when the job is so refused.
bool RefuseWhileUnfinished(const QStringList& logs, Console& console);

// The second Ctrl+C (or SIGTERM, SIGHUP) of a run whose log is open: the log is finished on the main
// thread, then the program ends by the signal. Async-signal-safe; false when there is no log to finish
// (the signal then ends the program at once).
bool SaveOnSecondSignal(int signal);

// norvi-cli finish FILE [--out F2]
int finishCommand(const Arguments& a, Console& console);

} // namespace norvi::cli
