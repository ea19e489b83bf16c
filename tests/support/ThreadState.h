#pragma once

#include <QDeadlineTimer>
#include <QFile>

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <thread>

namespace norvi::test {

// The kernel's id of the calling thread, for ThreadBlocks.
inline pid_t ThisThreadId() {
    return pid_t(::syscall(SYS_gettid));
}

// Waits until thread `tid` of this process sleeps in the kernel (a poll, a condition's wait): the moment a
// test may raise what should end that wait, instead of guessing how long the thread takes to get there.
// False when the thread ended first or never slept within `timeoutMs`. A thread caught sleeping on a
// moment's lock only makes the raise come early, which the code under test must take as well.
inline bool ThreadBlocks(pid_t tid, int timeoutMs = 10000) {
    const QString statPath = QStringLiteral("/proc/self/task/%1/stat").arg(tid);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QFile stat(statPath);
        if (!stat.open(QIODevice::ReadOnly))
            return false; // the thread is gone
        const QByteArray line = stat.readAll();
        // "tid (name) S ...": the name may hold anything, so the state follows the last parenthesis.
        const int close = line.lastIndexOf(')');
        if (close >= 0 && close + 2 < line.size() && line[close + 2] == 'S')
            return true;
        std::this_thread::yield();
    }
    return false;
}

// Waits, off the user-interface thread, until `ready` holds; false when `timeoutMs` ran out first.
template <typename Ready> bool Eventually(Ready ready, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace norvi::test
