#include "gui/WindowSet.h"

#include "core/addressbook/BookFile.h"
#include "core/addressbook/BookTexts.h"
#include "core/sendlog/JobRows.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "gui/addressbook/BookLists.h"
#include "gui/compose/TFormOptOut.h"
#include "gui/sendlog/FollowUp.h"
#include "gui/shared/Prompts.h"

#include <QDir>

namespace norvi {

// Members are built in declaration order, which is the order of the windows. Every file of the program that
// is not chosen in a dialog lives in the folder the program started in.
WindowSet::WindowSet()
    : m_guard(), m_config(QDir::currentPath()), m_showProcess(), m_jobs(m_showProcess), m_main(m_jobs, m_config),
      m_settings(m_jobs, m_config, &m_main), m_sendSMS(m_main, m_jobs, m_book, m_config, &m_main),
      m_querySMS(m_main.jobRows(), m_jobs, m_config, &m_main), m_adrBk(m_book, &m_main),
      m_fileType(m_book, m_config.StartDir(), &m_main), m_logJobs(m_main, m_jobs, m_config) {
    // The operation log, written from every thread, follows the settings from their first reading on.
    QObject::connect(&m_config, &Config::changed, &m_config, [this] { SetOpLogFolder(LogFolder(m_config)); });
    m_book.setFilePath(AddressBookPath(m_config.StartDir()));
    connectWindows();
    loadAddressBook();
}

WindowSet::~WindowSet() = default;

void WindowSet::connectWindows() {
    QObject::connect(&m_settings, &TFormSettings::gatewayCommandsEnabled, &m_main, &TFormMain::EnableGatewayCommands);
    QObject::connect(&m_main, &TFormMain::settingsRequested, &m_settings,
                     [this] { prompts().execDialog(&m_settings); });
    QObject::connect(&m_main, &TFormMain::sendDialogRequested, &m_sendSMS,
                     [this] { m_sendSMS.openFor(SendOpener::Tools); });
    QObject::connect(&m_sendSMS, &TFormSendSMS::followUpRequested, &m_main,
                     [this] { m_main.followUp().startAfterJob(m_main.followUp().plan()); });
    QObject::connect(&m_main, &TFormMain::originalSendRequested, &m_sendSMS, [this] { sendLogRowAgain(); });
    QObject::connect(&m_main, &TFormMain::queryDialogRequested, &m_querySMS,
                     [this](bool cancelMode) { m_querySMS.openFor(cancelMode); });
    QObject::connect(&m_main, &TFormMain::addressBookRequested, &m_adrBk, [this] { prompts().execDialog(&m_adrBk); });
    // The stop list's window is made for each opening: it reads the file as it then stands.
    QObject::connect(&m_main, &TFormMain::optOutListRequested, &m_main, [this] {
        TFormOptOut window(m_config, &m_main);
        prompts().execDialog(&window);
    });
    QObject::connect(
        &m_adrBk, &TFormAdrBk::optOutRequested, &m_adrBk,
        [this](const std::vector<OptOutCandidate>& numbers) { TFormOptOut::addFromBook(&m_adrBk, m_config, numbers); });

    QObject::connect(&m_adrBk, &TFormAdrBk::sendRequested, &m_sendSMS, [this](const std::vector<sMtData>& entries) {
        m_sendSMS.openFor(SendOpener::AddressBook, QString(), entries);
    });
    // The send dialog keeps the entries that 發訊 gave it while the address book is open; closing the book
    // lets them go.
    QObject::connect(&m_adrBk, &QDialog::finished, &m_sendSMS, [this] { m_sendSMS.clearRecipients(); });
    // A change the file could not take (another program held it, the disk was full) is written when the
    // window closes, and is not left to be lost when the program ends.
    QObject::connect(&m_adrBk, &QDialog::finished, &m_main, [this] {
        if (AddressBookUnsaved(m_book))
            SaveBook(&m_main, m_book);
    });
    // On the way out the save is tried without its box: "下次變更時會一併寫入" would promise a next change that
    // never comes. Only the question is left to say it.
    m_main.setLeavingCheck([this] {
        if (!AddressBookUnsaved(m_book) || SaveAddressBook(m_book).ok)
            return true;
        return prompts().confirmIrreversible(&m_main, BookBoxTitle(), BookUnsavedAtExitText());
    });
    // A log-out asks nothing: one more try to write the book on the way out.
    QObject::connect(&m_main, &TFormMain::programEnding, &m_main, [this] {
        if (AddressBookUnsaved(m_book))
            SaveAddressBook(m_book);
    });
    QObject::connect(&m_adrBk, &TFormAdrBk::exchangeRequested, &m_fileType,
                     [this](bool import, const std::vector<int32_t>& listedIds) {
                         m_fileType.openFor(import ? ExchangeDirection::Import : ExchangeDirection::Export, listedIds);
                     });
    // The wizard's import shows the whole book in the address book window at once, behind the chooser.
    QObject::connect(&m_fileType, &TFormFileType::bookImported, &m_adrBk, &TFormAdrBk::ReloadList);
}

// The address book is read once, at start-up; from then on the book in memory is the master copy and the
// file follows it.
void WindowSet::loadAddressBook() {
    const AddressBookResult loaded = LoadAddressBook(m_book);
    if (!loaded.message.isEmpty())
        prompts().notice(&m_main, loaded.ok ? Prompts::Icon::Warning : Prompts::Icon::Error, BookBoxTitle(),
                         loaded.message);
}

// 原訊息發訊(&M): the send dialog opens with the selected row's message text.
void WindowSet::sendLogRowAgain() {
    const QVector<int> rows = m_main.jobRows().selectedRows();
    if (rows.size() != 1)
        return;
    m_sendSMS.openFor(SendOpener::SendLog, fromBig5(m_main.jobRows().row(rows.first()).texts[ColContent]));
}

void WindowSet::show() {
    m_main.show();
}

} // namespace norvi
