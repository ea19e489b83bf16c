#include "core/shared/StopSignal.h"

#include <QtGlobal>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <thread>

namespace norvi {

int StopGraceMs() {
    static const int grace = [] {
        bool ok = false;
        const int wanted = qEnvironmentVariableIntValue("NORVI_TEST_STOP_GRACE_MS", &ok);
        return ok && wanted > 0 ? wanted : kStopGraceMs;
    }();
    return grace;
}

// raise() runs in signal handlers, where only a lock-free atomic may be touched.
static_assert(std::atomic<long>::is_always_lock_free);

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

StopSignal::~StopSignal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void StopSignal::raise() const noexcept {
    if (m_fd < 0)
        return;
    const int saved = errno; // a signal handler must leave errno as it found it
    const uint64_t one = 1;
    m_pending.fetch_add(1);
    // Only a counter at its limit refuses the write, and that counter is raised already.
    if (::write(m_fd, &one, sizeof one) != sizeof one)
        m_pending.fetch_sub(1);
    errno = saved;
}

void StopSignal::clear() const noexcept {
    if (m_fd < 0)
        return;
    uint64_t count = 0;
    // One read takes the whole counter; nothing to read (EAGAIN) means it was not raised.
    if (::read(m_fd, &count, sizeof count) == sizeof count)
        m_pending.fetch_sub(long(count));
}

bool StopSignal::raised() const noexcept {
    if (m_fd < 0 || m_pending.load() == 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

namespace {

constexpr int kReachSlots = 16; // the jobs of one program at a time, with room to spare

// What a signal handler reaches, kept for the process: a handler can reach nothing that is not process-wide,
// and may touch nothing but lock-free atomics and write(). The stops of the running jobs are listed here, not
// held: each job owns its own.
struct SignalReach {
    std::atomic<const StopFlag*> running[kReachSlots] = {};
    std::atomic<int> reaching{0}; // handlers walking `running` now
    std::atomic<int> pipe{-1};
    std::atomic<int> interrupts{0};
};
SignalReach g_signalReach;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const StopFlag*>::is_always_lock_free);

// Runs `visit` on each listed stop, keeping every one alive meanwhile (~StopReach waits for it).
template <typename Visit> void forEachRunning(Visit visit) noexcept {
    g_signalReach.reaching.fetch_add(1);
    for (std::atomic<const StopFlag*>& slot : g_signalReach.running)
        if (const StopFlag* stop = slot.load())
            visit(*stop);
    g_signalReach.reaching.fetch_sub(1);
}

bool writeNumber(int fd, int signalNumber) noexcept {
    if (fd < 0)
        return false;
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request the reader will see.
    const bool written = ::write(fd, &number, 1) == 1;
    errno = saved;
    return written;
}

} // namespace

void StopFlag::request() const noexcept {
    if (m_requested.exchange(true))
        m_now.raise();
    m_wake.raise();
}

void StopFlag::requestOnce() const noexcept {
    if (!m_requested.exchange(true))
        m_wake.raise();
}

void StopFlag::requestNow() const noexcept {
    m_requested.store(true);
    m_now.raise();
    m_wake.raise();
}

StopReach::StopReach(const StopFlag& stop) noexcept {
    for (int i = 0; i < kReachSlots; ++i) {
        const StopFlag* empty = nullptr;
        if (g_signalReach.running[i].compare_exchange_strong(empty, &stop)) {
            m_slot = i;
            return;
        }
    }
}

StopReach::~StopReach() {
    if (m_slot < 0)
        return;
    g_signalReach.running[m_slot].store(nullptr);
    // A handler that found the stop before it left the list finishes with it first; it never waits, so this
    // is a moment at most.
    while (g_signalReach.reaching.load() != 0)
        std::this_thread::yield();
}

bool StopRunningJobs() noexcept {
    bool any = false;
    forEachRunning([&any](const StopFlag& stop) {
        stop.request();
        any = true;
    });
    return any;
}

bool StopGraceActive() noexcept {
    bool any = false;
    forEachRunning([&any](const StopFlag& stop) { any = any || stop.inGrace(); });
    return any;
}

void SetSignalPipe(int writeFd) noexcept {
    g_signalReach.pipe.store(writeFd);
}

void ReleaseSignalPipe(int writeFd) noexcept {
    g_signalReach.pipe.compare_exchange_strong(writeFd, -1);
}

bool WriteSignalPipe(int signalNumber) noexcept {
    return writeNumber(g_signalReach.pipe.load(), signalNumber);
}

bool WriteSignalPipeOnce(int signalNumber) noexcept {
    return writeNumber(g_signalReach.pipe.exchange(-1), signalNumber);
}

int CountInterrupt() noexcept {
    return g_signalReach.interrupts.fetch_add(1);
}

int InterruptCount() noexcept {
    return g_signalReach.interrupts.load();
}

} // namespace norvi
