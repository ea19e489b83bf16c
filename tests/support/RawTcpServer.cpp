#include "support/RawTcpServer.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

namespace norvi::test {

namespace {

int listenOnLoopback(int& port, bool listening) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    // A given port was a server's a moment ago: its closed connections may still wait out their time.
    if (port != 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (listening)
        ::listen(fd, 4);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

} // namespace

RawTcpServer::RawTcpServer(Script script) {
    m_listen = listenOnLoopback(m_port, true);
    m_thread = std::thread([this, s = std::move(script)] { run(s); });
}

RawTcpServer::~RawTcpServer() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_conn >= 0)
            ::shutdown(m_conn, SHUT_RDWR);
    }
    ::shutdown(m_listen, SHUT_RDWR);
    join();
    ::close(m_listen);
}

void RawTcpServer::join() {
    if (m_thread.joinable())
        m_thread.join();
}

void RawTcpServer::run(Script script) {
    if (!waitReadable(m_listen, kWaitMs))
        return;
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_conn = fd;
    }
    script(fd);
    // The connection ends with the script: an orderly end, or a reset when the script armed one.
    std::lock_guard<std::mutex> guard(m_lock);
    m_conn = -1;
    ::close(fd);
}

bool RawTcpServer::readExactly(int fd, void* data, std::size_t n, int timeoutMs) {
    char* p = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < n) {
        if (timeoutMs != kNoTimeout && !waitReadable(fd, timeoutMs))
            return false;
        const ssize_t r = ::recv(fd, p + got, n - got, 0);
        if (r <= 0)
            return false;
        got += std::size_t(r);
    }
    return true;
}

bool RawTcpServer::writeAll(int fd, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

void RawTcpServer::armReset(int fd) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

long RawTcpServer::drainUntilClosed(int fd, int timeoutMs) {
    long total = 0;
    char buf[512];
    for (;;) {
        if (!waitReadable(fd, timeoutMs))
            return -1;
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0)
            return total;
        total += r;
    }
}

bool RawTcpServer::waitUntilDelivered(int fd, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int unacknowledged = 0;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) != 0)
            return false;
        if (unacknowledged == 0)
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ClosedPort::ClosedPort(int port) : m_port(port) {
    m_fd = listenOnLoopback(m_port, false);
}

ClosedPort::~ClosedPort() {
    ::close(m_fd);
}

} // namespace norvi::test
