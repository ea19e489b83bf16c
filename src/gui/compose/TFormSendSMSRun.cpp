// The send dialog's commands that reach beyond the dialog: the member picker, the list-file load, the preview
// and the send run.

#include "gui/compose/TFormSendSMS.h"

#include "core/compose/EntryLookup.h"
#include "core/compose/ListFileInput.h"
#include "core/compose/MessageCount.h"
#include "core/compose/OddNumbers.h"
#include "core/compose/OptOutList.h"
#include "core/compose/RecipientLists.h"
#include "core/compose/SendSummary.h"
#include "core/compose/SendValidation.h"
#include "core/compose/SeparatedNumbers.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/shared/SendSettings.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"
#include "gui/addressbook/TFormSelectMember.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/TFormSendSummary.h"
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
#include <QTextCursor>
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

// 預覽: what the first recipient gets (or the one selected in the field), with 上一位 and 下一位 to step
// through the others; without recipients, the message itself.
void TFormSendSMS::SpeedButtonPreviewClick() {
    if (m_overlongTimer->isActive()) {
        findOverlongRows();
        updateListTextNote();
    }
    const QString tooLong = LabelRowsTooLong->isHidden() ? QString() : QStringLiteral("\n") + LabelRowsTooLong->text();
    const QTextCursor cursor = m_richEditMT->textCursor();
    ParseRecipientField(true);
    const std::vector<sMtData> entries(m_parsed.RecipientList.cbegin(), m_parsed.RecipientList.cend());
    int first = 0;
    for (int i = 0; cursor.hasSelection() && i < int(m_entrySpans.size()); ++i) {
        const FieldSpan& span = m_entrySpans[std::size_t(i)];
        if (cursor.selectionStart() >= span.start && cursor.selectionStart() < span.start + span.length)
            first = i;
    }
    TFormShowMsg viewer(this);
    viewer.setWindowTitle(QStringLiteral("簡訊預覽"));
    if (entries.empty()) {
        viewer.showText(PreviewText(m_msgSegments.block, m_msgSegments.count, m_droppedCharacters) + tooLong);
    } else {
        const ComposeInput input =
            ComposeInput::fromText(big5(MemoSM->toPlainText()), RadioButtonReplaceMsg->isChecked());
        const int count = int(entries.size());
        viewer.showPages(count, first, [this, entries, input, count, tooLong](int i) -> QString {
            return RecipientPreviewText(PreviewRecipient(m_parsed, entries[std::size_t(i)], input), i, count) + tooLong;
        });
    }
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
    offerSeparatedNumbers();
    offerBookEntries();
    startRun(gateway, checked.message);
}

