// The gateway client against gateways whose replies come late, in parts or cut short. A reply that trickles
// past the reply wait is SendJobTest's (TrickledRepliesEndWithinTheReplyWaitAndItsRetry), through the job.

#include "GatewaySimulator.h"
#include "core/gateway/SMSendNorviGw.h"
#include "core/shared/Big5.h"
#include "core/shared/Clock.h"
#include "support/GatewayPeer.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

using namespace norvi;
using norvi::gwsim::GatewaySimulator;
using norvi::gwsim::ReplyPacing;
using norvi::gwsim::SimOptions;
using norvi::test::answer;
using norvi::test::pointAt;
using norvi::test::RawTcpServer;
using norvi::test::replyWith;

namespace {

const QDateTime kReplyNow(QDate(2031, 5, 6), QTime(10, 0, 0));

struct Result {
    int code;
    QByteArray text;
    int waits;
};

class GatewayReplyTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setFixed(kReplyNow); }
    void TearDown() override {
        sim.reset();
        Clock::reset();
    }
    void startSimulator(const ReplyPacing& pacing) {
        SimOptions options;
        options.port = 0;
        options.pacing = pacing;
        sim = std::make_unique<GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
    }
    static Result send(SMSendNorviGw& client, const QByteArray& number) {
        client.Clear();
        client.SetType(GwSendDomestic);
        client.SetCoding(1);
        client.SetMobile(number);
        client.SetContent(2, "hi");
        QByteArray text;
        const int code = client.Send(text);
        return {code, text, client.lastReplyWaits()};
    }
    static Result query(SMSendNorviGw& client, const QByteArray& msgId) {
        client.Clear();
        client.SetType(GwQuery);
        client.SetMsgId(msgId);
        QByteArray text;
        const int code = client.Send(text);
        return {code, text, client.lastReplyWaits()};
    }

    std::unique_ptr<GatewaySimulator> sim;
};

// Every reply in two parts, the first 100 bytes at once and the rest 1.5 s later. A refusal's text
// ends inside the first part; a MsgId runs on past it.
TEST_F(GatewayReplyTest, RepliesPausedMidwayKeepTheirCodesAndMsgIds) {
    startSimulator(ReplyPacing::split(100, 1500));
    sim->failNextSends(6, 2);
    SMSendNorviGw client;
    pointAt(client, sim->port());
    std::vector<Result> results;
    std::vector<int> connections;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(client.Login()) << client.message().constData();
        results.push_back(send(client, "090000000" + QByteArray::number(i + 1)));
        connections.push_back(sim->connectionCount());
    }
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].code, 6);
        EXPECT_EQ(results[i].text, QByteArray("refused (fault)"));
        EXPECT_EQ(results[i].waits, 1); // taken without waiting for its padding
    }
    // The refusals' padding was not waited for and had not come when the next send logged in, so that
    // connection was given up: a reconnect after each cut reply, and no reply read a stale tail.
    EXPECT_EQ(connections, (std::vector<int>{1, 2, 3, 3}));
    for (int i = 2; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].code, 0);
        EXPECT_EQ(results[i].text.size(), 20);
        EXPECT_EQ(results[i].waits, 2); // the MsgId was waited for across the pause
    }
    EXPECT_NE(results[2].text, results[3].text);

    // Both MsgIds are ones the gateway handed out.
    sim->setReplyPacing({});
    ASSERT_TRUE(client.Login());
    for (int i = 2; i < 4; ++i)
        EXPECT_EQ(query(client, results[i].text).code, 4) << i;
    EXPECT_EQ(sim->connectionCount(), 3);
}

TEST_F(GatewayReplyTest, RepliesSplitInTwoWithAShortPauseAreCompleted) {
    startSimulator(ReplyPacing::split());
    SMSendNorviGw client;
    pointAt(client, sim->port());
    ASSERT_TRUE(client.Login());
    const Result sent = send(client, "0912345678");
    ASSERT_EQ(sent.code, 0);
    EXPECT_EQ(sent.text.size(), 20); // the first part ends 16 bytes into the MsgId
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(query(client, sent.text).code, 4);
}

