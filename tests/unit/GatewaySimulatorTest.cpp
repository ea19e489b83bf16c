#include "GatewaySimulator.h"
#include "RawTcpServer.h"
#include "SimCommandLine.h"
#include "TestText.h"
#include "gateway/SMSendNorviGw.h"
#include "shared/Big5.h"
#include "shared/Clock.h"

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
using norvi::test::RawTcpServer;
using norvi::test::textList;

namespace {

const QDateTime kNow(QDate(2031, 5, 6), QTime(10, 0, 0));

// "@+3600" is the schedule time one hour after kNow; anything else is taken as written.
QByteArray expand(const QByteArray& param) {
    if (!param.startsWith('@'))
        return param;
    return kNow.addSecs(param.mid(1).toLongLong()).toString(QStringLiteral("yyMMddHHmmss")).toLatin1();
}

sGwRequest makeRequest(uint8_t type, const QList<QByteArray>& params, const QByteArray& content = {},
                       uint8_t coding = 0) {
    sGwRequest q{};
    q.msg_type = type;
    q.msg_coding = coding;
    int pos = 0;
    for (const QByteArray& p : params) {
        const QByteArray text = expand(p);
        std::memcpy(q.msg_params + pos, text.constData(), std::size_t(text.size()));
        pos += int(text.size()) + 1;
    }
    q.msg_params_len = uint8_t(pos);
    std::memcpy(q.msg_content, content.constData(), std::size_t(content.size()));
    q.msg_content_len = uint8_t(content.size());
    return q;
}

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

QByteArray replyText(const sGwReply& r) {
    return QByteArray(r.reply_content, qstrnlen(r.reply_content, 160));
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setFixed(kNow); }
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
    void at(qint64 secondsAfterStart) { Clock::setFixed(kNow.addSecs(secondsAfterStart)); }

    std::unique_ptr<GatewaySimulator> sim;
};

TEST_F(SimulatorTest, LoginRulesAndRequestsBeforeLogin) {
    start();
    RawClient c(sim->port());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.code(makeRequest(GwQuery, {"X"})), 50);
    EXPECT_EQ(c.code(makeRequest(99, {})), 50);
    EXPECT_EQ(c.login("demo", "wrong"), 1);
    EXPECT_EQ(c.login("nobody", "demo"), 2);
    EXPECT_EQ(c.login("demo", "demo"), 0);
    EXPECT_EQ(c.login("demo", "demo"), 51);
    EXPECT_EQ(c.code(makeRequest(99, {})), 32);
    EXPECT_EQ(c.code(makeRequest(GwQuery, {"X"})), 2); // the connection stays usable
}

struct SendRule {
    const char* name;
    uint8_t type;
    uint8_t coding;
    QList<QByteArray> params;
    QByteArray content;
    int code;
    int contentLength = -1; // overrides msg_content_len when not -1
};
void PrintTo(const SendRule& c, std::ostream* os) {
    *os << c.name;
}

class SendRuleTest : public SimulatorTest, public ::testing::WithParamInterface<SendRule> {};

TEST_P(SendRuleTest, SendIsCheckedFieldByField) {
    const SendRule& c = GetParam();
    start();
    auto client = loggedIn();
    sGwRequest q = makeRequest(c.type, c.params, c.content, c.coding);
    if (c.contentLength >= 0)
        q.msg_content_len = uint8_t(c.contentLength);
    const auto r = client->exchange(q);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reply_code, c.code) << replyText(*r).constData();
    if (c.code == 0) {
        EXPECT_TRUE(replyText(*r).startsWith("NV"));
        EXPECT_LE(replyText(*r).size(), 20);
    }
}

const QByteArray kNumber = "0912345678";

