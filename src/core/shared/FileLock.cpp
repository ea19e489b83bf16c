#include "core/shared/FileLock.h"

#include "core/shared/PlainFile.h"
#include "core/shared/SystemErrorText.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace norvi {

FileLock::FileLock(const QString& path) : m_lockPath(lockPathFor(path)) {}

FileLock::~FileLock() {
    unlock();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileLock::openFile() {
    if (m_fd >= 0)
        return true;
    // The holder's name is written into the lock file: whatever stands at its name must be this
    // program's own plain file, never a link that would carry the write to another file.
    QString reason;
    m_fd = OpenInPlaceFile(m_lockPath, O_RDWR | O_CREAT, &reason);
    // A lock file another user made (a run as root) cannot be written, but a lock needs no writing: only the
    // holder's name is then not told.
    if (m_fd < 0 && QFileInfo::exists(m_lockPath))
        m_fd = OpenInPlaceFile(m_lockPath, O_RDONLY, nullptr);
    if (m_fd < 0) {
        m_error = QStringLiteral("無法使用鎖定檔 %1：%2。").arg(m_lockPath, reason);
        return false;
    }
    return true;
}

void FileLock::readHolder() {
    char buffer[256];
    const ssize_t n = ::pread(m_fd, buffer, sizeof buffer, 0);
    m_holder = n > 0 ? QString::fromUtf8(buffer, n).trimmed() : QString();
}

void FileLock::writeHolder() {
    const QString name = QCoreApplication::instance() ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                                                      : QStringLiteral("norvi");
    const QByteArray who = QStringLiteral("%1 (PID %2)\n").arg(name).arg(::getpid()).toUtf8();
    if (::ftruncate(m_fd, 0) == 0)
        (void)!::pwrite(m_fd, who.constData(), std::size_t(who.size()), 0);
}

bool FileLock::tryLock() {
    if (m_locked)
        return true;
    if (!openFile())
        return false;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            m_error = QStringLiteral("無法鎖定 %1：%2").arg(m_lockPath, SystemErrorText(errno));
            return false;
        }
        readHolder();
        return false;
    }
    m_locked = true;
    writeHolder();
    return true;
}

bool FileLock::lock(const std::function<void(const QString& holder)>& waiting) {
    if (tryLock())
        return true;
    if (m_fd < 0)
        return false;
    if (waiting)
        waiting(m_holder);
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_error = QStringLiteral("無法鎖定 %1：%2").arg(m_lockPath, SystemErrorText(errno));
            return false;
        }
    }
    m_locked = true;
    writeHolder();
    return true;
}

void FileLock::unlock() {
    if (!m_locked)
        return;
    // The holder's name goes first, so nobody reads a stale one as the holder.
    (void)!::ftruncate(m_fd, 0);
    ::flock(m_fd, LOCK_UN);
    m_locked = false;
}

} // namespace norvi