// A reply whose rest came after the client had what it reads: the rest is dropped before the next
// request, and the connection goes on.
TEST_F(GatewayReplyTest, RestThatHasArrivedIsDroppedAndTheConnectionKept) {
    std::promise<void> restWanted, restDelivered;
    std::future<void> restWantedNow = restWanted.get_future();
    RawTcpServer server([&](int fd) {
        answer(fd, replyWith(0, "ok"));
        sGwRequest q;
        RawTcpServer::readExactly(fd, &q, sizeof q);
        const sGwReply first = replyWith(6, "refused");
        RawTcpServer::writeAll(fd, &first, 100);
        restWantedNow.wait();
        RawTcpServer::writeAll(fd, reinterpret_cast<const char*>(&first) + 100, sizeof first - 100);
        RawTcpServer::waitUntilDelivered(fd);
        restDelivered.set_value();
        answer(fd, replyWith(0, "NV310506100000000002"));
        RawTcpServer::drainUntilClosed(fd);
    });
    SMSendNorviGw client;
    client.SetReplyWaitSeconds(2); // a client that wrongly reconnected would wait for an answer in vain
    pointAt(client, server.port());
    ASSERT_TRUE(client.Login());
    const Result refused = send(client, "0912345678");
    EXPECT_EQ(refused.code, 6);
    EXPECT_EQ(refused.waits, 1);
    restWanted.set_value();
    restDelivered.get_future().wait();

    ASSERT_TRUE(client.Login());
    const Result sent = send(client, "0912345678");
    EXPECT_EQ(sent.code, 0);
    EXPECT_EQ(sent.text, QByteArray("NV310506100000000002"));
    EXPECT_TRUE(client.loggedIn());
    client.Logout();
}

