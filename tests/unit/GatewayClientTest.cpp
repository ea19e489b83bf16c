#include "GatewaySimulator.h"
#include "core/gateway/ResultCodes.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/gateway/Sockets.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "support/GatewayPeer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace norvi;
using norvi::gwsim::GatewaySimulator;
using norvi::gwsim::SimOptions;
using norvi::test::answer;
using norvi::test::ClosedPort;
using norvi::test::pointAt;
using norvi::test::RawTcpServer;
using norvi::test::replyWith;

namespace {

const QDateTime kClientNow(QDate(2031, 5, 6), QTime(10, 0, 0));

QByteArray paramsOf(const sGwRequest& r) {
    return QByteArray(r.msg_params, r.msg_params_len);
}

bool zeroFrom(const char* field, std::size_t from, std::size_t width) {
    for (std::size_t i = from; i < width; ++i)
        if (field[i] != 0)
            return false;
    return true;
}

class GatewayClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::setFixed(kClientNow);
        startSimulator(SimOptions{});
    }
    void TearDown() override {
        sim.reset();
        Clock::reset();
    }
    void startSimulator(SimOptions options) {
        options.port = 0;
        sim = std::make_unique<GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
    }
    // A query for an id the simulator does not know: a harmless request that always gets an answer.
    int sendQuery(SMSendNorviGw& client, QByteArray& text) {
        client.Clear();
        client.SetType(GwQuery);
        client.SetMsgId("NO-SUCH-ID");
        return client.Send(text);
    }

    std::unique_ptr<GatewaySimulator> sim;
};

TEST_F(GatewayClientTest, LoginSendsAccountAndPasswordOnceAndKeepsTheConnection) {
    SMSendNorviGw client;
    pointAt(client, sim->port());
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(client.lastCode(), 0);
    EXPECT_EQ(client.message(), QByteArray("login ok"));
    EXPECT_TRUE(client.loggedIn());

    // A second Login on a logged-in client makes no traffic.
    EXPECT_TRUE(client.Login());
    QByteArray text;
    EXPECT_EQ(sendQuery(client, text), 2);
    EXPECT_EQ(sim->connectionCount(), 1);

    const auto reqs = sim->requests();
    ASSERT_EQ(reqs.size(), 2u);
    const sGwRequest& login = reqs[0];
    EXPECT_EQ(login.msg_type, GwLogin);
    EXPECT_EQ(login.msg_coding, 0);
    EXPECT_EQ(login.msg_content_len, 0);
    EXPECT_EQ(login.msg_params_len, 10);
    EXPECT_EQ(paramsOf(login), QByteArray("demo\0demo\0", 10));
    EXPECT_TRUE(zeroFrom(login.msg_params, 10, sizeof login.msg_params));
    EXPECT_TRUE(zeroFrom(login.msg_content, 0, sizeof login.msg_content));
}

TEST_F(GatewayClientTest, AccountAndPasswordAreCutToEightBytes) {
    SimOptions options;
    options.accounts = {{"abcdefgh", "12345678"}};
    startSimulator(options);
    SMSendNorviGw client;
    pointAt(client, sim->port(), "abcdefghijk", "123456789");
    ASSERT_TRUE(client.Login()) << client.message().constData();
    EXPECT_EQ(paramsOf(sim->requests().at(0)), QByteArray("abcdefgh\0"
                                                          "12345678\0",
                                                          18));
}

