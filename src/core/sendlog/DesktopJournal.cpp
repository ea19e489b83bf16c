#include "core/sendlog/DesktopJournal.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

namespace norvi {

namespace {

const QString kPrefix = QStringLiteral("norvi-journal-");

// A journal file held locked while its rows are taken, so two programs never both take it.
class HeldJournal {
public:
    explicit HeldJournal(const QString& path) : m_path(path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HeldJournal() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool held() const { return m_fd >= 0; }
    bool read(std::vector<SendLogRow>* rows) const {
        LogFileReader reader(m_path);
        if (!reader.open())
            return false;
        SendLogRow row;
        while (reader.next(row))
            rows->push_back(row);
        return true;
    }
    void remove() const {
        QFile::remove(m_path);
        RemoveRunPlan(m_path);
    }

private:
    QString m_path;
    int m_fd = -1;
};

// The journals' rows, each followed by the rows its interrupted run's plan adds; `held` gets the journals
// taken, which are removed once the rows are safe elsewhere.
void takeJournals(const QStringList& journals, std::vector<std::unique_ptr<HeldJournal>>* held,
                  std::vector<SendLogRow>* taken, UnreachedRows* unreached) {
    const QByteArray stamp = Clock::rowStamp();
    for (const QString& path : journals) {
        auto journal = std::make_unique<HeldJournal>(path);
        std::vector<SendLogRow> rows;
        if (!journal->held() || !journal->read(&rows))
            continue;
        UnreachedRows found = FindUnreachedRows(path, qint64(rows.size()), stamp);
        taken->insert(taken->end(), rows.begin(), rows.end());
        taken->insert(taken->end(), found.rows.begin(), found.rows.end());
        found.rows.clear();
        AddUnreachedRows(unreached, found);
        held->push_back(std::move(journal));
    }
}

} // namespace

DesktopJournal::DesktopJournal(const QString& folder) : m_folder(folder) {}

// A program that ends leaves its journal as it is: rows not settled stay for the next start.
DesktopJournal::~DesktopJournal() = default;

bool DesktopJournal::open(QString* error) {
    if (m_stream.isOpen())
        return true;
    const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString base = QDir(m_folder).filePath(kPrefix + stamp + QLatin1Char('-') +
                                                 QString::number(QCoreApplication::applicationPid()));
    for (int n = 1; n < 100; ++n) {
        const QString path = base + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".log");
        if (m_stream.create(path))
            return true;
        if (!QFile::exists(path))
            break;
    }
    if (error)
        *error = QStringLiteral("無法建立未儲存發訊紀錄的暫存檔（%1），為免傳送結果沒有紀錄，沒有傳送任何簡訊。")
                     .arg(m_stream.errorString());
    return false;
}

LogStream* DesktopJournal::beginRun(QString* error) {
    if (!open(error))
        return nullptr;
    if (m_stream.failed() || !m_stream.sync()) {
        if (error)
            *error = QStringLiteral("未儲存的發訊紀錄無法寫入（%1），沒有傳送任何簡訊。").arg(m_stream.errorString());
        // A journal that failed is kept as it is; the next run starts a new one.
        m_stream.close();
        return nullptr;
    }
    return &m_stream;
}

void DesktopJournal::rowsSettled() {
    if (m_stream.isOpen())
        m_stream.discard();
}

QStringList DesktopJournal::leftBehind(const QString& folder) {
    QStringList left;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({kPrefix + QStringLiteral("*.log")}, QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        if (HeldJournal(path).held())
            left.append(path);
    }
    return left;
}

int DesktopJournal::rowsLeft(const QStringList& journals, UnreachedRows* unreached) {
    const QByteArray stamp = Clock::rowStamp();
    int rows = 0;
    for (const QString& path : journals) {
        LogFileReader reader(path);
        const int count = reader.open() ? reader.available() : 0;
        rows += count;
        AddUnreachedRows(unreached, FindUnreachedRows(path, count, stamp));
    }
    return rows;
}

bool DesktopJournal::adopt(const QStringList& journals, std::vector<SendLogRow>* rows, UnreachedRows* unreached,
                           QString* error) {
    std::vector<std::unique_ptr<HeldJournal>> held;
    std::vector<SendLogRow> taken;
    UnreachedRows added;
    takeJournals(journals, &held, &taken, &added);
    // The rows are in this program's journal, on disk, before the old files go.
    if (!open(error))
        return false;
    if (!m_stream.appendRows(taken) || !m_stream.sync()) {
        if (error)
            *error = m_stream.errorString();
        m_stream.discard();
        return false;
    }
    for (const auto& journal : held)
        journal->remove();
    rows->insert(rows->end(), taken.begin(), taken.end());
    if (unreached)
        *unreached = added;
    return true;
}

bool DesktopJournal::keepAsLog(const QStringList& journals, const QString& target, int* rows, UnreachedRows* unreached,
                               QString* error) {
    std::vector<std::unique_ptr<HeldJournal>> held;
    std::vector<SendLogRow> taken;
    UnreachedRows added;
    takeJournals(journals, &held, &taken, &added);
    LogStream log;
    const QString partial = target + QStringLiteral(".partial");
    if (!log.create(partial) || !log.appendRows(taken) || !log.finish(target)) {
        if (error)
            *error = log.errorString();
        log.discard();
        return false;
    }
    for (const auto& journal : held)
        journal->remove();
    if (rows)
        *rows = int(taken.size());
    if (unreached)
        *unreached = added;
    return true;
}

} // namespace norvi
