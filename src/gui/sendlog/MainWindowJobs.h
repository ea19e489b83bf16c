#pragma once

#include "core/shared/Config.h"
#include "core/workers/JobOwner.h"
#include "core/workers/WorkerMode.h"

#include <QObject>

namespace norvi {

class JobSupervisor;
class TFormMain;

// The jobs started from the send log's pop-up menu: query and cancel the listed messages and resend
// the failed ones. It answers the main window's requests and stands as the worker's owner window (the
// send log, never the send dialog: every resent message goes at once and without a limit).
class MainWindowJobs : public QObject, public JobOwner {
    Q_OBJECT
public:
    // Jobs log in as `config` stands when each is asked for.
    MainWindowJobs(TFormMain& main, JobSupervisor& jobs, const Config& config);

    // JobOwner
    void closeForm() override {}
    void showResultBox(const QByteArray& msgId, const QByteArray& text) override;
    bool continueAfterTransportFailures(int failures, WorkerMode mode) override;

private:
    void startRowJob(WorkerMode mode);
    void resendFailedRows();
    bool refuseWhileBusy();
    bool resolveGateway(GatewayTarget* gateway);
    // A resend inside quiet hours asks whether to book it for their end (`bookedFor`); false after 取消.
    bool askNightResend(QByteArray* bookedFor);

    TFormMain& m_main;
    JobSupervisor& m_jobs;
    const Config& m_config;
};

} // namespace norvi
