#include "core/shared/OutputTarget.h"

#include "core/shared/PlainFile.h"
#include "core/shared/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvi {

namespace {

const QString kConfigName = QStringLiteral("NorviSMSAp.cfg");
const QString kBookName = QStringLiteral("AddressBook.bin");
const QString kOptOutName = QStringLiteral("OptOut.txt");
const QString kSendSettingsName = QStringLiteral("NorviSMSAp.ini");

// What a name says the file is, when it is one of the program's own; empty otherwise. The program's names are
// matched without regard to case: a file system that ignores case makes them the same file.
QString ownKindOfName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const auto is = [&name](const QString& own) { return name.compare(own, Qt::CaseInsensitive) == 0; };
    const auto endsWith = [&name](const char* suffix) {
        return name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
    };
    if (is(kConfigName))
        return QStringLiteral("設定檔");
    if (is(kBookName))
        return QStringLiteral("通訊錄檔案");
    // A log saved over the stop list would send to every number on it from then on.
    if (is(kOptOutName))
        return QStringLiteral("拒收名單檔案");
    if (is(kSendSettingsName))
        return QStringLiteral("傳送設定檔");
    if (endsWith(".dbg"))
        return QStringLiteral("運作記錄檔");
    if (endsWith(".lock"))
        return QStringLiteral("鎖定檔");
    if (endsWith(".partial"))
        return QStringLiteral("寫入中的傳送紀錄檔");
    const bool journal = name.startsWith(QLatin1String("norvi-journal-"), Qt::CaseInsensitive);
    // A run's plan is read back after a kill to name the messages it never reached: the command line's beside its
    // partial log, the desktop program's beside its journal.
    if (endsWith(".partial.plan") || (journal && endsWith(".log.plan")))
        return QStringLiteral("中斷的傳送留下的計畫檔");
    if (journal && (endsWith(".log") || endsWith(".log.answers")))
        return QStringLiteral("未儲存紀錄的暫存檔");
    return QString();
}

// The file at `path` with links followed, without opening it: O_PATH never waits on a pipe nor wakes a device.
bool statWithoutOpening(const QString& path, struct stat* st) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fstat(fd, st) == 0;
    ::close(fd);
    return ok;
}

bool sameFile(const struct stat& a, const QString& other) {
    struct stat st {};
    return statWithoutOpening(other, &st) && st.st_dev == a.st_dev && st.st_ino == a.st_ino;
}

} // namespace

QString OutputRefusal(const QString& path, const QString& startDir) {
    const auto ownFile = [&path](const QString& kind) {
        return QStringLiteral("%1 是程式自己的%2，不能做為輸出檔。").arg(path, kind);
    };
    for (const QString& name : {path, SaveTargetPath(path)}) {
        if (const QString kind = ownKindOfName(name); !kind.isEmpty())
            return ownFile(kind);
    }
    struct stat st {};
    if (!statWithoutOpening(path, &st))
        return QString(); // nothing there yet, or nothing this check can see: the write itself says why
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 是%2，不是一般檔案，不能做為輸出檔。").arg(path, FileKindOfMode(st.st_mode));
    if (!startDir.isEmpty()) {
        if (sameFile(st, QDir(startDir).filePath(kConfigName)))
            return ownFile(QStringLiteral("設定檔"));
        if (sameFile(st, QDir(startDir).filePath(kBookName)))
            return ownFile(QStringLiteral("通訊錄檔案"));
        if (sameFile(st, QDir(startDir).filePath(kOptOutName)))
            return ownFile(QStringLiteral("拒收名單檔案"));
        if (sameFile(st, QDir(startDir).filePath(kSendSettingsName)))
            return ownFile(QStringLiteral("傳送設定檔"));
    }
    return QString();
}

} // namespace norvi
