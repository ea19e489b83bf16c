#pragma once

#include <atomic>

// The wake-up descriptor of a stop. Every wait on the gateway polls it beside its socket, so a stop ends
// the wait at once rather than when the wait runs out: the progress window's 中斷, Ctrl+C or SIGTERM in
// the command-line front end, a worker asked to end, the connection test's cancel.
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

// The stop of the jobs (the workers' gateway clients and the command line's name lookup): one for the
// process, beside StopFlag.
const StopSignal& StopWake() noexcept;
// Raised by a stop asked for a second time: it ends the grace that an exchange in flight gets after the
// first (its answer may be a MsgId that would otherwise be on no file). Beside StopWake.
const StopSignal& StopNow() noexcept;

// How long an exchange whose request went out may still wait for its answer after a stop, in milliseconds.
constexpr int kStopGraceMs = 2000;

// Requests a stop: sets StopFlag and wakes every wait on StopWake. Asked again while StopFlag is set, it
// also raises StopNow. Async-signal-safe (an atomic exchange and write()s), so the command line's signal
// handler calls it too.
void RequestStop() noexcept;
// A job starts: StopFlag is cleared and StopWake and StopNow drained, so a stop asked for earlier does not
// end it.
void ClearStop() noexcept;
// Whether a reply is being waited for in a stop's grace right now; a signal handler reads it to tell a
// second Ctrl+C that ends the grace from one that ends the program. Async-signal-safe.
bool StopGraceActive() noexcept;
void SetStopGraceActive(bool active) noexcept;

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
