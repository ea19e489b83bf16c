#include "core/sendlog/LogStream.h"

#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/Seams.h"
#include "core/shared/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace norvi {

namespace {

bool faultAt(LogStream::Step step) {
    return TheSeams().logStreamFault.at(static_cast<int>(step));
}

void syncFolderOf(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // the name survives a power cut; a folder that cannot be forced has nothing to report
    ::close(fd);
}

} // namespace

LogStream::LogStream(std::chrono::milliseconds syncInterval) : m_syncInterval(syncInterval) {}

LogStream::~LogStream() {
    close();
}

void LogStream::failAtForTest(Step step, int nth) {
    TheSeams().logStreamFault.arm(static_cast<int>(step), nth);
}

void LogStream::clearFaultForTest() {
    TheSeams().logStreamFault.clear();
}

bool LogStream::failWith(const QString& what, int error) {
    if (!m_failed) {
        m_failed = true;
        m_error = QStringLiteral("%1：%2").arg(what, SystemErrorText(error));
    }
    return false;
}

bool LogStream::create(const QString& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_path = path;
    m_failed = false;
    m_error.clear();
    if (faultAt(Step::Create))
        return failWith(QStringLiteral("無法建立傳送紀錄檔 %1").arg(path), ENOSPC);
    // Readable too: a file whose name is gone can still be copied out from this descriptor.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (m_fd < 0)
        return failWith(QStringLiteral("無法建立傳送紀錄檔 %1").arg(path), errno);
    struct stat st {};
    ::fstat(m_fd, &st);
    m_device = quint64(st.st_dev);
    m_inode = quint64(st.st_ino);
    m_moved = false;
    // Held while the stream is open: a file whose lock can be taken was left by a writer that is gone.
    ::flock(m_fd, LOCK_EX);
    m_closed = false;
    m_size = 0;
    m_rows = 0;
    m_folderSynced = false;
    const qint32 le = qToLittleEndian(kUnfinishedCount);
    if (!writeAt(0, reinterpret_cast<const char*>(&le), sizeof le)) {
        ::unlink(QFile::encodeName(path).constData());
        closeFile();
        return false;
    }
    m_stopSyncer = false;
    m_dirty = false;
    m_syncer = std::thread([this] { syncLoop(); });
    return true;
}

// Writes all of `data` at `offset`, completing a short write; with m_lock held. A write that fails
// half-way is taken back to the last whole record, so the file never holds part of a record.
bool LogStream::writeAt(qint64 offset, const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        if (faultAt(Step::Write)) {
            (void)!::pwrite(m_fd, data + done, std::size_t((size - done) / 2), offset + done);
            errno = ENOSPC;
        } else {
            const ssize_t n = ::pwrite(m_fd, data + done, std::size_t(size - done), offset + done);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                errno = ENOSPC;
        }
        const int error = errno;
        if (offset >= m_size)
            (void)!::ftruncate(m_fd, m_size);
        return failWith(QStringLiteral("寫入傳送紀錄檔 %1 失敗").arg(m_path), error);
    }
    if (offset + size > m_size)
        m_size = offset + size;
    return true;
}

bool LogStream::appendRows(const std::vector<SendLogRow>& rows) {
    constexpr std::size_t kPiece = 256; // records per write
    QByteArray piece;
    piece.reserve(qsizetype(kPiece * sizeof(sLogRecord)));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const sLogRecord record = toLogRecord(rows[i]);
        piece.append(reinterpret_cast<const char*>(&record), sizeof record);
        if ((i + 1) % kPiece != 0 && i + 1 != rows.size())
            continue;
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed || m_failed || !writeAt(m_size, piece.constData(), piece.size()))
            return false;
        m_rows += piece.size() / qsizetype(sizeof(sLogRecord));
        piece.resize(0);
    }
    markDirty();
    return true;
}

bool LogStream::append(const SendLogRow& row, qint64* index) {
    if (appendRecord(toLogRecord(row), index))
        return true;
    // A row appended before its request was never sent; one appended with an acceptance has a MsgId that
    // exists nowhere else.
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_lost && row.texts[ColSendCode] == "0")
        m_lost = row;
    return false;
}

std::optional<SendLogRow> LogStream::lostRow() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lost;
}

QString UnrecordedRowText(const SendLogRow& row) {
    const QString number = fromBig5(row.texts[ColMobile]);
    const QString result = fromBig5(row.texts[ColSendResult]); // an acceptance's holds its MsgId
    if (row.texts[ColSendCode] == "0")
        return QStringLiteral("閘道已接受但沒有寫入紀錄的簡訊：%1，%2；請自行記下。").arg(number, result);
    return QStringLiteral("沒有寫入紀錄的簡訊：%1，%2。").arg(number, result);
}

bool LogStream::appendRecord(const sLogRecord& record, qint64* index) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed || m_failed)
            return false;
        if (!writeAt(m_size, reinterpret_cast<const char*>(&record), sizeof record))
            return false;
        if (index)
            *index = m_rows.load();
        ++m_rows;
    }
    markDirty();
    return true;
}

bool LogStream::rewrite(qint64 index, const SendLogRow& row) {
    const sLogRecord record = toLogRecord(row);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const qint64 offset = qint64(sizeof(qint32)) + index * qint64(sizeof record);
        const bool written = !m_closed && !m_failed && index >= 0 && index < m_rows.load() &&
                             writeAt(offset, reinterpret_cast<const char*>(&record), sizeof record);
        // The answer that could not replace its row's "may have gone" record is the one to name: an
        // acceptance's MsgId exists nowhere else.
        if (!written) {
            if (!m_lost)
                m_lost = row;
            return false;
        }
    }
    markDirty();
    return true;
}

void LogStream::markDirty() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_dirty) {
        m_dirty = true;
        m_wake.notify_all();
    }
}

