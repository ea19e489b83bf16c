#pragma once

#include "core/compose/ComposeState.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SendSummary.h"

#include <QObject>
#include <QString>

#include <list>

class QDialog;

namespace norvi {

class AddressBook;
class Config;
class JobOwner;
class JobSupervisor;
class RecipientsBox;
class SendDialogForm;
class SendLogKeeper;
struct GatewayTarget;

// 傳送 of the send dialog: checks the input in a fixed order, asks the summary, builds the run (one SendRun
// value, moved into the worker) and hands it to the job supervisor, with `owner` as the worker's owner window.
// Refused while another job runs.
class SendDialogRun : public QObject {
    Q_OBJECT
public:
    SendDialogRun(SendDialogForm& form, RecipientsBox& recipients, SendLogKeeper& sendLog, JobSupervisor& jobs,
                  AddressBook& book, const Config& config, JobOwner& owner, QDialog* dialog);

    // The message of the last run started, which the next opening from 發訊 shows again.
    QString lastText() const { return m_lastText; }

signals:
    // A send run starts with 傳送後追蹤結果 checked: its results are to be followed up once it is over.
    void followUpRequested();

private:
    void ButtonSendClick();
    // Step 8 of 傳送: the run is built, the dialog gives the screen to the progress window, the worker starts.
    void startRun(const GatewayTarget& gateway, const QByteArray& message);
    // The summary before the send (TFormSendSummary): fills SendQueue with the run as answered; false when
    // nothing is to be sent (refused, or 取消 in the summary).
    bool askSummary(const ComposeInput& input, std::list<sSendContent>& SendQueue, SendQueueResult* queued,
                    SendSummary* summary);
    void logSummaryChoices(const SendQueueResult& queued, const SendSummary& summary, const SummarySchedule& taken);
    bool reservationAhead(const SendSummary& summary, const SummarySchedule& taken, bool* morningPassed);
    void warn(const QString& text);

    SendDialogForm& m_form;
    RecipientsBox& m_recipients;
    SendLogKeeper& m_sendLog;
    JobSupervisor& m_jobs;
    AddressBook& m_book;
    const Config& m_config;
    JobOwner& m_owner;
    QDialog* m_dialog;

    QString m_lastText;
    QString m_orderTime;
    int m_limitMinutes = 0;
};

} // namespace norvi
