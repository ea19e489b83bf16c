// The pipe through which a signal handler hands a signal to the main thread: the desktop's exit signals
// are each handed over, norvi-cli's save on a second signal only once, and a listener that goes does not
// silence the one that came after it.
#include "core/shared/StopSignal.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace norvi;

namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    QByteArray drain() const {
        QByteArray read;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1)
            read += c;
        return read;
    }
};

TEST(SignalPipe, HandsEachSignalToTheListenerAndTheOnceFormOnlyTheFirst) {
    SetSignalPipe(-1);
    EXPECT_FALSE(WriteSignalPipe(SIGTERM)) << "nobody listens";
    EXPECT_FALSE(WriteSignalPipeOnce(SIGTERM));

    Pipe desktop;
    SetSignalPipe(desktop.fds[1]);
    EXPECT_TRUE(WriteSignalPipe(SIGTERM));
    EXPECT_TRUE(WriteSignalPipe(SIGHUP));
    EXPECT_EQ(desktop.drain(), QByteArray(1, char(SIGTERM)) + char(SIGHUP));

    EXPECT_TRUE(WriteSignalPipeOnce(SIGINT));
    EXPECT_FALSE(WriteSignalPipeOnce(SIGINT)) << "a later signal ends the program at once";
    EXPECT_FALSE(WriteSignalPipe(SIGINT));
    EXPECT_EQ(desktop.drain(), QByteArray(1, char(SIGINT)));
}

TEST(SignalPipe, AListenerThatGoesLeavesTheOneAfterIt) {
    Pipe first;
    Pipe second;
    SetSignalPipe(first.fds[1]);
    SetSignalPipe(second.fds[1]);
    ReleaseSignalPipe(first.fds[1]);
    EXPECT_TRUE(WriteSignalPipe(SIGTERM));
    EXPECT_EQ(second.drain(), QByteArray(1, char(SIGTERM)));
    EXPECT_TRUE(first.drain().isEmpty());
    ReleaseSignalPipe(second.fds[1]);
    EXPECT_FALSE(WriteSignalPipe(SIGTERM));
}

} // namespace
