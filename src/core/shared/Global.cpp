#include "shared/Global.h"

#include <QDir>

namespace norvi {

QString StartDir;
sConfig Config{};
QByteArray GatewayHost;

// Built in this order and destroyed in reverse.
std::map<int32_t, sGroup> GroupMap;
std::map<int32_t, sMember> MemberMap;
sGroup GroupScratch{};
std::map<int32_t, sLoadMt> ListFileRows;
std::list<sMtData> RecipientList;
std::list<sSendContent> SendQueue;
std::list<sSendThd> WorkerList;

std::mutex LogLock;
std::mutex JobLock;
ManualResetEvent SendEvent(true);

std::atomic<bool> StopFlag{false};
std::atomic<bool> QueryAll{false};

QString StartDirFile(const QString& name) {
    return QDir(StartDir).filePath(name);
}

} // namespace norvi
