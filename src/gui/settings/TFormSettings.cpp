#include "gui/settings/TFormSettings.h"

#include "core/gateway/LoginTest.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/SendSettings.h"
#include "core/shared/SystemErrorText.h"
#include "gui/shared/FormControls.h"
#include "gui/shared/Prompts.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/JobSupervisor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace norvi {

namespace {

const char* const kErrorTitle = "ERROR";

const QString kTestCaption = QStringLiteral("連線測試");
const QString kCancelTestCaption = QStringLiteral("取消測試");
constexpr int kTestLineEveryMs = 250;

} // namespace

TFormSettings::TFormSettings(JobSupervisor& jobs, Config& config, QWidget* parent)
    : QDialog(parent), m_jobs(jobs), m_config(config) {
    setObjectName(QStringLiteral("TFormSettings"));
    setWindowTitle(QStringLiteral("參數設定"));
    applyFormFont(this);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControlSetup"));

    auto* dirPage = new QWidget(m_pages);
    dirPage->setObjectName(QStringLiteral("TabSheetDir"));
    auto* dirGrid = new QGridLayout(dirPage);
    m_editLogFiles = makeEdit(dirPage, "EditLogFiles");
    m_editLogFiles->setReadOnly(true);
    m_editLogFiles->setMinimumWidth(260);
    auto* buttonLogFiles = makeButton(dirPage, QStringLiteral("..."), "ButtonLogFiles");
    buttonLogFiles->setFixedWidth(28);
    buttonLogFiles->setAccessibleName(QStringLiteral("選擇運作記錄檔目錄")); // read aloud, "..." says nothing
    dirGrid->addWidget(makeLabel(dirPage, QStringLiteral("運作記錄檔目錄："), m_editLogFiles), 0, 0, 1, 2);
    dirGrid->addWidget(m_editLogFiles, 1, 0);
    dirGrid->addWidget(buttonLogFiles, 1, 1);
    dirGrid->setRowStretch(2, 1);

    auto* gwPage = new QWidget(m_pages);
    gwPage->setObjectName(QStringLiteral("TabSheetGateway"));
    auto* gwGrid = new QGridLayout(gwPage);
    m_editGWIp = makeEdit(gwPage, "EditGWIp");
    m_editGWPort = makeEdit(gwPage, "EditGWPort");
    m_editGWAccount = makeEdit(gwPage, "EditGWAccount");
    m_editGWPasswd = makeEdit(gwPage, "EditGWPasswd");
    m_editGWPasswd->setEchoMode(QLineEdit::Password);
    const QString captions[] = {QStringLiteral("Gateway Addr："), QStringLiteral("Gateway PORT："),
                                QStringLiteral("帳號："), QStringLiteral("密碼：")};
    QLineEdit* const edits[] = {m_editGWIp, m_editGWPort, m_editGWAccount, m_editGWPasswd};
    for (int row = 0; row < 4; ++row) {
        gwGrid->addWidget(makeLabel(gwPage, captions[row], edits[row]), row, 0);
        gwGrid->addWidget(edits[row], row, 1);
    }
    // The login carries only the first bytes of each: a longer account or password is said to be cut as it is
    // typed or shown, before a refused login leaves the user with only "密碼錯誤".
    m_labelCredentialNote = new QLabel(gwPage);
    m_labelCredentialNote->setObjectName(QStringLiteral("LabelCredentialNote"));
    m_labelCredentialNote->setAccessibleName(QStringLiteral("帳號密碼長度提示"));
    gwGrid->addWidget(m_labelCredentialNote, 4, 0, 1, 2);
    connect(m_editGWAccount, &QLineEdit::textChanged, this, &TFormSettings::showCredentialNote);
    connect(m_editGWPasswd, &QLineEdit::textChanged, this, &TFormSettings::showCredentialNote);
    m_buttonLoginTest = makeButton(gwPage, kTestCaption, "ButtonLoginTest");
    gwGrid->addWidget(m_buttonLoginTest, 5, 1, Qt::AlignRight);
    // What the connection test is doing while it runs, or how it ended when it was cancelled.
    m_labelLoginTest = new QLabel(gwPage);
    m_labelLoginTest->setObjectName(QStringLiteral("LabelLoginTest"));
    gwGrid->addWidget(m_labelLoginTest, 6, 0, 1, 2);
    gwGrid->setRowStretch(7, 1);

    m_loginTest = new LoginTestRun(this);
    connect(m_loginTest, &LoginTestRun::finished, this, &TFormSettings::loginTestFinished);
    m_testTimer.setInterval(kTestLineEveryMs);
    connect(&m_testTimer, &QTimer::timeout, this, &TFormSettings::showTestWait);

    m_pages->addTab(dirPage, QStringLiteral("目錄設定"));
    m_pages->addTab(gwPage, QStringLiteral("Gateway設定"));
    m_pages->addTab(buildSendPage(), QStringLiteral("傳送時段"));
    // The gateway is what a new user has to fill in first.
    m_pages->setCurrentWidget(gwPage);

    auto* buttonOk = makeButton(this, QStringLiteral("確定"), "ButtonOk");
    buttonOk->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(makeButtonBox(this, buttonOk, buttonCancel));

    connect(buttonOk, &QPushButton::clicked, this, &TFormSettings::ButtonOkClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormSettings::ButtonCancelClick);
    connect(buttonLogFiles, &QPushButton::clicked, this, &TFormSettings::ButtonLogFilesClick);
    connect(m_buttonLoginTest, &QPushButton::clicked, this, &TFormSettings::ButtonLoginTestClick);
    // 結束 or a signal during a test stops it, and the program ends once the test has ended.
    connect(&m_jobs, &JobSupervisor::stopRequested, m_loginTest, &LoginTestRun::cancel);
}

