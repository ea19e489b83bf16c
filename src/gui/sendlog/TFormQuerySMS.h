#pragma once

#include "core/shared/Config.h"
#include "core/workers/JobOwner.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace norvi {

class JobSupervisor;
class ModelJobRows;

// The query and cancel dialog, created once at start-up: "狀態查詢" asks for the delivery status of sent
// messages, "取消預約" cancels reservations; openFor() shows it modally in one of the two modes. The user
// picks what to ask about: all rows of the send log, its selected rows, or one MsgId; the job supervisor
// then runs one worker.
//
// A list job runs under the progress window above the dialog, which closes the dialog (and so ends its
// modal show) when the user confirms the end. A single MsgId stays in the dialog while it waits: a busy
// cursor over it, a line saying what it waits for, and 取消 turned into 中斷, which ends the wait at once
// (Esc and the close box do the same); its answer comes in a box titled with the MsgId, and the worker
// closes the dialog when it is done. The dialog is the job's owner window either way.
class TFormQuerySMS : public QDialog, public JobOwner {
    Q_OBJECT
public:
    // `sendLog` is the send log the jobs walk, as the user-interface thread reaches it; the jobs log in as
    // `config` stands when each is asked for.
    TFormQuerySMS(ModelJobRows& sendLog, JobSupervisor& jobs, const Config& config, QWidget* parent = nullptr);

    // Shows the dialog modally, asking for delivery (query) or cancelling reservations; returns its result.
    int openFor(bool cancelMode);
    bool queryMode() const { return !m_cancelMode; }

    // JobOwner
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
    bool resolveGateway(GatewayTarget* gateway);
    void startListJob(const GatewayTarget& gateway, bool allRows);
    void startSingleJob(const GatewayTarget& gateway, const QByteArray& msgId);
    void warn(const QString& text);

    ModelJobRows& m_sendLog;
    JobSupervisor& m_jobs;
    const Config& m_config;
    bool m_cancelMode = false;
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
