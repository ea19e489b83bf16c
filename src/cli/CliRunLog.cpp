#include "cli/CliRunLog.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/LogRecord.h"
#include "core/sendlog/PartialLog.h"
#include "core/sendlog/RunPlan.h"
#include "core/shared/Clock.h"
#include "core/shared/OutputTarget.h"
#include "core/shared/SaveFile.h"
#include "core/shared/StopSignal.h"
#include "core/shared/SystemErrorText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

namespace norvi::cli {

namespace {

const QString kPartialSuffix = QStringLiteral(".partial");
constexpr int kNameTries = 100;

// ---- the second signal ----

void endBySignal(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

// ---- names ----

// A new file, never an existing one: `path` taken exclusively as an empty file.
bool takeName(const QString& path, int* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    ::close(fd);
    return true;
}

qint64 wholeRecords(qint64 size) {
    return size < qint64(sizeof(qint32)) ? 0 : (size - qint64(sizeof(qint32))) / qint64(sizeof(sLogRecord));
}

// What finish found in a file besides its whole records: a count that was not theirs, a record cut short.
void noteCountDifference(const LogFileReader& reader, Console& console) {
    if (reader.unfinished()) {
        console.err(reader.damageMessage()); // names the count and the bytes left out
        return;
    }
    if (reader.announced() != reader.readCount())
        console.err(QStringLiteral("筆數欄標示 %1 筆，實有 %2 筆完整紀錄：全部寫入，筆數改為 %2。")
                        .arg(reader.announced())
                        .arg(reader.readCount()));
    if (reader.trailingBytes() > 0)
        console.err(QStringLiteral("最後 %1 位元組是寫到一半的紀錄，已略過。").arg(reader.trailingBytes()));
}

} // namespace

bool SaveOnSecondSignal(int signal) {
    // Once: the log is saved by the first such signal, and a later one ends the program at once.
    return WriteSignalPipeOnce(signal);
}

namespace {

QString unfinishedLine(const QString& path) {
    return QStringLiteral("未完成的傳送紀錄：%1（%2 筆完整紀錄，寫入它的程式在結束前中斷）。")
        .arg(path)
        .arg(wholeRecords(QFileInfo(path).size()));
}

} // namespace

QString FinishHint(const QString& path) {
    // The program as it was started, when that was by its path: the command then works as it is printed.
    const QString program = QCoreApplication::arguments().value(0);
    return PartialLog(path).advice(program.contains(QLatin1Char('/')) ? program : QStringLiteral("norvi-cli"));
}

void NoteUnfinishedLogs(const QStringList& folders, Console& console) {
    QStringList seen;
    for (const QString& folder : folders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            continue;
        seen.append(canonical);
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QLatin1String("*") + kPartialSuffix}, QDir::Files | QDir::Hidden)) {
            const QString path = dir.filePath(name);
            if (!PartialLog::targetOf(path, nullptr) || !PartialLog::abandoned(path))
                continue;
            console.err(unfinishedLine(path) + FinishHint(path));
        }
    }
}

bool RefuseWhileUnfinished(const QStringList& logs, Console& console) {
    QStringList named;
    for (const QString& log : logs) {
        if (log.isEmpty() || SaveTargetIsDirect(log))
            continue;
        for (const PartialLog& partial : PartialLog::of(log)) {
            if (named.contains(partial.path()))
                continue;
            named.append(partial.path());
            console.err(unfinishedLine(partial.path()) + FinishHint(partial.path()));
        }
    }
    if (named.isEmpty())
        return false;
    console.err(QStringLiteral("上次中斷的作業還沒有完成，這次作業沒有開始：完成之後請再執行一次。"));
    return true;
}

// ---- the run's log ----

CliRunLog::CliRunLog(QString logFolder, QString startDir, Console& console)
    : m_logFolder(std::move(logFolder)), m_startDir(std::move(startDir)), m_console(console) {}

CliRunLog::~CliRunLog() {
    stopWatchingSignals();
    m_signalNotifier.reset();
    for (const int fd : m_signalPipe)
        if (fd >= 0)
            ::close(fd);
    // A log not finished keeps its partial file, as a crash would; an unused name taken is given back.
    if (!m_started && !m_placeholder.isEmpty())
        QFile::remove(m_placeholder);
}

