#include "core/workers/JobStarter.h"

#include "core/compose/ComposeState.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Big5.h"
#include "core/shared/Global.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/JobOwner.h"
#include "core/workers/SendThd.h"
#include "core/workers/WorkerState.h"

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

bool StartWorker(const GatewayTarget& gateway, WorkerMode mode, JobOwner* owner, JobRows* sendLog,
                 const QByteArray& singleMsgId, QString* errorText, SendThd** started) {
    if (started)
        *started = nullptr;
    // Only list and send jobs walk the send log; a single MsgId needs none.
    if (!sendLog && (mode == WorkerMode::Send || singleMsgId.isEmpty())) {
        setError(errorText, QStringLiteral("沒有可寫入的發訊紀錄，作業未啟動。"));
        return false;
    }
    // A send run's rows are recorded before anything else is done with them: a journal that cannot be
    // started keeps the run from sending anything.
    LogStream* journal = nullptr;
    if (mode == WorkerMode::Send && RunJournal && !WorkerRegistered()) {
        QString why;
        journal = RunJournal->beginRun(&why);
        if (!journal) {
            setError(errorText, why);
            return false;
        }
    }
    // The send dialog's reservation settings are the run's from its start: taken here, on the
    // user-interface thread, rather than asked for by the worker.
    std::optional<SendSchedule> schedule;
    if (mode == WorkerMode::Send && owner && owner->isSendDialog())
        schedule = owner->sendSchedule();
    SendThd* worker = nullptr;
    {
        std::lock_guard<std::mutex> guard(JobLock);
        if (!WorkerList.empty()) {
            setError(errorText, WorkerBusyText());
            return false;
        }
        worker = new SendThd(mode, kWorkerIndex, gateway, owner, singleMsgId, schedule);
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

bool StartSendRun(const GatewayTarget& gateway, JobOwner* sendDialog, JobRows* sendLog,
                  const std::function<int()>& buildQueue, int* totalCount, QString* errorText, SendThd** started) {
    if (totalCount)
        *totalCount = 0;
    if (started)
        *started = nullptr;
    // SendQueue is read by the running worker without a lock, so it is only rebuilt when none runs.
    if (WorkerRegistered()) {
        setError(errorText, WorkerBusyText());
        return false;
    }
    PostShowProcess(StateCounting);
    SendQueue.clear();
    const int total = buildQueue ? buildQueue() : 0;
    if (totalCount)
        *totalCount = total;
    ClearStop();
    return StartWorker(gateway, WorkerMode::Send, sendDialog, sendLog, QByteArray(), errorText, started);
}

} // namespace norvi
