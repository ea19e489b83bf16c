#include "core/shared/LogFolderSetup.h"

#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/SystemErrorText.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace norvi {

QString StartLogFolder(Config& config) {
    QString folder = LogFolder(config);
    QByteArray stored;
    if (folder.isEmpty() && toBig5(config.startDirFile(QStringLiteral("logfiles")), stored)) {
        config.edit([&stored](sConfig& record) { putField(record.logFiles, stored); });
        folder = LogFolder(config);
    }
    return folder;
}

bool PrepareLogFolder(Config& config, QString* problem) {
    const QString folder = StartLogFolder(config);
    // A folder left from an earlier run without a configuration is fine as it is.
    if (!folder.isEmpty() && (QDir(folder).exists() || QDir().mkdir(folder)))
        return true;
    if (problem)
        *problem = QStringLiteral("無法自動建立 ") + folder + QStringLiteral(" 目錄");
    return false;
}

QString LogFolderPath(const QString& startDir, const QString& folder) {
    if (folder.isEmpty() || QDir::isAbsolutePath(folder))
        return folder;
    return QDir::cleanPath(QDir(startDir).filePath(folder));
}

LogFolderCheck CheckLogFolder(const QString& startDir, const QString& typed) {
    LogFolderCheck check;
    check.path = LogFolderPath(startDir, typed);
    if (check.path.isEmpty())
        return check;
    const QByteArray name = QFile::encodeName(check.path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        check.reason = SystemErrorText(errno);
        return check;
    }
    check.exists = true;
    if (!S_ISDIR(st.st_mode)) {
        check.reason = SystemErrorText(ENOTDIR);
        return check;
    }
    // The operation log opens a new file there each day: the folder must take new files.
    check.writable = ::access(name.constData(), W_OK | X_OK) == 0;
    if (!check.writable)
        check.reason = SystemErrorText(errno);
    return check;
}

bool CreateFolders(const QString& path, QString* reason) {
    QByteArray name = QFile::encodeName(QDir::cleanPath(path));
    // Each missing folder from the top down, so the failure named is the one that stopped it.
    for (qsizetype slash = name.indexOf('/', 1);; slash = name.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? name : name.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST) {
            if (reason)
                *reason = SystemErrorText(errno);
            return false;
        }
        if (slash < 0)
            break;
    }
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (reason)
            *reason = SystemErrorText(ENOTDIR);
        return false;
    }
    return true;
}

} // namespace norvi
