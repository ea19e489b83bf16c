#include "GatewaySimulator.h"

#include "GatewayRules.h"

#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "core/shared/FixedField.h"

#include <QDateTime>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

namespace norvi::gwsim {

namespace {

// A record that stops arriving part-way is answered as too short after this pause.
constexpr int kPartialRecordPauseMs = 1000;

} // namespace

struct GatewaySimulator::Impl {
    struct Connection {
        int id = 0;
        int fd = -1; // set to -1 under `lock` before the serving thread closes it
        std::thread thread;
        std::atomic<bool> done{false};
    };

    SimOptions options;

    mutable std::mutex lock; // guards everything below
    std::condition_variable stopped;
    bool running = false;
    bool stopping = false;
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    int boundPort = 0;
    std::thread acceptor;
    std::list<std::unique_ptr<Connection>> connections;
    int accepted = 0;
    SimCounts counted;
    std::chrono::steady_clock::time_point lastRequest{};
    qint64 sends = 0;
    qint64 replies = 0;
    GatewayRules rules;
    std::deque<sGwRequest> recorded;
    int failCode = -1;
    int failCount = 0;
    int closeAfter = -1;
    int silentAfter = -1;
    ReplyPacing pacing;
    ReplyFaults replyFaults;

    std::mutex outLock;

    explicit Impl(SimOptions o)
        : options(std::move(o)), rules(options.accounts, options.deliverAfterSeconds, options.maxConnections) {
        rules.setFailDelivery(options.failDelivery);
        failCode = options.failSendsCode;
        failCount = options.failSendsCount;
        closeAfter = options.closeAfter;
        silentAfter = options.silentAfter;
        pacing = options.pacing;
        replyFaults = options.replyFaults;
    }

