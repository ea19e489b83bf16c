// The send dialog's commands that reach beyond the dialog: the member picker, the list-file load, the preview
// and the send run.

#include "gui/compose/TFormSendSMS.h"

#include "core/compose/EntryLookup.h"
#include "core/compose/ListFileInput.h"
#include "core/compose/MessageCount.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SendValidation.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/compose/RichEditMT.h"
#include "gui/sendlog/SendLogKeeper.h"
#include "gui/sendlog/TFormShowMsg.h"
#include "gui/shared/Prompts.h"
#include "gui/workers/JobSupervisor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace norvi {

namespace {

// While a list loads on this thread, the progress window is repainted and its 中斷 is taken this often.
constexpr qint64 kLoadEventsEveryMs = 40;

} // namespace

void TFormSendSMS::SpeedButtonMTClick() {
    ParseRecipientField(true);
    TFormSelectMember picker(m_book, this);
    if (picker.pickRecipients(m_parsed.RecipientList)) {
        RenderRecipientField();
        showCount(m_msgCount, m_droppedCharacters);
    }
}

void TFormSendSMS::SpeedButtonLoadMTClick() {
    LoadRecipientFile();
}

// 上載...: the file is read and checked before anything changes; then the rows of a file loaded before
// leave the field, the new rows are read line by line under the progress window and join the field in
// italics after the entries that stay. The file is read a piece at a time both times, never held whole.
void TFormSendSMS::LoadRecipientFile() {
    const QString path =
        prompts().openFileName(this, QStringLiteral("載入發訊名單"), QStringLiteral("所有檔案(*.*)|*.*"));
    if (path.isEmpty())
        return;
    RecipientListFile file;
    if (!file.check(path)) {
        warn(file.error());
        return;
    }
    ParseRecipientField(false);

    m_jobs.begin(this, int(file.lineCount()), false);
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
    findOverlongRows();
    RenderRecipientField();
    channel.postShowProcess(StateListLoaded);
    showCount(m_msgCount, m_droppedCharacters);

    // The dialog stays disabled until the load's end is confirmed, so the notes go above the progress window.
    // A file that changed while it was read has left no rows: that is what the user learns.
    const QString notes = read ? ListFileRowNotes(m_parsed, file.cutLines()) : file.error();
    if (!notes.isEmpty())
        prompts().okBox(m_jobs.progressWindow(), Prompts::Icon::Warning, QStringLiteral("Norvi簡訊服務軟體"), notes);
}

void TFormSendSMS::SpeedButtonPreviewClick() {
    if (m_overlongTimer->isActive()) {
        findOverlongRows();
        updateListTextNote();
    }
    Segments row;
    bool ownText = selectedRowSegments(&row);
    // What the first recipient gets when the list's second column replaces the message.
    if (!ownText && !LabelListText->isHidden()) {
        const int32_t line = firstRowWithText();
        if (line >= 0) {
            row = RowSegments(getField(m_parsed.ListFileRows.at(line).content), big5(MemoSM->toPlainText()), false);
            ownText = true;
        }
    }
    const Segments& shown = ownText ? row : m_msgSegments;
    TFormShowMsg viewer(this);
    viewer.setWindowTitle(QStringLiteral("簡訊預覽"));
    QString text = PreviewText(shown.block, shown.count, ownText ? 0 : m_droppedCharacters);
    if (!LabelRowsTooLong->isHidden())
        text += QStringLiteral("\n") + LabelRowsTooLong->text();
    viewer.showText(text);
    prompts().execDialog(&viewer);
}

