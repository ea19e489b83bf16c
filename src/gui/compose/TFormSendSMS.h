#pragma once

#include "core/compose/ComposeState.h"
#include "core/workers/JobOwner.h"

#include <QDialog>

#include <memory>
#include <vector>

namespace norvi {

class AddressBook;
class Config;
class JobSupervisor;
class RecipientsBox;
class SendDialogCount;
class SendDialogForm;
class SendDialogRun;
class SendLogKeeper;

// Where the send dialog was opened from, which decides what it prepares on opening and keeps on closing.
enum class SendOpener {
    Tools,       // 發訊 of the main window: the last message text comes back
    SendLog,     // 原訊息發訊 of the send log's pop-up: the row's text instead
    AddressBook, // 發訊 of the address book: the chosen entries join the field and stay there on closing
};

// "發送訊息": the send dialog, created once at start-up and opened modally by the main window (發訊), the
// send log's pop-up (原訊息發訊, with the row's text) and the address book (發訊, with the chosen
// entries). The user names recipients in the recipient field, writes the message, may book a reservation
// up to six days ahead or limit the message's validity, previews the short messages and sends: 傳送
// checks the input in a fixed order, builds the run (one SendRun value, moved into the worker) and hands it to
// the job supervisor; the progress window follows the run above the dialog, and confirming its end closes the
// dialog.
//
// The dialog is the send worker's owner window: it answers the worker's questions through JobOwner. It owns
// its parts: the form (SendDialogForm), the recipient field (RecipientsBox), the count and preview
// (SendDialogCount) and 傳送 (SendDialogRun).
class TFormSendSMS : public QDialog, public JobOwner {
    Q_OBJECT
public:
    // `sendLog` takes the run's rows and offers to clear them first; `jobs` runs the send, which logs in as
    // `config` stands when 傳送 is pressed.
    TFormSendSMS(SendLogKeeper& sendLog, JobSupervisor& jobs, AddressBook& book, const Config& config,
                 QWidget* parent = nullptr);
    ~TFormSendSMS() override;

    // Shows the dialog modally as `opener` wants it: `text` replaces the message for the send log's
    // 原訊息發訊, `entries` join the recipient field after what it holds for the address book's 發訊.
    // Returns the dialog's result.
    int openFor(SendOpener opener, const QString& text = QString(), const std::vector<sMtData>& entries = {});
    // The address book closed: the entries it gave stay no longer.
    void clearRecipients();

    // JobOwner: the worker of a run asks after transport failures.
    void closeForm() override;
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;
    bool continueAfterTransportFailures(int failures, WorkerMode mode) override;

signals:
    // A send run starts with 傳送後追蹤結果 checked: its results are to be followed up once it is over.
    void followUpRequested();

public slots:
    // FormClose: the recipient field is emptied unless the address book opened the dialog (its 發訊 adds to
    // what the field holds). A run's end closes the dialog this way as well.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void FormShow();
    void ButtonCancelClick();

    JobSupervisor& m_jobs;
    SendOpener m_opener = SendOpener::Tools;

    std::unique_ptr<SendDialogForm> m_form;
    RecipientsBox* m_recipients = nullptr;
    SendDialogCount* m_count = nullptr;
    SendDialogRun* m_run = nullptr;
};

} // namespace norvi
