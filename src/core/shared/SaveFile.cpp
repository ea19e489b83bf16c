#include "shared/SaveFile.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <signal.h>
#include <time.h>

namespace norvi {

namespace {

enum class TargetKind { Replaceable, Direct, Refused };

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

} // namespace

SaveFile::SaveFile(const QString& path) : m_path(path), m_replacing(path), m_target(path) {}

bool SaveFile::open() {
    switch (targetKind(m_path)) {
    case TargetKind::Replaceable:
        return m_replacing.open(QIODevice::WriteOnly);
    case TargetKind::Direct:
        m_direct = true;
        // ExistingOnly: should the device vanish in between, no regular file is made in its place.
        // Unbuffered: every write reaches the device while the broken-pipe signal is held back.
        return m_target.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered);
    case TargetKind::Refused:
        m_refusal = QString::fromUtf8("%1 不是一般檔案，無法寫入。").arg(m_path);
        return false;
    }
    return false;
}

qint64 SaveFile::write(const char* data, qint64 size) {
    if (!m_direct)
        return m_replacing.write(data, size);
    HoldBrokenPipe hold;
    const qint64 written = m_target.write(data, size);
    if (written != size)
        m_writeFailed = true;
    return written;
}

void SaveFile::setPermissions(QFileDevice::Permissions permissions) {
    if (!m_direct)
        m_replacing.setPermissions(permissions);
}

void SaveFile::cancelWriting() {
    m_cancelled = true;
    if (!m_direct)
        m_replacing.cancelWriting();
}

bool SaveFile::commit() {
    if (!m_direct)
        return m_replacing.commit() && !m_cancelled;
    if (!m_target.isOpen())
        return false;
    HoldBrokenPipe hold;
    const bool written = m_target.flush() && !m_writeFailed;
    m_target.close();
    return written && !m_cancelled;
}

QString SaveFile::errorString() const {
    if (!m_refusal.isEmpty())
        return m_refusal;
    return m_direct ? m_target.errorString() : m_replacing.errorString();
}

bool SameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace norvi
