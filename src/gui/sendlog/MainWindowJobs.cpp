#include "gui/sendlog/MainWindowJobs.h"

#include "core/compose/OptOutList.h"
#include "core/sendlog/ModelJobRows.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"
#include "core/shared/SendSettings.h"
#include "core/workers/JobStarter.h"
#include "core/workers/QueryJob.h"
#include "core/workers/SendLogJobs.h"
#include "core/workers/SendThd.h"
#include "core/workers/StopRows.h"
#include "gui/sendlog/TFormMain.h"
#include "gui/shared/Prompts.h"
#include "gui/workers/JobSupervisor.h"

namespace norvi {

namespace {
const QString kProgramTitle = QStringLiteral("Norvi簡訊服務軟體");
} // namespace

MainWindowJobs::MainWindowJobs(TFormMain& main, JobSupervisor& jobs, const Config& config)
    : m_main(main), m_jobs(jobs), m_config(config) {
    connect(&m_main, &TFormMain::queryRowsRequested, this, [this] { startRowJob(WorkerMode::Query); });
    connect(&m_main, &TFormMain::cancelRowsRequested, this, [this] { startRowJob(WorkerMode::Cancel); });
    connect(&m_main, &TFormMain::resendRequested, this, [this] { resendRows(ResendScope::Failed); });
    connect(&m_main, &TFormMain::undeliveredResendRequested, this, [this] { resendRows(ResendScope::DeliveryFailed); });
}

void MainWindowJobs::showResultBox(const QByteArray& msgId, const QByteArray& text) {
    prompts().okBox(&m_main, Prompts::Icon::Information, fromBig5(msgId), fromBig5(text));
}

bool MainWindowJobs::continueAfterTransportFailures(int failures, WorkerMode mode) {
    // The main window is disabled under the job's progress window; the question belongs to the latter.
    return m_jobs.askWhileRunning(m_jobs.progressWindow(), kProgramTitle, StopRows::continueQuestion(failures, mode));
}

bool MainWindowJobs::resolveGateway(GatewayTarget* gateway) {
    QString error;
    if (ResolveGateway(m_config.record(), gateway, &error))
        return true;
    prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, error);
    return false;
}

bool MainWindowJobs::refuseWhileBusy() {
    if (!m_jobs.busy() && !m_jobs.registry().workerRegistered())
        return false;
    prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, WorkerBusyText());
    return true;
}

// The progress window is shown before the worker starts, so none of its steps reach the previous
// operation's run; it belongs to the send log and keeps it disabled until the user confirms the end.
void MainWindowJobs::startRowJob(WorkerMode mode) {
    GatewayTarget gateway;
    if (refuseWhileBusy() || !resolveGateway(&gateway))
        return;
    ModelJobRows& log = m_main.jobRows();
    if (mode == WorkerMode::Cancel) {
        const int rows = QueryJob::rowsToAsk(RowsToWalk(log, log.chosenRows().isEmpty()), mode);
        if (rows > 0 && !prompts().confirmIrreversible(&m_main, kProgramTitle, CancelQuestion(rows)))
            return;
    }
    const int selected = log.chosenRows().size();
    m_main.prepareProgress(selected > 0 ? selected : log.rowCount());
    int maximum = 0;
    QString error;
    SendThd* worker = nullptr;
    if (!StartRowJobFromLog(m_jobs.registry(), gateway, mode, this, &log, &log, &maximum, &error, &worker)) {
        m_jobs.abandon();
        prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, error);
        return;
    }
    m_jobs.workerStarted(worker);
}

