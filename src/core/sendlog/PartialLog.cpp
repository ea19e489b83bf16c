#include "core/sendlog/PartialLog.h"

#include "core/sendlog/LogFile.h"
#include "core/sendlog/RunPlan.h"
#include "core/shared/Clock.h"
#include "core/shared/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace norvi {

namespace {

const QString kPartialSuffix = QStringLiteral(".partial");

qint64 wholeRecordsOfSize(qint64 size) {
    return size < qint64(sizeof(qint32)) ? 0 : (size - qint64(sizeof(qint32))) / qint64(sizeof(sLogRecord));
}

// The same row but for what a query or a cancellation writes into it.
bool sameSend(const SendLogRow& a, const SendLogRow& b) {
    for (int column = 0; column < kSendLogColumns; ++column)
        if (column != ColQueryCode && column != ColQueryResult &&
            a.texts[std::size_t(column)] != b.texts[std::size_t(column)])
            return false;
    return a.image == b.image && a.codeImage == b.codeImage;
}

bool sameRow(const SendLogRow& a, const SendLogRow& b) {
    return sameSend(a, b) && a.texts[ColQueryCode] == b.texts[ColQueryCode] &&
           a.texts[ColQueryResult] == b.texts[ColQueryResult];
}

// A word the shell takes as it stands: quoted when it holds anything but letters, digits and . / _ - + = : , @ %.
QString shellWord(const QString& word) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Reads the partial file beside its whole log, record by record.
PartialLog::Ending compareWithLog(const QString& partialPath, const QString& logPath) {
    LogFileReader log(logPath);
    LogFileReader partial(partialPath);
    partial.readEveryWholeRecord();
    if (!log.open() || !partial.open())
        return PartialLog::Ending::Elsewhere;
    bool unchanged = true;
    SendLogRow fromLog;
    SendLogRow fromPartial;
    for (;;) {
        const bool more = log.next(fromLog);
        if (!more)
            break;
        if (!partial.next(fromPartial)) {
            // Cut inside the copy of the log's records: the run had made nothing of its own yet.
            if (partial.refused() || log.refused())
                return PartialLog::Ending::Elsewhere;
            return unchanged ? PartialLog::Ending::NothingNew : PartialLog::Ending::Elsewhere;
        }
        if (!sameSend(fromLog, fromPartial))
            return PartialLog::Ending::Elsewhere;
        unchanged = unchanged && sameRow(fromLog, fromPartial);
    }
    // A log that is itself cut or damaged is not one to continue.
    if (log.refused() || log.damaged())
        return PartialLog::Ending::Elsewhere;
    const bool moreRows = partial.next(fromPartial);
    if (partial.refused())
        return PartialLog::Ending::Elsewhere;
    return unchanged && !moreRows ? PartialLog::Ending::NothingNew : PartialLog::Ending::Continues;
}

} // namespace

PartialLog::PartialLog(const QString& path) : m_path(path) {
    const QFileInfo file(path);
    m_wholeRecords = wholeRecordsOfSize(file.size());
    if (!targetOf(path, &m_target))
        return; // Elsewhere: only a name of the program's own says which log it was to become
    if (file.size() < qint64(sizeof(qint32))) {
        m_ending = Ending::NothingNew; // killed before it wrote its count: not even a record
        return;
    }
    const QFileInfo log(m_target);
    if (!log.exists() || (log.isFile() && log.size() == 0))
        m_ending = Ending::NewLog;
    else if (log.isFile())
        m_ending = compareWithLog(path, m_target);
}

bool PartialLog::targetOf(const QString& path, QString* target) {
    static const QRegularExpression partial(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}\\.partial$"));
    const QRegularExpressionMatch m = partial.match(path);
    if (!m.hasMatch())
        return false;
    if (target)
        *target = m.captured(1);
    return true;
}

