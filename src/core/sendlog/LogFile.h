#pragma once

#include "core/sendlog/LogRecord.h"
#include "core/sendlog/SendLogModel.h"
#include "core/shared/SaveFile.h"

#include <QFile>
#include <QString>

#include <functional>

// ".log" files: a signed 32-bit little-endian record count, then that many 556-byte sLogRecords in list
// order. No header, version or checksum.
namespace norvi {

// A zeroed record filled by bounded copies: longer texts are cut at their field's width.
sLogRecord toLogRecord(const SendLogRow& row);
// Texts up to their first zero byte or the field's end; images read back signed (0xFF is "none").
SendLogRow fromLogRecord(const sLogRecord& record);

// Writes a ".log" file through SaveFile: a file is replaced only when everything was written, so a failed
// save never leaves a cut or empty file where a good one was; a device or a pipe is written directly.
class LogFileWriter {
public:
    explicit LogFileWriter(const QString& path);
    // Creates the temporary file and writes the count; false when the file cannot be created.
    bool open(qint32 count);
    void write(const SendLogRow& row);
    // Puts the file in place; false when a write failed or the file could not be replaced.
    bool commit();
    QString errorString() const { return m_file.errorString(); }

private:
    static constexpr qsizetype kFlushSize = 64 * 1024;
    void flush();

    SaveFile m_file;
    QByteArray m_buffer;
    bool m_ok = true;
};

// Reads a ".log" file record by record. Only complete records that can be rows are returned: a file that ends before
// its count yields what it really holds and is reported as incomplete; one that announces a negative count was never
// finished, and all its whole records are read. Bytes after the records a file announces are not read as rows; such a
// file is damaged as well (its count was cut, or something was appended), and is no more written back over itself
// than a cut one.
class LogFileReader {
public:
    explicit LogFileReader(const QString& path);
    // A file's bytes from a device the caller opened for reading, from its start.
    explicit LogFileReader(QIODevice& device) : m_device(&device) {}
    // Every whole record the file holds is read, whatever its count says (`finish`, which gives a file left
    // behind its true count). Called before open().
    void readEveryWholeRecord() { m_everyRecord = true; }
    // False when the file cannot be opened or is too short to hold its count.
    bool open();
    // Why open() failed, in the system's words; empty when the file opened but is too short.
    QString errorString() const { return m_openError; }
    qint32 announced() const { return m_announced; }
    // The number of complete records the file holds, up to its count (all of them for a negative count).
    int available() const { return m_available; }
    bool next(SendLogRow& row);
    int readCount() const { return m_read; }
    // A record next() gave before (`index` from 0, below readCount()) read again from the same open file, for
    // a second pass over what the first one found. False when it cannot be read or is no longer a row.
    bool readAgain(int index, SendLogRow& row);
    // Something wrote the file since it was opened (its size or modification time is not what it was): rows
    // read again may not be the ones read first.
    bool changedSinceOpen() const;
    bool complete() const { return m_read == m_announced; }
    // Announces the count -1: written as a run went and never finished (LogStream). Its whole records are
    // read; it is damaged, as one whose count is cut. A count below -1 is no count any writer gives a finished
    // file, so it is taken the same way: counting no rows would hide every record the file holds.
    bool unfinished() const { return m_announced < 0; }
    // Held fewer records than it announced, or more bytes than they take: not to be replaced in place.
    bool damaged() const { return !complete() || m_trailing > 0; }
    // Bytes after the records read: a record cut short, or whatever follows the announced ones.
    qint64 trailingBytes() const { return m_trailing; }
    // Of an unfinished file: the records at its end that are no send-log rows, left out of available().
    int damagedTail() const { return m_damagedTail; }
    // What the user is told about a damaged file once it has been read; empty for a whole one.
    QString damageMessage() const;
    // Reading stopped at a record that cannot be a send-log row (LogRecordFault): the file is refused
    // as a whole, with that record named; empty while every record read was a row.
    bool refused() const { return !m_refusal.isEmpty(); }
    QString refusal() const { return m_refusal; }

private:
    void setDamagedTailAside();

    QFile m_file;
    QIODevice* m_device = &m_file;
    qint32 m_announced = 0;
    int m_available = 0;
    int m_read = 0;
    qint64 m_trailing = 0;
    int m_damagedTail = 0;
    qint64 m_openedSize = -1;
    qint64 m_openedModified = -1;
    bool m_everyRecord = false;
    QString m_refusal;
    QString m_openError;
};

// The message for a file that held fewer complete records than it announced.
QString incompleteLogMessage(int read, qint32 announced);
// The message for a file whose writer never finished it (count -1, or another negative count, which is
// named): what was read, and what was left out.
QString unfinishedLogMessage(int read, qint64 cutBytes, qint32 announced = -1, int damagedTail = 0);
// The message for a file with bytes after the records it announced.
QString trailingBytesLogMessage(int read, qint64 trailing);

// The order a send log is saved in: the list's, except that the rows of one message (the same 行動電話 and
// 訊息內容: its first send and every resend) stand in the order they were added. A file keeps no other mark
// of which row came after which, and a resend reads a message's history in the file's order, so a list
// sorted by another column must not save a failed row after the row that resent it.
QVector<int> SaveOrder(const SendLogModel& model);

// Whole-file helpers for the command-line front end, the tests and the benchmarks. `onRow` runs once
// per record, before it is written or after it is read.
bool saveLogFile(const QString& path, const SendLogModel& model, const std::function<void()>& onRow = {});
// Appends the file's complete records to the model. False when the file cannot be opened.
bool loadLogFile(const QString& path, SendLogModel& model, int* read = nullptr, qint32* announced = nullptr,
                 const std::function<void()>& onRow = {});

} // namespace norvi
