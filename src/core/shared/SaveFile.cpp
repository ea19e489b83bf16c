#include "core/shared/SaveFile.h"

#include "core/shared/Seams.h"

#include "core/shared/SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <signal.h>
#include <time.h>

namespace norvi {

namespace {

enum class TargetKind { Replaceable, Direct, Refused };

constexpr qsizetype kWriteChunk = 64 * 1024;
constexpr int kMaxLinkHops = 40;
constexpr int kNameTries = 100;
constexpr int kRandomChars = 6;
const char kTemporaryTag[] = ".norvi-save-";

// What the path leads to once links are followed; a path that leads nowhere yet gets a new file.
TargetKind targetKind(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return TargetKind::Replaceable;
    if (S_ISREG(st.st_mode))
        return TargetKind::Replaceable;
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))
        return TargetKind::Direct;
    return TargetKind::Refused;
}

// The file a path ends at once its symbolic links are followed, also when that file is not there yet:
// saving through a link replaces what it points to and leaves the link a link.
QString followLinks(const QString& path) {
    QString current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QString target = info.symLinkTarget(); // absolute, also for a link to nothing yet
        if (target.isEmpty())
            return current;
        current = target;
    }
    return current; // a loop of links: the open below fails and says so
}

// A pipe whose reader has gone answers a write with SIGPIPE, which would end the program with the save
// half done; the signal is held back around the write, so the write fails and is reported instead.
class HoldBrokenPipe {
public:
    HoldBrokenPipe() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~HoldBrokenPipe() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&m_pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    HoldBrokenPipe(const HoldBrokenPipe&) = delete;
    HoldBrokenPipe& operator=(const HoldBrokenPipe&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
};

// The fault a test armed: the nth time any save reaches `step`.
bool faultAt(SaveFile::Step step) {
    return TheSeams().saveFileFault.at(static_cast<int>(step));
}

mode_t modeOf(QFileDevice::Permissions p) {
    mode_t mode = 0;
    if (p & (QFileDevice::ReadOwner | QFileDevice::ReadUser))
        mode |= S_IRUSR;
    if (p & (QFileDevice::WriteOwner | QFileDevice::WriteUser))
        mode |= S_IWUSR;
    if (p & (QFileDevice::ExeOwner | QFileDevice::ExeUser))
        mode |= S_IXUSR;
    if (p & QFileDevice::ReadGroup)
        mode |= S_IRGRP;
    if (p & QFileDevice::WriteGroup)
        mode |= S_IWGRP;
    if (p & QFileDevice::ExeGroup)
        mode |= S_IXGRP;
    if (p & QFileDevice::ReadOther)
        mode |= S_IROTH;
    if (p & QFileDevice::WriteOther)
        mode |= S_IWOTH;
    if (p & QFileDevice::ExeOther)
        mode |= S_IXOTH;
    return mode;
}

// Temporary files of earlier saves of this file that were killed half-way. Each save holds a lock on
// its own, so a file that can be locked belongs to nobody any more.
void removeLeftovers(const QString& folder, const QString& prefix) {
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (!name.startsWith(prefix) || name.size() != prefix.size() + kRandomChars)
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // the rename itself survives a power cut; nothing to report when it cannot be forced
    ::close(fd);
}

} // namespace

SaveFile::SaveFile(const QString& path) : m_path(path), m_target(path) {}

SaveFile::~SaveFile() {
    if (m_fd >= 0)
        discard();
}

QString SaveFile::temporaryPrefix(const QString& fileName) {
    return QLatin1Char('.') + fileName + QLatin1String(kTemporaryTag);
}

bool SaveFile::fail(const QString& what, int error) {
    m_failed = true;
    m_error = QStringLiteral("%1：%2").arg(what, SystemErrorText(error));
    return false;
}

bool SaveFile::open() {
    switch (targetKind(m_path)) {
    case TargetKind::Replaceable:
        return openReplacing();
    case TargetKind::Direct:
        m_direct = true;
        // ExistingOnly: should the device vanish in between, no regular file is made in its place.
        // Unbuffered: every write reaches the device while the broken-pipe signal is held back.
        if (m_target.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered))
            return true;
        return fail(QStringLiteral("無法寫入 %1").arg(m_path), errno);
    case TargetKind::Refused:
        m_error = QStringLiteral("%1 不是一般檔案，無法寫入。").arg(m_path);
        return false;
    }
    return false;
}

bool SaveFile::openReplacing() {
    m_finalPath = followLinks(m_path);
    const QFileInfo final(m_finalPath);
    const QString folder = final.path();
    const QString prefix = temporaryPrefix(final.fileName());
    if (faultAt(Step::Open))
        return fail(QStringLiteral("無法建立暫存檔 %1").arg(m_finalPath), EACCES);

    const QByteArray finalName = QFile::encodeName(m_finalPath);
    struct stat existing {};
    const bool exists = ::stat(finalName.constData(), &existing) == 0;
    if (exists && ::access(finalName.constData(), W_OK) != 0)
        return fail(QStringLiteral("無法寫入 %1").arg(m_finalPath), errno);

    removeLeftovers(folder, prefix);
    // A new file gets the usual permissions (the umask applies); a replaced one keeps its own, and until
    // they are set the temporary file is the owner's alone.
    const mode_t createMode = exists ? S_IRUSR | S_IWUSR : 0666;
    int error = 0;
    for (int i = 0; i < kNameTries && m_fd < 0; ++i) {
        const QString candidate = QDir(folder).filePath(prefix + RandomNameChars());
        m_fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (m_fd >= 0)
            m_temporaryPath = candidate;
        else if ((error = errno) != EEXIST)
            break;
    }
    if (m_fd < 0)
        return fail(QStringLiteral("無法建立暫存檔 %1").arg(m_finalPath), error);
    // Held until the file is in place or gone: it tells a later save that this file is still in use.
    ::flock(m_fd, LOCK_EX);
    if (exists) {
        // A save by another user who may write the file (an administrator, a job run as root) leaves it its
        // owner's: the owner could not write the file again. Only such a user can give a file away; for anyone
        // else this changes nothing. Before the mode, which a change of owner may clear bits of.
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
            (void)!::fchown(m_fd, existing.st_uid, existing.st_gid);
        ::fchmod(m_fd, existing.st_mode & 07777);
    }
    m_failed = false;
    m_buffer.reserve(kWriteChunk);
    return true;
}

