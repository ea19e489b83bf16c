#include "core/workers/JobStarter.h"

#include "core/sendlog/JobRows.h"
#include "core/sendlog/LogStream.h"
#include "core/sendlog/RowJournal.h"
#include "core/sendlog/RunPlan.h"
#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/Progress.h"
#include "core/workers/JobOwner.h"
#include "core/workers/JobRegistry.h"
#include "core/workers/SendJob.h"
#include "core/workers/SendThd.h"

#include <algorithm>
#include <functional>

namespace norvi {

namespace {

void setError(QString* errorText, const QString& text) {
    if (errorText)
        *errorText = text;
}

// Registers and resumes the worker `make` creates, with its send log and journal, unless a job runs.
bool launch(JobRegistry& jobs, const std::function<SendThd*(int32_t index)>& make, JobRows* sendLog,
            RowAnswers* answers, LogStream* journal, QString* errorText, SendThd** started) {
    const bool launched = jobs.launch(
        make,
        [&](SendThd* worker) {
            worker->setSendLog(sendLog, answers);
            worker->setJournal(journal);
        },
        started);
    if (!launched)
        setError(errorText, WorkerBusyText());
    return launched;
}

// Every short message of the run beside its journal, on disk before the first request, so that a run killed
// half-way leaves who it never reached. False with `error`: nothing may be sent then.
bool writeRunPlan(const LogStream& journal, SendFeed& feed, QString* error) {
    RunPlanWriter plan(journal.path(), journal.rowCount());
    bool ok = plan.open();
    if (ok) {
        std::vector<QByteArray> segments;
        ok = feed.forEachPlanned([&](const sSendContent& record) {
            segments.clear();
            // As the worker takes them: a damaged count never reads past the six segments of the block.
            const int count = std::clamp(int(record.segmentCount), 0, kSegmentCount);
            for (int k = 0; k < count; ++k)
                segments.push_back(getField(record.segments[k]));
            plan.add(SendJob::rowImage(record.kind), getField(record.name), getField(record.msisdn), segments);
        });
        if (!ok) {
            setError(error, QStringLiteral("發訊名單檔案在傳送前被更改，沒有傳送任何簡訊。"));
            return false;
        }
        ok = plan.commit();
    }
    if (!ok)
        setError(error,
                 QStringLiteral("無法寫入傳送計畫（%1），為免程式中斷時無從得知哪些受訊者沒有收到，沒有傳送任何簡訊。")
                     .arg(plan.errorString()));
    return ok;
}

} // namespace

QString WorkerBusyText() {
    return QStringLiteral("上一個作業尚未結束，請稍候再試。");
}

bool StartWorker(JobRegistry& jobs, RowJob job, RowAnswers* answers, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    // A send run has its messages and settings in its SendRun value; none are made up here.
    if (job.mode == WorkerMode::Send) {
        setError(errorText, QStringLiteral("沒有要傳送的簡訊，作業未啟動。"));
        return false;
    }
    // Only list jobs answer into the send log; a single MsgId needs none.
    if (!answers && job.singleMsgId.isEmpty()) {
        setError(errorText, QStringLiteral("沒有可寫入的發訊紀錄，作業未啟動。"));
        return false;
    }
    return launch(
        jobs, [&](int32_t index) { return new SendThd(jobs, std::move(job), index); }, nullptr, answers, nullptr,
        errorText, started);
}

bool StartSendWorker(JobRegistry& jobs, SendRun run, JobRows* sendLog, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    if (!sendLog) {
        setError(errorText, QStringLiteral("沒有可寫入的發訊紀錄，作業未啟動。"));
        return false;
    }
    // A send run's rows are recorded before anything else is done with them: a journal that cannot be
    // started keeps the run from sending anything.
    LogStream* journal = nullptr;
    if (jobs.journal() && !jobs.workerRegistered()) {
        QString why;
        journal = jobs.journal()->beginRun(&why);
        if (!journal || (run.feed && !writeRunPlan(*journal, *run.feed, &why))) {
            setError(errorText, why);
            return false;
        }
    }
    // The rows this run adds are told from those of every other run: one list may name a message twice.
    sendLog->startRun();
    return launch(
        jobs, [&](int32_t index) { return new SendThd(jobs, std::move(run), index); }, sendLog, nullptr, journal,
        errorText, started);
}

bool StartSendRun(JobRegistry& jobs, SendRun run, JobRows* sendLog, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    if (jobs.workerRegistered()) {
        setError(errorText, WorkerBusyText());
        return false;
    }
    jobs.channel().postShowProcess(StateCounting);
    return StartSendWorker(jobs, std::move(run), sendLog, errorText, started);
}

} // namespace norvi