// 傳送時段: the hours in which no message should go out, and when the summary before a send is shown.
QWidget* TFormSettings::buildSendPage() {
    auto* page = new QWidget(m_pages);
    page->setObjectName(QStringLiteral("TabSheetSend"));
    auto* grid = new QGridLayout(page);
    m_checkQuietHours = new QCheckBox(QStringLiteral("夜間不傳送(&N)"), page);
    m_checkQuietHours->setObjectName(QStringLiteral("CheckBoxQuietHours"));
    m_editQuietFrom = new QTimeEdit(page);
    m_editQuietFrom->setObjectName(QStringLiteral("TimeEditQuietFrom"));
    m_editQuietTo = new QTimeEdit(page);
    m_editQuietTo->setObjectName(QStringLiteral("TimeEditQuietTo"));
    for (QTimeEdit* edit : {m_editQuietFrom, m_editQuietTo})
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    m_checkCliRefuses = new QCheckBox(QStringLiteral("命令列也拒絕夜間傳送(&C)"), page);
    m_checkCliRefuses->setObjectName(QStringLiteral("CheckBoxCliRefuses"));
    m_checkSummaryWarnings = new QCheckBox(QStringLiteral("傳送前的確認只在有略過或警告時顯示(&W)"), page);
    m_checkSummaryWarnings->setObjectName(QStringLiteral("CheckBoxSummaryWarnings"));
    grid->addWidget(m_checkQuietHours, 0, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(makeLabel(page, QStringLiteral("從(&F)："), m_editQuietFrom), 1, 0);
    grid->addWidget(m_editQuietFrom, 1, 1);
    grid->addWidget(makeLabel(page, QStringLiteral("到(&T)："), m_editQuietTo), 1, 2);
    grid->addWidget(m_editQuietTo, 1, 3);
    grid->addWidget(m_checkCliRefuses, 2, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(m_checkSummaryWarnings, 3, 0, 1, 4, Qt::AlignLeft);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(4, 1);
    connect(m_checkQuietHours, &QCheckBox::clicked, this, &TFormSettings::CheckBoxQuietHoursClick);
    return page;
}

void TFormSettings::CheckBoxQuietHoursClick() {
    const bool on = m_checkQuietHours->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_editQuietFrom, m_editQuietTo, m_checkCliRefuses})
        w->setEnabled(on);
}

