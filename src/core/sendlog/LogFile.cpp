#include "core/sendlog/LogFile.h"

#include "core/sendlog/LogRecordCheck.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"

#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

namespace norvi {

namespace {

// The low byte of an image index, as the record keeps it.
int8_t imageByte(int image) {
    return static_cast<int8_t>(static_cast<uint8_t>(image & 0xFF));
}

// An open file's size and modification time (in nanoseconds), to tell whether it was written since.
bool fileStamp(int fd, qint64* size, qint64* modified) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    *size = qint64(st.st_size);
    *modified = qint64(st.st_mtim.tv_sec) * 1000000000 + qint64(st.st_mtim.tv_nsec);
    return true;
}

} // namespace

// The texts people read are cut between characters; numbers, times and codes are ASCII.
sLogRecord toLogRecord(const SendLogRow& row) {
    sLogRecord record;
    std::memset(&record, 0, sizeof record);
    record.image = imageByte(row.image);
    putBig5Field(record.name, row.texts[ColName]);
    putField(record.msisdn, row.texts[ColMobile]);
    putField(record.sendTime, row.texts[ColSendTime]);
    record.codeImage = imageByte(row.codeImage);
    putField(record.sendCode, row.texts[ColSendCode]);
    putBig5Field(record.sendResult, row.texts[ColSendResult]);
    putField(record.queryCode, row.texts[ColQueryCode]);
    putBig5Field(record.queryResult, row.texts[ColQueryResult]);
    putBig5Field(record.content, row.texts[ColContent]);
    return record;
}

SendLogRow fromLogRecord(const sLogRecord& record) {
    SendLogRow row;
    row.image = record.image;
    row.texts[ColName] = getField(record.name);
    row.texts[ColMobile] = getField(record.msisdn);
    row.texts[ColSendTime] = getField(record.sendTime);
    row.codeImage = record.codeImage;
    row.texts[ColSendCode] = getField(record.sendCode);
    row.texts[ColSendResult] = getField(record.sendResult);
    row.texts[ColQueryCode] = getField(record.queryCode);
    row.texts[ColQueryResult] = getField(record.queryResult);
    row.texts[ColContent] = getField(record.content);
    return row;
}

// ---- writing ----

LogFileWriter::LogFileWriter(const QString& path) : m_file(path) {}

bool LogFileWriter::open(qint32 count) {
    if (!m_file.open())
        return false;
    m_buffer.reserve(kFlushSize + qsizetype(sizeof(sLogRecord)));
    const qint32 le = qToLittleEndian(count);
    m_buffer.append(reinterpret_cast<const char*>(&le), sizeof le);
    return true;
}

// Records are gathered into large writes: one system call per record makes a big log slow to save.
void LogFileWriter::flush() {
    if (m_ok && !m_buffer.isEmpty())
        m_ok = m_file.write(m_buffer) == m_buffer.size();
    m_buffer.resize(0); // keeps the allocation for the next records
}

void LogFileWriter::write(const SendLogRow& row) {
    const sLogRecord record = toLogRecord(row);
    m_buffer.append(reinterpret_cast<const char*>(&record), sizeof record);
    if (m_buffer.size() >= kFlushSize)
        flush();
}

bool LogFileWriter::commit() {
    flush();
    if (!m_ok) {
        m_file.cancelWriting();
        m_file.commit();
        return false;
    }
    return m_file.commit();
}

// ---- reading ----

LogFileReader::LogFileReader(const QString& path) : m_file(path) {}

bool LogFileReader::open() {
    if (m_device == &m_file) {
        // Never waits on a pipe or device at the log's name; only a regular file is a log.
        QString reason;
        bool notAFile = false;
        const int fd = OpenInputFile(m_file.fileName(), &reason, &notAFile);
        if (notAFile)
            m_refusal = InputRefusalText(m_file.fileName(), reason);
        if (fd < 0) {
            m_openError = reason;
            return false;
        }
        if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return false;
        }
        fileStamp(fd, &m_openedSize, &m_openedModified);
    }
    qint32 le = 0;
    if (m_device->read(reinterpret_cast<char*>(&le), sizeof le) != qint64(sizeof le))
        return false;
    m_announced = qFromLittleEndian(le);
    const qint64 size = m_device->size();
    const qint64 records = (size - qint64(sizeof le)) / qint64(sizeof(sLogRecord));
    if (unfinished() || m_everyRecord) {
        // A writer that had not finished: every whole record counts; a record cut by the crash does not.
        m_available = int(std::min<qint64>(records, std::numeric_limits<qint32>::max()));
        m_trailing = size - qint64(sizeof le) - qint64(m_available) * qint64(sizeof(sLogRecord));
        setDamagedTailAside();
        return true;
    }
    m_available = int(std::min<qint64>(records, m_announced));
    m_trailing = std::max<qint64>(0, size - qint64(sizeof le) - qint64(m_announced) * qint64(sizeof(sLogRecord)));
    return true;
}

// A writer killed by a power cut can leave the end of its file holding no record at all (zeros the file system
// put there, or bytes of something else): those last records are set aside like a record cut short, so the
// rows before them are not refused with them. A damaged record before a sound one still refuses the file.
void LogFileReader::setDamagedTailAside() {
    if (m_device->isSequential())
        return;
    sLogRecord record;
    while (m_available > 0) {
        const qint64 at = qint64(sizeof(qint32)) + qint64(m_available - 1) * qint64(sizeof record);
        if (!m_device->seek(at) ||
            m_device->read(reinterpret_cast<char*>(&record), sizeof record) != qint64(sizeof record) ||
            LogRecordFault(record).isEmpty())
            break;
        --m_available;
        ++m_damagedTail;
    }
    m_device->seek(qint64(sizeof(qint32)));
}