// 傳送: every check in its order; the first that fails says why and leaves the dialog as it is.
void TFormSendSMS::ButtonSendClick() {
    if (m_jobs.registry().workerRegistered()) {
        warn(WorkerBusyText());
        return;
    }
    SendRequest request;
    request.recipientCount = ParseRecipientField(true);
    request.reservation = RadioButtonSendOrder->isChecked();
    request.year = ComboBoxOTYear->currentText();
    request.month = ComboBoxOTMonth->currentText();
    request.day = ComboBoxOTDay->currentText();
    request.hour = ComboBoxOTHour->currentText();
    request.minute = ComboBoxOTMinute->currentText();
    request.limitChecked = CheckBoxExpTime->isChecked();
    request.limitHour = ComboBoxExpHour->currentText();
    request.limitMinute = ComboBoxExpMinute->currentText();
    request.message = MemoSM->toPlainText();
    m_limitMinutes = 0;
    const SendValidationResult checked = ValidateSend(request);
    if (!checked.ok) {
        warn(checked.error);
        return;
    }
    if (request.reservation)
        m_orderTime = checked.orderTime;
    m_limitMinutes = checked.limitMinutes;

    QString error;
    GatewayTarget gateway;
    if (!ResolveGateway(m_config.record(), &gateway, &error)) {
        warn(error);
        return;
    }
    offerBookEntries();
    startRun(gateway, checked.message);
}

void TFormSendSMS::offerBookEntries() {
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
        if (!prompts().confirm(this, QStringLiteral("Norvi簡訊服務軟體"), question.arg(fromBig5(text))))
            continue;
        entry = named.entry;
        replaced = true;
    }
    if (!replaced)
        return;
    // The field shows what will be sent, and its entries' places are read again for a later selection.
    m_richEditMT->setEntries(m_parsed.RecipientList);
    ParseRecipientField(true);
}

bool TFormSendSMS::confirmOddNumbers() {
    int first = -1;
    const OddNumbers odd = FindOddNumbers(m_parsed, &first);
    if (odd.empty() || prompts().confirm(this, QStringLiteral("Norvi簡訊服務軟體"), odd.question()))
        return true;
    selectEntry(first);
    return false;
}

void TFormSendSMS::startRun(const GatewayTarget& gateway, const QByteArray& message) {
    // Built before the send log is offered for clearing: a run that cannot be sent (a number too long, no
    // recipient with a number) is refused with the dialog and the log as they were.
    std::list<sSendContent> SendQueue;
    const SendQueueResult queued = BuildSendQueue(
        m_book, ComposeInput::fromText(message, RadioButtonReplaceMsg->isChecked()), m_parsed, SendQueue);
    if (!queued.ok) {
        warn(queued.message);
        return;
    }
    // Asked once the run is known to be sendable, so nobody answers for a run refused anyway.
    if (!confirmOddNumbers())
        return;
    if (!m_sendLog.ConfirmClearLog())
        return;
    for (const QString& skipped : queued.skipped) {
        ShowMsgLine(big5(skipped));
        WriteOpLog(big5(skipped));
    }
    if (queued.missingEntries > queued.skipped.size()) {
        const QByteArray more = big5(QStringLiteral("另有 %1 個已不在通訊錄中的受訊者已略過。")
                                         .arg(queued.missingEntries - queued.skipped.size()));
        ShowMsgLine(more);
        WriteOpLog(more);
    }

    // The run takes its settings as they are now: the dialog may change, or open for the next run, meanwhile.
    SendRun run =
        SendRun::ofQueue(std::move(SendQueue), gateway, this,
                         SendSchedule{RadioButtonSendOrder->isChecked(), m_orderTime.toLatin1(), m_limitMinutes});
    // The dialog keeps its modal show under the progress window until the user confirms the run's end,
    // which closes it; whoever opened it gets the screen back only then.
    m_jobs.begin(this, queued.totalCount, true);
    m_totalCount = queued.totalCount;
    QString error;
    SendThd* worker = nullptr;
    if (!StartSendRun(m_jobs.registry(), std::move(run), &m_sendLog.jobRows(), &error, &worker)) {
        // Nothing runs: the progress window would wait for an end that never comes.
        m_jobs.abandon();
        warn(error);
        return;
    }
    m_jobs.workerStarted(worker);
    if (CheckBoxFollowUp->isChecked())
        emit followUpRequested();
    m_richEditMT->clear();
    m_lastText = MemoSM->toPlainText();
}

} // namespace norvi