INSTANTIATE_TEST_SUITE_P(
    Gateway, SendRuleTest,
    ::testing::Values(
        SendRule{"Valid", GwSendDomestic, 1, {kNumber, "01"}, "hello", 0},
        SendRule{"CodingZero", GwSendDomestic, 0, {kNumber, "01"}, "hello", 2},
        SendRule{"EmptyContent", GwSendDomestic, 1, {kNumber, "01"}, "", 4},
        SendRule{"ContentLengthBeyondTheField", GwSendDomestic, 1, {kNumber, "01"}, "hello", 4, 161},
        SendRule{"NulInsideTheContent", GwSendDomestic, 1, {kNumber, "01"}, QByteArray("ab\0cd", 5), 5},
        SendRule{"ContentShorterThanItsLength", GwSendDomestic, 1, {kNumber, "01"}, "abc", 5, 10},
        SendRule{"NineDigitNumber", GwSendDomestic, 1, {"091234567", "01"}, "hello", 6},
        SendRule{"ElevenDigitDomesticNumber", GwSendDomestic, 1, {"09123456789", "01"}, "hello", 6},
        SendRule{"InternationalWithPlus", GwSendInternational, 1, {"+886912345678", "01"}, "hello", 0},
        SendRule{"InternationalTwentyTwoDigits", GwSendInternational, 1, {QByteArray(22, '8'), "01"}, "hi", 0},
        SendRule{"InternationalTwentyThreeDigits", GwSendInternational, 1, {QByteArray(23, '8'), "01"}, "hi", 6},
        SendRule{"UnknownMode", GwSendDomestic, 1, {kNumber, "05"}, "hello", 7},
        SendRule{"LimitOfADay", GwSendDomestic, 1, {kNumber, "02", "1440"}, "hello", 0},
        SendRule{"LimitZero", GwSendDomestic, 1, {kNumber, "02", "0000"}, "hello", 8},
        SendRule{"LimitOverADay", GwSendDomestic, 1, {kNumber, "02", "1441"}, "hello", 8},
        SendRule{"LimitNotDigits", GwSendDomestic, 1, {kNumber, "02", "12a4"}, "hello", 8},
        SendRule{"BookedInAnHour", GwSendDomestic, 1, {kNumber, "03", "@3600"}, "hello", 0},
        SendRule{"BookedThisMinute", GwSendDomestic, 1, {kNumber, "03", "@-30"}, "hello", 0},
        SendRule{"BookedInThePast", GwSendDomestic, 1, {kNumber, "03", "@-120"}, "hello", 9},
        SendRule{"BookedSevenDaysAhead", GwSendDomestic, 1, {kNumber, "03", "@604800"}, "hello", 0},
        SendRule{"BookedBeyondSevenDays", GwSendDomestic, 1, {kNumber, "03", "@604801"}, "hello", 9},
        SendRule{"BookedOnANonDate", GwSendDomestic, 1, {kNumber, "03", "310230100000"}, "hello", 9},
        SendRule{"ScheduleElevenDigits", GwSendDomestic, 1, {kNumber, "03", "31050611000"}, "hello", 9},
        SendRule{"BookedWithLimit", GwSendDomestic, 1, {kNumber, "04", "@3600", "0030"}, "hello", 0},
        SendRule{"BookedWithBadLimit", GwSendDomestic, 1, {kNumber, "04", "@3600", "9999"}, "hello", 8},
        SendRule{"PhoneNumberInText", GwSendDomestic, 1, {kNumber, "01"}, "call 0912345678 now", 16},
        SendRule{"NineDigitsFromZero", GwSendDomestic, 1, {kNumber, "01"}, "091234567", 16},
        SendRule{"LongRunNotFromZero", GwSendDomestic, 1, {kNumber, "01"}, "12345678901", 0},
        SendRule{"PhoneNumberAfterChinese", GwSendDomestic, 1, {kNumber, "01"}, big5("請撥0912345678"), 16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, EveryAcceptedMessageGetsItsOwnMsgId) {
    start();
    auto c = loggedIn();
    std::set<QByteArray> ids;
    for (int i = 0; i < 50; ++i)
        ids.insert(sendMessage(*c, {kNumber, "01"}));
    EXPECT_EQ(ids.size(), 50u);
    EXPECT_FALSE(ids.count(QByteArray()));
}

TEST_F(SimulatorTest, MessageIsSubmittedThenDeliveredAfterTheDelay) {
    start(); // delivered 2 seconds after it is due
    auto c = loggedIn();
    const QByteArray id = sendMessage(*c, {kNumber, "01"});
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 4);
    at(1);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 4);
    at(2);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 0);
    EXPECT_EQ(c->code(makeRequest(GwCancel, {id})), 1); // not a reservation
}

TEST_F(SimulatorTest, ReservationWaitsUntilItsTimeThenGoesOutLikeAnyMessage) {
    start();
    auto c = loggedIn();
    const QByteArray id = sendMessage(*c, {kNumber, "03", "@3600"});
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 20);
    at(3599);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 20);
    at(3600);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 4);
    EXPECT_EQ(c->code(makeRequest(GwCancel, {id})), 1); // too late to cancel
    at(3602);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 0);
}

TEST_F(SimulatorTest, CancelledReservationStaysCancelled) {
    start();
    auto c = loggedIn();
    const QByteArray id = sendMessage(*c, {kNumber, "04", "@600", "0030"});
    const auto r = c->exchange(makeRequest(GwCancel, {id}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reply_code, 0);
    EXPECT_FALSE(replyText(*r).isEmpty());
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 21);
    EXPECT_EQ(c->code(makeRequest(GwCancel, {id})), 1);
    at(4000);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 21);
}

