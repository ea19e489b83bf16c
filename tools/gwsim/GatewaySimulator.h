#pragma once

#include "core/gateway/GwRecords.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace norvi::gwsim {

// How the simulator puts each reply on the wire, to play gateways whose replies come late or in
// pieces. By default every reply goes out whole.
struct ReplyPacing {
    static constexpr int kDefaultSplitAt = 100;
    static constexpr int kDefaultPauseMs = 100;

    int splitAt = 0;   // > 0: two parts, the first this many bytes long (1 to 243)
    int pauseMs = 0;   // the pause between the two parts
    int trickleMs = 0; // > 0: one byte at a time, this many milliseconds apart (no split then)

    static ReplyPacing split(int at = kDefaultSplitAt, int pauseMs = kDefaultPauseMs) { return {at, pauseMs, 0}; }
    static ReplyPacing trickle(int everyMs) { return {0, 0, everyMs}; }
};

// Faults of the replies to requests after the login: late, doubled, or followed by bytes nobody asked for.
// A doubled reply and the extra bytes go out in the same piece as the reply, so the client has them
// all before it sends its next request.
// A stale copy goes out on its own, that long after its reply, whatever the connection is doing then.
struct ReplyFaults {
    int delayMs = 0;           // each such reply waits this long
    bool twice = false;        // each such reply goes out twice
    int junkBytes = 0;         // this many zero bytes follow each such reply
    int staleCopyAfterMs = -1; // >= 0: a copy of each such reply follows it this many milliseconds later
};

// Faults on a schedule counted over the whole run, across connections, for long runs under faults: the
// nth request of the run, the nth send, the nth reply. 0 switches a fault off.
struct FaultPlan {
    int dropEvery = 0; // every dropEvery-th request: its connection is closed, the request unanswered
    int failEvery = 0; // every failEvery-th send request is refused with failCode
    int failCode = 11;
    int splitEvery = 0; // every splitEvery-th reply goes out in two parts, splitPauseMs apart
    int splitAt = ReplyPacing::kDefaultSplitAt;
    int splitPauseMs = 5;
    int silentFrom = 0; // requests silentFrom .. silentFrom + silentCount - 1 of the run get no reply
    int silentCount = 0;

    bool any() const { return dropEvery > 0 || failEvery > 0 || splitEvery > 0 || silentCount > 0; }
};

// What the fault plan did so far, and what the gateway accepted.
struct SimCounts {
    qint64 requests = 0; // whole requests read
    qint64 drops = 0;
    qint64 refusals = 0; // sends refused by the plan
    qint64 splits = 0;
    qint64 silences = 0;
    qint64 accepted = 0; // messages the gateway took (each has its own MsgId)
    // The longest time between two requests arriving, in milliseconds: how long the client waited at
    // most before it sent the next one (after a reply, a silence or a dropped connection).
    qint64 longestQuietMs = 0;
};

struct SimOptions {
    QByteArray listen = "127.0.0.1";
    int port = 8000; // 0 picks a free port
    std::map<QByteArray, QByteArray> accounts{{"demo", "demo"}};
    int deliverAfterSeconds = 2;
    // The numbers (by NumberKey) whose messages are never delivered: a query answers 17 once they are due.
    std::set<QByteArray> failDelivery;
    int maxConnections = 64;
    // Fault switches.
    int failSendsCode = -1; // with failSendsCount > 0: the next sends are answered with this code
    int failSendsCount = 0;
    int closeAfter = -1;  // close each connection after this many replies (-1: never)
    int silentAfter = -1; // never answer after this many replies on a connection (-1: always answer)
    ReplyPacing pacing;   // replies in two parts with a pause, or trickled byte by byte
    ReplyFaults replyFaults;
    FaultPlan plan;       // faults by the request, send and reply numbers of the whole run
    bool verbose = false; // one line per request on standard output
    // How many of the most recent requests requests() keeps, so a long run does not grow without bound.
    int keepRequests = 10000;
};

// Plays the operator's gateway over real TCP: accounts, message ids, message states, and faults.
class GatewaySimulator {
public:
    explicit GatewaySimulator(SimOptions options = {});
    ~GatewaySimulator(); // stops
    GatewaySimulator(const GatewaySimulator&) = delete;
    GatewaySimulator& operator=(const GatewaySimulator&) = delete;

    bool start(QString* error = nullptr);
    void stop();
    int port() const; // the bound port, useful with port 0

    // Fault switches that tests flip while the simulator runs.
    void failNextSends(int code, int count);
    void setCloseAfter(int replies);
    void setSilentAfter(int replies);
    void setReplyPacing(const ReplyPacing& pacing);
    void setReplyFaults(const ReplyFaults& faults);

    // What arrived so far, in order, for tests that check the bytes on the wire.
    std::vector<sGwRequest> requests() const;
    int connectionCount() const; // connections accepted so far
    SimCounts counts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace norvi::gwsim
