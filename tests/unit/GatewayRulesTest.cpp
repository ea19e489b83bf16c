#include "GatewayRules.h"
#include "core/shared/Big5.h"
#include "support/GatewayRequests.h"

#include <gtest/gtest.h>

#include <set>

using namespace norvi;
using namespace norvi::gwsim;
using norvi::test::kSimNow;
using norvi::test::makeRequest;

namespace {

const QByteArray kRulesNumber = "0912345678";

// The rules with a logged-in session, the time set by at().
struct LoggedIn {
    explicit LoggedIn(int deliverAfterSeconds = 2) : rules({{"demo", "demo"}}, deliverAfterSeconds, 64) {
        EXPECT_EQ(rules.handle(makeRequest(GwLogin, {"demo", "demo"}), session, now).code, kOk);
    }
    Outcome run(const sGwRequest& q) { return rules.handle(q, session, now); }
    int code(uint8_t type, const QList<QByteArray>& params) { return run(makeRequest(type, params)).code; }
    QByteArray sendMessage(const QList<QByteArray>& params) {
        const Outcome out = run(makeRequest(GwSendDomestic, params, "hello", 1));
        EXPECT_EQ(out.code, kOk) << out.text.constData();
        return out.text;
    }
    void at(qint64 secondsAfterStart) { now = kSimNow.addSecs(secondsAfterStart); }

