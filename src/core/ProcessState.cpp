#include "core/ProcessState.h"

#include "core/exchange/ExchangeState.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/sendlog/RowJournal.h"
#include "core/shared/Clock.h"
#include "core/shared/Global.h"
#include "core/shared/OpLog.h"
#include "core/shared/Progress.h"
#include "core/shared/RunActivity.h"
#include "core/shared/StopSignal.h"
#include "core/workers/SendThd.h"
#include "core/workers/WorkerState.h"

namespace norvi {

// Built in this order and destroyed in reverse: the workers' list outlives nothing it points into.
std::list<sSendThd> WorkerList;
RowJournal* RunJournal = nullptr;

std::mutex JobLock;
ManualResetEvent SendEvent(true);

std::atomic<bool> StopFlag{false};
StopSignal StopWake;
StopSignal StopNow;
RunActivity JobActivity;

bool ResetProcessState() {
    {
        std::lock_guard<std::mutex> guard(JobLock);
        if (!WorkerList.empty())
            return false;
    }
    RunJournal = nullptr;
    SendEvent.set();
    ClearStop();
    JobActivity.reset();
    Clock::reset();
    SetProgressTarget(nullptr);
    SetMessageAreaSink(nullptr);
    SetOpLogFailureReporter(nullptr);
    SetOpLogFolder(QString());
    SendThd::setReplyWaitSeconds(SMSendNorviGw::kReplyWaitSeconds);
    return true;
}

} // namespace norvi
