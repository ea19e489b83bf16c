#include "ProcessState.h"

#include "addressbook/AddressBookState.h"
#include "compose/ComposeState.h"
#include "exchange/ExchangeState.h"
#include "gateway/SMSendNorviGw.h"
#include "sendlog/RowJournal.h"
#include "shared/Clock.h"
#include "shared/Global.h"
#include "shared/OpLog.h"
#include "shared/Progress.h"
#include "shared/RunActivity.h"
#include "shared/StopSignal.h"
#include "workers/SendThd.h"
#include "workers/WorkerState.h"

namespace norvi {

// Built in this order and destroyed in reverse: the workers' list outlives nothing it points into.
QString StartDir;
sConfig Config{};
QByteArray GatewayHost;

std::map<int32_t, sGroup> GroupMap;
std::map<int32_t, sMember> MemberMap;
std::map<int32_t, sLoadMt> ListFileRows;
std::map<int32_t, QByteArray> ListFileLongNumbers;
std::list<sMtData> RecipientList;
std::list<sSendContent> SendQueue;
SendFeed* SendQueueFeed = nullptr;
std::list<sSendThd> WorkerList;
RowJournal* RunJournal = nullptr;

std::mutex LogLock;
std::mutex JobLock;
ManualResetEvent SendEvent(true);

std::atomic<bool> StopFlag{false};
StopSignal StopWake;
RunActivity JobActivity;
std::atomic<bool> QueryAll{false};

bool ResetProcessState() {
    {
        std::lock_guard<std::mutex> guard(JobLock);
        if (!WorkerList.empty())
            return false;
    }
    StartDir.clear();
    Config = sConfig{};
    GatewayHost.clear();
    GroupMap.clear();
    MemberMap.clear();
    ListFileRows.clear();
    ListFileLongNumbers.clear();
    RecipientList.clear();
    SendQueue.clear();
    SendQueueFeed = nullptr;
    RunJournal = nullptr;
    SendEvent.set();
    ClearStop();
    JobActivity.reset();
    QueryAll = false;
    Clock::reset();
    SetProgressTarget(nullptr);
    SetMessageAreaSink(nullptr);
    SetOpLogFailureReporter(nullptr);
    SendThd::setReplyWaitSeconds(SMSendNorviGw::kReplyWaitSeconds);
    return true;
}

} // namespace norvi