    GatewayRules rules;
    Session session;
    QDateTime now = kSimNow;
};

class RulesTest : public ::testing::Test, protected LoggedIn {};

// One request on a session, in order; each row's code is checked.
struct LoginStep {
    uint8_t type;
    QList<QByteArray> params;
    int code;
};

TEST(GatewayRules, LoginRulesAndRequestsBeforeLogin) {
    GatewayRules rules({{"demo", "demo"}}, 2, 64);
    Session s;
    const LoginStep steps[] = {
        {GwQuery, {"X"}, 50},
        {99, {}, 50},
        {GwLogin, {"demo", "wrong"}, 1},
        {GwLogin, {"nobody", "demo"}, 2},
        {GwLogin, {"demo", "demo"}, 0},
        {GwLogin, {"demo", "demo"}, 51},
        {99, {}, 32},
        {GwQuery, {"X"}, 2}, // the session stays usable
    };
    int row = 0;
    for (const LoginStep& step : steps)
        EXPECT_EQ(rules.handle(makeRequest(step.type, step.params), s, kSimNow).code, step.code) << "row " << row++;
}

TEST(GatewayRules, LoginsBeyondTheConnectionLimitAreRefusedUntilOneLogsOut) {
    GatewayRules rules({{"demo", "demo"}}, 2, 2);
    Session a, b, c;
    const sGwRequest login = makeRequest(GwLogin, {"demo", "demo"});
    EXPECT_EQ(rules.handle(login, a, kSimNow).code, 0);
    EXPECT_EQ(rules.handle(login, b, kSimNow).code, 0);
    EXPECT_EQ(rules.handle(login, c, kSimNow).code, 3);
    rules.logout(a);
    EXPECT_EQ(rules.handle(login, c, kSimNow).code, 0);
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

class SendRuleTest : public RulesTest, public ::testing::WithParamInterface<SendRule> {};

TEST_P(SendRuleTest, SendIsCheckedFieldByField) {
    const SendRule& c = GetParam();
    sGwRequest q = makeRequest(c.type, c.params, c.content, c.coding);
    if (c.contentLength >= 0)
        q.msg_content_len = uint8_t(c.contentLength);
    const Outcome out = run(q);
    EXPECT_EQ(out.code, c.code) << out.text.constData();
    if (c.code == 0) {
        EXPECT_TRUE(out.text.startsWith("NV"));
        EXPECT_LE(out.text.size(), 20);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, SendRuleTest,
    ::testing::Values(
        SendRule{"Valid", GwSendDomestic, 1, {kRulesNumber, "01"}, "hello", 0},
        SendRule{"CodingZero", GwSendDomestic, 0, {kRulesNumber, "01"}, "hello", 2},
        SendRule{"EmptyContent", GwSendDomestic, 1, {kRulesNumber, "01"}, "", 4},
        SendRule{"ContentLengthBeyondTheField", GwSendDomestic, 1, {kRulesNumber, "01"}, "hello", 4, 161},
        SendRule{"NulInsideTheContent", GwSendDomestic, 1, {kRulesNumber, "01"}, QByteArray("ab\0cd", 5), 5},
        SendRule{"ContentShorterThanItsLength", GwSendDomestic, 1, {kRulesNumber, "01"}, "abc", 5, 10},
        SendRule{"NineDigitNumber", GwSendDomestic, 1, {"091234567", "01"}, "hello", 6},
        SendRule{"ElevenDigitDomesticNumber", GwSendDomestic, 1, {"09123456789", "01"}, "hello", 6},
        SendRule{"InternationalWithPlus", GwSendInternational, 1, {"+886912345678", "01"}, "hello", 0},
        SendRule{"InternationalTwentyTwoDigits", GwSendInternational, 1, {QByteArray(22, '8'), "01"}, "hi", 0},
        SendRule{"InternationalTwentyThreeDigits", GwSendInternational, 1, {QByteArray(23, '8'), "01"}, "hi", 6},
        SendRule{"UnknownMode", GwSendDomestic, 1, {kRulesNumber, "05"}, "hello", 7},
        SendRule{"LimitOfADay", GwSendDomestic, 1, {kRulesNumber, "02", "1440"}, "hello", 0},
        SendRule{"LimitZero", GwSendDomestic, 1, {kRulesNumber, "02", "0000"}, "hello", 8},
        SendRule{"LimitOverADay", GwSendDomestic, 1, {kRulesNumber, "02", "1441"}, "hello", 8},
        SendRule{"LimitNotDigits", GwSendDomestic, 1, {kRulesNumber, "02", "12a4"}, "hello", 8},
        SendRule{"BookedInAnHour", GwSendDomestic, 1, {kRulesNumber, "03", "@3600"}, "hello", 0},
        SendRule{"BookedThisMinute", GwSendDomestic, 1, {kRulesNumber, "03", "@-30"}, "hello", 0},
        SendRule{"BookedInThePast", GwSendDomestic, 1, {kRulesNumber, "03", "@-120"}, "hello", 9},
        SendRule{"BookedSevenDaysAhead", GwSendDomestic, 1, {kRulesNumber, "03", "@604800"}, "hello", 0},
        SendRule{"BookedBeyondSevenDays", GwSendDomestic, 1, {kRulesNumber, "03", "@604801"}, "hello", 9},
        SendRule{"BookedOnANonDate", GwSendDomestic, 1, {kRulesNumber, "03", "310230100000"}, "hello", 9},
        SendRule{"ScheduleElevenDigits", GwSendDomestic, 1, {kRulesNumber, "03", "31050611000"}, "hello", 9},
        SendRule{"BookedWithLimit", GwSendDomestic, 1, {kRulesNumber, "04", "@3600", "0030"}, "hello", 0},
        SendRule{"BookedWithBadLimit", GwSendDomestic, 1, {kRulesNumber, "04", "@3600", "9999"}, "hello", 8},
        SendRule{"PhoneNumberInText", GwSendDomestic, 1, {kRulesNumber, "01"}, "call 0912345678 now", 16},
        SendRule{"NineDigitsFromZero", GwSendDomestic, 1, {kRulesNumber, "01"}, "091234567", 16},
        SendRule{"LongRunNotFromZero", GwSendDomestic, 1, {kRulesNumber, "01"}, "12345678901", 0},
        SendRule{"PhoneNumberAfterChinese", GwSendDomestic, 1, {kRulesNumber, "01"}, big5("請撥0912345678"), 16}),
    [](const auto& info) { return std::string(info.param.name); });

// A message's life: sent with these parameters, then queried or cancelled at the given seconds.
struct LifeStep {
    qint64 at;
    uint8_t type; // GwQuery or GwCancel
    int code;
};
struct Life {
    const char* name;
    QList<QByteArray> params;
    int deliverAfterSeconds;
    std::vector<LifeStep> steps;
};
void PrintTo(const Life& c, std::ostream* os) {
    *os << c.name;
}

class LifeTest : public ::testing::TestWithParam<Life> {};

TEST_P(LifeTest, MessageStatesFollowTheClock) {
    const Life& life = GetParam();
    LoggedIn r(life.deliverAfterSeconds);
    const QByteArray id = r.sendMessage(life.params);
    int row = 0;
    for (const LifeStep& step : life.steps) {
        r.at(step.at);
        const Outcome out = r.run(makeRequest(step.type, {id}));
        EXPECT_EQ(out.code, step.code) << "row " << row << " at " << step.at << "s";
        EXPECT_FALSE(out.text.isEmpty()) << "row " << row;
        ++row;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, LifeTest,
    ::testing::Values(
        // Delivered 2 seconds after it is due; a message sent at once is no reservation to cancel.
        Life{"SubmittedThenDeliveredAfterTheDelay",
             {kRulesNumber, "01"},
             2,
             {{0, GwQuery, 4}, {1, GwQuery, 4}, {2, GwQuery, 0}, {2, GwCancel, 1}}},
        // Waits until its time, then goes out like any message; too late to cancel once due.
        Life{"ReservationWaitsUntilItsTime",
             {kRulesNumber, "03", "@3600"},
             2,
             {{0, GwQuery, 20}, {3599, GwQuery, 20}, {3600, GwQuery, 4}, {3600, GwCancel, 1}, {3602, GwQuery, 0}}},
        Life{"CancelledReservationStaysCancelled",
             {kRulesNumber, "04", "@600", "0030"},
             2,
             {{0, GwCancel, 0}, {0, GwQuery, 21}, {0, GwCancel, 1}, {4000, GwQuery, 21}}},
        Life{"LimitEndingBeforeDeliveryExpires",
             {kRulesNumber, "02", "0001"},
             600,
             {{59, GwQuery, 4}, {60, GwQuery, 9}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A number named to fail delivery, however it is written, is under way until due and then undeliverable for
// good; every other number is delivered as before.
TEST(GatewayRules, FailDeliveryNumbersAreAnsweredUndeliverableOnceDue) {
    const struct {
        QByteArray number;
        int before, after;
    } cases[] = {{"0912345678", 4, 17}, {"+886912345678", 4, 17}, {"0912000111", 4, 0}};
    for (const auto& c : cases) {
        LoggedIn r(2);
        r.rules.setFailDelivery({"0912345678"});
        const uint8_t type = c.number.startsWith('+') ? GwSendInternational : GwSendDomestic;
        const Outcome sent = r.run(makeRequest(type, {c.number, "01"}, "hello", 1));
        ASSERT_EQ(sent.code, kOk) << c.number.constData() << " " << sent.text.constData();
        EXPECT_EQ(r.run(makeRequest(GwQuery, {sent.text})).code, c.before) << c.number.constData();
        r.at(2);
        EXPECT_EQ(r.run(makeRequest(GwQuery, {sent.text})).code, c.after) << c.number.constData();
        r.at(100);
        EXPECT_EQ(r.run(makeRequest(GwQuery, {sent.text})).code, c.after) << c.number.constData();
    }
}

TEST_F(RulesTest, EveryAcceptedMessageGetsItsOwnMsgId) {
    std::set<QByteArray> ids;
    for (int i = 0; i < 50; ++i)
        ids.insert(sendMessage({kRulesNumber, "01"}));
    EXPECT_EQ(ids.size(), 50u);
    EXPECT_FALSE(ids.count(QByteArray()));
    EXPECT_EQ(rules.accepted(), 50);
}

TEST_F(RulesTest, UnknownAndEmptyMsgIds) {
    for (const uint8_t type : {uint8_t(GwQuery), uint8_t(GwCancel)}) {
        EXPECT_EQ(code(type, {"NV000000000000000000"}), 2) << int(type);
        EXPECT_EQ(code(type, {""}), 3) << int(type);
        EXPECT_EQ(code(type, {}), 3) << int(type);
    }
}

TEST(GatewayRules, MessagesBelongToTheAccountThatSentThem) {
    GatewayRules rules({{"alice", "a"}, {"bob", "b"}}, 2, 64);
    Session alice, bob;
    ASSERT_EQ(rules.handle(makeRequest(GwLogin, {"alice", "a"}), alice, kSimNow).code, 0);
    ASSERT_EQ(rules.handle(makeRequest(GwLogin, {"bob", "b"}), bob, kSimNow).code, 0);
    const Outcome sent =
        rules.handle(makeRequest(GwSendDomestic, {kRulesNumber, "03", "@600"}, "hello", 1), alice, kSimNow);
    ASSERT_EQ(sent.code, 0);
    EXPECT_EQ(rules.handle(makeRequest(GwQuery, {sent.text}), bob, kSimNow).code, 2);
    EXPECT_EQ(rules.handle(makeRequest(GwCancel, {sent.text}), bob, kSimNow).code, 2);
    EXPECT_EQ(rules.handle(makeRequest(GwQuery, {sent.text}), alice, kSimNow).code, 20);
}

TEST_F(RulesTest, ParameterLengthBeyondTheFieldIsAnsweredAsBadLength) {
    sGwRequest q = makeRequest(GwQuery, {"X"});
    q.msg_params_len = 200;
    EXPECT_EQ(run(q).code, 30);
    EXPECT_FALSE(GatewayRules::reachesSendChecks(q, session));
    q = makeRequest(GwLogin, {"demo", "demo"});
    q.msg_params_len = 101;
    EXPECT_EQ(run(q).code, 30);
}

// The log line shows what tells requests apart, and "%3" inside a request as it came.
TEST(GatewayRules, RequestLineShowsTheRequestAsItCame) {
    EXPECT_EQ(describeRequest(makeRequest(GwSendDomestic, {"%3%4x", "01"}, "%1%2", 1)),
              QStringLiteral("send type 1 to %3%4x mode 01 len 4"));
    EXPECT_EQ(describeRequest(makeRequest(GwLogin, {"demo", "demo"})), QStringLiteral("login demo"));
}

} // namespace
