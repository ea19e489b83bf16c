#include "core/shared/Global.h"

#include <QDir>

namespace norvi {

QString StartDirFile(const QString& name) {
    return QDir(StartDir).filePath(name);
}

} // namespace norvi