// The pipe a second signal's handler writes into, read on the main thread while this log is open.
void CliRunLog::watchSignals() {
    if (m_signalPipe[0] < 0) {
        if (::pipe2(m_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_signalNotifier = std::make_unique<QSocketNotifier>(m_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_signalNotifier.get(), &QSocketNotifier::activated, [this] { saveAndEnd(); });
    }
    m_watching = true;
    SetSignalPipe(m_signalPipe[1]);
}

void CliRunLog::stopWatchingSignals() {
    if (m_watching) {
        ReleaseSignalPipe(m_signalPipe[1]);
        m_watching = false;
    }
}

// On the main thread: the log as it stands is finished, then the program ends as the signal asked.
void CliRunLog::saveAndEnd() {
    unsigned char signal = 0;
    if (::read(m_signalPipe[0], &signal, 1) != 1)
        return;
    // The same signal cut the running job's grace: it is writing the rows of the messages it did not reach,
    // and its own end finishes the log whole. Only a job that does not end in time is left behind.
    if (m_watching && !m_forcing) {
        m_forcing = true;
        QTimer::singleShot(kForcedEndMs, m_signalNotifier.get(), [this, signal] {
            if (m_watching)
                forceEnd(signal);
        });
        return;
    }
    forceEnd(signal);
}

void CliRunLog::forceEnd(unsigned char signal) {
    if (m_watching) {
        const qint64 rows = m_stream.rowCount();
        if (finish())
            m_console.err(QStringLiteral("再次中斷：已儲存傳送紀錄 %1（%2 筆），程式結束。").arg(m_target).arg(rows));
        else
            m_console.err(m_error);
    }
    endBySignal(signal);
}

bool CliRunLog::lockTarget(const QString& path) {
    m_ownLock = std::make_unique<FileLock>(SaveTargetPath(path));
    m_lock = m_ownLock.get();
    const bool locked = m_lock->lock([&](const QString& holder) {
        m_console.err(QStringLiteral("%1 正由另一個程式%2使用中，等候它結束…")
                          .arg(path, holder.isEmpty() ? QString() : QStringLiteral("（%1）").arg(holder)));
    });
    if (!locked) {
        m_error = m_lock->error();
        return false;
    }
    // As the target is now, under the lock: the run replaces it only as it found it. A program that does
    // not take the lock may write it meanwhile, and what it wrote is not the run's to throw away.
    m_kept = identityOf(SaveTargetPath(path));
    m_keepsTarget = true;
    return true;
}

bool CliRunLog::takeDefaultName() {
    const QDir folder(m_logFolder);
    const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    int error = 0;
    for (int n = 1; n < 1000; ++n) {
        const QString path =
            folder.filePath(n == 1 ? stamp + QStringLiteral(".log") : stamp + QStringLiteral("_%1.log").arg(n));
        if (takeName(path, &error)) {
            m_target = path;
            m_placeholder = path;
            return true;
        }
        if (error != EEXIST)
            break;
    }
    m_error = QStringLiteral("無法在 %1 建立傳送紀錄檔：%2").arg(folder.path(), SystemErrorText(error));
    return false;
}

CliRunLog::FileIdentity CliRunLog::identityOf(const QString& path) {
    struct stat st {};
    FileIdentity id;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

bool CliRunLog::start(const QString& target, const std::vector<SendLogRow>& head) {
    return create(target, [&] { return head.empty() || m_stream.appendRows(head); });
}

bool CliRunLog::startAppending(const QString& target) {
    m_appending = true;
    return create(target, [this] { return copyTargetRecords(); });
}

// The finished log's records, as they are, in pieces: a long log is never all in memory.
bool CliRunLog::copyTargetRecords() {
    m_kept = identityOf(m_final);
    if (m_kept.size <= 0)
        return true; // nothing there yet, or the empty name a run took
    constexpr std::size_t kPiece = 4096;
    LogFileReader reader(m_final);
    if (!reader.open()) {
        m_error = WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + m_target, reader.errorString());
        return false;
    }
    bool ok = true;
    std::vector<SendLogRow> piece;
    piece.reserve(kPiece);
    SendLogRow row;
    while (ok && reader.next(row)) {
        piece.push_back(row);
        if (piece.size() == kPiece) {
            ok = m_stream.appendRows(piece);
            piece.clear();
        }
    }
    ok = ok && m_stream.appendRows(piece);
    if (ok && (reader.damaged() || !(identityOf(m_final) == m_kept))) {
        // Checked under the lock before; only a program that does not take it can have changed it since.
        m_error = QStringLiteral("%1 在檢查之後被其他程式變更，請再執行一次。").arg(m_target);
        return false;
    }
    return ok;
}

bool CliRunLog::create(const QString& target, const std::function<bool()>& fill) {
    if (target.isEmpty()) {
        if (!takeDefaultName())
            return false;
    } else {
        m_target = target;
        if (const QString refusal = OutputRefusal(target, m_startDir); !refusal.isEmpty()) {
            m_error = refusal;
            return false;
        }
        if (!m_lock && !lockTarget(target))
            return false;
    }
    m_final = SaveTargetPath(m_target);
    // Beside the file it replaces, so the rename stays in one file system.
    for (int i = 0; i < kNameTries; ++i) {
        m_partial = m_final + QLatin1Char('.') + RandomNameChars() + kPartialSuffix;
        // Only a name that is taken already is tried again with other letters.
        if (m_stream.create(m_partial) || !QFileInfo::exists(m_partial))
            break;
    }
    const bool ok = m_stream.isOpen() && fill() && m_stream.sync();
    if (!ok) {
        if (m_error.isEmpty())
            m_error = m_stream.errorString();
        if (m_stream.isOpen())
            m_stream.discard();
        return false;
    }
    m_started = true;
    watchSignals();
    // A log removed under a running job (its folder deleted, the file replaced) would lose every row the
    // run still makes: the run stops as 中斷 stops it, and finish() copies the rows out.
    m_stream.watchPlace([stopped = false]() mutable {
        if (!stopped)
            stopped = StopRunningJobs();
    });
    return true;
}

LogStream* CliRunLog::beginRun(QString* error) {
    if (m_started && m_stream.isOpen() && !m_stream.failed())
        return &m_stream;
    if (error)
        *error = m_error.isEmpty() ? m_stream.errorString() : m_error;
    return nullptr;
}

bool CliRunLog::finish() {
    stopWatchingSignals();
    if (!m_started || !m_stream.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("傳送紀錄檔 %1 已關閉。").arg(m_partial);
        return false;
    }
    if (m_stream.moved() || !m_stream.stillInPlace())
        return rescue();
    if (m_stream.failed()) {
        m_error = QStringLiteral("%1；已寫入的 %2 筆在 %3。")
                      .arg(m_stream.errorString())
                      .arg(m_stream.rowCount())
                      .arg(m_partial) +
                  FinishHint(m_partial);
        if (const std::optional<SendLogRow> lost = m_stream.lostRow())
            m_error += QLatin1Char('\n') + UnrecordedRowText(*lost);
        m_stream.close();
        return false;
    }
    if (m_keepsTarget && !(identityOf(m_final) == m_kept)) {
        // Its rows were read at the start: replacing it now would lose whatever was written since.
        m_error =
            (m_appending
                 ? QStringLiteral("%1 在這次傳送期間被其他程式變更，沒有被取代；這次的紀錄（含原有的各列）在 %2。")
                 : QStringLiteral("%1 在這次作業期間被其他程式變更，沒有被取代；這次的紀錄在 %2。"))
                .arg(m_target, m_partial) +
            FinishHint(m_partial);
        m_stream.close();
        return false;
    }
    if (!m_stream.finish(m_final)) {
        m_error = m_stream.errorString() + QStringLiteral(" ") + FinishHint(m_partial);
        return false;
    }
    m_placeholder.clear();
    return true;
}

// The log's file lost its name while the run went on: its rows are copied from the open file into a new
// file of their own in the start folder, or in the home folder when that cannot be written.
bool CliRunLog::rescue() {
    const QString name = QStringLiteral("norvi-rescue-%1-%2.log")
                             .arg(Clock::now().toString(QStringLiteral("yyyyMMddHHmmss")))
                             .arg(QCoreApplication::applicationPid());
    const QString gone = QStringLiteral("傳送紀錄檔 %1 在作業期間被移除或取代，作業已中斷").arg(m_partial);
    int error = 0;
    for (const QString& folder : {m_startDir.isEmpty() ? QDir::currentPath() : m_startDir, QDir::homePath()}) {
        const QString path = QDir(folder).filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            error = errno;
            continue;
        }
        const bool copied = m_stream.copyInto(fd, &error);
        ::close(fd);
        if (copied) {
            m_error = QStringLiteral("%1；這次的 %2 筆紀錄已另存為 %3。").arg(gone).arg(m_stream.rowCount()).arg(path);
            m_stream.close();
            return false;
        }
        ::unlink(QFile::encodeName(path).constData());
    }
    m_error = QStringLiteral("%1，紀錄也無法另存：%2").arg(gone, SystemErrorText(error));
    m_stream.close();
    return false;
}

void CliRunLog::abandon() {
    stopWatchingSignals();
    if (m_stream.isOpen()) {
        RemoveRunPlan(m_stream.path());
        m_stream.discard();
    }
    if (!m_placeholder.isEmpty())
        QFile::remove(m_placeholder);
    m_placeholder.clear();
}

// ---- norvi-cli finish ----

int finishCommand(const Arguments& a, Console& console) {
    if (a.positional.size() != 1 || a.positional.first().trimmed().isEmpty()) {
        console.err(QStringLiteral("請指定一個未完成的傳送紀錄檔。"));
        return ExitRefused;
    }
    const QString path = a.positional.first();
    QString target;
    const bool partial = PartialLog::targetOf(path, &target);
    const bool out = a.values.contains(QStringLiteral("--out"));
    if (out)
        target = a.value(QStringLiteral("--out"));
    else if (!partial) {
        console.err(QStringLiteral("%1 不是程式留下的未完成紀錄檔（NAME.XXXXXX.partial）。").arg(path) +
                    FinishHint(path));
        return ExitRefused;
    }
    if (SameFile(path, target)) {
        console.err(QStringLiteral("未完成的紀錄檔不會被覆寫，請以 --out 指定另一個檔案。"));
        return ExitRefused;
    }
    if (const QString refusal = OutputRefusal(target); !refusal.isEmpty()) {
        console.err(refusal);
        return ExitRefused;
    }
    FileLock lock(SaveTargetPath(target));
    lock.lock([&](const QString& holder) {
        console.err(QStringLiteral("%1 正由另一個程式%2使用中，等候它結束…")
                        .arg(target, holder.isEmpty() ? QString() : QStringLiteral("（%1）").arg(holder)));
    });
    if (partial && !PartialLog::abandoned(path)) {
        console.err(QStringLiteral("%1 仍有程式在寫入，請等它結束。").arg(path));
        return ExitRefused;
    }
    // Read under the log's lock: a partial that begins with every record of its log is that log carried on
    // by the killed run, and replaces it.
    // The messages a killed run never reached get their rows after the run's own (its plan says which).
    const UnreachedRows unreached = FindUnreachedRows(path, WholeRecordsIn(path), Clock::rowStamp());
    bool replacing = false;
    if (partial && !out) {
        const PartialLog unfinished(path);
        switch (unfinished.ending()) {
        case PartialLog::Ending::NothingNew:
            if (!unreached.rows.empty()) {
                replacing = true; // nothing new was sent, but the planned recipients get their rows
                break;
            }
            QFile::remove(path);
            RemoveRunPlan(path);
            console.err(unfinished.wholeRecords() == 0
                            ? QStringLiteral("%1 沒有任何完整紀錄，已刪除。").arg(path)
                            : QStringLiteral("%1 只有 %2 原有的紀錄，沒有新的紀錄，已刪除。").arg(path, target));
            return ExitOk;
        case PartialLog::Ending::Continues:
            replacing = true;
            break;
        case PartialLog::Ending::NewLog:
            break;
        case PartialLog::Ending::Elsewhere:
            console.err(QStringLiteral("%1 已存在，不會被覆寫。").arg(target) + FinishHint(path));
            return ExitRefused;
        }
    }
    // A log already there is never replaced by another, unless the partial carries it on, or it is the
    // empty name its run took.
    if (const QFileInfo existing(target); !replacing && existing.exists() && existing.size() > 0) {
        console.err(QStringLiteral("%1 已存在，不會被覆寫；請以 --out 指定另一個檔名。").arg(target));
        return ExitRefused;
    }
    // Every whole record, whatever the count says: a count that was cut, never written or overwritten must
    // not lose a row the gateway accepted.
    LogFileReader reader(path);
    reader.readEveryWholeRecord();
    if (!reader.open()) {
        console.err(WithReason(QStringLiteral("讀取傳送紀錄檔案失敗！ ") + path, reader.errorString()));
        return ExitRefused;
    }
    QString error;
    const bool saved = WriteWholeRecords(reader, target, &error, unreached.rows);
    if (reader.refused()) {
        console.err(error);
        return ExitRefused;
    }
    noteCountDifference(reader, console);
    if (!saved) {
        console.err(error);
        return ExitNotSaved;
    }
    if (partial)
        QFile::remove(path);
    RemoveRunPlan(path);
    console.err(
        QStringLiteral("傳送紀錄已完成：%1（%2 筆）").arg(target).arg(reader.readCount() + int(unreached.rows.size())));
    if (const QString text = UnreachedRowsText(unreached); !text.isEmpty())
        console.err(text);
    return ExitOk;
}

} // namespace norvi::cli
