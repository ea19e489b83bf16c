#include "core/workers/JobChannel.h"

#include "core/shared/RaceDetector.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <condition_variable>

namespace norvi {

namespace {
QCoreApplication* liveApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QCoreApplication::closingDown())
        return nullptr;
    return app;
}

// The event number of a routine handed to the user-interface thread, one below the progress message's.
constexpr QEvent::Type kHandOverEvent = QEvent::Type(WM_SHOWPROCESS - 1);

// How a worker learns that its routine ran on the user-interface thread, or was dropped because the
// application went away before it could run.
struct Completion {
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;
    bool ran = false;

    void finish(bool hasRun) {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
        ran = hasRun;
        changed.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return finished; });
        return ran;
    }
};

// A routine on its way. An event that is dropped unrun (its receiver or the application went first) tells
// a waiting worker so as it goes.
class HandOverEvent : public QEvent {
public:
    HandOverEvent(std::function<void()> routine, std::shared_ptr<Completion> completion)
        : QEvent(kHandOverEvent), m_routine(std::move(routine)), m_completion(std::move(completion)) {
        RaceDetector::handedOver(this);
    }
    ~HandOverEvent() override {
        RaceDetector::takenOver(this);
        if (m_completion && !m_ran)
            m_completion->finish(false);
    }
    HandOverEvent(const HandOverEvent&) = delete;
    HandOverEvent& operator=(const HandOverEvent&) = delete;

    void run() {
        RaceDetector::takenOver(this);
        m_routine();
        m_ran = true;
        if (m_completion)
            m_completion->finish(true);
    }

private:
    std::function<void()> m_routine;
    std::shared_ptr<Completion> m_completion;
    bool m_ran = false;
};
} // namespace

class JobChannel::Relay : public QObject {
public:
    bool event(QEvent* e) override {
        RaceDetector::takenOver(e); // even the event's type was written by the worker that posted it
        if (e->type() != kHandOverEvent)
            return QObject::event(e);
        static_cast<HandOverEvent*>(e)->run();
        return true;
    }
};

JobChannel::JobChannel() : m_relay(new Relay) {}

JobChannel::~JobChannel() {
    {
        std::lock_guard<std::mutex> guard(m_targetLock);
        QObject::disconnect(m_targetGone);
    }
    // Routines still on their way go with the relay, unrun, and tell a waiting worker so.
    if (QThread::currentThread() == m_relay->thread())
        delete m_relay;
    else
        m_relay->deleteLater();
}

void JobChannel::setProgressTarget(QObject* target) {
    std::lock_guard<std::mutex> guard(m_targetLock);
    QObject::disconnect(m_targetGone);
    m_target = target;
    if (!target)
        return;
    // A receiver that goes away without unregistering must not receive another posted event.
    m_targetGone = QObject::connect(target, &QObject::destroyed, [this, target] {
        std::lock_guard<std::mutex> inner(m_targetLock);
        if (m_target == target)
            m_target = nullptr;
    });
}

QObject* JobChannel::progressTarget() const {
    std::lock_guard<std::mutex> guard(m_targetLock);
    return m_target;
}

void JobChannel::postShowProcess(ProgressReport report) const {
    std::lock_guard<std::mutex> guard(m_targetLock);
    if (m_target)
        QCoreApplication::postEvent(m_target, new ShowProcessEvent(std::move(report)));
}

void JobChannel::showProcessNow(const ProgressReport& report) const {
    if (QObject* target = progressTarget()) {
        ShowProcessEvent step(report);
        QCoreApplication::sendEvent(target, &step);
    }
}

bool JobChannel::run(const std::function<void()>& routine) const {
    QCoreApplication* app = liveApplication();
    if (!app) {
        // Without an application there is no event loop to hand the routine to, and no other thread
        // can be the user-interface thread; with one that is closing down the routine is dropped.
        if (QCoreApplication::instance())
            return false;
        routine();
        return true;
    }
    if (QThread::currentThread() == m_relay->thread()) {
        routine();
        return true;
    }
    // The worker waits until the routine has run there, or its event was dropped with the application.
    auto completion = std::make_shared<Completion>();
    QCoreApplication::postEvent(m_relay, new HandOverEvent([&routine] { routine(); }, completion));
    return completion->wait();
}

bool JobChannel::post(std::function<void()> routine) const {
    if (!liveApplication())
        return false;
    QCoreApplication::postEvent(m_relay, new HandOverEvent(std::move(routine), nullptr));
    return true;
}

} // namespace norvi
