#include "SimCommandLine.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <set>

using namespace norvi::gwsim;
using norvi::test::textList;

namespace {

TEST(SimCommandLine, ReadsEveryOption) {
    SimOptions o;
    bool help = true;
    QString error;
    ASSERT_TRUE(parseCommandLine(textList({"--listen",
                                           "0.0.0.0",
                                           "--port=0",
                                           "--account",
                                           "alice:secret",
                                           "--account",
                                           "bob:pa:ss",
                                           "--deliver-after",
                                           "5",
                                           "--max-connections",
                                           "3",
                                           "--fail-sends",
                                           "11:2",
                                           "--close-after",
                                           "4",
                                           "--silent-after",
                                           "6",
                                           "--split-replies",
                                           "--stale-copy-after",
                                           "450"}),
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
    EXPECT_EQ(o.replyFaults.staleCopyAfterMs, 450);
    ASSERT_TRUE(parseCommandLine({QStringLiteral("--help")}, o, help, &error));
    EXPECT_TRUE(help);
}

TEST(SimCommandLine, FailDeliveryTakesNumbersAndRefusesOthers) {
    const struct {
        QStringList args;
        bool ok;
        std::set<QByteArray> keys;
    } cases[] = {
        {textList({"--fail-delivery", "0912345678,0912-000-111", "--fail-delivery=+886933222111"}),
         true,
         {"0912345678", "0912000111", "0933222111"}},
        {textList({"--fail-delivery", "0912345678,abc"}), false, {}},
        {textList({"--fail-delivery", ""}), false, {}},
        {textList({"--fail-delivery", "0912345678,"}), false, {}},
    };
    for (const auto& c : cases) {
        SimOptions o;
        bool help = false;
        QString error;
        EXPECT_EQ(parseCommandLine(c.args, o, help, &error), c.ok) << c.args.join(u' ').toStdString();
        if (c.ok)
            EXPECT_EQ(o.failDelivery, c.keys);
        else
            EXPECT_TRUE(error.contains(QStringLiteral("--fail-delivery"))) << error.toStdString();
    }
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
                                           QStringList{QStringLiteral("--stale-copy-after"), QStringLiteral("x")},
                                           QStringList{QStringLiteral("--trickle-replies=5"),
                                                       QStringLiteral("--split-at"), QStringLiteral("3")},
                                           QStringList{QStringLiteral("--account"), QStringLiteral("😀:x")}));

} // namespace