void TFormSendSMS::offerSeparatedNumbers() {
    const QStringList typed = EntriesWithSeparatedNumbers(m_parsed.RecipientList);
    if (typed.isEmpty() ||
        !prompts().confirm(this, QStringLiteral("Norvi簡訊服務軟體"), SeparatedNumbersQuestion(typed)))
        return;
    SplitSeparatedNumbers(m_parsed.RecipientList);
    m_richEditMT->setEntries(m_parsed.RecipientList);
    ParseRecipientField(true);
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

void TFormSendSMS::selectFirstNamed(const SendQueueResult& queued) {
    int first = -1;
    if (queued.odd.count() > 0)
        FindOddNumbers(m_parsed, &first);
    const int empty = queued.firstEmptyFieldsEntry;
    if (empty >= 0 && (first < 0 || empty < first))
        first = empty;
    selectEntry(first);
}

// The run as the summary's answers leave it: built with the stop list and without duplicates, counted, and
// shown in the summary box (when the settings want it shown), which may ask for it to be built again with
// duplicates, with recipients that are no number, or without those a template leaves a field empty for. False
// when nothing is to be sent.
bool TFormSendSMS::askSummary(const ComposeInput& input, std::list<sSendContent>& SendQueue, SendQueueResult* queued,
                              SendSummary* summary) {
    OptOutList optOut;
    QString error;
    if (!ReadOptOutFile(OptOutPath(m_config.StartDir()), &optOut, &error)) {
        warn(error + QStringLiteral("\n拒收名單無法讀取，沒有傳送任何簡訊。"));
        return false;
    }
    if (optOut.damagedLines() > 0) {
        ShowMsgLine(big5(optOut.damageText()));
        WriteOpLog(big5(optOut.damageText()));
    }
    QString problem;
    const SendSettings settings = ReadSendSettings(m_config.StartDir(), &problem);
    if (!problem.isEmpty())
        ShowMsgLine(big5(problem));
    RecipientFilter filter{&optOut, false, true};
    const SummarySchedule schedule{RadioButtonSendOrder->isChecked(), m_orderTime, m_limitMinutes};
    const auto count = [&] {
        *queued = BuildSendQueue(m_book, input, m_parsed, SendQueue, filter);
        *summary = SummarizeSend(*queued, schedule, settings.quiet, Clock::now());
    };
    count();
    // A run refused for itself (a number too long, no number at all) is said at once; one whose recipients the
    // summary left out is shown in it, where the user can take them back.
    if (!queued->ok && queued->leftOut() == 0) {
        warn(queued->message);
        return false;
    }
    if (!summary->shows(settings.summary) && queued->ok)
        return true;
    TFormSendSummary box(*summary, settings.summary, this);
    connect(&box, &TFormSendSummary::recountRequested, &box,
            [&](bool keepDuplicates, bool leaveOutOdd, bool leaveOutEmptyFields) {
                filter.keepDuplicates = keepDuplicates;
                filter.leaveOutOddNumbers = leaveOutOdd;
                filter.leaveOutEmptyFields = leaveOutEmptyFields;
                count();
                box.setSummary(*summary);
            });
    connect(&box, &TFormSendSummary::summaryShownChanged, &box, [this](SummaryShown shown) {
        QString written;
        if (!WriteSummaryShown(m_config.StartDir(), shown, &written))
            warn(written);
    });
    if (prompts().execDialog(&box) != QDialog::Accepted || !queued->ok) {
        selectFirstNamed(*queued);
        return false;
    }
    *summary = box.summary();
    return true;
}

// The operation log names who the run leaves out on the stop list, and what was chosen for a night run and for
// recipients a template leaves a field empty for.
void TFormSendSMS::logSummaryChoices(const SendQueueResult& queued, const SendSummary& summary,
                                     const SummarySchedule& taken) {
    QList<QByteArray> lines;
    for (const QString& named : queued.optedOutNamed)
        lines << big5(QStringLiteral("拒收名單：%1 未傳送").arg(named));
    if (queued.optedOut > queued.optedOutNamed.size())
        lines << big5(QStringLiteral("拒收名單：另有 %1 筆未傳送").arg(queued.optedOut - queued.optedOutNamed.size()));
    if (const SummaryLine* night = summary.line(SummaryTopic::QuietHours)) {
        const bool moved =
            taken.orderTime != summary.schedule.orderTime || taken.reservation != summary.schedule.reservation;
        lines << big5(night->text +
                      (moved ? QStringLiteral("，改為 %1 預約傳送")
                                   .arg(OrderDateTime(taken.orderTime).toString(QStringLiteral("yyyy/MM/dd HH:mm")))
                             : QStringLiteral("，照常傳送")));
    }
    if (const SummaryLine* empty = summary.line(SummaryTopic::EmptyFields))
        lines << big5(empty->text + QStringLiteral("：") + empty->choices.value(empty->chosen));
    for (const QByteArray& line : lines)
        WriteOpLog(line);
    if (queued.optedOut > 0)
        ShowMsgLine(big5(QStringLiteral("拒收 %1 筆未傳送（名單見運作記錄）").arg(queued.optedOut)));
}

void TFormSendSMS::startRun(const GatewayTarget& gateway, const QByteArray& message) {
    // Built and answered before the send log is offered for clearing: a run that cannot be sent (a number too
    // long, no recipient with a number) or that the user takes back in the summary leaves the dialog and the
    // log as they were.
    std::list<sSendContent> SendQueue;
    SendQueueResult queued;
    SendSummary summary;
    if (!askSummary(ComposeInput::fromText(message, RadioButtonReplaceMsg->isChecked()), SendQueue, &queued, &summary))
        return;
    const SummarySchedule taken = summary.scheduleTaken();
    if (!m_sendLog.ConfirmClearLog())
        return;
    logSummaryChoices(queued, summary, taken);
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
    if (taken.reservation)
        m_orderTime = taken.orderTime;

    // The run takes its settings as they are now: the dialog may change, or open for the next run, meanwhile.
    SendRun run = SendRun::ofQueue(std::move(SendQueue), gateway, this,
                                   SendSchedule{taken.reservation, taken.orderTime.toLatin1(), taken.limitMinutes});
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
