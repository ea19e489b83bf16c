#pragma once

#include "core/sendlog/LogRecord.h"
#include "core/sendlog/SendLogRow.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A ".log" written while its rows arrive, so that a row is on disk before anything else is done with it.
namespace norvi {

// The file starts under a name of its own (created exclusively, never an existing file) with the record
// count -1, the mark of a log whose writer has not finished. Each row is appended as one write of its
// 556-byte record; the disk is synced at least once a second while rows come (by a thread of its own, so
// a row costs no disk wait) and at the end. finish() then writes the real count and renames the file over
// its target, which is so replaced atomically; the bytes are those a whole save would have written.
//
// A writer killed half-way leaves a file with the count -1 and whole records: every reader takes all
// its complete records and says the file was not finished. While a stream is open its file is locked
// (flock), so a live writer's file is told from one a crash left behind.
//
// append() and rewrite() may be called from any thread; the others from the thread that owns the stream.
// A write or sync that fails makes the stream failed: nothing more is written, and errorString() says why
// in the system's words ("磁碟已滿").
class LogStream {
public:
    // How long rows may wait for the disk sync: one second, shorter in tests that watch the batching.
    static constexpr std::chrono::milliseconds kSyncInterval{1000};
    explicit LogStream(std::chrono::milliseconds syncInterval = kSyncInterval);
    // A stream neither finished nor discarded is closed as it is: its file stays, as a crash would leave it.
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    // Creates `path` exclusively with the count -1 and locks it. The file is the owner's alone until
    // finish() gives it the target's permissions (or the usual ones for a new file).
    bool create(const QString& path);
    // Records copied in before the run's own rows (a resend's earlier rows, the rows a query walks),
    // written in large pieces.
    bool appendRows(const std::vector<SendLogRow>& rows);
    // One row, one write. False once the stream has failed or is closed. `index` receives the row's place
    // (from 0), for a later rewrite().
    bool append(const SendLogRow& row, qint64* index = nullptr);
    bool appendRecord(const sLogRecord& record, qint64* index = nullptr);
    // Writes row `index` (from 0) again in place: a query's answer for a row already in the file.
    bool rewrite(qint64 index, const SendLogRow& row);
    // Forces the file (and, the first time, its folder entry) to disk now.
    bool sync();

    // After each batched sync, checks that the file is still linked and still the one under its name;
    // the first time it is not, `onMoved` runs (on the sync thread). Rows still go to the open file, so a
    // writer whose folder was removed keeps every row until it copies them out (copyInto).
    void watchPlace(std::function<void()> onMoved);
    // Whether the file is still linked and still the one its path names (checked now, while open).
    bool stillInPlace();
    // Whether a check after a sync found it gone or replaced.
    bool moved() const { return m_moved.load(); }
    // Copies the file from its open descriptor into `fd` (from its start, with the real count instead of
    // -1) and forces the copy to disk. False with the system's error number in `error`.
    bool copyInto(int fd, int* error);

    // Writes the real count, syncs, and renames the file over `target` (a regular file or none; a link's
    // final file). A replaced file keeps its permissions. The stream is closed afterwards, whatever happened;
    // on failure its file stays under its own name, unfinished.
    bool finish(const QString& target);
    // Writes the real count and syncs, keeping the file under its own name (closed).
    bool finishInPlace();
    // Closes the stream, leaving its file as it is (the count -1).
    void close();
    // Closes the stream and removes its file.
    void discard();

    // The first answered row that could not be written (an acceptance appended, or any answer rewriting its
    // row): its message reached the gateway, and the file does not say so.
    std::optional<SendLogRow> lostRow() const;

    bool isOpen() const;
    bool failed() const;
    QString errorString() const;
    QString path() const { return m_path; }
    qint64 rowCount() const { return m_rows.load(); }
    // The file's descriptor while open, for a lock's owner check in tests; -1 otherwise.
    int descriptor() const { return m_fd; }

    // The number of disk syncs this stream made (for tests that check the batching).
    qint64 syncCount() const { return m_syncs.load(); }

    // The steps that can fail, for tests that make one of them fail as the system would (a write takes
    // half of its bytes first, as a disk that fills up does). The `nth` time any stream reaches `step`.
    enum class Step { Create, Write, Sync, Rename };
    static void failAtForTest(Step step, int nth);
    static void clearFaultForTest();

private:
    bool writeAt(qint64 offset, const char* data, qint64 size);
    bool failWith(const QString& what, int error); // with m_lock held
    void markDirty();
    void syncLoop();
    void stopSyncer();
    bool writeCount();
    void closeFile();
    bool inPlace(int fd) const; // with m_lock held or from the sync thread

    const std::chrono::milliseconds m_syncInterval;
    std::atomic<qint64> m_syncs{0};
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0; // bytes in the file, always 4 + whole records
    std::atomic<qint64> m_rows{0};
    bool m_folderSynced = false;
    quint64 m_device = 0, m_inode = 0; // the file as created
    std::function<void()> m_onMoved;
    std::atomic<bool> m_moved{false};

    mutable std::mutex m_lock; // the file's end, the state below
    bool m_failed = false;
    bool m_closed = true;
    QString m_error;
    std::optional<SendLogRow> m_lost;

    // The sync thread.
    std::condition_variable m_wake;
    bool m_dirty = false;
    bool m_stopSyncer = false;
    std::thread m_syncer;
};

// The text of a record count: the mark -1 of a file whose writer has not finished.
constexpr qint32 kUnfinishedCount = -1;

// What is said of a row that could not be written, so that its message can be written down by hand: one the
// gateway accepted by its number and MsgId, any other by its number and result.
QString UnrecordedRowText(const SendLogRow& row);

} // namespace norvi
