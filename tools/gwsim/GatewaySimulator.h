#pragma once

#include "gateway/GwRecords.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
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

struct SimOptions {
    QByteArray listen = "127.0.0.1";
    int port = 8000; // 0 picks a free port
    std::map<QByteArray, QByteArray> accounts{{"demo", "demo"}};
    int deliverAfterSeconds = 2;
    int maxConnections = 64;
    // Fault switches.
    int failSendsCode = -1; // with failSendsCount > 0: the next sends are answered with this code
    int failSendsCount = 0;
    int closeAfter = -1;  // close each connection after this many replies (-1: never)
    int silentAfter = -1; // never answer after this many replies on a connection (-1: always answer)
    ReplyPacing pacing;   // replies in two parts with a pause, or trickled byte by byte
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

    // What arrived so far, in order, for tests that check the bytes on the wire.
    std::vector<sGwRequest> requests() const;
    int connectionCount() const; // connections accepted so far

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace norvi::gwsim
