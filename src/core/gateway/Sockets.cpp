#include "core/gateway/Sockets.h"

#include "core/shared/Seams.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>

namespace norvi::sockets {

namespace {

// Waits for `events` on one socket, and for the wake-up descriptor to become readable. A signal restarts
// the wait with the time that is left; the clock is read only then, since on some virtual machines every
// clock read is a system call of its own.
Wait waitFor(int sock, short events, int milliseconds, int wakeFd) {
    if (sock < 0) {
        errno = EBADF;
        return Wait::Failed;
    }
    using clock = std::chrono::steady_clock;
    clock::time_point deadline{};
    bool interrupted = false;
    int timeout = milliseconds;
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    for (;;) {
        pollfd p[2] = {{sock, events, 0}, {wakeFd, POLLIN, 0}};
        const int rc = ::poll(p, count, timeout);
        if (rc > 0) {
            if (p[0].revents & POLLNVAL) {
                errno = EBADF;
                return Wait::Failed;
            }
            // Errors and hang-ups count as ready: the send or receive that follows reports them.
            if (p[0].revents != 0)
                return Wait::Ready;
            return Wait::Woken;
        }
        if (rc == 0)
            return Wait::TimedOut;
        if (errno != EINTR)
            return Wait::Failed;
        if (milliseconds < 0)
            continue; // no limit: wait again
        // The time spent before the first signal is not known without a clock read before every
        // wait; counting from here stretches an interrupted wait by at most that much.
        if (!interrupted) {
            interrupted = true;
            deadline = clock::now() + std::chrono::milliseconds(milliseconds);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        timeout = left > 0 ? int(left) : 0;
    }
}

int toMilliseconds(int seconds) {
    return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

bool setBlocking(int sock, bool blocking) {
    const int flags = ::fcntl(sock, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || ::fcntl(sock, F_SETFL, wanted) == 0;
}

} // namespace

int Startup() {
    if (TheSeams().sockets.failNextStartup.exchange(false))
        return kNotInitialised;
    TheSeams().sockets.starts.fetch_add(1);
    return 0;
}

void Cleanup() {
    std::atomic<int>& starts = TheSeams().sockets.starts;
    int n = starts.load();
    while (n > 0 && !starts.compare_exchange_weak(n, n - 1)) {
    }
}

bool Started() {
    return TheSeams().sockets.starts.load() > 0;
}

void FailNextStartupForTest() {
    TheSeams().sockets.failNextStartup.store(true);
}

int LastError() {
    return errno;
}

Wait WaitWritable(int sock, int seconds, int wakeFd) {
    return waitFor(sock, POLLOUT, toMilliseconds(seconds), wakeFd);
}

Wait WaitReadable(int sock, int seconds, int wakeFd) {
    return waitFor(sock, POLLIN, toMilliseconds(seconds), wakeFd);
}

Wait WaitReadableMs(int sock, int milliseconds, int wakeFd) {
    return waitFor(sock, POLLIN, milliseconds, wakeFd);
}

bool WakeRaised(int wakeFd) {
    if (wakeFd < 0)
        return false;
    pollfd p{wakeFd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

int64_t MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int CreateTcpSocket() {
    if (!Started()) {
        errno = kNotInitialised;
        return -1;
    }
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int Connect(int sock, const sockaddr_in& addr, int seconds, int wakeFd) {
    if (!setBlocking(sock, false))
        return -1;
    int rc = ::connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        const Wait w = WaitWritable(sock, seconds, wakeFd);
        if (w == Wait::TimedOut) {
            errno = ETIMEDOUT;
            return -1;
        }
        if (w == Wait::Woken) {
            errno = ECANCELED;
            return -1;
        }
        if (w == Wait::Failed)
            return -1;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            return -1;
        if (err != 0) {
            errno = err;
            return -1;
        }
        rc = 0;
    }
    if (rc != 0)
        return -1;
    const int saved = errno;
    if (!setBlocking(sock, true))
        return -1;
    errno = saved;
    return 0;
}

long SendRecord(int sock, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    std::size_t sent = 0;
    // A blocking stream socket normally takes the whole record in one call; the loop only covers a
    // signal arriving part-way.
    while (sent < size) {
        const ssize_t n = ::send(sock, p + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        sent += std::size_t(n);
    }
    return long(sent);
}

long TrySend(int sock, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(sock, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return long(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

long Receive(int sock, void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::recv(sock, data, size, 0);
        if (n >= 0 || errno != EINTR)
            return long(n);
    }
}

namespace {
long receiveNow(int sock, void* data, std::size_t size, int flags) {
    for (;;) {
        const ssize_t n = ::recv(sock, data, size, MSG_DONTWAIT | flags);
        if (n >= 0)
            return long(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return kNothingYet;
        if (errno != EINTR)
            return -1;
    }
}
} // namespace

long TryReceive(int sock, void* data, std::size_t size) {
    return receiveNow(sock, data, size, 0);
}

long PeekReceive(int sock, void* data, std::size_t size) {
    return receiveNow(sock, data, size, MSG_PEEK);
}

long ReceiveLookingBeyond(int sock, void* data, std::size_t size, bool* beyond, bool wait) {
    char past = 0;
    iovec parts[2] = {{data, size}, {&past, 1}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    for (;;) {
        const ssize_t n = ::recvmsg(sock, &message, wait ? 0 : MSG_DONTWAIT);
        if (n > ssize_t(size)) {
            *beyond = true;
            return long(size);
        }
        if (n >= 0)
            return long(n);
        if (!wait && (errno == EAGAIN || errno == EWOULDBLOCK))
            return kNothingYet;
        if (errno != EINTR)
            return -1;
    }
}

long BytesWaiting(int sock) {
    int n = 0;
    return ::ioctl(sock, FIONREAD, &n) == 0 ? long(n) : 0;
}

void ShutdownBoth(int sock) {
    if (sock >= 0)
        ::shutdown(sock, SHUT_RDWR);
}

void Close(int sock) {
    if (sock >= 0)
        ::close(sock);
}

uint32_t InetAddr(const char* dotted) {
    return ::inet_addr(dotted);
}

} // namespace norvi::sockets
