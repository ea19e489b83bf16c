#pragma once

#include "addressbook/TFormAdrBk.h"
#include "compose/TFormSendSMS.h"
#include "exchange/TFormFileIO.h"
#include "exchange/TFormFileType.h"
#include "sendlog/MainWindowJobs.h"
#include "sendlog/TFormMain.h"
#include "sendlog/TFormQuerySMS.h"
#include "shared/TFormSettings.h"
#include "shared/TFormShowProcess.h"

namespace norvi {

// The long-lived windows of the desktop program, created in their order with their owners and wiring,
// and torn down in reverse. The program and every window test build the windows through this one class,
// so a test runs them exactly as a user meets them.
//
// The main window comes first: it takes the start folder (the current folder) that the others rely on.
// The dialogs are its children, so they stay above it and open centred on it. The progress window is
// nobody's child: whichever window starts an operation is disabled while it runs, and a child window would
// be disabled with it and could never be confirmed.
class WindowSet {
public:
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;

    // Shows the main window; its first show reads the configuration.
    void show();

    TFormMain& main() { return m_main; }
    TFormSettings& settings() { return m_settings; }
    TFormSendSMS& sendSMS() { return m_sendSMS; }
    TFormQuerySMS& querySMS() { return m_querySMS; }
    TFormAdrBk& adrBk() { return m_adrBk; }
    TFormFileIO& fileIO() { return m_fileIO; }
    TFormFileType& fileType() { return m_fileType; }
    TFormShowProcess& showProcess() { return m_showProcess; }

private:
    void sendLogRowAgain();

    TFormMain m_main;
    TFormSettings m_settings;
    TFormSendSMS m_sendSMS;
    TFormQuerySMS m_querySMS;
    TFormAdrBk m_adrBk;
    TFormFileIO m_fileIO;
    TFormFileType m_fileType;
    TFormShowProcess m_showProcess;
    MainWindowJobs m_logJobs;
};

} // namespace norvi
