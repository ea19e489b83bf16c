#include "workers/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace norvi::UiThread {

namespace {
QCoreApplication* liveApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return nullptr;
    return app;
}
} // namespace

bool isCurrent() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool run(const std::function<void()>& routine) {
    QCoreApplication* app = liveApplication();
    if (!app) {
        // Without an application there is no event loop to hand the routine to, and no other thread
        // can be the user-interface thread; with one that is closing down the routine is dropped.
        if (QCoreApplication::instance())
            return false;
        routine();
        return true;
    }
    if (QThread::currentThread() == app->thread()) {
        routine();
        return true;
    }
    // The application object lives on the user-interface thread, so a blocking queued call on it
    // runs there. If the application goes away first, the pending call is dropped and the wait ends.
    return QMetaObject::invokeMethod(app, routine, Qt::BlockingQueuedConnection);
}

bool post(std::function<void()> routine) {
    QCoreApplication* app = liveApplication();
    if (!app)
        return false;
    return QMetaObject::invokeMethod(app, std::move(routine), Qt::QueuedConnection);
}

} // namespace norvi::UiThread
