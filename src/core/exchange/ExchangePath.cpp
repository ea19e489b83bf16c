#include "core/exchange/ExchangePath.h"

#include "core/shared/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace norvi {

namespace {

ExchangePathCheck refused(const QString& problem, const QString& missingFolder = QString()) {
    ExchangePathCheck check;
    check.problem = problem;
    check.missingFolder = missingFolder;
    return check;
}

} // namespace

QString TypedExchangePath(const QString& typed) {
    // Nobody typing "~/book.csv" means a folder called "~" in the program's start folder.
    if (typed == QLatin1String("~"))
        return QDir::homePath();
    if (typed.startsWith(QLatin1String("~/")))
        return QDir::homePath() + typed.mid(1);
    return typed;
}

ExchangePathCheck CheckExchangePath(ExchangeDirection direction, const QString& typed) {
    if (typed.trimmed().isEmpty())
        return {};
    const QFileInfo file(TypedExchangePath(typed));
    if (file.isDir())
        return refused(direction == ExchangeDirection::Import
                           ? QStringLiteral("這是資料夾，請選擇要匯入的檔案。")
                           : QStringLiteral("這是資料夾，請在後面加上要匯出的檔案名稱。"));
    if (direction == ExchangeDirection::Import) {
        if (!file.exists())
            return refused(QStringLiteral("找不到這個檔案。"));
        return {true, QString(), QString()};
    }
    const QString folder = QDir::cleanPath(file.absolutePath());
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        return refused(QStringLiteral("資料夾「%1」不存在。").arg(folder), folder);
    if (!folderInfo.isDir())
        return refused(QStringLiteral("「%1」不是資料夾。").arg(folder));
    // The export writes a new file beside the old one and puts it in its place: the folder must take files.
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return refused(QStringLiteral("無法寫入資料夾「%1」：%2").arg(folder, SystemErrorText(errno)));
    return {true, QString(), QString()};
}

QString WithTypedExtension(const QString& name, const QString& extension) {
    return QFileInfo(name).suffix().isEmpty() ? name + extension : name;
}

QString ExchangeExtension(int textFileType) {
    return textFileType == TextFileSpace ? QStringLiteral(".txt") : QStringLiteral(".csv");
}

} // namespace norvi
