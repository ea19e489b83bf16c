#include "support/CliFixture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

// norvi-cli against a gateway that takes the login and then never answers: giving up after three transport
// failures in a row, Ctrl+C inside a wait, the resend of what a stop left, and the progress bar on a
// terminal. Bounds are generous (5 s for a stop) so they hold under the sanitizers.
namespace norvi {
namespace {

using test::CliRun;
using test::CliTest;
using test::readLog;
using test::says;
using test::saysNot;
using test::textList;

constexpr qint64 kStopBoundMs = 5000;

using test::numbers;

bool isNotSent(const SendLogRow& row) {
    return row.texts[ColSendCode] == "-1" && row.texts[ColSendResult] == big5("未傳送：作業已中斷");
}

// The command line with standard error on a terminal (a pseudo-terminal of the test's own) and standard
// output in a file.
class TerminalRun {
public:
    TerminalRun(const QStringList& args, const QString& outFile) {
        std::vector<QByteArray> bytes{QByteArray(NORVI_CLI_PATH)};
        for (const QString& a : args)
            bytes.push_back(a.toUtf8());
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        const QByteArray out = QFile::encodeName(outFile);
        int slave = -1;
        if (::openpty(&m_master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            const int outFd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int inFd = ::open("/dev/null", O_RDONLY);
            ::dup2(inFd, 0);
            ::dup2(outFd, 1);
            ::dup2(slave, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~TerminalRun() {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }
    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // What the terminal showed until `until` holds for it or the time runs out.
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& until, int ms) {
        QDeadlineTimer deadline(ms);
        while (!until(m_shown) && !deadline.hasExpired()) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    m_shown.append(buffer, int(n));
                else if (n <= 0 && errno != EAGAIN)
                    break; // the program ended and the terminal closed
            }
        }
        return m_shown;
    }
    // Takes what the terminal holds now; false once it has closed.
    bool readAvailable() {
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            m_shown.append(buffer, int(n));
        return n > 0 || (n < 0 && errno == EAGAIN);
    }
    // The exit code, or -1 when it did not end within `ms`. The wait is on the program's end itself (a
    // descriptor of the process), with what the terminal shows meanwhile read, so a full terminal never
    // holds the program up. A system that gives no such descriptor has the end looked for whenever the
    // terminal has news, and every 10 ms.
    int wait(int ms) {
        const int ended = int(::syscall(SYS_pidfd_open, m_pid, 0));
        QDeadlineTimer deadline(ms);
        pollfd p[2] = {{ended, POLLIN, 0}, {m_master, POLLIN, 0}};
        int status = 0;
        bool gone = false;
        while (!gone && !deadline.hasExpired()) {
            const qint64 left = std::max<qint64>(1, deadline.remainingTime());
            if (::poll(p, 2, int(ended < 0 ? std::min<qint64>(left, 10) : left)) > 0 &&
                (p[1].revents & (POLLIN | POLLHUP | POLLERR)) && !readAvailable())
                p[1].fd = -1; // the terminal closed: only the end is left to wait for
            gone = (ended < 0 || (p[0].revents & POLLIN)) && ::waitpid(m_pid, &status, WNOHANG) == m_pid;
        }
        if (ended >= 0)
            ::close(ended);
        if (!gone)
            return -1;
        m_exited = true;
        readUntil([](const QByteArray&) { return false; }, 200);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    QString shown() const { return QString::fromUtf8(m_shown); }

private:
    int m_master = -1;
    pid_t m_pid = -1;
    bool m_exited = false;
    QByteArray m_shown;
};

class CliStopTest : public CliTest {
protected:
    // Sends to `count` numbers with the reply wait given, and the rest as given.
    QStringList sendArgs(int count, const char* replyWait, const QString& log) const {
        return textList({"--reply-wait", replyWait, "send", "--text", "hi", "--log", log}) + numbers(count);
    }
};

// The login is answered and nothing after it: each of three recipients' requests goes out once and is never
// answered, so it may have reached the gateway and is not sent again; then the run gives up. Every recipient
// has its row, and the summary counts the uncertain ones apart.
TEST_F(CliStopTest, TwentyRecipientsAgainstASilentGatewayGiveUpWithARowForEach) {
    sim->setSilentAfter(1);
    const QString log = path("silent.log");
    QElapsedTimer timer;
    timer.start();
    const CliRun r = run(sendArgs(20, "1", log));
    EXPECT_LT(timer.elapsed(), 30000);
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 20u);
    std::set<QByteArray> mobiles;
    int timedOut = 0, notSent = 0;
    for (const SendLogRow& row : rows) {
        mobiles.insert(row.texts[ColMobile]);
        if (row.texts[ColSendResult] == "Recv()" + big5("逾時，可能已送出"))
            ++timedOut;
        notSent += isNotSent(row) ? 1 : 0;
    }
    EXPECT_EQ(mobiles.size(), 20u) << "a row for each recipient";
    EXPECT_EQ(timedOut, 3);
    EXPECT_EQ(notSent, 17);
    EXPECT_EQ(sendRequests(), 3) << "a time-out is never sent again";
    EXPECT_TRUE(says(r.err, QStringLiteral("閘道連續 3 次沒有回應，作業已停止。")));
    EXPECT_TRUE(
        says(r.out,
             QStringLiteral("狀態：簡訊傳送已中斷（閘道沒有回應）：成功 0 筆，失敗 0 筆，不確定 3 筆，未傳送 17 筆")));
    EXPECT_FALSE(r.err.contains(QLatin1Char('\r'))) << "no progress bar without a terminal";
}

// Ctrl+C while the reply to the second message is awaited (a 60 s wait): after the stop's grace the program
// ends, the cut message says it may have gone, every other recipient says it was not sent. Resend sends
// exactly the rows not sent, a second resend nothing, and the uncertain row only when asked for.
TEST_F(CliStopTest, CtrlCInsideAWaitEndsAfterTheGraceAndResendSendsEachFailedRowOnce) {
    sim->setSilentAfter(2);
    const QString log = path("stopped.log");
    QProcess process;
    startCli(process, sendArgs(5, "60", log));
    waitForRequests(GwSendDomestic, 2); // the second reply never comes
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ASSERT_TRUE(signalCli(process, SIGINT));
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_LT(sinceSignal.elapsed(), kStopBoundMs);
    EXPECT_GE(sinceSignal.elapsed(), 1500) << "the answer in flight gets its grace";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2) << process.readAllStandardError().constData();
    const QString printed = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(
        printed.contains(QStringLiteral("狀態：簡訊傳送已中斷：成功 1 筆，失敗 0 筆，不確定 1 筆，未傳送 3 筆")))
        << printed.toStdString();

