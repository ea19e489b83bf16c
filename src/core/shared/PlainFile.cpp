#include "core/shared/PlainFile.h"

#include "core/shared/SystemErrorText.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace norvi {

QString FileKindOfMode(unsigned mode) {
    if (S_ISLNK(mode))
        return QStringLiteral("符號連結");
    if (S_ISDIR(mode))
        return QStringLiteral("資料夾");
    if (S_ISFIFO(mode))
        return QStringLiteral("具名管道");
    if (S_ISCHR(mode))
        return QStringLiteral("字元裝置");
    if (S_ISBLK(mode))
        return QStringLiteral("區塊裝置");
    if (S_ISSOCK(mode))
        return QStringLiteral("通訊端");
    if (!S_ISREG(mode))
        return QStringLiteral("特殊檔案");
    return QString();
}

namespace {

QString refusalOf(const QString& kind) {
    return QStringLiteral("這是%1，不是一般檔案，程式不會寫入它").arg(kind);
}

QString hardLinkRefusal(nlink_t links) {
    return QStringLiteral("這個檔案共有 %1 個名稱（硬連結），程式不會寫入它").arg(qulonglong(links));
}

} // namespace

QString UnplainFileKind(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    if (S_ISREG(st.st_mode) && st.st_nlink > 1)
        return QStringLiteral("硬連結");
    return FileKindOfMode(st.st_mode);
}

int OpenInPlaceFile(const QString& path, int flags, QString* reason) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // O_NOFOLLOW answers a link with ELOOP, a pipe nobody reads answers O_NONBLOCK with ENXIO: said
        // as what stands at the name rather than as the bare error number.
        const QString kind = UnplainFileKind(path);
        if (reason)
            *reason = kind.isEmpty() ? SystemErrorText(error) : refusalOf(kind);
        return -1;
    }
    struct stat st {};
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = SystemErrorText(errno);
    else if (!S_ISREG(st.st_mode))
        refusal = refusalOf(FileKindOfMode(st.st_mode));
    else if (st.st_nlink != 1)
        refusal = hardLinkRefusal(st.st_nlink);
    if (refusal.isEmpty())
        return fd;
    ::close(fd);
    if (reason)
        *reason = refusal;
    return -1;
}

} // namespace norvi