TEST_F(SimulatorTest, UnknownAndEmptyMsgIds) {
    start();
    auto c = loggedIn();
    for (const uint8_t type : {uint8_t(GwQuery), uint8_t(GwCancel)}) {
        EXPECT_EQ(c->code(makeRequest(type, {"NV000000000000000000"})), 2) << int(type);
        EXPECT_EQ(c->code(makeRequest(type, {""})), 3) << int(type);
        EXPECT_EQ(c->code(makeRequest(type, {})), 3) << int(type);
    }
}

TEST_F(SimulatorTest, MessagesBelongToTheAccountThatSentThem) {
    SimOptions o;
    o.accounts = {{"alice", "a"}, {"bob", "b"}};
    start(o);
    auto alice = loggedIn("alice", "a");
    auto bob = loggedIn("bob", "b");
    const QByteArray id = sendMessage(*alice, {kNumber, "03", "@600"});
    EXPECT_EQ(bob->code(makeRequest(GwQuery, {id})), 2);
    EXPECT_EQ(bob->code(makeRequest(GwCancel, {id})), 2);
    EXPECT_EQ(alice->code(makeRequest(GwQuery, {id})), 20);
}

TEST_F(SimulatorTest, MessageWhoseLimitEndsBeforeDeliveryExpires) {
    SimOptions o;
    o.deliverAfterSeconds = 600;
    start(o);
    auto c = loggedIn();
    const QByteArray id = sendMessage(*c, {kNumber, "02", "0001"});
    at(59);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 4);
    at(60);
    EXPECT_EQ(c->code(makeRequest(GwQuery, {id})), 9);
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

TEST_F(SimulatorTest, RecordThatStopsShortIsAnsweredAndTheConnectionGoesOn) {
    start();
    RawClient c(sim->port());
    const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
    ASSERT_TRUE(c.write(&login, 10));
    const auto r = c.read();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->reply_code, 30);
    EXPECT_EQ(c.login(), 0);
}

TEST_F(SimulatorTest, ParameterLengthBeyondTheFieldIsAnsweredAsBadLength) {
    start();
    auto c = loggedIn();
    sGwRequest q = makeRequest(GwQuery, {"X"});
    q.msg_params_len = 200;
    EXPECT_EQ(c->code(q), 30);
    q = makeRequest(GwLogin, {"demo", "demo"});
    q.msg_params_len = 101;
    EXPECT_EQ(c->code(q), 30);
}