    const std::vector<SendLogRow> rows = readLog(log);
    ASSERT_EQ(rows.size(), 5u);
    std::set<QByteArray> notSentNumbers, cutNumbers;
    for (const SendLogRow& row : rows) {
        if (row.texts[ColSendResult] == big5("已中斷：閘道未回覆，可能已送出"))
            cutNumbers.insert(row.texts[ColMobile]);
        if (isNotSent(row))
            notSentNumbers.insert(row.texts[ColMobile]);
    }
    EXPECT_EQ(cutNumbers.size(), 1u);
    EXPECT_EQ(notSentNumbers.size(), 3u);

    sim->setSilentAfter(-1);
    const auto resendNumbers = [&](const QStringList& args) {
        const std::size_t before = sentNumbers().size();
        const CliRun resent = run(textList({"resend", "--log", log}) + args);
        EXPECT_EQ(resent.exitCode, 0) << resent.err.toStdString();
        const std::vector<QByteArray> all = sentNumbers();
        return std::multiset<QByteArray>(all.begin() + std::ptrdiff_t(before), all.end());
    };
    EXPECT_EQ(resendNumbers({}), std::multiset<QByteArray>(notSentNumbers.begin(), notSentNumbers.end()));
    EXPECT_EQ(readLog(log).size(), 8u);
    EXPECT_TRUE(resendNumbers({}).empty()) << "what the first resend sent is not sent again";
    EXPECT_EQ(resendNumbers({QStringLiteral("--include-uncertain")}),
              std::multiset<QByteArray>(cutNumbers.begin(), cutNumbers.end()));
    EXPECT_EQ(readLog(log).size(), 9u);
}

TEST_F(CliStopTest, QueryRunGivesUpWhenTheGatewayCannotBeReached) {
    const QString log = path("sent.log");
    ASSERT_EQ(run(sendArgs(5, "30", log)).exitCode, 0);
    const auto gone = test::StopAndHoldPort(sim); // nobody listens any more
    const CliRun r = run({"query", "--log", log});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("閘道連續 3 次沒有回應，作業已停止。")));
    int notAsked = 0;
    for (const SendLogRow& row : readLog(log))
        notAsked += row.texts[ColQueryResult] == big5("未查詢：作業已中斷") ? 1 : 0;
    EXPECT_EQ(notAsked, 2);
}

// On a terminal: the bar, the counts, the wait and its recipient on one line of standard error, drawn over
// itself; Ctrl+C shows that the stop was taken. --quiet leaves the terminal to the messages alone.
TEST_F(CliStopTest, ProgressBarOnATerminalShowsTheWaitAndQuietTurnsItOff) {
    sim->setSilentAfter(1);
    {
        TerminalRun t(textList({"-C", m_dir.path()}) + sendArgs(3, "60", path("bar.log")), path("bar.out"));
        ASSERT_TRUE(t.started());
        const QByteArray shown = t.readUntil(
            [](const QByteArray& s) {
                return s.contains(QString::fromUtf8("等待閘道回應… 1 秒 第 1 通 0912000010").toUtf8());
            },
            15000);
        const QString text = QString::fromUtf8(shown);
        EXPECT_TRUE(says(text, QStringLiteral("等待閘道回應… 1 秒 第 1 通 0912000010")));
        EXPECT_TRUE(text.contains(QStringLiteral("\r[")));
        EXPECT_TRUE(text.contains(QStringLiteral("\x1b[K")));
        // A recipient is counted once its answer is in: none while the first one's is awaited.
        EXPECT_TRUE(says(text, QStringLiteral("] 0/3 0% 成功 0 失敗 0 ")));
        ASSERT_EQ(::kill(t.pid(), SIGINT), 0);
        EXPECT_EQ(t.wait(int(kStopBoundMs)), 2);
        EXPECT_TRUE(t.shown().contains(QStringLiteral("傳送紀錄已儲存"))) << t.shown().toStdString();
    }
    {
        TerminalRun t(textList({"-C", m_dir.path(), "--quiet"}) + sendArgs(1, "1", path("quiet.log")),
                      path("quiet.out"));
        ASSERT_TRUE(t.started());
        EXPECT_EQ(t.wait(20000), 2);
        EXPECT_FALSE(t.shown().contains(QStringLiteral("\x1b[K"))) << t.shown().toStdString();
        EXPECT_TRUE(t.shown().contains(QStringLiteral("傳送紀錄已儲存")));
    }
}

} // namespace
} // namespace norvi
