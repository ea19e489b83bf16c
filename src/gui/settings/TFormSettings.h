#pragma once

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimeEdit;
class QPushButton;
class QTabWidget;

namespace norvi {

class Config;
class JobSupervisor;
class LoginTestRun;
struct LoginTestResult;

// "參數設定": the log folder, the gateway address and port, the account, and the send's quiet hours and
// summary. Created once at start-up and shown modally; OK stores the first three in the program's Config and
// NorviSMSAp.cfg, the last two in NorviSMSAp.ini (SendSettings); 連線測試 logs in with them.
// The connection test runs off the user-interface thread (LoginTestRun): while it waits the window stays
// usable, shows a busy cursor and a line saying what it waits for, and its button reads 取消測試, which
// ends the test at once (as do 確定, 取消 and closing the window).
class TFormSettings : public QDialog {
    Q_OBJECT
public:
    // The connection test is a job of `jobs`, which can stop it. The fields are shown from and stored
    // into `config`.
    TFormSettings(JobSupervisor& jobs, Config& config, QWidget* parent = nullptr);

    // The connection test is under way.
    bool loginTestRunning() const;

signals:
    // OK sends true once the settings are stored: the gateway commands can be used.
    void gatewayCommandsEnabled(bool enabled);

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* e) override;

private slots:
    void ButtonOkClick();
    void ButtonCancelClick();
    void ButtonLogFilesClick();
    void ButtonLoginTestClick();
    void CheckBoxQuietHoursClick();

private:
    void FormShow();
    void showCredentialNote();
    // CollectSettings with the dialog's fields; a refusal is shown in an error box. Without `resolve` the
    // address is not looked up (the connection test looks it up on its own thread).
    bool collectSettings(bool resolve = true);
    // The port as typed can be stored; false (after saying why, the port field focused) keeps the window open.
    bool portValid();
    // Before 確定 stores the log folder: asks about one that is missing or cannot be written. False keeps
    // the window open.
    bool confirmLogFolder();
    QWidget* buildSendPage();
    // The 傳送時段 page: false (after saying why) keeps the window open; stored into NorviSMSAp.ini.
    bool sendSettingsValid();
    void storeSendSettings();
    void loginTestFinished(const LoginTestResult& result);
    void setTestBusy(bool busy);
    void showTestWait();

    JobSupervisor& m_jobs;
    Config& m_config;
    QTabWidget* m_pages = nullptr;
    QLineEdit* m_editLogFiles = nullptr;
    QLineEdit* m_editGWIp = nullptr;
    QLineEdit* m_editGWPort = nullptr;
    QLineEdit* m_editGWAccount = nullptr;
    QLineEdit* m_editGWPasswd = nullptr;
    QPushButton* m_buttonLoginTest = nullptr;
    QCheckBox* m_checkQuietHours = nullptr;
    QTimeEdit* m_editQuietFrom = nullptr;
    QTimeEdit* m_editQuietTo = nullptr;
    QCheckBox* m_checkCliRefuses = nullptr;
    QCheckBox* m_checkSummaryWarnings = nullptr;
    QLabel* m_labelLoginTest = nullptr;
    QLabel* m_labelCredentialNote = nullptr;
    LoginTestRun* m_loginTest = nullptr;
    QTimer m_testTimer;
};

} // namespace norvi