// As the send dialog's summary offers it for a send: a resend at 23:40 texts people at night too.
bool MainWindowJobs::askNightResend(QByteArray* bookedFor) {
    QString problem;
    const QuietHours quiet = ReadSendSettings(m_config.StartDir(), &problem).quiet;
    if (!problem.isEmpty())
        ShowMsgLine(big5(problem));
    const QDateTime now = Clock::now();
    if (!quiet.contains(now))
        return true;
    const Prompts::Answer answer = prompts().message(&m_main, Prompts::Icon::Question, Prompts::Buttons::YesNoCancel,
                                                     kProgramTitle, ResendNightQuestion(quiet), Prompts::Answer::Yes);
    if (answer == Prompts::Answer::Cancel)
        return false;
    if (answer == Prompts::Answer::Yes)
        *bookedFor = ResendMorning(quiet, now);
    const QString booked = QDateTime::fromString(QString::fromLatin1(*bookedFor), QStringLiteral("yyyyMMddHHmmss"))
                               .toString(QStringLiteral("yyyy/MM/dd HH:mm"));
    WriteOpLog(big5(ResendNightText(quiet) + (bookedFor->isEmpty()
                                                  ? QStringLiteral("，失敗重發照常傳送")
                                                  : QStringLiteral("，失敗重發改為 %1 預約傳送").arg(booked))));
    return true;
}

void MainWindowJobs::resendRows(ResendScope scope) {
    if (refuseWhileBusy())
        return;
    // A number on the stop list is never sent again, whatever its row says.
    OptOutList optOut;
    QString error;
    if (!ReadOptOutFile(OptOutPath(m_config.StartDir()), &optOut, &error)) {
        prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, error);
        return;
    }
    // A line kept as it was stops nobody: the resend says so, as the send dialog does.
    if (optOut.damagedLines() > 0) {
        ShowMsgLine(big5(optOut.damageText()));
        WriteOpLog(big5(optOut.damageText()));
    }
    ResendChoice choice = ChooseResendRows(m_main.jobRows(), scope);
    LeaveOutStoppedRows(choice, m_main.jobRows(), optOut);
    // Rows that may have reached their recipients go again only when the user says so.
    bool includeUncertain = false;
    const int uncertain = int(choice.uncertain.size());
    if (uncertain > 0) {
        const Prompts::Answer answer =
            prompts().message(&m_main, Prompts::Icon::Question, Prompts::Buttons::YesNoCancel, kProgramTitle,
                              ResendUncertainQuestion(uncertain), Prompts::Answer::No);
        if (answer == Prompts::Answer::Cancel)
            return;
        includeUncertain = answer == Prompts::Answer::Yes;
    }
    int queued = 0;
    QString leftOut;
    std::list<sSendContent> SendQueue;
    QVector<int> resent;
    QVector<int> stopped;
    if (!QueueFailedRows(m_jobs.registry(), m_main.jobRows(), SendQueue, &queued, &error, includeUncertain, &leftOut,
                         &resent, &optOut, &stopped, scope)) {
        prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, error);
        return;
    }
    // The list shows what the resend takes: those rows and no other are selected, even when it takes none.
    m_main.jobRows().selectExactly(resent);
    for (const QString& text : StoppedRowTexts(m_main.jobRows(), stopped)) {
        ShowMsgLine(big5(text));
        WriteOpLog(big5(text));
    }
    if (queued == 0) {
        prompts().notice(&m_main, Prompts::Icon::Information, kProgramTitle,
                         leftOut.isEmpty() ? NothingToResendText(scope) : NothingToResendText(scope) + u'\n' + leftOut);
        return;
    }
    GatewayTarget gateway;
    if (!resolveGateway(&gateway))
        return;
    QByteArray bookedFor;
    if (!askNightResend(&bookedFor))
        return;
    if (!m_main.ConfirmClearLog())
        return;
    // The question may stand open past the morning the resend was booked for: the gateway refuses a
    // reservation in the past, and the night it kept away from is over, so the resend goes now.
    if (!bookedFor.isEmpty() &&
        QDateTime::fromString(QString::fromLatin1(bookedFor), QStringLiteral("yyyyMMddHHmmss")) < Clock::now()) {
        bookedFor.clear();
        WriteOpLog(big5(QStringLiteral("夜間已結束，失敗重發改為立即傳送")));
    }
    m_main.prepareProgress(queued);
    SendThd* worker = nullptr;
    if (!StartResend(m_jobs.registry(), gateway, this, &m_main.jobRows(), std::move(SendQueue), &error, &worker,
                     leftOut, bookedFor)) {
        m_jobs.abandon();
        prompts().okBox(&m_main, Prompts::Icon::Warning, kProgramTitle, error);
        return;
    }
    m_jobs.workerStarted(worker);
}

} // namespace norvi
