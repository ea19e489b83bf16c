#include "GatewaySimulator.h"

#include "shared/Big5.h"
#include "shared/Clock.h"
#include "shared/FixedField.h"

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
// The compose side books whole minutes, so a reservation for the current minute is up to a minute old
// when it arrives; it is accepted and falls due at once.
constexpr qint64 kScheduleGraceSeconds = 60;
constexpr qint64 kScheduleHorizonDays = 7;
constexpr int kMaxLimitMinutes = 1440;
constexpr int kMaxInternationalDigits = 22;

enum Code : uint8_t {
    kOk = 0,
    // login
    kWrongPassword = 1,
    kUnknownAccount = 2,
    kTooManyConnections = 3,
    // send
    kBadCoding = 2,
    kBadContentLength = 4,
    kContentLengthMismatch = 5,
    kBadNumber = 6,
    kBadMode = 7,
    kBadLimitTime = 8,
    kBadScheduleTime = 9,
    kPhoneNumberInText = 16,
    // query and cancel
    kNotReservation = 1,
    kNoSuchMessage = 2,
    kEmptyMsgId = 3,
    kSubmitted = 4,
    kExpired = 9,
    kReservationWaiting = 20,
    kReservationCancelled = 21,
    // any request
    kBadRecordLength = 30,
    kUnknownType = 32,
    kNotLoggedIn = 50,
    kAlreadyLoggedIn = 51,
};

struct Message {
    QByteArray account;
    // Milliseconds since the epoch: the state is worked out on every query, and plain numbers keep
    // that free of time-zone work.
    qint64 submittedMs = 0;
    qint64 scheduledMs = -1; // -1 for a message sent at once
    int limitMinutes = 0;
    bool cancelled = false;
    // Delivered and expired are where a message ends; once reached they are kept, and later queries
    // need no clock.
    int finalCode = -1;
    const char* finalText = nullptr;
};

struct Outcome {
    uint8_t code = kOk;
    QByteArray text; // the reply text (Big5)
};