    void say(const QString& line) {
        if (!options.verbose)
            return;
        std::lock_guard<std::mutex> guard(outLock);
        std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    bool start(QString* error);
    void stop();
    void acceptLoop();
    void reapFinished();
    void serve(Connection* c);
    enum class Read { Whole, Partial, Closed };
    // Late copies of replies waiting to go out on one connection, the earliest first.
    struct StaleCopy {
        std::chrono::steady_clock::time_point due;
        sGwReply reply;
    };
    using StaleCopies = std::deque<StaleCopy>;
    Read readRequest(int fd, sGwRequest& q, StaleCopies& copies);
    bool sendReply(int fd, const sGwReply& reply, bool toLogin, StaleCopies& copies);
    bool pause(int milliseconds);
    // A pause during which the copies that fall due go out; false when the simulator stops or a send fails.
    bool pauseSendingCopies(int fd, int milliseconds, StaleCopies& copies);
    static bool sendDueCopies(int fd, StaleCopies& copies);
    void record(const sGwRequest& q);
    Outcome handle(const sGwRequest& q, Session& s);
};

bool GatewaySimulator::Impl::start(QString* error) {
    const auto failWith = [&](const QString& text) {
        if (error)
            *error = text;
        if (listenFd >= 0)
            ::close(listenFd);
        listenFd = -1;
        return false;
    };
    std::lock_guard<std::mutex> guard(lock);
    if (running)
        return true;

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(options.port));
    if (options.port < 0 || options.port > 65535)
        return failWith(QStringLiteral("invalid port %1").arg(options.port));
    if (::inet_pton(AF_INET, options.listen.constData(), &addr.sin_addr) != 1)
        return failWith(QStringLiteral("invalid listen address %1").arg(QString::fromLatin1(options.listen)));

    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0)
        return failWith(QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    const int on = 1;
    ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd, 128) != 0)
        return failWith(QStringLiteral("cannot listen on %1:%2: %3")
                            .arg(QString::fromLatin1(options.listen))
                            .arg(options.port)
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
    socklen_t len = sizeof addr;
    ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    boundPort = ntohs(addr.sin_port);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return failWith(QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    stopping = false;
    running = true;
    // The first line of the request log, before any connection can add one.
    say(QStringLiteral("listening on %1:%2").arg(QString::fromLatin1(options.listen)).arg(boundPort));
    acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

void GatewaySimulator::Impl::stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!running)
            return;
        stopping = true;
        // Wakes every serving thread out of its blocking receive or send.
        for (const auto& c : connections)
            if (c->fd >= 0)
                ::shutdown(c->fd, SHUT_RDWR);
    }
    stopped.notify_all();
    const char byte = 1;
    while (::write(wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
    acceptor.join();
    // The acceptor is gone, so the list no longer changes; the serving threads still take the lock.
    for (const auto& c : connections)
        c->thread.join();

    std::lock_guard<std::mutex> guard(lock);
    connections.clear();
    ::close(listenFd);
    ::close(wakeRead);
    ::close(wakeWrite);
    listenFd = wakeRead = wakeWrite = -1;
    running = false;
}

void GatewaySimulator::Impl::reapFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void GatewaySimulator::Impl::acceptLoop() {
    for (;;) {
        pollfd p[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const int rc = ::poll(p, 2, -1);
        if (rc < 0 && errno != EINTR)
            return;
        if (p[1].revents)
            return;
        if (rc <= 0 || !(p[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors or a connection that died in the queue: wait a little for the
            // next try rather than spin, but stay responsive to stop().
            pollfd w{wakeRead, POLLIN, 0};
            if (::poll(&w, 1, 100) > 0)
                return;
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard<std::mutex> guard(lock);
        if (stopping) {
            ::close(fd);
            return;
        }
        reapFinished();
        auto c = std::make_unique<Connection>();
        c->id = ++accepted;
        c->fd = fd;
        Connection* raw = c.get();
        try {
            raw->thread = std::thread([this, raw] { serve(raw); });
        } catch (const std::system_error&) {
            // Out of threads under a flood of connections: refuse this one, keep serving the others.
            ::close(fd);
            continue;
        }
        connections.push_back(std::move(c));
    }
}

bool GatewaySimulator::Impl::sendDueCopies(int fd, StaleCopies& copies) {
    const auto now = std::chrono::steady_clock::now();
    while (!copies.empty() && copies.front().due <= now) {
        const char* p = reinterpret_cast<const char*>(&copies.front().reply);
        std::size_t left = sizeof(sGwReply);
        while (left > 0) {
            const ssize_t n = ::send(fd, p, left, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            left -= std::size_t(n);
        }
        copies.pop_front();
    }
    return true;
}

bool GatewaySimulator::Impl::pauseSendingCopies(int fd, int milliseconds, StaleCopies& copies) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (!sendDueCopies(fd, copies))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        const auto until = copies.empty() ? end : std::min(end, copies.front().due);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        if (!pause(int(std::max<qint64>(wait, 1))))
            return false;
    }
}

GatewaySimulator::Impl::Read GatewaySimulator::Impl::readRequest(int fd, sGwRequest& q, StaleCopies& copies) {
    char* buf = reinterpret_cast<char*>(&q);
    std::memset(&q, 0, sizeof q);
    // While copies wait, the next request is waited for only until the next one falls due.
    while (!copies.empty()) {
        if (!sendDueCopies(fd, copies))
            return Read::Closed;
        if (copies.empty())
            break;
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(copies.front().due - std::chrono::steady_clock::now())
                .count();
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(std::max<qint64>(wait, 0)));
        if (rc < 0 && errno != EINTR)
            return Read::Closed;
        if (rc > 0)
            break;
    }
    ssize_t n;
    do {
        n = ::recv(fd, buf, sizeof q, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return Read::Closed;
    std::size_t got = std::size_t(n);
    while (got < sizeof q) {
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, kPartialRecordPauseMs);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0)
            return Read::Partial;
        if (rc < 0)
            return Read::Closed;
        n = ::recv(fd, buf + got, sizeof q - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Read::Closed;
        got += std::size_t(n);
    }
    return Read::Whole;
}

// Waits between the pieces of a paced reply; false when the simulator stops meanwhile.
bool GatewaySimulator::Impl::pause(int milliseconds) {
    std::unique_lock<std::mutex> guard(lock);
    return !stopped.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return stopping; });
}

bool GatewaySimulator::Impl::sendReply(int fd, const sGwReply& reply, bool toLogin, StaleCopies& copies) {
    const char* p = reinterpret_cast<const char*>(&reply);
    ReplyPacing how;
    ReplyFaults faults;
    {
        std::lock_guard<std::mutex> guard(lock);
        how = pacing;
        if (!toLogin)
            faults = replyFaults;
        const FaultPlan& plan = options.plan;
        if (plan.splitEvery > 0 && ++replies % plan.splitEvery == 0) {
            how = ReplyPacing::split(plan.splitAt, plan.splitPauseMs);
            ++counted.splits;
        }
    }
    const auto sendAll = [fd](const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= std::size_t(n);
        }
        return true;
    };
    if (faults.delayMs > 0 && !pauseSendingCopies(fd, faults.delayMs, copies))
        return false;
    if (faults.staleCopyAfterMs >= 0)
        copies.push_back(
            {std::chrono::steady_clock::now() + std::chrono::milliseconds(faults.staleCopyAfterMs), reply});
    if (faults.twice || faults.junkBytes > 0) {
        QByteArray bytes(p, int(sizeof reply));
        if (faults.twice)
            bytes.append(p, int(sizeof reply));
        bytes.append(QByteArray(faults.junkBytes, '\0'));
        return sendAll(bytes.constData(), std::size_t(bytes.size()));
    }
    if (how.trickleMs > 0) {
        for (std::size_t i = 0; i < sizeof reply; ++i) {
            if ((i > 0 && !pause(how.trickleMs)) || !sendAll(p + i, 1))
                return false;
        }
        return true;
    }
    const std::size_t at = std::size_t(how.splitAt);
    if (at == 0 || at >= sizeof reply)
        return sendAll(p, sizeof reply);
    return sendAll(p, at) && pause(how.pauseMs) && sendAll(p + at, sizeof reply - at);
}

void GatewaySimulator::Impl::record(const sGwRequest& q) {
    std::lock_guard<std::mutex> guard(lock);
    if (options.keepRequests <= 0)
        return;
    recorded.push_back(q);
    while (recorded.size() > std::size_t(options.keepRequests))
        recorded.pop_front();
}

void GatewaySimulator::Impl::serve(Connection* c) {
    int fd;
    {
        std::lock_guard<std::mutex> guard(lock);
        fd = c->fd;
    }
    const int id = c->id;
    Session s;
    int answered = 0; // replies sent on this connection
    StaleCopies copies;
    say(QStringLiteral("[%1] connected").arg(id));
    for (;;) {
        sGwRequest q;
        const Read r = readRequest(fd, q, copies);
        if (r == Read::Closed)
            break;

        Outcome out;
        if (r == Read::Partial) {
            out.code = kBadRecordLength;
            out.text = "short request record";
        } else {
            record(q);
            int closeLimit, silentLimit;
            bool planDrop = false, planSilent = false;
            {
                std::lock_guard<std::mutex> guard(lock);
                closeLimit = closeAfter;
                silentLimit = silentAfter;
                const FaultPlan& plan = options.plan;
                const qint64 n = ++counted.requests;
                const auto now = std::chrono::steady_clock::now();
                if (n > 1)
                    counted.longestQuietMs = std::max<qint64>(
                        counted.longestQuietMs,
                        std::chrono::duration_cast<std::chrono::milliseconds>(now - lastRequest).count());
                lastRequest = now;
                planDrop = plan.dropEvery > 0 && n % plan.dropEvery == 0;
                planSilent = !planDrop && plan.silentCount > 0 && n >= plan.silentFrom &&
                             n < qint64(plan.silentFrom) + plan.silentCount;
                counted.drops += planDrop ? 1 : 0;
                counted.silences += planSilent ? 1 : 0;
            }
            if (planDrop) {
                say(QStringLiteral("[%1] type %2: dropping the connection (plan)").arg(id).arg(q.msg_type));
                break;
            }
            if (planSilent) {
                say(QStringLiteral("[%1] type %2: no reply (plan)").arg(id).arg(q.msg_type));
                continue;
            }
            // The whole request has been read, so the close reaches the client as an orderly end.
            if (closeLimit >= 0 && answered >= closeLimit) {
                say(QStringLiteral("[%1] type %2: closing the connection (fault)").arg(id).arg(q.msg_type));
                break;
            }
            if (silentLimit >= 0 && answered >= silentLimit) {
                say(QStringLiteral("[%1] type %2: no reply (fault)").arg(id).arg(q.msg_type));
                continue;
            }
            out = handle(q, s);
        }

        sGwReply reply{};
        reply.reply_code = out.code;
        reply.reply_coding = 1;
        putField(reply.reply_content, out.text);
        reply.reply_content_len = uint8_t(qMin<qsizetype>(out.text.size(), sizeof reply.reply_content));
        if (options.verbose) {
            const QString what = r == Read::Partial ? QStringLiteral("short record") : describeRequest(q);
            // One arg() call fills every marker in one pass: a chained call would read a "%3" inside a
            // number or a name as the next marker.
            say(QStringLiteral("[%1] %2 -> %3 %4")
                    .arg(QString::number(id), what, QString::number(out.code), fromBig5(out.text)));
        }
        if (!sendReply(fd, reply, r == Read::Whole && q.msg_type == GwLogin, copies))
            break;
        ++answered;
    }

    say(QStringLiteral("[%1] closed").arg(id));
    std::lock_guard<std::mutex> guard(lock);
    rules.logout(s);
    c->fd = -1;
    ::close(fd);
    c->done.store(true);
}

// The fault switches get the first word on a send; everything else is the gateway's rules.
Outcome GatewaySimulator::Impl::handle(const sGwRequest& q, Session& s) {
    const QDateTime now = Clock::now(); // read outside the lock: the clock has a lock of its own
    std::lock_guard<std::mutex> guard(lock);
    if (GatewayRules::reachesSendChecks(q, s)) {
        if (failCount > 0) {
            --failCount;
            return {uint8_t(failCode), "refused (fault)"};
        }
        const FaultPlan& plan = options.plan;
        if (plan.failEvery > 0 && ++sends % plan.failEvery == 0) {
            ++counted.refusals;
            return {uint8_t(plan.failCode), "refused (plan)"};
        }
    }
    return rules.handle(q, s, now);
}

GatewaySimulator::GatewaySimulator(SimOptions options) : d(std::make_unique<Impl>(std::move(options))) {}

GatewaySimulator::~GatewaySimulator() {
    stop();
}

bool GatewaySimulator::start(QString* error) {
    return d->start(error);
}

void GatewaySimulator::stop() {
    d->stop();
}

int GatewaySimulator::port() const {
    std::lock_guard<std::mutex> guard(d->lock);
    return d->boundPort;
}

void GatewaySimulator::failNextSends(int code, int count) {
    std::lock_guard<std::mutex> guard(d->lock);
    d->failCode = code;
    d->failCount = count;
}

void GatewaySimulator::setCloseAfter(int replies) {
    std::lock_guard<std::mutex> guard(d->lock);
    d->closeAfter = replies;
}

void GatewaySimulator::setSilentAfter(int replies) {
    std::lock_guard<std::mutex> guard(d->lock);
    d->silentAfter = replies;
}

void GatewaySimulator::setReplyFaults(const ReplyFaults& faults) {
    std::lock_guard<std::mutex> guard(d->lock);
    d->replyFaults = faults;
}

void GatewaySimulator::setReplyPacing(const ReplyPacing& pacing) {
    std::lock_guard<std::mutex> guard(d->lock);
    d->pacing = pacing;
}

std::vector<sGwRequest> GatewaySimulator::requests() const {
    std::lock_guard<std::mutex> guard(d->lock);
    return {d->recorded.begin(), d->recorded.end()};
}

SimCounts GatewaySimulator::counts() const {
    std::lock_guard<std::mutex> guard(d->lock);
    SimCounts c = d->counted;
    c.accepted = d->rules.accepted();
    return c;
}

int GatewaySimulator::connectionCount() const {
    std::lock_guard<std::mutex> guard(d->lock);
    return d->accepted;
}

} // namespace norvi::gwsim
