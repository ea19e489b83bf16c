#include "core/sendlog/DesktopJournal.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/OpLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

namespace norvi {

namespace {

const QString kPrefix = QStringLiteral("norvi-journal-");

// A message by its number and the MsgId of its acceptance ("...(MsgId:X)"; the whole send result of a row without
// one).
QByteArray messageKey(const SendLogRow& row) {
    static const QByteArray marker("MsgId:");
    const QByteArray& result = row.texts[ColSendResult];
    QByteArray id = result;
    if (const qsizetype at = result.indexOf(marker); at >= 0) {
        const qsizetype from = at + marker.size();
        const qsizetype close = result.indexOf(')', from);
        id = result.mid(from, close < 0 ? -1 : close - from);
    }
    return row.texts[ColMobile] + '\0' + id;
}

bool readRows(const QString& path, std::vector<SendLogRow>* rows) {
    LogFileReader reader(path);
    if (!reader.open())
        return false;
    SendLogRow row;
    while (reader.next(row))
        rows->push_back(row);
    return true;
}

// A journal's rows with its answers in place, and the answers of rows it does not hold.
struct JournalRows {
    std::vector<SendLogRow> rows;
    std::vector<SendLogRow> own;
};

// False when there is nothing to take, or when answers beside the journal cannot be read: taking its rows
// would then remove them.
bool readJournal(const QString& path, JournalRows* read) {
    if (!DesktopJournal::refusal(path).isEmpty())
        return false;
    const bool rows = readRows(path, &read->rows);
    const QString answersPath = DesktopJournal::answersPath(path);
    std::vector<SendLogRow> answers;
    const bool answered = readRows(answersPath, &answers);
    if (!answered && QFileInfo(answersPath).size() >= qint64(sizeof(qint32)))
        return false;
    if (!rows && !answered)
        return false;
    DesktopJournal::placeAnswers(&read->rows, answers, &read->own);
    return true;
}

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
    bool read(JournalRows* rows) const { return readJournal(m_path, rows); }
    void remove() const { DesktopJournal::removeLeftBehind(m_path); }

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
        JournalRows rows;
        if (!journal->held() || !journal->read(&rows))
            continue;
        UnreachedRows found = FindUnreachedRows(path, qint64(rows.rows.size()), stamp);
        taken->insert(taken->end(), rows.rows.begin(), rows.rows.end());
        taken->insert(taken->end(), found.rows.begin(), found.rows.end());
        taken->insert(taken->end(), rows.own.begin(), rows.own.end());
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
    if (m_answers.isOpen())
        m_answers.discard();
    m_answerAt.clear();
    m_answersFailSaid = false;
    if (m_stream.isOpen())
        m_stream.discard();
}

QString DesktopJournal::answersPath(const QString& journal) {
    return journal + QStringLiteral(".answers");
}

void DesktopJournal::removeLeftBehind(const QString& journal) {
    QFile::remove(answersPath(journal));
    QFile::remove(journal);
    RemoveRunPlan(journal);
}

void DesktopJournal::placeAnswers(std::vector<SendLogRow>* rows, const std::vector<SendLogRow>& answers,
                                  std::vector<SendLogRow>* own) {
    QHash<QByteArray, std::size_t> latest;
    std::vector<QByteArray> order;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const QByteArray key = messageKey(answers[i]);
        if (!latest.contains(key))
            order.push_back(key);
        latest[key] = i;
    }
    if (latest.isEmpty())
        return;
    QSet<QByteArray> placed;
    for (SendLogRow& row : *rows) {
        const QByteArray key = messageKey(row);
        const auto found = latest.constFind(key);
        if (found == latest.constEnd())
            continue;
        row = answers[*found];
        placed.insert(key);
    }
    for (const QByteArray& key : order)
        if (!placed.contains(key))
            own->push_back(answers[latest.value(key)]);
}

// The answers' file belongs to the journal now open: one left beside a journal that failed stays with it.
bool DesktopJournal::openAnswers(QString* error) {
    if (!open(nullptr)) {
        *error = m_stream.errorString();
        return false;
    }
    const QString path = answersPath(m_stream.path());
    if (m_answers.isOpen() && m_answers.path() == path)
        return true;
    if (m_answers.isOpen())
        m_answers.close();
    m_answerAt.clear();
    // The journal is on the disk first: an answers' file is only ever found beside one.
    if (!m_stream.sync()) {
        *error = m_stream.errorString();
        return false;
    }
    if (!m_answers.create(path) || !m_answers.sync()) {
        *error = m_answers.errorString();
        if (m_answers.isOpen())
            m_answers.discard();
        return false;
    }
    m_answersFailSaid = false;
    return true;
}

void DesktopJournal::answered(const SendLogRow& row) {
    QString error;
    if (!openAnswers(&error)) {
        answersFailed(error);
        return;
    }
    const QByteArray key = messageKey(row);
    const auto at = m_answerAt.constFind(key);
    qint64 index = -1;
    if (at != m_answerAt.constEnd() ? m_answers.rewrite(*at, row) : m_answers.append(row, &index)) {
        if (index >= 0)
            m_answerAt.insert(key, index);
        return;
    }
    answersFailed(m_answers.errorString());
}

void DesktopJournal::answersDone() {
    if (m_answers.isOpen() && !m_answers.failed() && !m_answers.sync())
        answersFailed(m_answers.errorString());
}

// Said once for the answers' file: the list still shows every answer, and saving it keeps them.
void DesktopJournal::answersFailed(const QString& error) {
    if (m_answersFailSaid)
        return;
    m_answersFailSaid = true;
    const QByteArray line = big5(
        QStringLiteral("查詢結果無法寫入未儲存發訊紀錄的暫存檔（%1）：清單上的結果仍在，請儲存發訊紀錄。").arg(error));
    ShowMsgLine(line);
    WriteOpLog(line);
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

namespace {
QString recordsRefusal(const QString& path) {
    LogFileReader reader(path);
    if (!reader.open()) {
        // Shorter than a count, or not there: nothing was recorded. Anything else holds records nobody can read.
        if (QFileInfo(path).size() < qint64(sizeof(qint32)))
            return QString();
        const QString why = reader.refused() ? reader.refusal() : reader.errorString();
        return QStringLiteral("無法讀取 %1：%2。").arg(path, why);
    }
    SendLogRow row;
    while (reader.next(row)) {
    }
    return reader.refusal();
}
} // namespace

QString DesktopJournal::refusal(const QString& journal) {
    const QString rows = recordsRefusal(journal);
    return rows.isEmpty() ? recordsRefusal(answersPath(journal)) : rows;
}

int DesktopJournal::rowsLeft(const QStringList& journals, UnreachedRows* unreached) {
    const QByteArray stamp = Clock::rowStamp();
    int rows = 0;
    for (const QString& path : journals) {
        if (!refusal(path).isEmpty())
            continue;
        LogFileReader reader(path);
        const int count = reader.open() ? reader.available() : 0;
        // Answers add the rows they answer that the journal does not hold; answers that cannot be read keep the
        // journal where it is, as adopt() does.
        if (QFileInfo::exists(answersPath(path))) {
            JournalRows read;
            if (!readJournal(path, &read))
                continue;
            rows += int(read.own.size());
        }
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
