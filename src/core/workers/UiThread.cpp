#include "core/workers/UiThread.h"

#include <QCoreApplication>
#include <QThread>

namespace norvi::UiThread {

bool isCurrent() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace norvi::UiThread
