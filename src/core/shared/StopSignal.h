#pragma once

#include <atomic>

// The wake-up descriptor of a stop. Every wait on the gateway polls it beside its socket, so a stop ends
// the wait at once rather than when the wait runs out: a job's StopFlag, the connection test's cancel.
namespace norvi {

class StopSignal {
public:
    // An eventfd (non-blocking, closed on exec). Raised, it stays readable until cleared, so every wait
    // that polls it ends, and every later one ends at once.
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // The descriptor to poll for reading, or -1 when none could be made (then nothing is woken).
    int fd() const { return m_fd; }
    // Async-signal-safe: a single write() and a lock-free count.
    void raise() const noexcept;
    // Drains the descriptor: waits block again until the next raise.
    void clear() const noexcept;
    // Asked before every request a client sends, so the usual answer (not raised) costs no system call.
    bool raised() const noexcept;

private:
    int m_fd = -1;
    // Raises not yet drained, counted before the write and discounted after the read: never below what
    // the descriptor holds, so at zero it surely holds nothing.
    mutable std::atomic<long> m_pending{0};
};

// How long an exchange whose request went out may still wait for its answer after a stop, in milliseconds.
constexpr int kStopGraceMs = 2000;
// The grace the jobs of this process use: kStopGraceMs, or NORVI_TEST_STOP_GRACE_MS when a test of the real
// programs sets it (read once), so a test can tell a grace cut short from one that ran out without a clock.
int StopGraceMs();

// The stop of one job: 中斷 on its progress window, Ctrl+C or a signal, its owner ending it. The job polls the
// flag between messages, rows and attempts, and every wait of its gateway client polls wake() beside its
// socket. Each job owns its own, so a stop of one never ends another (a send run and a follow-up round).
class StopFlag {
public:
    StopFlag() = default;
    StopFlag(const StopFlag&) = delete;
    StopFlag& operator=(const StopFlag&) = delete;

    // Sets the flag and ends every wait on wake() at once. Asked again while set, it also raises now(), which
    // ends the grace of an answer already on its way (it may be a MsgId that would otherwise be on no file).
    // Async-signal-safe: atomics and write()s.
    void request() const noexcept;
    // The same, unless the flag is set already: a stop heard twice (a signal that reached the job, then the same
    // signal passed on by the job's starter) is still one request, and an answer on its way keeps its grace.
    // Async-signal-safe.
    void requestOnce() const noexcept;
    // The program is ending: the flag, wake() and now() at once, so not even an answer on its way is awaited.
    void requestNow() const noexcept;
    bool requested() const noexcept { return m_requested.load(); }
    const StopSignal& wake() const noexcept { return m_wake; }
    const StopSignal& now() const noexcept { return m_now; }

    // Whether a reply is being waited for in this stop's grace right now (the gateway client says so): a
    // signal handler reads it to tell a second Ctrl+C that ends the grace from one that ends the program.
    bool inGrace() const noexcept { return m_inGrace.load(); }
    void setInGrace(bool active) const noexcept { m_inGrace.store(active); }

private:
    mutable std::atomic<bool> m_requested{false};
    mutable std::atomic<bool> m_inGrace{false};
    StopSignal m_wake;
    StopSignal m_now;
};

// The signal bridge: a handler can reach nothing that is not process-wide, so the stops of the running jobs
// are listed where it finds them. While a StopReach lives, StopRunningJobs() requests its stop.
class StopReach {
public:
    explicit StopReach(const StopFlag& stop) noexcept;
    // Leaves the list, and waits for a handler that may still be using the stop.
    ~StopReach();
    StopReach(const StopReach&) = delete;
    StopReach& operator=(const StopReach&) = delete;

private:
    int m_slot = -1;
};
// Requests the stop of every job a StopReach lists (norvi-cli's Ctrl+C, SIGTERM, SIGHUP). Async-signal-safe.
// False when no job was listed.
bool StopRunningJobs() noexcept;
// Whether a listed job waits for a reply in its stop's grace. Async-signal-safe.
bool StopGraceActive() noexcept;

// The write end of the pipe through which a signal handler hands a signal's number to the main thread's
// event loop (the desktop's ExitSignals; norvi-cli's save of the open log on a second signal), set by the
// one who reads the pipe; -1: nobody listens.
void SetSignalPipe(int writeFd) noexcept;
// Nobody listens any more, if `writeFd` is still the pipe set (a later listener keeps its own).
void ReleaseSignalPipe(int writeFd) noexcept;
// Async-signal-safe: writes the number into the pipe. False when nobody listens or it could not be written.
bool WriteSignalPipe(int signalNumber) noexcept;
// The same, once: the pipe is taken, so a later signal finds nobody listening until it is set again.
bool WriteSignalPipeOnce(int signalNumber) noexcept;

// How many times norvi-cli's stop signals (Ctrl+C, SIGTERM, SIGHUP) came: the handler counts each and
// acts on the first differently from the later ones. Async-signal-safe. CountInterrupt returns the count
// before this one.
int CountInterrupt() noexcept;
int InterruptCount() noexcept;

} // namespace norvi
