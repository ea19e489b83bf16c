#include "core/shared/StopSignal.h"

#include "core/shared/Global.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace norvi {

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

// The stop and what else a signal handler reaches, kept for the process: a handler can reach nothing that is
// not process-wide, and may touch nothing but lock-free atomics and write().
struct SignalReach {
    std::atomic<bool> StopFlag{false};
    StopSignal StopWake;
    StopSignal StopNow;
    std::atomic<bool> graceActive{false};
    std::atomic<int> pipe{-1};
    std::atomic<int> interrupts{0};
};
SignalReach g_signalReach;
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

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

std::atomic<bool>& StopFlag() noexcept {
    return g_signalReach.StopFlag;
}

const StopSignal& StopWake() noexcept {
    return g_signalReach.StopWake;
}

const StopSignal& StopNow() noexcept {
    return g_signalReach.StopNow;
}

void RequestStop() noexcept {
    if (StopFlag().exchange(true))
        StopNow().raise();
    StopWake().raise();
}

void ClearStop() noexcept {
    StopFlag().store(false);
    StopWake().clear();
    StopNow().clear();
}

bool StopGraceActive() noexcept {
    return g_signalReach.graceActive.load();
}

void SetStopGraceActive(bool active) noexcept {
    g_signalReach.graceActive.store(active);
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