bool PartialLog::abandoned(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

std::vector<PartialLog> PartialLog::of(const QString& log) {
    const QFileInfo final(SaveTargetPath(log));
    const QDir folder = final.absoluteDir();
    std::vector<PartialLog> found;
    const QFileInfoList entries = folder.entryInfoList({final.fileName() + QStringLiteral(".*") + kPartialSuffix},
                                                       QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QFileInfo& entry : entries) {
        QString target;
        const QString path = entry.absoluteFilePath();
        if (targetOf(path, &target) && target == final.absoluteFilePath() && abandoned(path))
            found.emplace_back(path);
    }
    return found;
}

QString PartialLog::elsewhereName() const {
    QString log = QFileInfo(m_target.isEmpty() ? m_path : m_target).absoluteFilePath();
    if (log.endsWith(QStringLiteral(".log")))
        log.chop(4);
    const QString tag = m_target.isEmpty() ? QStringLiteral("finished") : m_path.section(QLatin1Char('.'), -2, -2);
    for (int n = 1;; ++n) {
        QString name =
            log + QLatin1Char('-') + tag + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".log");
        if (!QFileInfo::exists(name))
            return name;
    }
}

QString PartialLog::advice(const QString& program) const {
    const QString command =
        shellWord(program) + QStringLiteral(" finish ") + shellWord(QFileInfo(m_path).absoluteFilePath());
    switch (m_ending) {
    case Ending::NewLog:
    case Ending::Continues:
        return QStringLiteral("請以 %1 把它完成為 %2。").arg(command, m_target);
    case Ending::NothingNew:
        return QStringLiteral("它只有 %1 原有的紀錄，請以 %2 把它刪除。").arg(m_target, command);
    case Ending::Elsewhere:
        break;
    }
    const QString elsewhere = command + QStringLiteral(" --out ") + shellWord(elsewhereName());
    if (m_target.isEmpty())
        return QStringLiteral("請以 %1 把它寫成完整的紀錄檔。").arg(elsewhere);
    return QStringLiteral("它不是接在 %1 之後的紀錄，請以 %2 把它寫成另一個紀錄檔。").arg(m_target, elsewhere);
}

bool PartialLog::finish(QString* error) const {
    if (m_ending == Ending::Elsewhere) {
        if (error)
            *error = QStringLiteral("%1 不是接在 %2 之後的紀錄，不會取代它。").arg(m_path, m_target);
        return false;
    }
    // The recipients a killed send never reached get their rows after the run's own.
    const UnreachedRows unreached = FindUnreachedRows(m_path, m_wholeRecords, Clock::rowStamp());
    if (m_ending != Ending::NothingNew || !unreached.rows.empty()) {
        LogFileReader reader(m_path);
        reader.readEveryWholeRecord();
        if (!reader.open()) {
            if (error)
                *error = reader.errorString();
            return false;
        }
        if (!WriteWholeRecords(reader, m_target, error, unreached.rows))
            return false;
    }
    RemoveRunPlan(m_path);
    if (!QFile::remove(m_path)) {
        if (error)
            *error = QStringLiteral("無法刪除 %1。").arg(m_path);
        return false;
    }
    return true;
}

bool WriteWholeRecords(LogFileReader& reader, const QString& to, QString* error, const std::vector<SendLogRow>& after) {
    // Record by record: the count is the number of whole records, known before the first is read.
    LogFileWriter writer(to);
    bool written = writer.open(reader.available() + int(after.size()));
    SendLogRow row;
    while (written && reader.next(row))
        writer.write(row);
    for (const SendLogRow& added : after)
        if (written)
            writer.write(added);
    if (reader.refused()) {
        if (error)
            *error = reader.refusal(); // the writer is dropped uncommitted: nothing is written
        return false;
    }
    written = written && reader.readCount() == reader.available() && writer.commit();
    if (!written && error)
        *error = QStringLiteral("寫入傳送紀錄檔案失敗！ %1：%2").arg(to, writer.errorString());
    return written;
}

int WholeRecordsIn(const QString& path) {
    LogFileReader reader(path);
    reader.readEveryWholeRecord();
    return reader.open() ? reader.available() : 0;
}

} // namespace norvi