// Replies cut short in other ways: only the first 90 bytes of a reply whose text runs to 100.
TEST(CutReply, KeepsWhatArrivedAndTheConnectionIsGivenUp) {
    const struct {
        const char* name;
        bool closeAfterwards;
        int code;
        const char* text;
        int contentLength; // as Receive hands it back
    } cases[] = {          // The gateway hung up: what arrived is the reply, the rest reads as 0.
                 {"then closed", true, 7, "ABCDEF", 16},
                 // The text is still missing bytes: waited for until the reply wait ends.
                 {"then silent", false, -1, "Recv()逾時", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawTcpServer server([&c](int fd) {
            answer(fd, replyWith(0, "ok"));
            sGwRequest q;
            RawTcpServer::readExactly(fd, &q, sizeof q);
            const sGwReply r = replyWith(7, "ABCDEFGHIJKLMNOP");
            RawTcpServer::writeAll(fd, &r, 90);
            if (!c.closeAfterwards)
                RawTcpServer::drainUntilClosed(fd); // holds the connection open, sending nothing more
        });
        SMSendNorviGw client;
        client.SetReplyWaitSeconds(1);
        pointAt(client, server.port());
        ASSERT_TRUE(client.Login());
        uint8_t coding = 0;
        QByteArray content, params;
        int length = -1;
        client.Clear();
        client.SetType(GwQuery);
        EXPECT_EQ(client.Receive(coding, content, length, params), c.code);
        EXPECT_EQ(client.message(), big5(c.text));
        if (c.code >= 0) {
            EXPECT_EQ(content, QByteArray(c.text));
            EXPECT_EQ(length, c.contentLength);
        }
        EXPECT_FALSE(client.loggedIn());
    }
}

// The first request on a new connection follows the login at once, so the login's reply must have
// arrived whole; a refusal needs only its code and text, since it ends the connection anyway.
TEST(LoginReply, LoginNeedsItsWholeReply) {
    const struct {
        const char* name;
        sGwReply reply;
        std::size_t sent;
        bool closeAfterwards;
        int code;
        const char* text;
        std::size_t behind; // zero bytes that follow the reply at once
    } cases[] = {{"welcome without its padding", replyWith(0, "ok"), 100, false, -1, "Recv()逾時", 0},
                 {"welcome cut by close", replyWith(0, "ok"), 100, true, -1, "Norvi伺服器已切斷連線", 0},
                 {"refusal without its padding", replyWith(1, "wrong"), 100, false, 1, "wrong", 0},
                 // Bytes behind the welcome would be read as the first request's reply.
                 {"welcome with bytes behind", replyWith(0, "ok"), 244, false, -1, "閘道回覆不同步", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawTcpServer server([&c](int fd) {
            sGwRequest q;
            RawTcpServer::readExactly(fd, &q, sizeof q);
            QByteArray bytes(reinterpret_cast<const char*>(&c.reply), int(c.sent));
            bytes.append(QByteArray(int(c.behind), '\0'));
            RawTcpServer::writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
            if (!c.closeAfterwards)
                RawTcpServer::drainUntilClosed(fd);
        });
        SMSendNorviGw client;
        client.SetReplyWaitSeconds(1);
        pointAt(client, server.port());
        EXPECT_FALSE(client.Login());
        EXPECT_EQ(client.lastCode(), c.code);
        EXPECT_EQ(client.message(), big5(c.text));
        EXPECT_FALSE(client.loggedIn());
    }
}

// A gateway that answers once per request sends nothing behind a reply: bytes there (a late copy of an
// earlier reply, junk) mean the reply just read may not answer this request. It is handed back as
// untrusted and the connection given up, so the next request goes on a new one.
TEST(BytesBehindReply, ReplyWithBytesBehindItIsUntrustedAndItsConnectionGivenUp) {
    const struct {
        const char* name;
        std::size_t behind; // bytes that follow the reply in the same write
        bool untrusted;
    } cases[] = {{"nothing behind", 0, false}, {"a copy behind", sizeof(sGwReply), true}, {"one byte behind", 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawTcpServer server([&c](int fd) {
            answer(fd, replyWith(0, "ok"));
            sGwRequest q;
            RawTcpServer::readExactly(fd, &q, sizeof q);
            const sGwReply r = replyWith(0, "NV310506100000000001");
            QByteArray bytes(reinterpret_cast<const char*>(&r), int(sizeof r));
            bytes.append(c.behind == sizeof r ? bytes : QByteArray(int(c.behind), '\0'));
            RawTcpServer::writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
            RawTcpServer::drainUntilClosed(fd);
        });
        SMSendNorviGw client;
        client.SetReplyWaitSeconds(2);
        pointAt(client, server.port());
        ASSERT_TRUE(client.Login());
        client.Clear();
        client.SetType(GwQuery);
        client.SetMsgId("NV310506100000000001");
        QByteArray text;
        EXPECT_EQ(client.Send(text), 0);
        EXPECT_EQ(text, QByteArray("NV310506100000000001"));
        EXPECT_EQ(client.lastReplyUntrusted(), c.untrusted);
        EXPECT_EQ(client.loggedIn(), !c.untrusted);
        EXPECT_EQ(client.outOfStepCount(), c.untrusted ? 1 : 0);
        client.Logout();
    }
}

// A copy that comes after the reply was read is found when the client looks before its next request: the
// connection is given up. The first answer on a connection is told apart, since no copy can overtake it.
TEST(GatewayStaleCopy, CopyThatComesLaterIsFoundBeforeTheNextRequest) {
    std::promise<void> replyRead, copyDelivered;
    std::future<void> replyReadNow = replyRead.get_future();
    RawTcpServer server([&](int fd) {
        answer(fd, replyWith(0, "ok"));
        const sGwReply r = replyWith(0, "NV310506100000000001");
        answer(fd, r);
        answer(fd, replyWith(0, "NV310506100000000002"));
        replyReadNow.wait();
        RawTcpServer::writeAll(fd, &r, sizeof r);
        RawTcpServer::waitUntilDelivered(fd);
        copyDelivered.set_value();
        RawTcpServer::drainUntilClosed(fd);
    });
    SMSendNorviGw client;
    client.SetReplyWaitSeconds(2);
    pointAt(client, server.port());
    ASSERT_TRUE(client.Login());
    QByteArray text;
    for (int i = 1; i <= 2; ++i) {
        client.Clear();
        client.SetType(GwQuery);
        client.SetMsgId("NV31050610000000000" + QByteArray::number(i));
        ASSERT_EQ(client.Send(text), 0);
        EXPECT_EQ(client.repliesOnConnection(), i);
        EXPECT_FALSE(client.staleBytesWaiting());
    }
    replyRead.set_value();
    copyDelivered.get_future().wait();
    EXPECT_TRUE(client.staleBytesWaiting());
    EXPECT_FALSE(client.loggedIn());
    EXPECT_EQ(client.outOfStepCount(), 1);
}

} // namespace
