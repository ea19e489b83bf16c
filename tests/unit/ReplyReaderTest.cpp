#include "core/gateway/ReplyReader.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

using namespace norvi;
using ReadOutcome = ReplyReader::Outcome;

namespace {

sGwReply textReply(uint8_t code, const QByteArray& text, const QByteArray& params = {}) {
    sGwReply r{};
    r.reply_code = code;
    r.reply_coding = 1;
    r.reply_content_len = uint8_t(text.size());
    r.reply_params_len = uint8_t(params.size());
    std::memcpy(r.reply_params, params.constData(), std::size_t(params.size()));
    std::memcpy(r.reply_content, text.constData(), std::size_t(text.size()));
    return r;
}

sGwReply rawReply(uint8_t coding, const QByteArray& bytes, int statedLength) {
    sGwReply r = textReply(0, bytes);
    r.reply_coding = coding;
    r.reply_content_len = uint8_t(statedLength);
    return r;
}

struct ReadableCase {
    const char* name;
    sGwReply reply;
    std::size_t notYet; // one byte short of what the client reads
};
void PrintTo(const ReadableCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyReadableTest : public ::testing::TestWithParam<ReadableCase> {};

// The reply is readable from exactly one byte on: one byte less still misses something the client reads.
TEST_P(ReplyReadableTest, ReadableExactlyOnceWhatTheClientReadsHasArrived) {
    const ReadableCase& c = GetParam();
    EXPECT_FALSE(ReplyReadable(c.reply, c.notYet));
    EXPECT_TRUE(ReplyReadable(c.reply, c.notYet + 1));
    EXPECT_TRUE(ReplyReadable(c.reply, sizeof(sGwReply)));
}

sGwReply fullText() {
    sGwReply r = textReply(0, QByteArray(160, 'x'));
    return r;
}
sGwReply lyingLength() {
    sGwReply r = textReply(7, "ABCDEF");
    r.reply_content_len = 2; // the text is read up to its NUL all the same
    return r;
}
sGwReply paramsWithoutNul() {
    sGwReply r = textReply(0, "");
    std::memset(r.reply_params, 'p', sizeof r.reply_params);
    return r;
}

INSTANTIATE_TEST_SUITE_P(Gateway, ReplyReadableTest,
                         ::testing::Values(
                             // Empty texts: the params' NUL at 4 and the text's NUL at 84.
                             ReadableCase{"EmptyTextNeedsItsNul", textReply(0, ""), 84},
                             ReadableCase{"TextNeedsItsNul", textReply(6, "refused (fault)"), 84 + 15},
                             ReadableCase{"MsgId", textReply(0, "NV310506100000000001"), 84 + 20},
                             ReadableCase{"TextFillingTheFieldNeedsNoNul", fullText(), 243},
                             ReadableCase{"TextLengthIsNotTrusted", lyingLength(), 84 + 6},
                             ReadableCase{"ParamsUpToTheirNul", textReply(0, "", "P12"),
                                          84}, // params done at 8, text at 84
                             ReadableCase{"ParamsFillingTheirField", paramsWithoutNul(), 84},
                             ReadableCase{"RawContentByItsLength", rawReply(2, QByteArray("a\0b\0c", 5), 5), 84 + 4},
                             ReadableCase{"RawLengthBeyondTheField", rawReply(3, QByteArray(160, 'r'), 200), 243}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyReadable, NothingIsReadableBeforeTheHeaderAndRawContentOfLengthZeroNeedsOnlyTheHeaderAndParams) {
    const sGwReply raw = rawReply(2, "", 0);
    EXPECT_FALSE(ReplyReadable(raw, 3));
    EXPECT_FALSE(ReplyReadable(raw, 4)); // the params' NUL has not come
    EXPECT_TRUE(ReplyReadable(raw, 5));
    EXPECT_FALSE(ReplyReadable(textReply(0, "ok"), 0));
}

// Both ends of a stream in this process: the test writes the gateway's side byte-exactly.
class ReplyReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        client = fds[0];
        gateway = fds[1];
    }
    void TearDown() override {
        ::close(client);
        if (gateway >= 0)
            ::close(gateway);
    }
    void write(const sGwReply& r, std::size_t from, std::size_t to) {
        const char* p = reinterpret_cast<const char*>(&r);
        ASSERT_EQ(::send(gateway, p + from, to - from, MSG_NOSIGNAL), ssize_t(to - from));
    }
    void hangUp() {
        ::close(gateway);
        gateway = -1;
    }

    int client = -1, gateway = -1;
    sGwReply got{};
};

TEST_F(ReplyReaderTest, WholeReplyInOnePieceCostsOneWait) {
    const sGwReply r = textReply(0, "NV310506100000000001");
    write(r, 0, sizeof r);
    ReplyReader reader(client, got, 1000);
    EXPECT_EQ(reader.readReadable(), ReadOutcome::Whole);
    EXPECT_EQ(reader.waits(), 1);
    EXPECT_EQ(std::memcmp(&got, &r, sizeof r), 0);
}

// Bytes behind a reply mean the replies run ahead of the requests; the read of the last byte tells so.
TEST_F(ReplyReaderTest, BytesBehindTheRecordAreToldByTheReadThatEndsIt) {
    const sGwReply r = textReply(0, "NV310506100000000001");
    for (const std::size_t behind : {std::size_t(0), std::size_t(1), sizeof r}) {
        SCOPED_TRACE(behind);
        write(r, 0, 100);
        QByteArray rest(reinterpret_cast<const char*>(&r) + 100, int(sizeof r - 100));
        rest.append(QByteArray(int(behind), 'x'));
        ASSERT_EQ(::send(gateway, rest.constData(), std::size_t(rest.size()), MSG_NOSIGNAL), rest.size());
        ReplyReader reader(client, got, 1000);
        EXPECT_EQ(reader.readReadable(), ReadOutcome::Whole);
        EXPECT_EQ(reader.bytesBeyond(), behind > 0);
        EXPECT_EQ(std::memcmp(&got, &r, sizeof r), 0);
        char drop[sizeof r];
        while (::recv(client, drop, sizeof drop, MSG_DONTWAIT) > 0) {
        }
    }
}

TEST_F(ReplyReaderTest, ReadableReplyIsTakenWithoutWaitingForItsPadding) {
    const sGwReply r = textReply(6, "refused (fault)");
    write(r, 0, 100);                   // the text and its NUL end at 100; the padding never comes
    ReplyReader reader(client, got, 0); // no limit: a wait for the padding would never end
    EXPECT_EQ(reader.readReadable(), ReadOutcome::Readable);
    EXPECT_EQ(reader.waits(), 1);
    EXPECT_EQ(reader.rest(), 144u);
    EXPECT_EQ(got.reply_code, 6);
    EXPECT_STREQ(got.reply_content, "refused (fault)");
}

TEST_F(ReplyReaderTest, GatewayClosingAfterAReadablePartCutsTheConnection) {
    const sGwReply r = textReply(6, "no");
    write(r, 0, 100);
    hangUp();
    ReplyReader reader(client, got, 1000);
    EXPECT_EQ(reader.readReadable(), ReadOutcome::Cut);
    EXPECT_STREQ(got.reply_content, "no");
}

TEST_F(ReplyReaderTest, ReadingOnToTheLastByteAfterAReadablePart) {
    const sGwReply r = textReply(0, "login ok");
    write(r, 0, 100);
    ReplyReader reader(client, got, 200);
    ASSERT_EQ(reader.readReadable(), ReadOutcome::Readable);
    EXPECT_EQ(reader.readWhole(), ReadOutcome::TimedOut); // the padding did not come in time
    write(r, 100, sizeof r);
    // The wait is used up, but what has arrived by now is still taken.
    EXPECT_EQ(reader.readWhole(), ReadOutcome::Whole);
    EXPECT_STREQ(got.reply_content, "login ok");
}

TEST_F(ReplyReaderTest, ArrivedRestIsDroppedSoTheNextReplyStartsAtItsFirstByte) {
    const sGwReply first = textReply(6, "refused (fault)");
    const sGwReply second = textReply(0, "NV310506100000000002");
    write(first, 0, 100);
    ReplyReader reader(client, got, 1000);
    ASSERT_EQ(reader.readReadable(), ReadOutcome::Readable);
    std::size_t owed = reader.rest();

    write(first, 100, 200);
    EXPECT_FALSE(DropArrivedRest(client, owed)); // part of it is still on its way
    EXPECT_EQ(owed, 44u);
    write(first, 200, sizeof first);
    write(second, 0, sizeof second); // the next reply is never taken for the rest
    EXPECT_TRUE(DropArrivedRest(client, owed));
    EXPECT_EQ(owed, 0u);

    ReplyReader next(client, got, 1000);
    EXPECT_EQ(next.readReadable(), ReadOutcome::Whole);
    EXPECT_EQ(std::memcmp(&got, &second, sizeof second), 0);
}

} // namespace
