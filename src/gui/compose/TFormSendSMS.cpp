#include "gui/compose/TFormSendSMS.h"

#include "core/shared/Big5.h"
#include "core/workers/StopRows.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/SendDialogCount.h"
#include "gui/compose/SendDialogForm.h"
#include "gui/compose/SendDialogRun.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace norvi {

TFormSendSMS::TFormSendSMS(SendLogKeeper& sendLog, JobSupervisor& jobs, AddressBook& book, const Config& config,
                           QWidget* parent)
    : QDialog(parent), m_jobs(jobs) {
    setObjectName(QStringLiteral("TFormSendSMS"));
    applyFormFont(this);
    setWindowTitle(QStringLiteral("發送訊息"));
    setSizeGripEnabled(true);
    m_form = std::make_unique<SendDialogForm>(this);
    m_recipients = new RecipientsBox(*m_form, book, jobs, this);
    m_count = new SendDialogCount(*m_form, *m_recipients, this);
    m_run = new SendDialogRun(*m_form, *m_recipients, sendLog, jobs, book, config, *this, this);
    connect(m_run, &SendDialogRun::followUpRequested, this, &TFormSendSMS::followUpRequested);
    connect(m_form->ButtonCancel, &QPushButton::clicked, this, &TFormSendSMS::ButtonCancelClick);
}

TFormSendSMS::~TFormSendSMS() = default;

// ---- opening, closing ----

void TFormSendSMS::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // A window restored by the window system is not a new opening.
    if (!e->spontaneous())
        FormShow();
}

void TFormSendSMS::FormShow() {
    m_form->m_richEditMT->setInsertMode(true);
    m_form->resetSchedule();
    m_form->RadioButtonNormalMsg->setChecked(true);
    if (m_opener == SendOpener::AddressBook)
        m_recipients->RenderRecipientField();
    if (m_opener != SendOpener::SendLog)
        m_form->MemoSM->setPlainText(m_run->lastText());
    m_count->Recount();
    m_count->findOverlongRows();
    m_count->updateListTextNote();
    m_form->m_richEditMT->setFocus();
}

int TFormSendSMS::openFor(SendOpener opener, const QString& text, const std::vector<sMtData>& entries) {
    m_opener = opener;
    if (opener == SendOpener::SendLog)
        m_form->MemoSM->setPlainText(text);
    if (opener == SendOpener::AddressBook) {
        m_recipients->ParseRecipientField(true);
        std::list<sMtData>& list = m_recipients->recipients().RecipientList;
        list.insert(list.end(), entries.begin(), entries.end());
    }
    return prompts().execDialog(this);
}

void TFormSendSMS::clearRecipients() {
    m_recipients->recipients().RecipientList.clear();
    m_recipients->RenderRecipientField();
}

void TFormSendSMS::done(int result) {
    if (m_opener != SendOpener::AddressBook)
        m_form->m_richEditMT->clear();
    QDialog::done(result);
}

void TFormSendSMS::ButtonCancelClick() {
    reject();
}

void TFormSendSMS::closeForm() {
    reject();
}

void TFormSendSMS::showResultBox(const QByteArray& msgId, const QByteArray& text) {
    prompts().okBox(this, Prompts::Icon::Information, fromBig5(msgId), fromBig5(text));
}

bool TFormSendSMS::continueAfterTransportFailures(int failures, WorkerMode mode) {
    // Asked while the run's progress window stands above the dialog, which is disabled meanwhile.
    return m_jobs.askWhileRunning(m_jobs.progressWindow(), windowTitle(), StopRows::continueQuestion(failures, mode));
}

} // namespace norvi