qint64 SaveFile::write(const char* data, qint64 size) {
    if (m_direct) {
        HoldBrokenPipe hold;
        const qint64 written = m_target.write(data, size);
        if (written != size)
            m_failed = true;
        return written;
    }
    if (m_fd < 0 || m_failed || size < 0)
        return -1;
    if (m_buffer.size() + size > kWriteChunk && !flushBuffer())
        return -1;
    if (size >= kWriteChunk)
        return writeOut(data, size) ? size : -1;
    m_buffer.append(data, size);
    return size;
}

bool SaveFile::flushBuffer() {
    if (m_buffer.isEmpty())
        return true;
    const bool ok = writeOut(m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0);
    return ok;
}

bool SaveFile::writeOut(const char* data, qint64 size) {
    while (size > 0) {
        if (faultAt(Step::Write)) {
            // A disk that fills up takes part of the bytes and then refuses the rest.
            (void)!::write(m_fd, data, std::size_t(std::min<qint64>(size, kWriteChunk) / 2));
            return fail(QStringLiteral("寫入暫存檔失敗"), ENOSPC);
        }
        // In pieces of a bounded size, so a large save is not one write the system may take in part.
        const ssize_t n = ::write(m_fd, data, std::size_t(std::min<qint64>(size, kWriteChunk)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(QStringLiteral("寫入暫存檔失敗"), n < 0 ? errno : ENOSPC);
        data += n;
        size -= n;
    }
    return true;
}

void SaveFile::setPermissions(QFileDevice::Permissions permissions) {
    if (!m_direct && m_fd >= 0)
        ::fchmod(m_fd, modeOf(permissions));
}

void SaveFile::cancelWriting() {
    m_cancelled = true;
}

void SaveFile::discard() {
    if (m_fd >= 0) {
        ::unlink(QFile::encodeName(m_temporaryPath).constData());
        ::close(m_fd);
        m_fd = -1;
    }
    m_temporaryPath.clear();
    m_buffer.clear();
}

bool SaveFile::commit() {
    if (m_direct) {
        if (!m_target.isOpen())
            return false;
        HoldBrokenPipe hold;
        const bool written = m_target.flush() && !m_failed;
        m_target.close();
        return written && !m_cancelled;
    }
    if (m_fd < 0)
        return false;
    if (m_cancelled || m_failed || !flushBuffer()) {
        discard();
        return false;
    }
    // The bytes reach the disk before the name does: after a power cut the file is the old or the new
    // one, never a new name on missing data.
    if (faultAt(Step::Flush)) {
        fail(QStringLiteral("暫存檔無法寫入磁碟"), EIO);
        discard();
        return false;
    }
    if (::fsync(m_fd) != 0) {
        fail(QStringLiteral("暫存檔無法寫入磁碟"), errno);
        discard();
        return false;
    }
    const QByteArray from = QFile::encodeName(m_temporaryPath);
    const QByteArray to = QFile::encodeName(m_finalPath);
    if (faultAt(Step::Rename)) {
        fail(QStringLiteral("無法以暫存檔取代 %1").arg(m_finalPath), EIO);
        discard();
        return false;
    }
    if (::rename(from.constData(), to.constData()) != 0) {
        fail(QStringLiteral("無法以暫存檔取代 %1").arg(m_finalPath), errno);
        discard();
        return false;
    }
    ::close(m_fd); // the lock goes with it, once the file has its name
    m_fd = -1;
    m_temporaryPath.clear();
    syncFolder(QFileInfo(m_finalPath).path());
    return true;
}

QString SaveFile::errorString() const {
    if (!m_error.isEmpty() || !m_direct)
        return m_error;
    return m_target.errorString();
}

void SaveFile::failAtForTest(Step step, int nth) {
    TheSeams().saveFileFault.arm(static_cast<int>(step), nth);
}

void SaveFile::clearFaultForTest() {
    TheSeams().saveFileFault.clear();
}

bool SaveFile::faultFiredForTest() {
    return TheSeams().saveFileFault.fired();
}

QString RandomNameChars() {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString s;
    for (int i = 0; i < kRandomChars; ++i)
        s += QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(int(sizeof kAlphabet) - 1)]);
    return s;
}

QString SaveTargetPath(const QString& path) {
    return followLinks(path);
}

bool SaveTargetIsDirect(const QString& path) {
    return targetKind(path) == TargetKind::Direct;
}

bool SaveTargetIsRefused(const QString& path) {
    return targetKind(path) == TargetKind::Refused;
}

bool SameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace norvi
