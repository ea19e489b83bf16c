#pragma once

#include "core/shared/Config.h"
#include "gui/addressbook/TFormAdrBk.h"
#include "gui/compose/TFormSendSMS.h"
#include "gui/exchange/TFormFileIO.h"
#include "gui/exchange/TFormFileType.h"
#include "gui/sendlog/MainWindowJobs.h"
#include "gui/sendlog/TFormMain.h"
#include "gui/sendlog/TFormQuerySMS.h"
#include "gui/settings/TFormSettings.h"
#include "gui/shared/FormGuard.h"
#include "gui/shared/TFormShowProcess.h"
#include "gui/workers/JobSupervisor.h"

namespace norvi {

// The long-lived windows of the desktop program, created in their order with their owners, and the one
// place where they are wired to each other: a window asks for another with a signal, and the connection
// made here opens it with its mode and data as arguments. The program and every window test build the
// windows through this one class, so a test runs them exactly as a user meets them.
//
// The progress window and the job supervisor come first: every window starts its jobs through them. The
// dialogs are the main window's children, so they stay above it and open centred on it. The progress
// window is nobody's child: whichever window starts an operation is disabled while it runs, and a child
// window would be disabled with it and could never be confirmed.
class WindowSet {
public:
    // Takes the current folder as the start folder and reads the address book, then builds the windows.
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;

    // Shows the main window; its first show reads the configuration.
    void show();

    // The address book every window works on, read at start.
    AddressBook& book() { return m_book; }
    // The settings every window works with: the start folder, and the configuration the main window's
    // first show reads.
    Config& config() { return m_config; }

    TFormMain& main() { return m_main; }
    TFormSettings& settings() { return m_settings; }
    TFormSendSMS& sendSMS() { return m_sendSMS; }
    TFormQuerySMS& querySMS() { return m_querySMS; }
    TFormFileType& fileType() { return m_fileType; }
    TFormShowProcess& showProcess() { return m_showProcess; }
    JobSupervisor& jobs() { return m_jobs; }

private:
    void connectWindows();
    void loadAddressBook();
    void sendLogRowAgain();

    FormGuard m_guard; // before every window: it watches them all
    Config m_config;
    AddressBook m_book;
    TFormShowProcess m_showProcess;
    JobSupervisor m_jobs;
    TFormMain m_main;
    TFormSettings m_settings;
    TFormSendSMS m_sendSMS;
    TFormQuerySMS m_querySMS;
    TFormAdrBk m_adrBk;
    TFormFileType m_fileType;
    MainWindowJobs m_logJobs;
};

} // namespace norvi