TEST_F(GatewayClientTest, RefusedLoginClosesTheConnectionAndKeepsCodeAndText) {
    const struct {
        const char* name;
        QByteArray account, password;
        int code;
        const char* tableText;
    } cases[] = {{"wrong password", "demo", "nope", 1, "密碼錯誤"},
                 {"unknown account", "nobody", "demo", 2, "帳號不存在"},
                 {"too many connections", "demo", "demo", 3, "超過允許的最大連線數目"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimOptions options;
        options.maxConnections = 1;
        startSimulator(options);
        SMSendNorviGw first; // holds the one connection the simulator allows
        if (c.code == 3) {
            pointAt(first, sim->port());
            ASSERT_TRUE(first.Login());
        }
        SMSendNorviGw client;
        pointAt(client, sim->port(), c.account, c.password);
        EXPECT_FALSE(client.Login());
        EXPECT_EQ(client.lastCode(), c.code);
        EXPECT_FALSE(client.loggedIn());
        if (c.code == 3) {
            EXPECT_EQ(client.message(), QByteArray("too many connections"));
            continue;
        }
        EXPECT_EQ(LoginTestText(false, client.lastCode(), client.message()), big5(c.tableText));
        EXPECT_EQ(ResultText(client.lastCode(), CodeTable::Login, client.message()),
                  big5(c.tableText) + "(" + client.message() + ")");

        // The refused connection is gone: the next Login opens a new one.
        const int before = sim->connectionCount();
        client.SetAccount("demo");
        client.SetPassword("demo");
        EXPECT_TRUE(client.Login());
        EXPECT_EQ(sim->connectionCount(), before + 1);
    }
}

// Each request as the gateway reads it, one after another on one client: a message's parameters in order with
// their cuts, and a query's or cancellation's MsgId alone. Clear() between them forgets the last message's
// schedule and limit, so a row after a booked one with a limit shows neither.
TEST_F(GatewayClientTest, ParametersArePackedInOrderWithTheirCuts) {
    const struct {
        const char* name;
        uint8_t type;
        QByteArray mobileOrMsgId;
        bool scheduled;
        int limit;
        QByteArray expectedParams; // '|' stands for each parameter's closing NUL, %S for the schedule time
    } cases[] = {
        {"now, no limit", GwSendDomestic, "0912345678", false, 0, "0912345678|01|"},
        {"now with a limit", GwSendDomestic, "0912345678", false, 90, "0912345678|02|0090|"},
        {"booked, no limit", GwSendDomestic, "0912345678", true, 0, "0912345678|03|%S|"},
        {"booked with a limit", GwSendDomestic, "0912345678", true, 30, "0912345678|04|%S|0030|"},
        {"now, after a booked message with a limit", GwSendDomestic, "0912345678", false, 0, "0912345678|01|"},
        {"a negative limit means none", GwSendDomestic, "0912345678", false, -5, "0912345678|01|"},
        {"a long limit keeps four digits", GwSendDomestic, "0912345678", false, 12345, "0912345678|02|1234|"},
        {"a domestic number cut to ten", GwSendDomestic, "09123456789", false, 0, "0912345678|01|"},
        {"international keeps 22", GwSendInternational, "+886912345678901234567", false, 0,
         "+886912345678901234567|01|"},
        {"international cut to 22", GwSendInternational, "+8869123456789012345678", false, 0,
         "+886912345678901234567|01|"},
        {"a query's MsgId cut to 20", GwQuery, "ABCDEFGHIJKLMNOPQRSTUVWXY", false, 0, "ABCDEFGHIJKLMNOPQRST|"},
        {"a cancellation's MsgId cut to 20", GwCancel, "ABCDEFGHIJKLMNOPQRSTUVWXY", false, 0, "ABCDEFGHIJKLMNOPQRST|"}};
    const QByteArray schedule = kClientNow.addSecs(3600).toString(QStringLiteral("yyMMddHHmmss")).toLatin1();
    const QByteArray text = big5("您好 hello");
    SMSendNorviGw client;
    pointAt(client, sim->port());
    ASSERT_TRUE(client.Login());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool message = c.type == GwSendDomestic || c.type == GwSendInternational;
        const QByteArray content = message ? text : QByteArray();
        QByteArray expected = c.expectedParams;
        expected.replace('|', '\0').replace("%S", schedule);
        client.Clear();
        if (c.scheduled)
            client.SetScheduleTime(schedule);
        if (c.limit != 0)
            client.SetLimitTime(c.limit);
        client.SetType(c.type);
        if (message) {
            client.SetCoding(1);
            client.SetMobile(c.mobileOrMsgId);
            client.SetContent(int(content.size()), content.constData());
        } else {
            client.SetMsgId(c.mobileOrMsgId);
        }
        QByteArray reply;
        // A message gets its MsgId; the simulator knows no such MsgId.
        EXPECT_EQ(client.Send(reply), message ? 0 : 2) << reply.constData();
        if (message) {
            EXPECT_EQ(reply.size(), 20);
        }

        const sGwRequest r = sim->requests().back();
        EXPECT_EQ(r.msg_type, c.type);
        EXPECT_EQ(r.msg_coding, message ? 1 : 0);
        EXPECT_EQ(paramsOf(r), expected);
        EXPECT_EQ(r.msg_params_len, expected.size());
        EXPECT_TRUE(zeroFrom(r.msg_params, std::size_t(expected.size()), sizeof r.msg_params));
        EXPECT_EQ(r.msg_content_len, content.size());
        EXPECT_EQ(QByteArray(r.msg_content, r.msg_content_len), content);
    }
}

