#include "core/gateway/Sockets.h"
#include "support/ThreadState.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <pthread.h>

using namespace norvi;

namespace {

struct Pair {
    int a = -1, b = -1;
    Pair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            a = fds[0];
            b = fds[1];
        }
    }
    ~Pair() {
        if (a >= 0)
            ::close(a);
        if (b >= 0)
            ::close(b);
    }
};

TEST(Sockets, SendToAClosedPeerReportsAnErrorInsteadOfRaisingSigpipe) {
    Pair p;
    ASSERT_GE(p.a, 0);
    ::close(p.b);
    p.b = -1;
    const char record[266] = {};
    // Without MSG_NOSIGNAL this call would end the test program.
    EXPECT_EQ(sockets::SendRecord(p.a, record, sizeof record), -1);
    EXPECT_EQ(sockets::LastError(), EPIPE);
}

TEST(Sockets, WaitWorksForDescriptorsBeyondTheSelectLimit) {
    rlimit lim{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &lim), 0);
    const rlim_t wanted = FD_SETSIZE + 64;
    if (lim.rlim_cur < wanted) {
        if (lim.rlim_max < wanted)
            GTEST_SKIP() << "descriptor limit too low";
        rlimit raised = lim;
        raised.rlim_cur = wanted;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
    }
    Pair p;
    ASSERT_GE(p.a, 0);
    const int high = FD_SETSIZE + 10;
    ASSERT_EQ(::dup2(p.a, high), high);
    EXPECT_EQ(sockets::WaitReadableMs(high, 20), sockets::Wait::TimedOut);
    ASSERT_EQ(::write(p.b, "x", 1), 1);
    EXPECT_EQ(sockets::WaitReadable(high, 1), sockets::Wait::Ready);
    char c = 0;
    EXPECT_EQ(sockets::Receive(high, &c, 1), 1);
    EXPECT_EQ(c, 'x');
    ::close(high);
    ::setrlimit(RLIMIT_NOFILE, &lim);
}

std::atomic<int> signalsHeard{0};
void countSignal(int) {
    ++signalsHeard;
}

TEST(Sockets, WaitWithoutLimitOutlastsSignals) {
    struct sigaction quiet {
    }, before{};
    quiet.sa_handler = countSignal; // no SA_RESTART: every signal interrupts poll()
    ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &before), 0);
    signalsHeard = 0;
    Pair p;
    ASSERT_GE(p.a, 0);
    std::atomic<pid_t> waiterId{0};
    sockets::Wait outcome = sockets::Wait::Failed;
    std::thread waiter([&] {
        waiterId = norvi::test::ThisThreadId();
        outcome = sockets::WaitReadableMs(p.a, -1);
    });
    ASSERT_TRUE(norvi::test::Eventually([&] { return waiterId.load() != 0; }));
    // Each signal lands while the waiter sleeps in its wait, and the next only once the last was heard.
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(norvi::test::ThreadBlocks(waiterId)) << "signal " << i << ": the wait ended";
        ::pthread_kill(waiter.native_handle(), SIGUSR1);
        EXPECT_TRUE(norvi::test::Eventually([i] { return signalsHeard.load() > i; }));
    }
    ASSERT_EQ(::write(p.b, "x", 1), 1);
    waiter.join();
    EXPECT_EQ(outcome, sockets::Wait::Ready);
    ::sigaction(SIGUSR1, &before, nullptr);
}

TEST(Sockets, StartupIsCountedAndSocketsNeedAStartedLayer) {
    ASSERT_FALSE(sockets::Started()) << "another user of the layer is alive";
    ASSERT_EQ(sockets::Startup(), 0);
    ASSERT_EQ(sockets::Startup(), 0);
    sockets::Cleanup();
    const int s = sockets::CreateTcpSocket(); // one start is still open
    EXPECT_GE(s, 0);
    sockets::Close(s);
    sockets::Cleanup();
    sockets::Cleanup(); // more clean-ups than starts do not go below zero
    EXPECT_EQ(sockets::CreateTcpSocket(), -1);
    EXPECT_EQ(sockets::LastError(), sockets::kNotInitialised);
    ASSERT_EQ(sockets::Startup(), 0);
    EXPECT_TRUE(sockets::Started());
    sockets::Cleanup();
}

} // namespace
