#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace norvi::test {

// A one-connection TCP peer on 127.0.0.1 that runs a script against the accepted socket and closes
// it when the script returns. It plays the byte-level cases a well-behaved server never produces
// (short replies, resets, silence). Every call waits with a time-out, so a script cannot hang a test.
class RawTcpServer {
public:
    using Script = std::function<void(int fd)>;

    explicit RawTcpServer(Script script);
    ~RawTcpServer(); // ends the connection and joins the script
    RawTcpServer(const RawTcpServer&) = delete;
    RawTcpServer& operator=(const RawTcpServer&) = delete;

    int port() const { return m_port; }
    void join(); // waits for the script to end

    static constexpr int kWaitMs = 10000;
    static constexpr int kNoTimeout = -1; // blocking reads only, for a benchmark's round trips
    // Reads exactly n bytes; false on end of stream, error or time-out.
    static bool readExactly(int fd, void* data, std::size_t n, int timeoutMs = kWaitMs);
    static bool writeAll(int fd, const void* data, std::size_t n);
    // The connection, closed when the script returns, ends with a reset instead of an orderly end.
    static void armReset(int fd);
    // Reads and drops data until the peer closes; returns the bytes dropped, or -1 on time-out.
    static long drainUntilClosed(int fd, int timeoutMs = kWaitMs);
    // Waits until the peer has received everything written so far (on loopback: it is in the peer's
    // receive queue); false on time-out.
    static bool waitUntilDelivered(int fd, int timeoutMs = kWaitMs);

private:
    void run(Script script);

    int m_listen = -1;
    int m_port = 0;
    std::mutex m_lock;
    int m_conn = -1; // the accepted socket while the script runs
    std::thread m_thread;
};

// A loopback port on which nothing listens while the object lives (bound, never listening): a free one, or
// the given one.
class ClosedPort {
public:
    explicit ClosedPort(int port = 0);
    ~ClosedPort();
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Stops a server whose port a test's configuration names, and keeps that port closed while the returned object
// lives. Left free, the port could go to a server another test starts meanwhile, and what this test sends to a
// gateway that is gone would be answered by that one.
template <class Server> std::unique_ptr<ClosedPort> StopAndHoldPort(std::unique_ptr<Server>& server) {
    const int port = server->port();
    server.reset();
    return std::make_unique<ClosedPort>(port);
}

} // namespace norvi::test