TEST(GatewayClientContent, IsCutToOneHundredSixtyWithoutSplittingACharacter) {
    const QByteArray wide = big5("簡"); // one two-byte character
    const struct {
        const char* name;
        QByteArray text;
        int length; // as passed to SetContent
        int expected;
    } cases[] = {{"exactly full", QByteArray(160, 'a'), 160, 160},
                 {"one byte too long", QByteArray(161, 'a'), 161, 160},
                 {"a wide character ends at the limit", QByteArray(158, 'a') + wide + "x", 161, 160},
                 {"a wide character across the limit", QByteArray(159, 'a') + wide, 161, 159},
                 {"all wide", wide.repeated(81), 162, 160},
                 {"a short text is taken as given", QByteArray("abc") + wide.left(1), 4, 4},
                 {"a negative length is empty", QByteArray("abc"), -3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SMSendNorviGw client;
        client.SetContent(c.length, c.text.constData());
        const sGwRequest& r = client.request();
        EXPECT_EQ(r.msg_content_len, c.expected);
        EXPECT_EQ(QByteArray(r.msg_content, c.expected), c.text.left(c.expected));
        EXPECT_TRUE(zeroFrom(r.msg_content, std::size_t(c.expected), sizeof r.msg_content));
    }
}

// A login that fails on the transport: code -1, the reason as it stands (no table text), and the next Login
// of the same client starts over on a new connection. A port beyond the TCP range would wrap onto the
// simulator's port.
TEST_F(GatewayClientTest, LoginFailingOnTheTransportGivesTheReasonAndStartsOver) {
    ClosedPort closed;
    const struct {
        const char* name;
        int port, closeAfter;
        const char* text;
        int connections; // the simulator's, counted over the rows
    } cases[] = {{"connection refused", closed.port(), -1, "網路連線失敗", 0},
                 {"port beyond the TCP range", sim->port() + 65536, -1, "網路連線失敗", 0},
                 {"gateway closes during the login", sim->port(), 0, "Norvi伺服器已切斷連線", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim->setCloseAfter(c.closeAfter);
        SMSendNorviGw client;
        pointAt(client, c.port);
        EXPECT_FALSE(client.Login());
        EXPECT_EQ(client.lastCode(), -1);
        EXPECT_EQ(client.message(), big5(c.text));
        EXPECT_FALSE(client.loggedIn());
        EXPECT_EQ(ResultText(-1, CodeTable::Login, client.message()), big5(c.text));
        EXPECT_EQ(LoginTestText(false, -1, client.message()), big5(c.text));
        EXPECT_EQ(sim->connectionCount(), c.connections);
        if (c.closeAfter < 0)
            continue;
        sim->setCloseAfter(-1);
        EXPECT_TRUE(client.Login());
        EXPECT_EQ(sim->connectionCount(), 2);
    }
}

// A gateway that answers the login and then breaks the connection: the next request fails with -1, its
// text is the reason as it stands (no table text) and the client logs out.
TEST_F(GatewayClientTest, BrokenExchangeFailsWithTheReasonAndLogsOut) {
    const struct {
        const char* name;
        int closeAfter;           // the simulator's switches, unless `raw` plays the gateway
        int silentAfter;          //
        RawTcpServer::Script raw; // a gateway of bytes that answers the login, then breaks the connection
        bool brokenFirst;         // the raw gateway's connection is broken before the request is sent
        QByteArray text;
    } cases[] = {{"gateway closes", 1, -1, {}, false, big5("Norvi伺服器已切斷連線")},
                 {"gateway silent", -1, 1, {}, false, big5("Recv()逾時")},
                 {"reset while waiting for the reply", -1, -1,
                  [](int fd) {
                      answer(fd, replyWith(0, "ok"));
                      sGwRequest q;
                      RawTcpServer::readExactly(fd, &q, sizeof q);
                      RawTcpServer::armReset(fd);
                  },
                  false, big5("Recv()錯誤") + "(" + QByteArray::number(ECONNRESET) + ")"},
                 // Writing to a reset connection is a send error, never a signal that ends the program.
                 {"reset before the request", -1, -1,
                  [](int fd) {
                      answer(fd, replyWith(0, "ok"));
                      RawTcpServer::armReset(fd);
                  },
                  true, big5("Send()錯誤") + "(" + QByteArray::number(ECONNRESET) + ")"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<RawTcpServer> raw;
        if (c.raw) {
            raw = std::make_unique<RawTcpServer>(c.raw);
        } else {
            SimOptions options;
            options.closeAfter = c.closeAfter;
            options.silentAfter = c.silentAfter;
            startSimulator(options);
        }
        SMSendNorviGw client;
        client.SetReplyWaitSeconds(1);
        pointAt(client, raw ? raw->port() : sim->port());
        ASSERT_TRUE(client.Login());
        if (c.brokenFirst)
            raw->join(); // the reset has reached the client's socket once the server closed it
        QByteArray text;
        EXPECT_EQ(sendQuery(client, text), -1);
        EXPECT_EQ(text, c.text);
        EXPECT_FALSE(client.loggedIn());
        EXPECT_EQ(ResultText(-1, CodeTable::Query, text), text);
        if (!raw) {
            EXPECT_TRUE(client.Login()); // a new connection, answered again
            EXPECT_EQ(sim->connectionCount(), 2);
        }
    }
}

TEST_F(GatewayClientTest, SendWithoutAConnectionFailsTheWait) {
    SMSendNorviGw client;
    QByteArray text;
    EXPECT_EQ(sendQuery(client, text), -1);
    EXPECT_EQ(text, "Send() select error(" + QByteArray::number(EBADF) + ")");
    EXPECT_EQ(client.lastCode(), -1);
}

TEST_F(GatewayClientTest, ReceiveHandsBackRawContentOrTextAndParams) {
    RawTcpServer server([](int fd) {
        answer(fd, replyWith(0, "ok"));
        sGwReply raw{};
        raw.reply_code = 0;
        raw.reply_coding = 2;
        raw.reply_content_len = 5;
        std::memcpy(raw.reply_content, "a\0b\0c", 5);
        std::memcpy(raw.reply_params, "P1", 2);
        answer(fd, raw);
        sGwReply text = raw;
        text.reply_coding = 1;
        answer(fd, text);
        sGwReply overlong = raw;
        overlong.reply_coding = 3;
        overlong.reply_content_len = 200;
        answer(fd, overlong);
    });
    SMSendNorviGw client;
    pointAt(client, server.port());
    ASSERT_TRUE(client.Login());
    uint8_t coding = 0;
    QByteArray content, params;
    int length = 0;
    ASSERT_EQ(client.Receive(coding, content, length, params), 0);
    EXPECT_EQ(coding, 2);
    EXPECT_EQ(content, QByteArray("a\0b\0c", 5));
    EXPECT_EQ(length, 5);
    EXPECT_EQ(params, QByteArray("P1"));

    ASSERT_EQ(client.Receive(coding, content, length, params), 0);
    EXPECT_EQ(coding, 1);
    EXPECT_EQ(content, QByteArray("a"));

    ASSERT_EQ(client.Receive(coding, content, length, params), 0);
    EXPECT_EQ(length, 200);
    EXPECT_EQ(content.size(), 160); // never beyond the field
}

TEST(GatewayClientStartup, FailedSocketStartupLeavesAUsableObjectWhoseConnectionsFail) {
    ASSERT_FALSE(sockets::Started()) << "another client is alive";
    sockets::FailNextStartupForTest();
    SMSendNorviGw client;
    EXPECT_EQ(client.message(), QByteArray("WSAStartup failed!"));
    EXPECT_EQ(client.lastCode(), 0);
    pointAt(client, 8000);
    EXPECT_FALSE(client.Login());
    EXPECT_EQ(client.lastCode(), -1);
    EXPECT_EQ(client.message(), "Socket create error(" + QByteArray::number(sockets::kNotInitialised) + ")");
}

} // namespace