bool LogFileReader::next(SendLogRow& row) {
    if (m_read >= m_available)
        return false;
    sLogRecord record;
    if (m_device->read(reinterpret_cast<char*>(&record), sizeof record) != qint64(sizeof record)) {
        m_available = m_read; // the file shrank under us: stop at the last complete record
        return false;
    }
    const QString fault = LogRecordFault(record);
    if (!fault.isEmpty()) {
        m_refusal = NotSendLogText(m_read + 1, fault);
        m_available = m_read;
        return false;
    }
    row = fromLogRecord(record);
    ++m_read;
    return true;
}

bool LogFileReader::readAgain(int index, SendLogRow& row) {
    if (index < 0 || index >= m_read)
        return false;
    sLogRecord record;
    if (!m_device->seek(qint64(sizeof(qint32)) + qint64(index) * qint64(sizeof record)) ||
        m_device->read(reinterpret_cast<char*>(&record), sizeof record) != qint64(sizeof record) ||
        !LogRecordFault(record).isEmpty())
        return false;
    row = fromLogRecord(record);
    return true;
}

bool LogFileReader::changedSinceOpen() const {
    qint64 size = -1;
    qint64 modified = -1;
    return m_device == &m_file && m_file.isOpen() &&
           (!fileStamp(m_file.handle(), &size, &modified) || size != m_openedSize || modified != m_openedModified);
}

QString LogFileReader::damageMessage() const {
    if (refused())
        return m_refusal;
    if (unfinished())
        return unfinishedLogMessage(m_read, m_trailing, m_announced, m_damagedTail);
    if (!complete())
        return incompleteLogMessage(m_read, m_announced);
    if (m_trailing > 0)
        return trailingBytesLogMessage(m_read, m_trailing);
    return QString();
}

QString unfinishedLogMessage(int read, qint64 cutBytes, qint32 announced, int damagedTail) {
    const QString why = announced == -1 ? QStringLiteral("寫入它的程式在結束前中斷")
                                        : QStringLiteral("檔案標示 %1 筆，不是完成的紀錄檔").arg(announced);
    QString text = QStringLiteral("傳送紀錄檔案尚未完成（%1）：已讀入 %2 筆完整紀錄").arg(why).arg(read);
    if (cutBytes > 0)
        text += QStringLiteral("，最後 %1 位元組是寫到一半的紀錄，已略過").arg(cutBytes);
    if (damagedTail > 0)
        text += QStringLiteral("；其後 %1 筆紀錄已損壞，無法讀出，已略過").arg(damagedTail);
    return text + QStringLiteral("。");
}

QString incompleteLogMessage(int read, qint32 announced) {
    return QStringLiteral("傳送紀錄檔案不完整：僅讀入 %1 筆（檔案標示 %2 筆）。").arg(read).arg(announced);
}

QString trailingBytesLogMessage(int read, qint64 trailing) {
    return QStringLiteral("傳送紀錄檔案已損壞（結尾多出 %1 位元組無法辨識的資料），已讀入 %2 筆。")
        .arg(trailing)
        .arg(read);
}

// ---- whole files ----

QVector<int> SaveOrder(const SendLogModel& model) {
    const int n = model.rowCount();
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::vector<const SendLogRow*> rows(static_cast<std::size_t>(n));
    for (int position = 0; position < n; ++position)
        rows[std::size_t(position)] = &model.row(position);
    const auto sameMessage = [&rows](int a, int b) {
        const SendLogRow& x = *rows[std::size_t(a)];
        const SendLogRow& y = *rows[std::size_t(b)];
        return x.texts[ColMobile] == y.texts[ColMobile] && x.texts[ColContent] == y.texts[ColContent];
    };
    // The positions grouped by message, each group in list order.
    QVector<int> byMessage = order;
    std::stable_sort(byMessage.begin(), byMessage.end(), [&rows](int a, int b) {
        const SendLogRow& x = *rows[std::size_t(a)];
        const SendLogRow& y = *rows[std::size_t(b)];
        const int mobile = x.texts[ColMobile].compare(y.texts[ColMobile]);
        return mobile != 0 ? mobile < 0 : x.texts[ColContent] < y.texts[ColContent];
    });
    std::vector<int> group;
    for (int from = 0; from < n;) {
        int to = from + 1;
        while (to < n && sameMessage(byMessage[from], byMessage[to]))
            ++to;
        if (to - from > 1) {
            // The message's places in the list, filled with its rows in the order they were added.
            group.assign(byMessage.begin() + from, byMessage.begin() + to);
            std::sort(group.begin(), group.end(), [&model](int a, int b) { return model.rowId(a) < model.rowId(b); });
            for (int k = from; k < to; ++k)
                order[byMessage[k]] = group[std::size_t(k - from)];
        }
        from = to;
    }
    return order;
}

bool saveLogFile(const QString& path, const SendLogModel& model, const std::function<void()>& onRow) {
    LogFileWriter writer(path);
    const int count = model.rowCount();
    if (!writer.open(count))
        return false;
    for (const int position : SaveOrder(model)) {
        if (onRow)
            onRow();
        writer.write(model.row(position));
    }
    return writer.commit();
}

bool loadLogFile(const QString& path, SendLogModel& model, int* read, qint32* announced,
                 const std::function<void()>& onRow) {
    LogFileReader reader(path);
    if (!reader.open())
        return false;
    SendLogRow row;
    while (reader.next(row)) {
        if (onRow)
            onRow();
        model.addRow(row);
    }
    if (read)
        *read = reader.readCount();
    if (announced)
        *announced = reader.announced();
    return true;
}

} // namespace norvi
