#include "shared/TFormSettings.h"

#include "gateway/LoginTest.h"
#include "shared/Big5.h"
#include "shared/Config.h"
#include "shared/FixedField.h"
#include "shared/Global.h"
#include "shared/Prompts.h"
#include "shared/UiFont.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace norvi {

namespace {

const char* const kErrorTitle = "ERROR";

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

// The label names its edit: screen readers announce the edit by it.
QLabel* makeLabel(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// The login blocks this thread for as long as the gateway takes to answer; the cursor says so.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

TFormSettings::TFormSettings(QWidget* parent) : QDialog(parent) {
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
    const char* const captions[] = {"Gateway Addr：", "Gateway PORT：", "帳號：", "密碼："};
    QLineEdit* const edits[] = {m_editGWIp, m_editGWPort, m_editGWAccount, m_editGWPasswd};
    for (int row = 0; row < 4; ++row) {
        gwGrid->addWidget(makeLabel(gwPage, QString::fromUtf8(captions[row]), edits[row]), row, 0);
        gwGrid->addWidget(edits[row], row, 1);
    }
    auto* buttonLoginTest = makeButton(gwPage, QStringLiteral("連線測試"), "ButtonLoginTest");
    buttonLoginTest->setAutoDefault(false);
    gwGrid->addWidget(buttonLoginTest, 4, 1, Qt::AlignRight);
    gwGrid->setRowStretch(5, 1);

    m_pages->addTab(dirPage, QStringLiteral("目錄設定"));
    m_pages->addTab(gwPage, QStringLiteral("Gateway設定"));
    // The gateway is what a new user has to fill in first.
    m_pages->setCurrentWidget(gwPage);

    auto* buttonOk = makeButton(this, QStringLiteral("確定"), "ButtonOk");
    buttonOk->setDefault(true);
    auto* buttonCancel = makeButton(this, QStringLiteral("取消"), "ButtonCancel");
    buttonCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(buttonOk);
    buttons->addWidget(buttonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);

    connect(buttonOk, &QPushButton::clicked, this, &TFormSettings::ButtonOkClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFormSettings::ButtonCancelClick);
    connect(buttonLogFiles, &QPushButton::clicked, this, &TFormSettings::ButtonLogFilesClick);
    connect(buttonLoginTest, &QPushButton::clicked, this, &TFormSettings::ButtonLoginTestClick);
}

void TFormSettings::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TFormSettings::FormShow() {
    m_editLogFiles->setText(fromBig5(getField(Config.logFiles)));
    m_editGWIp->setText(fromBig5(getField(Config.gwIp)));
    m_editGWPort->setText(QString::number(Config.gwPort));
    m_editGWAccount->setText(fromBig5(getField(Config.gwAccount)));
    m_editGWPasswd->setText(fromBig5(getField(Config.gwPasswd)));
}

bool TFormSettings::collectSettings() {
    SettingsFields fields{m_editLogFiles->text(), m_editGWIp->text(), m_editGWPort->text(), m_editGWAccount->text(),
                          m_editGWPasswd->text()};
    QString error;
    if (!CollectSettings(fields, &error)) {
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle), error);
        return false;
    }
    // A port that was not a number has become 8000; the edit shows what is stored.
    m_editGWPort->setText(fields.gwPort);
    return true;
}

void TFormSettings::ButtonOkClick() {
    if (!collectSettings())
        return;
    emit gatewayCommandsEnabled(true);
    if (!WriteConfig())
        prompts().okBox(this, Prompts::Icon::Error, QString::fromLatin1(kErrorTitle),
                        QStringLiteral("設定檔寫入失敗！"));
    // The settings are in force for this run even when the file could not be written.
    accept();
}

void TFormSettings::ButtonCancelClick() {
    reject();
}

void TFormSettings::ButtonLogFilesClick() {
    const QString folder =
        prompts().chooseFolder(this, QStringLiteral("請選擇運作記錄檔目錄："), m_editLogFiles->text());
    if (!folder.isEmpty())
        m_editLogFiles->setText(folder);
}

void TFormSettings::ButtonLoginTestClick() {
    if (!collectSettings())
        return;
    QByteArray text;
    bool loggedIn = false;
    {
        WaitCursor wait;
        loggedIn = RunLoginTest(&text);
    }
    const QString title = QStringLiteral("連線測試");
    if (loggedIn)
        prompts().notice(this, Prompts::Icon::Information, title, fromBig5(text));
    else
        prompts().notice(this, Prompts::Icon::Warning, title, fromBig5(text));
}

} // namespace norvi
