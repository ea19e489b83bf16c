#include "gui/compose/SendDialogRun.h"

#include "core/addressbook/AddressBook.h"
#include "core/compose/OptOutList.h"
#include "core/compose/SendValidation.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/OpLog.h"
#include "core/shared/SendSettings.h"
#include "core/workers/JobStarter.h"
#include "core/workers/SendThd.h"
#include "gui/compose/RecipientsBox.h"
#include "gui/compose/RichEditMT.h"
#include "gui/compose/SendDialogForm.h"
#include "gui/compose/TFormSendSummary.h"
#include "gui/sendlog/SendLogKeeper.h"
#include "gui/shared/Prompts.h"
#include "gui/workers/JobSupervisor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace norvi {

SendDialogRun::SendDialogRun(SendDialogForm& form, RecipientsBox& recipients, SendLogKeeper& sendLog,
                             JobSupervisor& jobs, AddressBook& book, const Config& config, JobOwner& owner,
                             QDialog* dialog)
    : QObject(dialog), m_form(form), m_recipients(recipients), m_sendLog(sendLog), m_jobs(jobs), m_book(book),
      m_config(config), m_owner(owner), m_dialog(dialog) {
    connect(m_form.ButtonSend, &QPushButton::clicked, this, &SendDialogRun::ButtonSendClick);
}

// 傳送: every check in its order; the first that fails says why and leaves the dialog as it is.
void SendDialogRun::ButtonSendClick() {
    if (m_jobs.registry().workerRegistered()) {
        warn(WorkerBusyText());
        return;
    }
    SendRequest request;
    request.recipientCount = m_recipients.ParseRecipientField(true);
    request.reservation = m_form.RadioButtonSendOrder->isChecked();
    request.year = m_form.ComboBoxOTYear->currentText();
    request.month = m_form.ComboBoxOTMonth->currentText();
    request.day = m_form.ComboBoxOTDay->currentText();
    request.hour = m_form.ComboBoxOTHour->currentText();
    request.minute = m_form.ComboBoxOTMinute->currentText();
    request.limitChecked = m_form.CheckBoxExpTime->isChecked();
    request.limitHour = m_form.ComboBoxExpHour->currentText();
    request.limitMinute = m_form.ComboBoxExpMinute->currentText();
    request.message = m_form.MemoSM->toPlainText();
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
    m_recipients.offerSeparatedNumbers();
    m_recipients.offerBookEntries();
    startRun(gateway, checked.message);
}

// The run as the summary's answers leave it: built with the stop list and without duplicates, counted, and
// shown in the summary box (when the settings want it shown), which may ask for it to be built again with
// duplicates, with recipients that are no number, or without those a template leaves a field empty for. False
// when nothing is to be sent.
bool SendDialogRun::askSummary(const ComposeInput& input, std::list<sSendContent>& SendQueue, SendQueueResult* queued,
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
    const SummarySchedule schedule{m_form.RadioButtonSendOrder->isChecked(), m_orderTime, m_limitMinutes};
    const auto count = [&] {
        *queued = BuildSendQueue(m_book, input, m_recipients.recipients(), SendQueue, filter);
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
    TFormSendSummary box(*summary, settings.summary, m_dialog);
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
        m_recipients.selectFirstNamed(*queued);
        return false;
    }
    *summary = box.summary();
    return true;
}

// The operation log names who the run leaves out on the stop list and for a blank message, and what was chosen
// for a night run and for recipients a template leaves a field empty for.
void SendDialogRun::logSummaryChoices(const SendQueueResult& queued, const SendSummary& summary,
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
    if (const SummaryLine* blank = summary.line(SummaryTopic::BlankTexts))
        lines << big5(blank->text);
    for (const QByteArray& line : lines)
        WriteOpLog(line);
    if (queued.optedOut > 0)
        ShowMsgLine(big5(QStringLiteral("拒收 %1 筆未傳送（名單見運作記錄）").arg(queued.optedOut)));
}

void SendDialogRun::startRun(const GatewayTarget& gateway, const QByteArray& message) {
    // Built and answered before the send log is offered for clearing: a run that cannot be sent (a number too
    // long, no recipient with a number) or that the user takes back in the summary leaves the dialog and the
    // log as they were.
    std::list<sSendContent> SendQueue;
    SendQueueResult queued;
    SendSummary summary;
    if (!askSummary(ComposeInput::fromText(message, m_form.RadioButtonReplaceMsg->isChecked()), SendQueue, &queued,
                    &summary))
        return;
    SummarySchedule taken = summary.scheduleTaken();
    bool morningPassed = false;
    if (!reservationAhead(summary, taken, &morningPassed) || !m_sendLog.ConfirmClearLog() ||
        !reservationAhead(summary, taken, &morningPassed))
        return;
    logSummaryChoices(queued, summary, taken);
    if (morningPassed) {
        WriteOpLog(big5(QStringLiteral("夜間已結束，改為立即傳送")));
        taken = summary.schedule;
    }
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
    SendRun run = SendRun::ofQueue(std::move(SendQueue), gateway, &m_owner,
                                   SendSchedule{taken.reservation, taken.orderTime.toLatin1(), taken.limitMinutes});
    run.endNote = BlankTextsEndNote(queued.blank);
    // The dialog keeps its modal show under the progress window until the user confirms the run's end,
    // which closes it; whoever opened it gets the screen back only then.
    m_jobs.begin(m_dialog, queued.totalCount, true);
    QString error;
    SendThd* worker = nullptr;
    if (!StartSendRun(m_jobs.registry(), std::move(run), &m_sendLog.jobRows(), &error, &worker)) {
        // Nothing runs: the progress window would wait for an end that never comes.
        m_jobs.abandon();
        warn(error);
        return;
    }
    m_jobs.workerStarted(worker);
    if (m_form.CheckBoxFollowUp->isChecked())
        emit followUpRequested();
    m_form.m_richEditMT->clear();
    m_lastText = m_form.MemoSM->toPlainText();
}

// The time was checked when 傳送 was pressed, but the summary and the send log's questions may stay open past
// it: the gateway refuses a reservation in the past, so every message of the run would fail. A time the user
// chose is refused; the morning a night run was moved to (the user asked for no reservation) only kept the
// night away, and once it has passed the run goes at once (`morningPassed`).
bool SendDialogRun::reservationAhead(const SendSummary& summary, const SummarySchedule& taken, bool* morningPassed) {
    if (!taken.reservation || *morningPassed)
        return true;
    const QString error = CheckReservation(taken.orderTime, Clock::now());
    if (error.isEmpty())
        return true;
    if (!summary.schedule.reservation) {
        *morningPassed = true;
        return true;
    }
    warn(error);
    return false;
}

void SendDialogRun::warn(const QString& text) {
    prompts().okBox(m_dialog, Prompts::Icon::Warning, QStringLiteral("Norvi簡訊服務軟體"), text);
}

} // namespace norvi
