#include "gui/compose/RecipientsBox.h"

#include "core/addressbook/AddressBook.h"
#include "core/compose/EntryLookup.h"
#include "core/compose/ListFileInput.h"
#include "core/compose/MessageCount.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/SendValidation.h"
#include "core/compose/SeparatedNumbers.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/Progress.h"
#include "core/shared/StopSignal.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/SendDialogForm.h"
#include "gui/shared/Prompts.h"
#include "gui/workers/JobSupervisor.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLayout>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>

namespace norvi {

namespace {

// While a list loads on this thread, the progress window is repainted and its 中斷 is taken this often.
constexpr qint64 kLoadEventsEveryMs = 40;

} // namespace

RecipientsBox::RecipientsBox(SendDialogForm& form, AddressBook& book, JobSupervisor& jobs, QDialog* dialog)
    : QObject(dialog), m_form(form), m_book(book), m_jobs(jobs), m_dialog(dialog), m_mtHeight(form.m_mtBaseHeight) {
    setObjectName(QStringLiteral("RecipientsBox"));
    RichEditMT* field = m_form.m_richEditMT;
    connect(m_form.SpeedButtonMT, &QToolButton::clicked, this, &RecipientsBox::SpeedButtonMTClick);
    connect(m_form.SpeedButtonLoadMT, &QToolButton::clicked, this, &RecipientsBox::SpeedButtonLoadMTClick);
    connect(field, &RichEditMT::heightRequested, this, &RecipientsBox::RichEditMTResizeRequest);
    connect(field, &RichEditMT::unmappableRefused, this, &RecipientsBox::RichEditMTUnmappable);
}

int RecipientsBox::ParseRecipientField(bool keepListRows) {
    RecipientFieldReader reader(keepListRows);
    m_form.m_richEditMT->readEntries(reader);
    const int count = reader.finish(m_parsed.RecipientList);
    m_entrySpans = reader.takeSpans();
    return count;
}

void RecipientsBox::RenderRecipientField() {
    m_form.m_richEditMT->setEntries(m_parsed.RecipientList);
    m_parsed.RecipientList.clear();
}

void RecipientsBox::selectEntry(int index) {
    if (index < 0 || index >= int(m_entrySpans.size()))
        return;
    const FieldSpan& span = m_entrySpans[std::size_t(index)];
    QTextCursor cursor(m_form.m_richEditMT->document());
    cursor.setPosition(span.start);
    cursor.setPosition(span.start + span.length, QTextCursor::KeepAnchor);
    m_form.m_richEditMT->setTextCursor(cursor);
    m_form.m_richEditMT->setFocus();
}

void RecipientsBox::SpeedButtonMTClick() {
    ParseRecipientField(true);
    TFormSelectMember picker(m_book, m_dialog);
    if (picker.pickRecipients(m_parsed.RecipientList)) {
        RenderRecipientField();
        emit fieldReplaced();
    }
}

void RecipientsBox::SpeedButtonLoadMTClick() {
    LoadRecipientFile();
}

// 上載...: the file is read and checked before anything changes; then the rows of a file loaded before
// leave the field, the new rows are read line by line under the progress window and join the field in
// italics after the entries that stay. The file is read a piece at a time both times, never held whole.
void RecipientsBox::LoadRecipientFile() {
    const QString path = prompts().openFileName(m_dialog, QStringLiteral("載入發訊名單"),
                                                QStringLiteral("所有檔案(*.*)|*.*|Excel 活頁簿(*.xlsx)|*.xlsx"));
    if (path.isEmpty())
        return;
    RecipientListFile file;
    if (!file.check(path)) {
        warn(file.error());
        return;
    }
    ParseRecipientField(false);

    m_jobs.begin(m_dialog, int(file.lineCount()), false);
    // The load's own stop, set by 中斷 (the events processed between lines take the press).
    StopFlag stop;
    QObject whileLoading;
    connect(&m_jobs, &JobSupervisor::stopRequested, &whileLoading, [&stop] { stop.request(); });
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const JobChannel& channel = m_jobs.registry().channel();
    const bool read = file.readRows(
        m_parsed,
        [&sinceEvents, &channel] {
            channel.postShowProcess(StateListLoading);
            if (sinceEvents.elapsed() >= kLoadEventsEveryMs) {
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
        },
        &stop);
    m_listHasText = std::any_of(m_parsed.ListFileRows.cbegin(), m_parsed.ListFileRows.cend(),
                                [](const auto& row) { return row.second.content[0] != '\0'; });
    emit listFileRead();
    RenderRecipientField();
    channel.postShowProcess(StateListLoaded);
    emit fieldReplaced();

    // The dialog stays disabled until the load's end is confirmed, so the notes go above the progress window.
    // A file that changed while it was read has left no rows: that is what the user learns.
    const QString notes = read ? ListFileRowNotes(m_parsed, file.cutLines()) : file.error();
    if (!notes.isEmpty())
        prompts().okBox(m_jobs.progressWindow(), Prompts::Icon::Warning, QStringLiteral("Norvi簡訊服務軟體"), notes);
}

void RecipientsBox::offerSeparatedNumbers() {
    const QStringList typed = EntriesWithSeparatedNumbers(m_parsed.RecipientList);
    if (typed.isEmpty() ||
        !prompts().confirm(m_dialog, QStringLiteral("Norvi簡訊服務軟體"), SeparatedNumbersQuestion(typed)))
        return;
    SplitSeparatedNumbers(m_parsed.RecipientList);
    m_form.m_richEditMT->setEntries(m_parsed.RecipientList);
    ParseRecipientField(true);
}

void RecipientsBox::offerBookEntries() {
    bool replaced = false;
    for (sMtData& entry : m_parsed.RecipientList) {
        if (entry.kind != KindTyped)
            continue;
        const QByteArray text = getField(entry.label);
        // A number is meant as one, whatever a member may be called.
        if (IsPhoneNumber(text))
            continue;
        // Only a name that means one entry is offered: with two of that name the user must pick.
        const NamedEntry named = RecipientEntryForName(m_book, text);
        if (!named.ok)
            continue;
        const QString question = named.entry.id > 0 ? QStringLiteral("%1 是通訊錄中的成員，要改用通訊錄的門號？")
                                                    : QStringLiteral("%1 是通訊錄中的群組，要改用通訊錄的群組？");
        if (!prompts().confirm(m_dialog, QStringLiteral("Norvi簡訊服務軟體"), question.arg(fromBig5(text))))
            continue;
        entry = named.entry;
        replaced = true;
    }
    if (!replaced)
        return;
    // The field shows what will be sent, and its entries' places are read again for a later selection.
    m_form.m_richEditMT->setEntries(m_parsed.RecipientList);
    ParseRecipientField(true);
}

void RecipientsBox::selectFirstNamed(const SendQueueResult& queued) {
    int first = -1;
    if (queued.odd.count() > 0)
        FindOddNumbers(m_parsed, &first);
    for (const int named : {queued.firstEmptyFieldsEntry, queued.firstBlankEntry})
        if (named >= 0 && (first < 0 || named < first))
            first = named;
    selectEntry(first);
}

// The field asked for the height its text needs: it gets it up to about four lines, and everything below it
// moves down by the growth while the message field gives up as much height.
void RecipientsBox::RichEditMTResizeRequest(int height) {
    const int next = RecipientFieldHeight(height, m_form.m_mtBaseHeight);
    if (next == m_mtHeight)
        return;
    m_form.m_richEditMT->setFixedHeight(next);
    m_mtHeight = next;
    // At once, so the controls below are in their places before the next key.
    m_dialog->layout()->activate();
}

void RecipientsBox::RichEditMTUnmappable(const QString& character) {
    warn(unmappableMessage(character));
}

void RecipientsBox::warn(const QString& text) {
    prompts().okBox(m_dialog, Prompts::Icon::Warning, QStringLiteral("Norvi簡訊服務軟體"), text);
}

} // namespace norvi
