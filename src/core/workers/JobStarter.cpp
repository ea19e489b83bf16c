#include "core/workers/JobStarter.h"

#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Global.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobOwner.h"
#include "core/workers/SendThd.h"
#include "core/workers/WorkerState.h"

#include <functional>

namespace norvi {

namespace {
constexpr int32_t kWorkerIndex = 1; // every starter of the program uses index 1

void setError(QString* errorText, const QString& text) {
    if (errorText)
        *errorText = text;
}
} // namespace

bool WorkerRegistered() {
    std::lock_guard<std::mutex> guard(JobLock);
    return !WorkerList.empty();
}

QString WorkerBusyText() {
    return QStringLiteral("上一個作業尚未結束，請稍候再試。");
}

namespace {

// Registers and resumes the worker `make` creates, under the lock that keeps a second job out.
bool launch(const std::function<SendThd*()>& make, JobRows* sendLog, LogStream* journal, QString* errorText,
            SendThd** started) {
    SendThd* worker = nullptr;
    {
        std::lock_guard<std::mutex> guard(JobLock);
        if (!WorkerList.empty()) {
            setError(errorText, WorkerBusyText());
            return false;
        }
        worker = make();
        worker->setSendLog(sendLog);
        worker->setJournal(journal);
        // The event tells "no job running"; it is set again by the worker that ends last.
        SendEvent.reset();
        // A stop asked for before this job (a list load's 中斷, an earlier run's) does not end it; its
        // counts start from nothing.
        ClearStop();
        JobActivity.reset();
        WorkerList.push_back(sSendThd{worker, kWorkerIndex});
        // The worker finds its entry without the lock, which is safe because it is in the list before the
        // thread starts; the worker's own removal waits for the lock held here.
        worker->resume();
    }
    // The worker is freed on this thread only (deleteLater), so the caller can hand it on before it goes.
    if (started)
        *started = worker;
    return true;
}

} // namespace

bool StartWorker(RowJob job, JobRows* sendLog, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    // A send run has its messages and settings in its SendRun value; none are made up here.
    if (job.mode == WorkerMode::Send) {
        setError(errorText, QStringLiteral("沒有要傳送的簡訊，作業未啟動。"));
        return false;
    }
    // Only list jobs walk the send log; a single MsgId needs none.
    if (!sendLog && job.singleMsgId.isEmpty()) {
        setError(errorText, QStringLiteral("沒有可寫入的發訊紀錄，作業未啟動。"));
        return false;
    }
    return launch([&] { return new SendThd(std::move(job), kWorkerIndex); }, sendLog, nullptr, errorText, started);
}

bool StartSendWorker(SendRun run, JobRows* sendLog, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    if (!sendLog) {
        setError(errorText, QStringLiteral("沒有可寫入的發訊紀錄，作業未啟動。"));
        return false;
    }
    // A send run's rows are recorded before anything else is done with them: a journal that cannot be
    // started keeps the run from sending anything.
    LogStream* journal = nullptr;
    if (RunJournal && !WorkerRegistered()) {
        QString why;
        journal = RunJournal->beginRun(&why);
        if (!journal) {
            setError(errorText, why);
            return false;
        }
    }
    return launch([&] { return new SendThd(std::move(run), kWorkerIndex); }, sendLog, journal, errorText, started);
}

bool StartSendRun(SendRun run, JobRows* sendLog, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    if (WorkerRegistered()) {
        setError(errorText, WorkerBusyText());
        return false;
    }
    PostShowProcess(StateCounting);
    ClearStop();
    return StartSendWorker(std::move(run), sendLog, errorText, started);
}

} // namespace norvi