// Equal times would make quiet hours that never apply while the box says they are on.
bool TFormSettings::sendSettingsValid() {
    if (!m_checkQuietHours->isChecked() || m_editQuietFrom->time() != m_editQuietTo->time())
        return true;
    m_pages->setCurrentWidget(m_checkQuietHours->parentWidget());
    prompts().okBox(this, Prompts::Icon::Warning, windowTitle(), QStringLiteral("夜間的開始與結束時間不可相同！"));
    m_editQuietTo->setFocus();
    return false;
}

void TFormSettings::storeSendSettings() {
    SendSettings settings;
    settings.quiet.enabled = m_checkQuietHours->isChecked();
    settings.quiet.from = m_editQuietFrom->time();
    settings.quiet.to = m_editQuietTo->time();
    settings.quiet.cliRefuses = m_checkCliRefuses->isChecked();
    settings.summary = m_checkSummaryWarnings->isChecked() ? SummaryShown::Warnings : SummaryShown::Always;
    QString error;
    if (!WriteSendSettings(m_config.StartDir(), settings, &error))
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle), error);
}

void TFormSettings::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFormSettings::FormShow() {
    const sConfig& stored = m_config.record();
    m_editLogFiles->setText(fromBig5(getField(stored.logFiles)));
    m_editGWIp->setText(fromBig5(getField(stored.gwIp)));
    m_editGWPort->setText(QString::number(stored.gwPort));
    m_editGWAccount->setText(fromBig5(getField(stored.gwAccount)));
    m_editGWPasswd->setText(fromBig5(getField(stored.gwPasswd)));
    if (!m_loginTest->running())
        m_labelLoginTest->clear();
    const SendSettings send = ReadSendSettings(m_config.StartDir());
    m_checkQuietHours->setChecked(send.quiet.enabled);
    m_editQuietFrom->setTime(send.quiet.from);
    m_editQuietTo->setTime(send.quiet.to);
    m_checkCliRefuses->setChecked(send.quiet.cliRefuses);
    m_checkSummaryWarnings->setChecked(send.summary == SummaryShown::Warnings);
    CheckBoxQuietHoursClick();
}

void TFormSettings::showCredentialNote() {
    m_labelCredentialNote->setText(CredentialLengthNote(big5(m_editGWAccount->text()), big5(m_editGWPasswd->text())));
}

// A port that is no number or out of range is said here, on the page that holds it, with the field ready
// to be typed over; nothing is stored.
bool TFormSettings::portValid() {
    QString error;
    if (ParsePortText(m_editGWPort->text(), nullptr, &error))
        return true;
    m_pages->setCurrentWidget(m_editGWPort->parentWidget());
    prompts().okBox(this, Prompts::Icon::Warning, windowTitle(), error);
    m_editGWPort->setFocus();
    m_editGWPort->selectAll();
    return false;
}

bool TFormSettings::collectSettings(bool resolve) {
    if (!portValid())
        return false;
    SettingsFields fields{m_editLogFiles->text(), m_editGWIp->text(), m_editGWPort->text(), m_editGWAccount->text(),
                          m_editGWPasswd->text()};
    QString error;
    if (!(resolve ? CollectSettings(m_config, fields, &error) : CollectSettingsUnresolved(m_config, fields, &error))) {
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle), error);
        return false;
    }
    // The edits show what is stored: without blanks, the port in decimal.
    m_editGWIp->setText(fields.gwIp);
    m_editGWPort->setText(fields.gwPort);
    return true;
}