TEST_F(SimulatorTest, GarbageRecordsGetAnswersAndDoNotHurtTheServer) {
    start();
    std::mt19937 random(42);
    RawClient c(sim->port());
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
    const int port = sim->port();

    sim->stop();
    for (RawClient* c : {idle.get(), waiting.get(), &halfway, &silent})
        EXPECT_GE(RawTcpServer::drainUntilClosed(c->fd()), 0) << "connection left open";
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
        ReplyPacing pacing;
        std::vector<std::size_t> pieces; // the first pieces as they arrive
    } const cases[] = {
        {ReplyPacing{}, {244}}, {ReplyPacing::split(30, 500), {30, 214}}, {ReplyPacing::trickle(100), {1, 1, 1}}};
    for (const Case& c : cases) {
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

TEST_F(SimulatorTest, StopEndsAPausedReplyAtOnce) {
    SimOptions o;
    o.pacing = ReplyPacing::split(10, 3600 * 1000);
    start(o);
    RawClient c(sim->port());
    const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
    ASSERT_TRUE(c.write(&login, sizeof login));
    char first[10];
    ASSERT_TRUE(RawTcpServer::readExactly(c.fd(), first, sizeof first));
    sim->stop(); // does not wait for the hour's pause
    EXPECT_EQ(RawTcpServer::drainUntilClosed(c.fd()), 0);
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

TEST(SimCommandLine, ReadsEveryOption) {
    SimOptions o;
    bool help = true;
    QString error;
    ASSERT_TRUE(
        parseCommandLine(textList({"--listen", "0.0.0.0", "--port=0", "--account", "alice:secret", "--account",
                                   "bob:pa:ss", "--deliver-after", "5", "--max-connections", "3", "--fail-sends",
                                   "11:2", "--close-after", "4", "--silent-after", "6", "--split-replies"}),
                         o, help, &error))
        << error.toStdString();
    EXPECT_FALSE(help);
    EXPECT_EQ(o.listen, QByteArray("0.0.0.0"));
    EXPECT_EQ(o.port, 0);
    const std::map<QByteArray, QByteArray> accounts{{"alice", "secret"}, {"bob", "pa:ss"}};
    EXPECT_EQ(o.accounts, accounts); // the demo account is replaced
    EXPECT_EQ(o.deliverAfterSeconds, 5);
    EXPECT_EQ(o.maxConnections, 3);
    EXPECT_EQ(o.failSendsCode, 11);
    EXPECT_EQ(o.failSendsCount, 2);
    EXPECT_EQ(o.closeAfter, 4);
    EXPECT_EQ(o.silentAfter, 6);
    EXPECT_EQ(o.pacing.splitAt, 100);
    EXPECT_EQ(o.pacing.pauseMs, 100);
    EXPECT_EQ(o.pacing.trickleMs, 0);
    ASSERT_TRUE(parseCommandLine({QStringLiteral("--help")}, o, help, &error));
    EXPECT_TRUE(help);
}

struct PacingCase {
    QStringList args;
    int splitAt, pauseMs, trickleMs;
};

TEST(SimCommandLine, ReplyPacingSwitches) {
    const PacingCase cases[] = {
        {textList({"--split-at", "60"}), 60, 100, 0},
        {textList({"--reply-pause", "1500"}), 100, 1500, 0},
        {textList({"--split-at=200", "--reply-pause=0", "--split-replies"}), 200, 0, 0},
        {textList({"--trickle-replies", "500"}), 0, 0, 500},
        {{}, 0, 0, 0},
    };
    for (const PacingCase& c : cases) {
        SimOptions o;
        bool help = false;
        QString error;
        ASSERT_TRUE(parseCommandLine(c.args, o, help, &error)) << error.toStdString();
        EXPECT_EQ(o.pacing.splitAt, c.splitAt) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(o.pacing.pauseMs, c.pauseMs) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(o.pacing.trickleMs, c.trickleMs) << c.args.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_TRUE(usageText().contains(QStringLiteral("--reply-pause MS")));
    EXPECT_TRUE(usageText().contains(QStringLiteral("--trickle-replies MS")));
    EXPECT_TRUE(usageText().contains(QStringLiteral("--split-at N")));
}

class SimCommandLineErrorTest : public ::testing::TestWithParam<QStringList> {};

TEST_P(SimCommandLineErrorTest, BadOptionIsRefusedByName) {
    SimOptions o;
    bool help = false;
    QString error;
    EXPECT_FALSE(parseCommandLine(GetParam(), o, help, &error));
    const QString option = GetParam().first().section(QLatin1Char('='), 0, 0);
    EXPECT_TRUE(error.contains(option)) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Gateway, SimCommandLineErrorTest,
                         ::testing::Values(QStringList{QStringLiteral("--port"), QStringLiteral("70000")},
                                           QStringList{QStringLiteral("--account"), QStringLiteral("nocolon")},
                                           QStringList{QStringLiteral("--fail-sends"), QStringLiteral("11")},
                                           QStringList{QStringLiteral("--listen"), QStringLiteral("localhost")},
                                           QStringList{QStringLiteral("--bogus")},
                                           QStringList{QStringLiteral("--split-replies=1")},
                                           QStringList{QStringLiteral("--max-connections"), QStringLiteral("0")},
                                           QStringList{QStringLiteral("--split-at"), QStringLiteral("0")},
                                           QStringList{QStringLiteral("--split-at"), QStringLiteral("244")},
                                           QStringList{QStringLiteral("--reply-pause"), QStringLiteral("-1")},
                                           QStringList{QStringLiteral("--trickle-replies"), QStringLiteral("0")},
                                           QStringList{QStringLiteral("--trickle-replies=5"),
                                                       QStringLiteral("--split-at"), QStringLiteral("3")},
                                           QStringList{QStringLiteral("--account"), QStringLiteral("😀:x")}));

TEST(SimProgram, PrintsItsAddressFirstLogsRequestsAndStopsOnSigterm) {
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
        EXPECT_EQ(c.login(), 0);
    }
    p.terminate(); // SIGTERM
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray rest = p.readAllStandardOutput();
    EXPECT_TRUE(rest.contains("login demo -> 0")) << rest.constData();
}

// The request line is built in one pass: markers such as "%3" inside a number are logged as they came.
TEST(SimProgram, RequestLineShowsPercentSignsInTheRequestAsTheyCame) {
    QProcess p;
    p.start(QStringLiteral(NORVI_GWSIM_PATH), {QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(p.waitForReadyRead(10000));
    const QByteArray first = p.readLine().trimmed();
    const int port = first.mid(first.lastIndexOf(':') + 1).toInt();
    {
        RawClient c(port);
        ASSERT_EQ(c.login(), 0);
        EXPECT_GE(c.code(makeRequest(GwSendDomestic, {"%3%4x", "01"}, "%1%2", 1)), 0);
    }
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    const QByteArray log = p.readAllStandardOutput();
    EXPECT_TRUE(log.contains("send type 1 to %3%4x mode 01 len 4 -> ")) << log.constData();
}

} // namespace
