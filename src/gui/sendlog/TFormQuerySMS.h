#pragma once

#include "workers/JobOwner.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace norvi {

class SendLogAccess;

// The query and cancel dialog, created once at start-up: "狀態查詢" asks for the delivery status of sent
// messages, "取消預約" cancels reservations. The main window sets `opener` to its MItemTQuerySMS (query
// mode) or MItemTCancelSMS (cancel mode) before each modal show. The user picks what to ask about: all
// rows of the send log, its selected rows, or one MsgId; the dialog then hides and starts one worker.
//
// A list job runs under the progress window, which closes this dialog (and so ends its modal show) when
// the user confirms the end. A single MsgId stays in the dialog while it waits: a busy cursor over it, a line
// saying what it waits for, and 取消 turned into 中斷, which ends the wait at once (Esc and the close box do
// the same); its answer comes in a box titled with the MsgId, and the worker closes the dialog when it is
// done. The dialog is the job's owner window either way.
class TFormQuerySMS : public QDialog, public JobOwner {
    Q_OBJECT
public:
    explicit TFormQuerySMS(QWidget* parent = nullptr);

    QObject* opener = nullptr;
    // The send log the jobs walk, as the user-interface thread reaches it; set by the window set.
    SendLogAccess* sendLog = nullptr;
    bool queryMode() const;

    // JobOwner
    bool isSendDialog() const override { return false; }
    void closeForm() override;
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;
    bool continueAfterTransportFailures(int failures, WorkerMode mode) override;

public slots:
    // While a single MsgId waits, Esc and the close box stop it instead of leaving the dialog.
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void RadioButton1RecClick();
    void RadioButtonSelRecClick();
    void RadioButtonAllRecClick();
    void ButtonQueryClick();
    void ButtonCancelClick();

private:
    void FormShow();
    void setCaptions();
    void enableMsgId(bool enabled);
    // The scope's own check (step one of the query button); false after telling the user why.
    bool checkScope(QByteArray* msgId);
    bool resolveGateway();
    void startListJob(bool allRows);
    void startSingleJob(const QByteArray& msgId);
    void warn(const QString& text);
    // A job that could not start after the dialog hid: says why and ends the dialog.
    void abandon(const QString& error);
    void setSingleBusy(bool busy);
    void showSingleWait();

    QRadioButton* m_allRec = nullptr;
    QRadioButton* m_selRec = nullptr;
    QRadioButton* m_oneRec = nullptr;
    QLabel* m_label1 = nullptr;
    QLineEdit* m_editMsgId = nullptr;
    QPushButton* m_buttonQuery = nullptr;
    QPushButton* m_buttonCancel = nullptr;
    QLabel* m_labelBusy = nullptr;
    QTimer m_busyTimer;
    bool m_singleRunning = false;
    bool m_stopping = false;
};

} // namespace norvi
