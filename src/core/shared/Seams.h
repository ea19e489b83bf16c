#pragma once

#include <QByteArray>
#include <QDateTime>

#include <atomic>
#include <limits>
#include <mutex>

namespace norvi {

class Prompts; // the interface's prompts (gui/shared/Prompts); only held here

// A failure a test arms at a numbered step of the file writers (SaveFile, LogStream), so that step fails as
// the system would make it fail: the `nth` time any writer of that kind reaches `step`, once.
class InjectedFault {
public:
    void arm(int step, int nth);
    void clear();
    bool fired();
    // True when this step is the one to fail.
    bool at(int step);

private:
    std::mutex m_lock;
    bool m_armed = false;
    bool m_fired = false;
    int m_step = 0;
    int m_nth = 0;
    int m_seen = 0;
};

// The seams: what the whole program reads from one place, so a test can set it for all of it. It is
// process-wide on purpose, not by accident:
//   - the clock: every thread and every file name asks it what time it is; a test fixes it for all of them;
//   - the socket layer's start-up count: the layer stands for one that counts start-ups per process;
//     a test can make the next start-up fail;
//   - the prompts: every window asks its message boxes and file dialogs through them; a test answers them;
//   - the faults a test arms in the file writers, which fail wherever in the program they are reached.
// Nothing here carries a job's data.
struct Seams {
    struct ClockState {
        std::mutex lock;
        bool fixed = false;
        QDateTime time;
        qint64 step = 0;
        // The real clock's row stamp, made once per second (under the same lock).
        qint64 stampSecond = std::numeric_limits<qint64>::min();
        QByteArray stamp;
    } clock;

    struct SocketLayer {
        std::atomic<int> starts{0};
        std::atomic<bool> failNextStartup{false};
    } sockets;

    // The prompts a test installed (owned by it); null: the real dialogs.
    std::atomic<Prompts*> prompts{nullptr};

    InjectedFault saveFileFault;
    InjectedFault logStreamFault;
};

Seams& TheSeams();

} // namespace norvi
