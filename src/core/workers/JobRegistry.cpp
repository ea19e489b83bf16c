#include "core/workers/JobRegistry.h"

#include "core/workers/SendThd.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace norvi {

namespace {
constexpr int32_t kWorkerIndex = 1; // every starter of the program uses index 1
constexpr int kTurnMs = 10;
} // namespace

JobRegistry::JobRegistry() = default;

JobRegistry::~JobRegistry() {
    while (workerRegistered()) {
        requestStop();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, kTurnMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool JobRegistry::workerRegistered() const {
    std::lock_guard<std::mutex> guard(JobLock);
    return !WorkerList.empty();
}

void JobRegistry::requestStop() {
    // Under the lock a registered worker cannot go: it removes itself here first.
    std::lock_guard<std::mutex> guard(JobLock);
    for (const sSendThd& entry : WorkerList)
        entry.thread->requestStop();
}

void JobRegistry::requestStopOnce() {
    std::lock_guard<std::mutex> guard(JobLock);
    for (const sSendThd& entry : WorkerList)
        entry.thread->requestStopOnce();
}

bool JobRegistry::launch(const std::function<SendThd*(int32_t index)>& make,
                         const std::function<void(SendThd*)>& prepare, SendThd** started) {
    SendThd* worker = nullptr;
    {
        std::lock_guard<std::mutex> guard(JobLock);
        if (!WorkerList.empty())
            return false;
        worker = make(kWorkerIndex);
        if (prepare)
            prepare(worker);
        // The event tells "no job running"; it is set again by the worker that ends last.
        SendEvent.reset();
        // Its counts start from nothing; its stop is its own, so none asked for earlier ends it.
        JobActivity.reset();
        WorkerList.push_back(sSendThd{worker, kWorkerIndex});
        // The worker's own removal waits for the lock held here.
        worker->resume();
    }
    // The worker is freed on this thread only (deleteLater), so the caller can hand it on before it goes.
    if (started)
        *started = worker;
    return true;
}

void JobRegistry::workerEnded(const SendThd* worker, const std::function<void()>& announce) {
    // Removing the entry and testing for emptiness happen together, so exactly one worker sees the list
    // empty and announces the end. Nothing in here waits for the user-interface thread: that thread takes
    // JobLock itself when it starts a job.
    std::lock_guard<std::mutex> guard(JobLock);
    WorkerList.remove_if([worker](const sSendThd& entry) { return entry.thread == worker; });
    if (!WorkerList.empty())
        return;
    SendEvent.set();
    if (announce)
        announce();
}

} // namespace norvi