bool allDigits(const QByteArray& s) {
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool validNumber(uint8_t type, const QByteArray& number) {
    if (type == GwSendDomestic)
        return number.size() == 10 && allDigits(number);
    const QByteArray digits = number.startsWith('+') ? number.mid(1) : number;
    return !digits.isEmpty() && digits.size() <= kMaxInternationalDigits && allDigits(digits);
}

// A maximal run of nine or more digits that begins with 0 looks like a phone number in the text.
bool containsPhoneNumber(const char* text, int length) {
    int runStart = -1;
    for (int i = 0; i <= length; ++i) {
        const unsigned char c = i < length ? static_cast<unsigned char>(text[i]) : 0;
        const bool digit = c >= '0' && c <= '9';
        if (digit && runStart < 0)
            runStart = i;
        if (!digit && runStart >= 0) {
            if (text[runStart] == '0' && i - runStart >= 9)
                return true;
            runStart = -1;
        }
        // The second byte of a two-byte character is never a digit, but it must not start a run either.
        if (!digit && c >= 0x81 && i + 1 < length)
            ++i;
    }
    return false;
}

// yymmddhhnnss as a local time, or a null time when it is not a real moment.
QDateTime parseScheduleTime(const QByteArray& s) {
    if (s.size() != 12 || !allDigits(s))
        return {};
    const auto two = [&](int at) { return s.mid(at, 2).toInt(); };
    const QDate date(2000 + two(0), two(2), two(4));
    const QTime time(two(6), two(8), two(10));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

std::vector<QByteArray> splitParams(const sGwRequest& q) {
    std::vector<QByteArray> out;
    const int len = q.msg_params_len; // checked against the field's size by the caller
    int start = 0;
    for (int i = 0; i < len; ++i) {
        if (q.msg_params[i] == '\0') {
            out.emplace_back(q.msg_params + start, i - start);
            start = i + 1;
        }
    }
    if (start < len)
        out.emplace_back(q.msg_params + start, len - start);
    return out;
}

QByteArray param(const std::vector<QByteArray>& params, std::size_t i) {
    return i < params.size() ? params[i] : QByteArray();
}

QString shown(const QByteArray& big5Text) {
    return fromBig5(big5Text);
}

QString latin(const QByteArray& text) {
    return QString::fromLatin1(text);
}

// The request line of the log: the type and the parameters that tell requests apart.
QString describe(const sGwRequest& q) {
    if (q.msg_params_len > sizeof q.msg_params)
        return QStringLiteral("type %1 with msg_params_len %2").arg(q.msg_type).arg(q.msg_params_len);
    const std::vector<QByteArray> p = splitParams(q);
    switch (q.msg_type) {
    case GwLogin:
        return QStringLiteral("login %1").arg(shown(param(p, 0)));
    case GwSendDomestic:
    case GwSendInternational: {
        QString line =
            QStringLiteral("send type %1 to %2 mode %3").arg(q.msg_type).arg(latin(param(p, 0)), latin(param(p, 1)));
        for (std::size_t i = 2; i < p.size(); ++i)
            line += QLatin1Char(' ') + latin(p[i]);
        return line + QStringLiteral(" len %1").arg(q.msg_content_len);
    }
    case GwQuery:
        return QStringLiteral("query %1").arg(latin(param(p, 0)));
    case GwCancel:
        return QStringLiteral("cancel %1").arg(latin(param(p, 0)));
    default:
        return QStringLiteral("type %1").arg(q.msg_type);
    }
}

} // namespace

struct GatewaySimulator::Impl {
    struct Connection {
        int id = 0;
        int fd = -1; // set to -1 under `lock` before the serving thread closes it
        std::thread thread;
        std::atomic<bool> done{false};
    };

    // What one connection knows about itself.
    struct Session {
        int id = 0;
        bool loggedIn = false;
        QByteArray account;
        int replies = 0;
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
    int loggedIn = 0;
    quint64 msgCounter = 0;
    std::map<QByteArray, Message> messages;
    std::deque<sGwRequest> recorded;
    int failCode = -1;
    int failCount = 0;
    int closeAfter = -1;
    int silentAfter = -1;
    ReplyPacing pacing;

    std::mutex outLock;

    explicit Impl(SimOptions o) : options(std::move(o)) {
        failCode = options.failSendsCode;
        failCount = options.failSendsCount;
        closeAfter = options.closeAfter;
        silentAfter = options.silentAfter;
        pacing = options.pacing;
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
    Read readRequest(int fd, sGwRequest& q);
    bool sendReply(int fd, const sGwReply& reply);
    bool pause(int milliseconds);
    void record(const sGwRequest& q);

    Outcome handle(const sGwRequest& q, Session& s);
    Outcome login(const std::vector<QByteArray>& p, Session& s);
    Outcome send(const sGwRequest& q, const std::vector<QByteArray>& p, const Session& s);
    Outcome query(const std::vector<QByteArray>& p, const Session& s);
    Outcome cancel(const std::vector<QByteArray>& p, const Session& s);
    QByteArray newMsgId(const QDateTime& now);
    std::pair<uint8_t, const char*> stateOf(const Message& m, qint64 nowMs) const;
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
    loggedIn = 0;
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

GatewaySimulator::Impl::Read GatewaySimulator::Impl::readRequest(int fd, sGwRequest& q) {
    char* buf = reinterpret_cast<char*>(&q);
    std::memset(&q, 0, sizeof q);
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

bool GatewaySimulator::Impl::sendReply(int fd, const sGwReply& reply) {
    const char* p = reinterpret_cast<const char*>(&reply);
    ReplyPacing how;
    {
        std::lock_guard<std::mutex> guard(lock);
        how = pacing;
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
    Session s;
    s.id = c->id;
    say(QStringLiteral("[%1] connected").arg(s.id));
    for (;;) {
        sGwRequest q;
        const Read r = readRequest(fd, q);
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
                say(QStringLiteral("[%1] type %2: dropping the connection (plan)").arg(s.id).arg(q.msg_type));
                break;
            }
            if (planSilent) {
                say(QStringLiteral("[%1] type %2: no reply (plan)").arg(s.id).arg(q.msg_type));
                continue;
            }
            // The whole request has been read, so the close reaches the client as an orderly end.
            if (closeLimit >= 0 && s.replies >= closeLimit) {
                say(QStringLiteral("[%1] type %2: closing the connection (fault)").arg(s.id).arg(q.msg_type));
                break;
            }
            if (silentLimit >= 0 && s.replies >= silentLimit) {
                say(QStringLiteral("[%1] type %2: no reply (fault)").arg(s.id).arg(q.msg_type));
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
            const QString what = r == Read::Partial ? QStringLiteral("short record") : describe(q);
            // One arg() call fills every marker in one pass: a chained call would read a "%3" inside a
            // number or a name as the next marker.
            say(QStringLiteral("[%1] %2 -> %3 %4")
                    .arg(QString::number(s.id), what, QString::number(out.code), shown(out.text)));
        }
        if (!sendReply(fd, reply))
            break;
        ++s.replies;
    }

    say(QStringLiteral("[%1] closed").arg(s.id));
    std::lock_guard<std::mutex> guard(lock);
    if (s.loggedIn)
        --loggedIn;
    c->fd = -1;
    ::close(fd);
    c->done.store(true);
}

Outcome GatewaySimulator::Impl::handle(const sGwRequest& q, Session& s) {
    if (q.msg_params_len > sizeof q.msg_params)
        return {kBadRecordLength, "bad msg_params_len"};
    const std::vector<QByteArray> p = splitParams(q);
    if (q.msg_type == GwLogin)
        return login(p, s);
    if (!s.loggedIn)
        return {kNotLoggedIn, "login first"};
    switch (q.msg_type) {
    case GwSendDomestic:
    case GwSendInternational:
        return send(q, p, s);
    case GwQuery:
        return query(p, s);
    case GwCancel:
        return cancel(p, s);
    default:
        return {kUnknownType, "unknown request type"};
    }
}

Outcome GatewaySimulator::Impl::login(const std::vector<QByteArray>& p, Session& s) {
    const QByteArray account = param(p, 0);
    if (s.loggedIn)
        return {kAlreadyLoggedIn, "already logged in"};
    const auto it = options.accounts.find(account);
    if (it == options.accounts.end())
        return {kUnknownAccount, "unknown account"};
    if (it->second != param(p, 1))
        return {kWrongPassword, "wrong password"};
    std::lock_guard<std::mutex> guard(lock);
    if (loggedIn >= options.maxConnections)
        return {kTooManyConnections, "too many connections"};
    ++loggedIn;
    s.loggedIn = true;
    s.account = account;
    return {kOk, "login ok"};
}

QByteArray GatewaySimulator::Impl::newMsgId(const QDateTime& now) {
    // Prefix, time to the second and a running number: unique within a run and unlikely to repeat
    // across runs; 20 characters, the most a request can carry.
    const quint64 n = ++msgCounter % 1000000;
    return "NV" + now.toString(QStringLiteral("yyMMddHHmmss")).toLatin1() +
           QByteArray::number(n).rightJustified(6, '0');
}

Outcome GatewaySimulator::Impl::send(const sGwRequest& q, const std::vector<QByteArray>& p, const Session& s) {
    const QByteArray number = param(p, 0);
    const QByteArray mode = param(p, 1);
    {
        std::lock_guard<std::mutex> guard(lock);
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
    if (q.msg_coding != 1)
        return {kBadCoding, "bad coding"};
    const int length = q.msg_content_len;
    if (length == 0 || length > int(sizeof q.msg_content))
        return {kBadContentLength, "bad content length"};
    if (std::memchr(q.msg_content, 0, std::size_t(length)))
        return {kContentLengthMismatch, "content shorter than its length"};
    if (!validNumber(q.msg_type, number))
        return {kBadNumber, "bad number"};
    if (mode != "01" && mode != "02" && mode != "03" && mode != "04")
        return {kBadMode, "bad send mode"};

    const bool scheduled = mode == "03" || mode == "04";
    const bool limited = mode == "02" || mode == "04";
    const QByteArray scheduleText = scheduled ? param(p, 2) : QByteArray();
    const QByteArray limitText = limited ? param(p, scheduled ? 3 : 2) : QByteArray();
    int limitMinutes = 0;
    if (limited) {
        limitMinutes = limitText.toInt();
        if (limitText.size() != 4 || !allDigits(limitText) || limitMinutes < 1 || limitMinutes > kMaxLimitMinutes)
            return {kBadLimitTime, "bad limit time"};
    }
    const QDateTime now = Clock::now();
    QDateTime at;
    if (scheduled) {
        at = parseScheduleTime(scheduleText);
        if (!at.isValid() || at < now.addSecs(-kScheduleGraceSeconds) || at > now.addDays(kScheduleHorizonDays))
            return {kBadScheduleTime, "bad schedule time"};
    }
    if (containsPhoneNumber(q.msg_content, length))
        return {kPhoneNumberInText, "phone number in the text"};

    std::lock_guard<std::mutex> guard(lock);
    const QByteArray id = newMsgId(now);
    Message m;
    m.account = s.account;
    m.submittedMs = now.toMSecsSinceEpoch();
    m.scheduledMs = at.isValid() ? at.toMSecsSinceEpoch() : -1;
    m.limitMinutes = limitMinutes;
    messages[id] = m;
    ++counted.accepted;
    return {kOk, id};
}

std::pair<uint8_t, const char*> GatewaySimulator::Impl::stateOf(const Message& m, qint64 nowMs) const {
    if (m.cancelled)
        return {kReservationCancelled, "reservation cancelled"};
    const bool scheduled = m.scheduledMs >= 0;
    if (scheduled && nowMs < m.scheduledMs)
        return {kReservationWaiting, "reservation waiting"};
    const qint64 dueMs = scheduled ? m.scheduledMs : m.submittedMs;
    // A message whose validity ends before it would be delivered expires undelivered.
    const qint64 limitMs = qint64(m.limitMinutes) * 60 * 1000;
    const qint64 deliverMs = qint64(options.deliverAfterSeconds) * 1000;
    if (m.limitMinutes > 0 && deliverMs > limitMs && nowMs >= dueMs + limitMs)
        return {kExpired, "expired"};
    if (nowMs < dueMs + deliverMs)
        return {kSubmitted, "submitted"};
    return {kOk, "delivered"};
}

Outcome GatewaySimulator::Impl::query(const std::vector<QByteArray>& p, const Session& s) {
    const QByteArray id = param(p, 0);
    if (id.isEmpty())
        return {kEmptyMsgId, "empty MsgId"};
    std::unique_lock<std::mutex> guard(lock);
    auto it = messages.find(id);
    if (it == messages.end() || it->second.account != s.account)
        return {kNoSuchMessage, "no such MsgId"};
    if (it->second.finalCode >= 0)
        return {uint8_t(it->second.finalCode), it->second.finalText};
    guard.unlock(); // the clock has a lock of its own
    const qint64 nowMs = Clock::now().toMSecsSinceEpoch();
    guard.lock();
    it = messages.find(id); // still there: messages are never removed
    Message& m = it->second;
    const auto state = stateOf(m, nowMs);
    if (state.first == kOk || state.first == kExpired) {
        m.finalCode = state.first;
        m.finalText = state.second;
    }
    return {state.first, state.second};
}

Outcome GatewaySimulator::Impl::cancel(const std::vector<QByteArray>& p, const Session& s) {
    const QByteArray id = param(p, 0);
    if (id.isEmpty())
        return {kEmptyMsgId, "empty MsgId"};
    const qint64 nowMs = Clock::now().toMSecsSinceEpoch();
    std::lock_guard<std::mutex> guard(lock);
    const auto it = messages.find(id);
    if (it == messages.end() || it->second.account != s.account)
        return {kNoSuchMessage, "no such MsgId"};
    if (stateOf(it->second, nowMs).first != kReservationWaiting)
        return {kNotReservation, "not a waiting reservation"};
    it->second.cancelled = true;
    return {kOk, "cancelled"};
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
    return d->counted;
}

int GatewaySimulator::connectionCount() const {
    std::lock_guard<std::mutex> guard(d->lock);
    return d->accepted;
}

} // namespace norvi::gwsim
