#include "CliJob.h"

#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/Global.h"
#include "shared/OpLog.h"
#include "workers/SendThd.h"

#include <atomic>
#include <csignal>

namespace norvi::cli {

CliProgress::CliProgress() {
    SetProgressTarget(this);
}

CliProgress::~CliProgress() {
    if (ProgressTarget() == this)
        SetProgressTarget(nullptr);
}

bool CliProgress::event(QEvent* e) {
    if (e->type() != QEvent::Type(WM_SHOWPROCESS))
        return QObject::event(e);
    const int state = static_cast<ShowProcessEvent*>(e)->state();
    if (m_tracker.handle(state, Clock::now())) {
        m_ended = true;
        m_endState = state;
        m_summary = m_tracker.summary();
        const QByteArray summary = big5(m_summary);
        ShowMsgLine(summary);
        WriteOpLog(summary);
        emit endReached();
    }
    return true;
}

void CliOwner::closeForm() {
    m_closed = true;
    if (onChange)
        onChange();
}

void CliOwner::showResultBox(const QByteArray&, const QByteArray& text) {
    m_resultText = text;
    m_hasResult = true;
    if (onChange)
        onChange();
}

JobWaiter::JobWaiter(SendThd* worker, std::function<bool()> done) : m_worker(worker), m_done(std::move(done)) {
    if (worker)
        connect(worker, &QObject::destroyed, this, &JobWaiter::check);
}

void JobWaiter::check() {
    if (m_finished || !m_worker.isNull() || (m_done && !m_done()))
        return;
    m_finished = true;
    m_loop.quit();
}

void JobWaiter::wait() {
    check();
    if (!m_finished)
        m_loop.exec();
}

namespace {

std::atomic<int> g_interrupts{0};

void onInterrupt(int) {
    if (g_interrupts.fetch_add(1) == 0) {
        StopFlag.store(true);
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
}

} // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, onInterrupt);
}

bool Interrupted() {
    return g_interrupts.load() > 0;
}

} // namespace norvi::cli
