#include "WindowSet.h"

#include "sendlog/SendLogAccess.h"
#include "shared/Big5.h"
#include "shared/Prompts.h"

#include <QAction>

namespace norvi {

// Members are built in declaration order, which is the order of the windows.
WindowSet::WindowSet()
    : m_settings(&m_main), m_sendSMS(&m_main), m_querySMS(&m_main), m_adrBk(&m_main), m_fileIO(&m_main),
      m_fileType(&m_main), m_showProcess(), m_logJobs(m_main) {
    m_main.attachSettings(&m_settings);
    m_main.FormSendSMS = &m_sendSMS;
    m_main.FormQuerySMS = &m_querySMS;
    m_querySMS.sendLog = &m_main.logAccess();
    m_main.FormAdrBk = &m_adrBk;
    m_adrBk.FormSendSMS = &m_sendSMS;
    m_adrBk.FormFileType = &m_fileType;
    m_fileType.FormFileIO = &m_fileIO;
    m_fileIO.FormAdrBk = &m_adrBk;
    // The wizard's import shows the whole book in the address book window at once, behind the chooser.
    QObject::connect(&m_fileIO, &TFormFileIO::bookImported, &m_adrBk, &TFormAdrBk::ReloadList);
    m_sendSMS.FormMain = &m_main;
    // The connection ends with the send dialog, which goes before the main window.
    QObject::connect(&m_main, &TFormMain::originalSendRequested, &m_sendSMS, [this] { sendLogRowAgain(); });
}

WindowSet::~WindowSet() {
    m_main.attachSettings(nullptr);
    m_main.FormSendSMS = nullptr;
    m_main.FormQuerySMS = nullptr;
    m_querySMS.sendLog = nullptr;
    m_main.FormAdrBk = nullptr;
    m_adrBk.FormSendSMS = nullptr;
    m_adrBk.FormFileType = nullptr;
    m_fileType.FormFileIO = nullptr;
    m_fileIO.FormAdrBk = nullptr;
    m_sendSMS.FormMain = nullptr;
}

// 原訊息發訊(&M): the send dialog opens with the selected row's message text.
void WindowSet::sendLogRowAgain() {
    const QVector<int> rows = m_main.logAccess().selectedRows();
    if (rows.size() != 1)
        return;
    m_sendSMS.setMessageText(fromBig5(m_main.logAccess().text(rows.first(), ColContent)));
    m_sendSMS.opener = m_main.findChild<QAction*>(QStringLiteral("PMItemLvOSendSMS"));
    prompts().execDialog(&m_sendSMS);
}

void WindowSet::show() {
    m_main.show();
}

} // namespace norvi
