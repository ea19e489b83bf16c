// Gateway replies as the client reads them, arriving in parts. The input says how the bytes are cut into
// parts and what they are (a reply, perhaps less, perhaps the start of the next one); the parts come over
// a real socket, each only once the reader has taken the one before, and the gateway closes after the
// last. Whatever the bytes and the cuts: the reader ends, never reads past the record (what it leaves is
// exactly the rest of the stream), holds exactly the bytes that arrived and zeros after them, takes a
// reply only once everything the client reads from it has arrived, and a rest it still owes is dropped
// without touching the next reply. The reply text is read within its field.

#include "FuzzCheck.h"

#include "core/gateway/ReplyReader.h"
#include "core/gateway/ResultCodes.h"
#include "core/shared/FixedField.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace norvi;

namespace {

constexpr int kWaitMs = 10000; // never reached: the gateway always closes after its last part

// Writes the parts one after another, each once the reader has taken everything before it (or has
// finished), then closes the sending side.
void feed(int fd, int readerFd, const std::vector<std::string>& parts, const std::atomic<bool>& readerDone) {
    for (const std::string& part : parts) {
        for (;;) {
            int unread = 0;
            if (readerDone.load() || ::ioctl(readerFd, FIONREAD, &unread) != 0 || unread == 0)
                break;
            std::this_thread::yield();
        }
        std::size_t sent = 0;
        while (sent < part.size()) {
            const ssize_t n = ::send(fd, part.data() + sent, part.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += std::size_t(n);
        }
    }
    ::shutdown(fd, SHUT_WR);
}

std::string readToEnd(int fd) {
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        out.append(buffer, std::size_t(n));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BuildResultTables();
    FuzzedDataProvider input(data, size);
    std::vector<std::size_t> cuts;
    const int partCount = input.ConsumeIntegralInRange<int>(1, 6);
    for (int i = 1; i < partCount; ++i)
        cuts.push_back(input.ConsumeIntegralInRange<std::size_t>(0, 300));
    const std::string stream = input.ConsumeRemainingBytesAsString();
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (const std::size_t cut : cuts) {
        const std::size_t n = std::min(cut, stream.size() - at);
        parts.push_back(stream.substr(at, n));
        at += n;
    }
    parts.push_back(stream.substr(at));

    int fds[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
    const int reader = fds[0];
    const int gateway = fds[1];
    std::atomic<bool> done{false};
    std::thread feeder(feed, gateway, reader, std::cref(parts), std::cref(done));

    sGwReply reply;
    std::memset(&reply, 0xAA, sizeof reply); // the reader must clear what it does not fill
    ReplyReader replyReader(reader, reply, kWaitMs);
    const ReplyReader::Outcome outcome = replyReader.readReadable();
    done.store(true);
    feeder.join();

    using Outcome = ReplyReader::Outcome;
    FUZZ_CHECK(outcome == Outcome::Whole || outcome == Outcome::Readable || outcome == Outcome::Cut ||
               outcome == Outcome::Closed);
    const std::size_t arrived = sizeof(sGwReply) - replyReader.rest();
    const char* bytes = reinterpret_cast<const char*>(&reply);
    FUZZ_CHECK(arrived <= stream.size());
    FUZZ_CHECK(std::memcmp(bytes, stream.data(), arrived) == 0);
    for (std::size_t i = arrived; i < sizeof reply; ++i)
        FUZZ_CHECK(bytes[i] == 0);
    FUZZ_CHECK((outcome == Outcome::Closed) == stream.empty());
    if (outcome == Outcome::Whole)
        FUZZ_CHECK(arrived == sizeof reply);
    if (outcome == Outcome::Readable)
        FUZZ_CHECK(ReplyReadable(reply, arrived) && arrived < sizeof reply);
    if (outcome == Outcome::Cut)
        FUZZ_CHECK(arrived == stream.size() && arrived < sizeof reply);

    // The reply as the client uses it: the text within its field, raw content by its length.
    const QByteArray text = getField(reply.reply_content);
    FUZZ_CHECK(text.size() <= qsizetype(sizeof reply.reply_content));
    FUZZ_CHECK(!ResultText(reply.reply_code, CodeTable::Send, text).isEmpty());

    // What the reader left is the rest of the stream; a rest still owed is dropped and the next reply
    // starts where it should.
    std::size_t taken = arrived;
    if (outcome == Outcome::Readable) {
        std::size_t owed = replyReader.rest();
        const bool dropped = DropArrivedRest(reader, owed);
        FUZZ_CHECK(dropped == (stream.size() >= sizeof reply));
        taken = dropped ? sizeof reply : stream.size();
    }
    // The read that ends the record looks one byte past it: a byte found there goes with it (the client then
    // gives the connection up).
    if (replyReader.bytesBeyond())
        ++taken;
    FUZZ_CHECK(taken <= stream.size());
    const std::string left = readToEnd(reader);
    FUZZ_CHECK(taken + left.size() == stream.size());
    FUZZ_CHECK(left == stream.substr(taken));
    ::close(reader);
    ::close(gateway);
    return 0;
}
