// The main window's lock while a job runs (see TFormMain::runLocked).
#include "sendlog/TFormMain.h"

#include "shared/TFormShowProcess.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QTreeView>

namespace norvi {

// Every started worker locks, whoever started it: a job of this window's own pop-up disables the whole
// window through the progress window anyway, and the lock then ends with it.
void TFormMain::lockForRun(QObject* worker) {
    m_runWorkerGone = worker == nullptr;
    const quint64 run = ++m_runNumber;
    if (worker) {
        // The worker frees itself on this thread once its run routine returned, after its last write to the
        // rows and its end state were handed over. Only the latest run's worker counts.
        connect(worker, &QObject::destroyed, this, [this, run] {
            if (run != m_runNumber)
                return;
            m_runWorkerGone = true;
            updateRunLock();
        });
    }
    disconnect(m_progressClosed);
    if (TFormShowProcess* progress = TFormShowProcess::instance())
        m_progressClosed = connect(progress, &QDialog::finished, this, &TFormMain::updateRunLock);
    setRunLocked(true);
    updateRunLock();
}

// The job is over when its worker is gone and the progress window, if the job showed it, was confirmed.
void TFormMain::updateRunLock() {
    if (!m_runLocked || !m_runWorkerGone)
        return;
    const TFormShowProcess* progress = TFormShowProcess::instance();
    if (progress && progress->isVisible())
        return;
    disconnect(m_progressClosed);
    setRunLocked(false);
}

void TFormMain::setRunLocked(bool locked) {
    m_runLocked = locked;
    for (QActionGroup* group : {m_runLockGroup, m_sortGroup, m_orderGroup})
        group->setEnabled(!locked);
    m_list->header()->setSectionsClickable(!locked);
}

} // namespace norvi
