// The main window's lock while a job runs (see TFormMain::runLocked).
#include "sendlog/TFormMain.h"

#include "compose/TFormSendSMS.h"
#include "sendlog/TFormQuerySMS.h"
#include "shared/TFormShowProcess.h"
#include "workers/JobStarter.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QTreeView>

namespace norvi {

// Every started worker locks, whoever started it: a job of this window's own pop-up disables the whole
// window through the progress window anyway, and the lock then ends with it.
void TFormMain::lockForRun(QObject* worker) {
    for (const QMetaObject::Connection& c : m_runEnds)
        disconnect(c);
    m_runEnds.clear();
    // What may end a run, each checked against the rule below: the worker freed, the progress window
    // confirmed, the dialog that started the job closed (a single MsgId closes its dialog at the end).
    if (worker)
        m_runEnds.append(connect(worker, &QObject::destroyed, this, &TFormMain::updateRunLock));
    if (TFormShowProcess* progress = TFormShowProcess::instance())
        m_runEnds.append(connect(progress, &QDialog::finished, this, &TFormMain::updateRunLock));
    for (QDialog* dialog : {static_cast<QDialog*>(FormQuerySMS), static_cast<QDialog*>(FormSendSMS)}) {
        if (dialog)
            m_runEnds.append(connect(dialog, &QDialog::finished, this, &TFormMain::updateRunLock));
    }
    setRunLocked(true);
    updateRunLock();
}

// The job is over when its worker has left WorkerList (it wrote its last row and handed its end over
// before that) and the progress window, if the job showed it, was confirmed.
void TFormMain::updateRunLock() {
    if (!m_runLocked || WorkerRegistered())
        return;
    const TFormShowProcess* progress = TFormShowProcess::instance();
    if (progress && progress->isVisible())
        return;
    for (const QMetaObject::Connection& c : m_runEnds)
        disconnect(c);
    m_runEnds.clear();
    setRunLocked(false);
}

void TFormMain::setRunLocked(bool locked) {
    m_runLocked = locked;
    for (QActionGroup* group : {m_runLockGroup, m_sortGroup, m_orderGroup})
        group->setEnabled(!locked);
    m_list->header()->setSectionsClickable(!locked);
}

} // namespace norvi
