#include "GatewaySimulator.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/Clock.h"
#include "support/GatewayRequests.h"
#include "support/RawTcpServer.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

using namespace norvi;
using namespace norvi::gwsim;
using norvi::test::kSimNow;
using norvi::test::makeRequest;
using norvi::test::RawTcpServer;
using norvi::test::replyText;

namespace {

// A client that speaks the records directly, so it can also send what the real client never would.
class RawClient {
public:
    explicit RawClient(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    int fd() const { return m_fd; }

    bool write(const void* data, std::size_t n) { return RawTcpServer::writeAll(m_fd, data, n); }
    std::optional<sGwReply> read() {
        sGwReply r;
        if (!RawTcpServer::readExactly(m_fd, &r, sizeof r))
            return std::nullopt;
        return r;
    }
    std::optional<sGwReply> exchange(const sGwRequest& q) {
        if (!write(&q, sizeof q))
            return std::nullopt;
        return read();
    }
    // The reply code, or -1 when no reply came.
    int code(const sGwRequest& q) {
        const auto r = exchange(q);
        return r ? r->reply_code : -1;
    }
    int login(const QByteArray& account = "demo", const QByteArray& password = "demo") {
        return code(makeRequest(GwLogin, {account, password}));
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

const QByteArray kNumber = "0912345678";

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setFixed(kSimNow); }
    void TearDown() override {
        sim.reset();
        Clock::reset();
    }
    void start(SimOptions options = {}) {
        options.port = 0;
        sim = std::make_unique<GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
    }
    std::unique_ptr<RawClient> loggedIn(const QByteArray& account = "demo", const QByteArray& password = "demo") {
        auto c = std::make_unique<RawClient>(sim->port());
        EXPECT_EQ(c->login(account, password), 0);
        return c;
    }
    // Sends a valid message and returns its MsgId.
    QByteArray sendMessage(RawClient& c, const QList<QByteArray>& params) {
        const auto r = c.exchange(makeRequest(GwSendDomestic, params, "hello", 1));
        EXPECT_TRUE(r && r->reply_code == 0);
        return r ? replyText(*r) : QByteArray();
    }
    void at(qint64 secondsAfterStart) { Clock::setFixed(kSimNow.addSecs(secondsAfterStart)); }

    std::unique_ptr<GatewaySimulator> sim;
};

// The rules themselves are tabled in GatewayRulesTest; this is them answering over a connection, on the
// simulator's clock, with the connection usable after every refusal.
TEST_F(SimulatorTest, RulesAnswerOverTheWireOnTheClock) {
    start();
    RawClient c(sim->port());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.code(makeRequest(GwQuery, {"X"})), 50);
    EXPECT_EQ(c.login("demo", "wrong"), 1);
    EXPECT_EQ(c.login(), 0);
    EXPECT_EQ(c.login(), 51);
    const QByteArray id = sendMessage(c, {kNumber, "01"});
    EXPECT_EQ(c.code(makeRequest(GwQuery, {id})), 4);
    at(2);
    EXPECT_EQ(c.code(makeRequest(GwQuery, {id})), 0);
    EXPECT_EQ(sim->counts().accepted, 1);
}

TEST_F(SimulatorTest, FailedSendsFaultAnswersTheNextSendsOnly) {
    start();
    sim->failNextSends(11, 2);
    auto c = loggedIn(); // logins are not affected
    const sGwRequest q = makeRequest(GwSendDomestic, {kNumber, "01"}, "hello", 1);
    EXPECT_EQ(c->code(q), 11);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {"X"})), 2); // nor are queries
    EXPECT_EQ(c->code(q), 11);
    EXPECT_EQ(c->code(q), 0);
}

TEST_F(SimulatorTest, GarbageRecordsGetAnswersAndDoNotHurtTheServer) {
    start();
    std::mt19937 random(42);
    RawClient c(sim->port());
    // A record that stops short is answered, and the connection goes on.
    const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
    ASSERT_TRUE(c.write(&login, 10));
    const auto r = c.read();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reply_code, 30);
    EXPECT_EQ(c.login(), 0);
    for (int i = 0; i < 200; ++i) {
        sGwRequest q;
        auto* bytes = reinterpret_cast<unsigned char*>(&q);
        for (std::size_t k = 0; k < sizeof q; ++k)
            bytes[k] = static_cast<unsigned char>(random());
        if (i % 2)
            q.msg_type = uint8_t(random() % 3 ? GwLogin : GwSendDomestic); // some reach the checks
        ASSERT_TRUE(c.exchange(q)) << "record " << i;
    }
    // A record cut off by a closed connection.
    {
        RawClient half(sim->port());
        const sGwRequest q = makeRequest(GwLogin, {"demo", "demo"});
        ASSERT_TRUE(half.write(&q, 100));
    }
    auto fresh = loggedIn();
    EXPECT_EQ(fresh->code(makeRequest(GwQuery, {"X"})), 2);
}

