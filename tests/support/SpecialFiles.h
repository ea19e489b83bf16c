#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Device nodes and named pipes for tests of what a save does to them.
namespace norvi::test {

// A character device that discards what is written to it. As root, a private node of the same device as
// /dev/null is made in `dir`, so a save that wrongly replaces it can only destroy that one; otherwise
// /dev/null itself, which nobody but root could replace.
inline QString nullDevice(const QString& dir) {
    const QString node = QDir(dir).filePath(QStringLiteral("null-device"));
    const QByteArray name = QFile::encodeName(node);
    if (::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        ::chmod(name.constData(), 0666);
        const int fd = ::open(name.constData(), O_WRONLY);
        if (fd >= 0) {
            ::close(fd);
            return node;
        }
        ::unlink(name.constData());
    }
    return QStringLiteral("/dev/null");
}

inline struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

inline bool isCharDevice(const QString& path) {
    return S_ISCHR(statOf(path).st_mode);
}

inline bool isFifo(const QString& path) {
    return S_ISFIFO(statOf(path).st_mode);
}

// A named pipe with its reading end already open (without blocking), so a writer's open() does not wait;
// what is written stays in the pipe's buffer until readAll().
class PipeReader {
public:
    explicit PipeReader(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        if (::mkfifo(name.constData(), 0600) == 0)
            m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    }
    ~PipeReader() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    bool ok() const { return m_fd >= 0; }
    QByteArray readAll() {
        QByteArray bytes;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, n);
        }
    }

private:
    int m_fd = -1;
};

} // namespace norvi::test