// A folder the operation log cannot write into would lose every day's log without a word: a missing one
// is made on 是 (否 lets the user choose another), an unwritable one is kept only when the user says so.
bool TFormSettings::confirmLogFolder() {
    const LogFolderCheck folder = CheckLogFolder(m_config.StartDir(), m_editLogFiles->text());
    if (folder.path.isEmpty() || (folder.exists && folder.writable))
        return true;
    const QString title = windowTitle();
    if (!folder.exists) {
        if (!prompts().confirm(this, title, QStringLiteral("運作記錄檔目錄不存在：%1，要建立？").arg(folder.path))) {
            ButtonLogFilesClick();
            return false;
        }
        QString reason;
        if (CreateFolders(folder.path, &reason))
            return true;
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle),
                        WithReason(QStringLiteral("無法建立運作記錄檔目錄：%1").arg(folder.path), reason));
        return false;
    }
    return prompts().confirm(
        this, title,
        QStringLiteral("運作記錄檔目錄無法寫入：%1\n%2\n仍要使用這個目錄？").arg(folder.path, folder.reason));
}

void TFormSettings::ButtonOkClick() {
    m_loginTest->cancel(); // the settings it tests are being replaced
    if (!portValid() || !confirmLogFolder() || !sendSettingsValid() || !collectSettings())
        return;
    emit gatewayCommandsEnabled(true);
    QString error;
    if (!WriteConfig(m_config, &error))
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle),
                        WithReason(QStringLiteral("設定檔寫入失敗！"), error));
    storeSendSettings();
    // The settings are in force for this run even when the file could not be written.
    accept();
}

void TFormSettings::ButtonCancelClick() {
    reject();
}

void TFormSettings::ButtonLogFilesClick() {
    // A relative folder is the start folder's, as the logs take it.
    const QString folder = prompts().chooseFolder(this, QStringLiteral("請選擇運作記錄檔目錄："),
                                                  LogFolderPath(m_config.StartDir(), m_editLogFiles->text()));
    if (!folder.isEmpty())
        m_editLogFiles->setText(folder);
}

bool TFormSettings::loginTestRunning() const {
    return m_loginTest->running();
}

void TFormSettings::done(int result) {
    // Leaving the dialog ends a test that still waits; its end is not shown any more.
    m_loginTest->cancel();
    QDialog::done(result);
}

// The test runs on its own thread: the window stays usable, and the same button cancels it.
void TFormSettings::ButtonLoginTestClick() {
    if (m_loginTest->running()) {
        m_loginTest->cancel();
        m_labelLoginTest->setText(QStringLiteral("正在取消連線測試…"));
        m_buttonLoginTest->setEnabled(false);
        return;
    }
    if (!collectSettings(false))
        return;
    LoginTestSettings settings;
    // What the test collected stays in force after 取消 too: later jobs log in with it.
    const sConfig& collected = m_config.record();
    settings.address = getField(collected.gwIp);
    settings.port = collected.gwPort;
    settings.account = getField(collected.gwAccount);
    settings.password = getField(collected.gwPasswd);
    if (!m_loginTest->start(settings))
        return;
    m_jobs.beginQuiet(this);
    setTestBusy(true);
}

void TFormSettings::setTestBusy(bool busy) {
    m_buttonLoginTest->setText(busy ? kCancelTestCaption : kTestCaption);
    m_buttonLoginTest->setEnabled(true);
    if (busy) {
        m_testTimer.start();
        showTestWait();
    } else {
        m_testTimer.stop();
        m_labelLoginTest->clear();
    }
}

void TFormSettings::showTestWait() {
    const int64_t waited = m_loginTest->waitingMs();
    QString text = QStringLiteral("正在連線測試…");
    if (waited >= 1000)
        text += QStringLiteral(" 等待閘道回應 %1 秒").arg(waited / 1000);
    m_labelLoginTest->setText(text);
}

void TFormSettings::loginTestFinished(const LoginTestResult& result) {
    setTestBusy(false);
    // The busy cursor (over this window only) goes with the job.
    m_jobs.end();
    if (result.cancelled) {
        m_labelLoginTest->setText(QStringLiteral("連線測試已取消"));
        return;
    }
    if (!isVisible())
        return; // the dialog was left while the test ran
    const QString title = kTestCaption;
    if (result.loggedIn)
        prompts().notice(this, Prompts::Icon::Information, title, fromBig5(result.text));
    else
        prompts().notice(this, Prompts::Icon::Warning, title, fromBig5(result.text));
}

} // namespace norvi