TEST_F(SimulatorTest, ManyClientsAtOnce) {
    start();
    constexpr int kClients = 8, kSends = 10;
    std::mutex lock;
    std::set<QByteArray> ids;
    int failures = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
        threads.emplace_back([&] {
            SMSendNorviGw client;
            client.SetHost("127.0.0.1");
            client.SetPort(sim->port());
            client.SetAccount("demo");
            client.SetPassword("demo");
            for (int i = 0; i < kSends; ++i) {
                QByteArray text;
                int code = -1;
                if (client.Login()) {
                    client.Clear();
                    client.SetType(GwSendDomestic);
                    client.SetCoding(1);
                    client.SetMobile("0912345678");
                    client.SetContent(2, "hi");
                    code = client.Send(text);
                }
                std::lock_guard<std::mutex> guard(lock);
                if (code == 0)
                    ids.insert(text);
                else
                    ++failures;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ids.size(), std::size_t(kClients * kSends));
    EXPECT_EQ(sim->connectionCount(), kClients);
}

TEST_F(SimulatorTest, StopEndsEveryConnectionWhateverItIsDoing) {
    SimOptions o;
    o.silentAfter = 1;
    start(o);
    auto idle = loggedIn();
    auto waiting = loggedIn();
    const sGwRequest q = makeRequest(GwQuery, {"X"});
    ASSERT_TRUE(waiting->write(&q, sizeof q)); // never answered
    RawClient halfway(sim->port());
    ASSERT_TRUE(halfway.write(&q, 50));
    RawClient silent(sim->port());
    // A reply paused for an hour after its first bytes: the stop does not wait for it.
    sim->setReplyPacing(ReplyPacing::split(10, 3600 * 1000));
    RawClient paused(sim->port());
    const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
    ASSERT_TRUE(paused.write(&login, sizeof login));
    char first[10];
    ASSERT_TRUE(RawTcpServer::readExactly(paused.fd(), first, sizeof first));
    const int port = sim->port();

    sim->stop();
    for (RawClient* c : {idle.get(), waiting.get(), &halfway, &silent})
        EXPECT_GE(RawTcpServer::drainUntilClosed(c->fd()), 0) << "connection left open";
    EXPECT_EQ(RawTcpServer::drainUntilClosed(paused.fd()), 0) << "the rest of the paused reply came";
    RawClient late(port);
    EXPECT_FALSE(late.connected());
}

// Reads what has arrived of a reply once the socket is readable, without waiting for more.
std::size_t readPiece(RawClient& c, char* into, std::size_t room) {
    pollfd p{c.fd(), POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1)
        return 0;
    const ssize_t n = ::recv(c.fd(), into, room, MSG_DONTWAIT);
    return n > 0 ? std::size_t(n) : 0;
}

TEST_F(SimulatorTest, PacedRepliesComeInTheirPieces) {
    struct Case {
        const char* label;
        ReplyPacing pacing;
        std::vector<std::size_t> pieces; // the first pieces as they arrive
    } const cases[] = {{"whole", ReplyPacing{}, {244}},
                       {"split", ReplyPacing::split(30, 500), {30, 214}},
                       {"trickled", ReplyPacing::trickle(100), {1, 1, 1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SimOptions o;
        o.pacing = c.pacing;
        start(o);
        RawClient client(sim->port());
        const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
        ASSERT_TRUE(client.write(&login, sizeof login));
        sGwReply r{};
        char* bytes = reinterpret_cast<char*>(&r);
        std::vector<std::size_t> pieces;
        std::size_t got = 0;
        while (pieces.size() < c.pieces.size()) {
            pieces.push_back(readPiece(client, bytes + got, sizeof r - got));
            got += pieces.back();
        }
        EXPECT_EQ(pieces, c.pieces) << "split at " << c.pacing.splitAt << ", trickle " << c.pacing.trickleMs;
        EXPECT_EQ(r.reply_code, 0);
        if (got == sizeof r) {
            EXPECT_EQ(replyText(r), QByteArray("login ok"));
        }
    }
}

TEST_F(SimulatorTest, KeepsTheMostRecentRequests) {
    SimOptions o;
    o.keepRequests = 3;
    start(o);
    auto c = loggedIn();
    for (const QByteArray id : {"A", "B", "C", "D"})
        c->code(makeRequest(GwQuery, {id}));
    const auto reqs = sim->requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(QByteArray(reqs[0].msg_params), QByteArray("B"));
    EXPECT_EQ(QByteArray(reqs[2].msg_params), QByteArray("D"));
}

TEST_F(SimulatorTest, StartFailsClearlyOnABadAddressOrABusyPort) {
    SimOptions o;
    o.listen = "not-an-address";
    GatewaySimulator bad(o);
    QString error;
    EXPECT_FALSE(bad.start(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("not-an-address")));

    start();
    SimOptions same;
    same.port = sim->port();
    GatewaySimulator busy(same);
    EXPECT_FALSE(busy.start(&error));
    EXPECT_TRUE(error.contains(QString::number(sim->port()))) << error.toStdString();
}

TEST(SimProgram, PrintsItsAddressFirstLogsRequestsAsTheyCameAndStopsOnSigterm) {
    QProcess p;
    p.start(QStringLiteral(NORVI_GWSIM_PATH), {QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(p.waitForReadyRead(10000));
    const QByteArray first = p.readLine().trimmed();
    ASSERT_TRUE(first.startsWith("listening on 127.0.0.1:")) << first.constData();
    const int port = first.mid(first.lastIndexOf(':') + 1).toInt();
    {
        RawClient c(port);
        ASSERT_TRUE(c.connected());
        ASSERT_EQ(c.login(), 0);
        EXPECT_GE(c.code(makeRequest(GwSendDomestic, {"%3%4x", "01"}, "%1%2", 1)), 0);
    }
    p.terminate(); // SIGTERM
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray rest = p.readAllStandardOutput();
    EXPECT_TRUE(rest.contains("login demo -> 0")) << rest.constData();
    // The request line is built in one pass: markers such as "%3" inside a number are logged as they came.
    EXPECT_TRUE(rest.contains("send type 1 to %3%4x mode 01 len 4 -> ")) << rest.constData();
}

} // namespace
