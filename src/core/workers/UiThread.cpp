#include "core/workers/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace norvi::UiThread {

namespace {
QCoreApplication* liveApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return nullptr;
    return app;
}

// Held while a routine is handed to the event queue and taken again before it runs there. The queue
// orders the two already; the lock makes that order one the standard library (and so a race detector)
// can see, so what a worker wrote before it handed a routine over is visibly there when the routine runs.
std::mutex g_handOver;

// How a worker learns that its routine ran on the user-interface thread, or was dropped because the
// application went away before it could run: the routine's last copy then goes, unrun, with the event.
struct Completion {
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;

    void finish() {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
        changed.notify_all();
    }
};

struct CompletionOnDrop {
    std::shared_ptr<Completion> completion;
    explicit CompletionOnDrop(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    ~CompletionOnDrop() { completion->finish(); }
};
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
    // The application object lives on the user-interface thread, so a queued call on it runs there; the
    // worker waits until it has. If the application goes away first, the pending call is dropped with
    // its event, and the wait ends as well.
    auto completion = std::make_shared<Completion>();
    bool ran = false;
    {
        auto onDrop = std::make_shared<CompletionOnDrop>(completion);
        std::lock_guard<std::mutex> handing(g_handOver);
        const bool queued = QMetaObject::invokeMethod(
            app,
            [onDrop, &routine, &ran] {
                { std::lock_guard<std::mutex> handed(g_handOver); }
                routine();
                ran = true;
                onDrop->completion->finish();
            },
            Qt::QueuedConnection);
        if (!queued)
            return false;
    }
    std::unique_lock<std::mutex> guard(completion->lock);
    completion->changed.wait(guard, [&] { return completion->finished; });
    return ran;
}

bool post(std::function<void()> routine) {
    QCoreApplication* app = liveApplication();
    if (!app)
        return false;
    std::lock_guard<std::mutex> handing(g_handOver);
    return QMetaObject::invokeMethod(
        app,
        [routine = std::move(routine)] {
            { std::lock_guard<std::mutex> handed(g_handOver); }
            routine();
        },
        Qt::QueuedConnection);
}

} // namespace norvi::UiThread
