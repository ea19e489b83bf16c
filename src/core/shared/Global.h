#pragma once

#include "addressbook/AddressBookRecords.h"
#include "compose/ListFileRecords.h"
#include "shared/ConfigRecord.h"
#include "shared/ManualResetEvent.h"
#include "workers/JobRecords.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <list>
#include <map>
#include <mutex>

// The process-wide state: configuration, containers, flags and locks. Everything here lives for the
// whole run; the containers are defined in one place so they are built and torn down in a fixed order.
namespace norvi {

extern QString StartDir;       // the folder that was current at start; the program's files live here
extern sConfig Config;         // exact image of NorviSMSAp.cfg
extern QByteArray GatewayHost; // dotted address from the last successful ResolveGateway

extern std::map<int32_t, sGroup> GroupMap;
extern std::map<int32_t, sMember> MemberMap;
extern sGroup GroupScratch; // carries a group's entries between the group editor and the member picker
extern std::map<int32_t, sLoadMt> ListFileRows;
extern std::list<sMtData> RecipientList;
extern std::list<sSendContent> SendQueue;
extern std::list<sSendThd> WorkerList;

extern std::mutex LogLock;         // serialises writers of the operation log
extern std::mutex JobLock;         // guards WorkerList when a worker removes itself
extern ManualResetEvent SendEvent; // signalled by the last worker to end; nothing in the program waits on it

extern std::atomic<bool> StopFlag; // set by the progress window's 中斷 button, polled by the jobs
extern std::atomic<bool> QueryAll; // a list query or cancel covers all rows (true) or the selection

// Path of a file in the start folder.
QString StartDirFile(const QString& name);

} // namespace norvi
