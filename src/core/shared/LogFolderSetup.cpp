#include "core/shared/LogFolderSetup.h"

#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"

#include <QDir>

namespace norvi {

bool PrepareLogFolder(QString* problem) {
    QString folder = LogFolder();
    if (!folder.isEmpty() && QDir(folder).exists())
        return true;
    QByteArray stored;
    if (folder.isEmpty() && toBig5(QDir(StartDir).filePath(QStringLiteral("logfiles")), stored)) {
        putField(Config.logFiles, stored);
        folder = LogFolder();
    }
    // A folder left from an earlier run without a configuration is fine as it is.
    if (!folder.isEmpty() && (QDir(folder).exists() || QDir().mkdir(folder)))
        return true;
    if (problem)
        *problem = QStringLiteral("無法自動建立 ") + folder + QStringLiteral(" 目錄");
    return false;
}

} // namespace norvi