// Rows written since the last sync are forced to disk one interval after the first of them: many rows
// share one sync, and none waits longer than the interval.
void LogStream::syncLoop() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_dirty || m_stopSyncer; });
        if (m_stopSyncer)
            return;
        const auto due = std::chrono::steady_clock::now() + m_syncInterval;
        m_wake.wait_until(guard, due, [this] { return m_stopSyncer; });
        if (m_stopSyncer)
            return; // the owner syncs at the end itself
        m_dirty = false;
        const int fd = m_fd;
        const std::function<void()> onMoved = m_moved ? nullptr : m_onMoved;
        guard.unlock();
        // The descriptor stays open until this thread has been joined.
        const bool synced = !faultAt(Step::Sync) && ::fdatasync(fd) == 0;
        const int error = synced ? 0 : (errno ? errno : EIO);
        ++m_syncs;
        // Rows synced into a file nobody can find any more are as good as lost: the owner hears of it now.
        const bool gone = onMoved && !inPlace(fd);
        if (gone && !m_moved.exchange(true))
            onMoved();
        guard.lock();
        if (!synced)
            failWith(QStringLiteral("傳送紀錄檔 %1 無法寫入磁碟").arg(m_path), error);
    }
}

void LogStream::stopSyncer() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopSyncer = true;
        m_wake.notify_all();
    }
    if (m_syncer.joinable())
        m_syncer.join();
}

void LogStream::watchPlace(std::function<void()> onMoved) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_onMoved = std::move(onMoved);
}

// m_path changes only in finish(), after this thread has ended.
bool LogStream::inPlace(int fd) const {
    struct stat open {};
    struct stat named {};
    if (::fstat(fd, &open) != 0 || open.st_nlink == 0)
        return false;
    return ::stat(QFile::encodeName(m_path).constData(), &named) == 0 && quint64(named.st_dev) == m_device &&
           quint64(named.st_ino) == m_inode;
}

bool LogStream::stillInPlace() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed)
        return false;
    if (!inPlace(m_fd))
        m_moved = true;
    return !m_moved;
}

bool LogStream::copyInto(int fd, int* error) {
    stopSyncer();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed) {
        *error = EBADF;
        return false;
    }
    constexpr qint64 kPiece = 1024 * 1024;
    QByteArray piece(qsizetype(kPiece), Qt::Uninitialized);
    qint64 offset = 0;
    while (offset < m_size) {
        const ssize_t n = ::pread(m_fd, piece.data(), std::size_t(qMin(kPiece, m_size - offset)), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        if (offset == 0 && n >= qint64(sizeof(qint32))) {
            const qint32 le = qToLittleEndian(qint32(m_rows.load()));
            std::memcpy(piece.data(), &le, sizeof le);
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(fd, piece.constData() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                *error = w < 0 ? errno : ENOSPC;
                return false;
            }
            done += w;
        }
        offset += n;
    }
    if (::fsync(fd) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

bool LogStream::sync() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed || m_failed)
        return false;
    if (faultAt(Step::Sync) || ::fsync(m_fd) != 0)
        return failWith(QStringLiteral("傳送紀錄檔 %1 無法寫入磁碟").arg(m_path), errno ? errno : EIO);
    ++m_syncs;
    m_dirty = false;
    if (!m_folderSynced) {
        syncFolderOf(m_path);
        m_folderSynced = true;
    }
    return true;
}

// With m_lock held.
bool LogStream::writeCount() {
    const qint32 le = qToLittleEndian(qint32(m_rows.load()));
    if (!writeAt(0, reinterpret_cast<const char*>(&le), sizeof le))
        return false;
    if (faultAt(Step::Sync) || ::fdatasync(m_fd) != 0)
        return failWith(QStringLiteral("傳送紀錄檔 %1 無法寫入磁碟").arg(m_path), errno ? errno : EIO);
    ++m_syncs;
    return true;
}

bool LogStream::finish(const QString& target) {
    stopSyncer();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed)
        return false;
    bool ok = !m_failed && writeCount();
    if (ok) {
        const QByteArray to = QFile::encodeName(target);
        struct stat existing {};
        const bool exists = ::stat(to.constData(), &existing) == 0;
        if (exists && S_ISREG(existing.st_mode)) {
            // The log stays its owner's when another user who may write it (root) replaces it, as a save does.
            if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
                (void)!::fchown(m_fd, existing.st_uid, existing.st_gid);
            ::fchmod(m_fd, existing.st_mode & 07777);
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(m_fd, 0666 & ~mask);
        }
        if (faultAt(Step::Rename)) {
            ok = failWith(QStringLiteral("無法以 %1 取代 %2").arg(m_path, target), EIO);
        } else if (::rename(QFile::encodeName(m_path).constData(), to.constData()) != 0) {
            ok = failWith(QStringLiteral("無法以 %1 取代 %2").arg(m_path, target), errno);
        } else {
            m_path = target;
            syncFolderOf(target);
        }
    }
    closeFile();
    return ok;
}

bool LogStream::finishInPlace() {
    stopSyncer();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed)
        return false;
    const bool ok = !m_failed && writeCount();
    closeFile();
    return ok;
}

void LogStream::close() {
    stopSyncer();
    std::lock_guard<std::mutex> guard(m_lock);
    closeFile();
}

void LogStream::discard() {
    stopSyncer();
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_closed)
        ::unlink(QFile::encodeName(m_path).constData());
    closeFile();
}

// With m_lock held; the sync thread has ended.
void LogStream::closeFile() {
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with it
    m_fd = -1;
    m_closed = true;
}

bool LogStream::isOpen() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_closed;
}

bool LogStream::failed() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failed;
}

QString LogStream::errorString() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_error;
}

} // namespace norvi
