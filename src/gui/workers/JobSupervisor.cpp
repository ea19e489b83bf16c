#include "gui/workers/JobSupervisor.h"

#include "gui/shared/Prompts.h"
#include "gui/shared/TFormShowProcess.h"

#include <QApplication>
#include <QTimer>

namespace norvi {

JobSupervisor::JobSupervisor(TFormShowProcess& progress) : m_progress(progress) {
    m_progress.watch(&m_registry.activity());
    m_registry.channel().setProgressTarget(&m_progress);
    // Every worker is announced here however it was started, so none can outlive what it writes into.
    connect(&m_progress, &QDialog::finished, this, &JobSupervisor::progressClosed);
    connect(&m_progress, &TFormShowProcess::stopPressed, this, &JobSupervisor::requestStop);
}

JobSupervisor::~JobSupervisor() = default;

void JobSupervisor::begin(QWidget* starter, int maximum, bool closeStarter, OwnerWait wait) {
    if (m_beforeJob)
        m_beforeJob();
    // Above a modal starter the progress window must be modal itself, or the starter's modality would
    // keep its button from ever being pressed.
    m_progress.startOperation(starter, closeStarter, maximum, QApplication::activeModalWidget() != nullptr, wait);
    m_progressShown = true;
    setBusy(true);
}

void JobSupervisor::beginQuiet(QWidget* starter) {
    if (m_beforeJob)
        m_beforeJob();
    m_quiet = true;
    m_quietWorker = false;
    m_quietStarter = starter;
    if (starter)
        starter->setCursor(Qt::BusyCursor);
    setBusy(true);
}

void JobSupervisor::end() {
    if (m_quietStarter)
        m_quietStarter->unsetCursor();
    m_quiet = false;
    runAfterJob();
    settle();
}

void JobSupervisor::abandon() {
    m_progress.dismiss();
    m_progressShown = false;
    settle();
}

QWidget* JobSupervisor::progressWindow() const {
    return &m_progress;
}

bool JobSupervisor::workerRunning() const {
    return m_liveWorkers > 0;
}

void JobSupervisor::requestStop() {
    m_registry.requestStop();
    if (m_questionOver)
        prompts().withdrawQuestions(m_questionOver);
    emit stopRequested();
}

bool JobSupervisor::askWhileRunning(QWidget* over, const QString& title, const QString& text) {
    // One job runs at a time, and it waits for its question: no second question is asked meanwhile.
    m_questionOver = over;
    const bool goOn = prompts().confirm(over, title, text);
    m_questionOver = nullptr;
    return goOn;
}

void JobSupervisor::whenJobGone(const std::function<void()>& then) {
    m_afterJob.append(then);
    if (!jobRunning())
        QTimer::singleShot(0, this, &JobSupervisor::runAfterJob);
}

void JobSupervisor::dismissProgress() {
    if (m_progress.isVisible())
        m_progress.dismiss();
    m_progressShown = false;
    settle();
}

void JobSupervisor::workerStarted(QObject* worker) {
    if (!worker)
        return;
    ++m_liveWorkers;
    if (m_quiet)
        m_quietWorker = true;
    // Freed on this thread once its run routine has returned: nothing of it runs any more, and every
    // row and its end were handed over before.
    connect(worker, &QObject::destroyed, this, &JobSupervisor::workerGone);
    setBusy(true);
}

void JobSupervisor::workerGone() {
    --m_liveWorkers;
    if (workerRunning())
        return;
    emit workersGone();
    if (m_quiet && m_quietWorker)
        end();
    runAfterJob();
    settle();
}

void JobSupervisor::runAfterJob() {
    if (jobRunning())
        return;
    const QList<std::function<void()>> calls = std::move(m_afterJob);
    m_afterJob.clear();
    for (const auto& call : calls)
        call();
}

void JobSupervisor::progressClosed() {
    m_progressShown = false;
    settle();
}

// The job is over once its worker is gone, its progress window (if it showed one) was confirmed and a
// quiet job said it ended.
void JobSupervisor::settle() {
    if (workerRunning() || m_quiet || (m_progressShown && m_progress.isVisible()))
        return;
    setBusy(false);
}

void JobSupervisor::setBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

} // namespace norvi
