#include "core/gateway/ReplyReader.h"

#include "core/gateway/Sockets.h"
#include "core/shared/StopSignal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace norvi {

namespace {

constexpr std::size_t kReplyHeaderSize = offsetof(sGwReply, reply_params);
constexpr std::size_t kParamsAt = offsetof(sGwReply, reply_params);
constexpr std::size_t kContentAt = offsetof(sGwReply, reply_content);

// The bytes of a field that lie within the first `arrived` bytes of the record.
std::size_t arrivedOf(std::size_t fieldAt, std::size_t width, std::size_t arrived) {
    return arrived <= fieldAt ? 0 : std::min(arrived - fieldAt, width);
}

// A NUL-terminated text is read up to its NUL and never beyond its field, whatever a length field
// says; so it is complete once its NUL or its whole field has arrived.
bool textIn(const char* field, std::size_t width, std::size_t in) {
    return in == width || std::memchr(field, 0, in) != nullptr;
}

} // namespace

bool ReplyReadable(const sGwReply& reply, std::size_t arrived) {
    if (arrived >= sizeof reply)
        return true;
    if (arrived < kReplyHeaderSize)
        return false;
    if (!textIn(reply.reply_params, sizeof reply.reply_params,
                arrivedOf(kParamsAt, sizeof reply.reply_params, arrived)))
        return false;
    const std::size_t contentIn = arrivedOf(kContentAt, sizeof reply.reply_content, arrived);
    if (reply.reply_coding == 2 || reply.reply_coding == 3)
        return contentIn >= std::min<std::size_t>(reply.reply_content_len, sizeof reply.reply_content);
    return textIn(reply.reply_content, sizeof reply.reply_content, contentIn);
}

ReplyReader::ReplyReader(int sock, sGwReply& reply, int waitMs, int wakeFd)
    : m_sock(sock), m_bytes(reinterpret_cast<char*>(&reply)), m_reply(reply), m_waitMs(waitMs), m_wakeFd(wakeFd) {
    std::memset(&reply, 0, sizeof reply);
    if (waitMs > 0)
        m_deadlineMs = sockets::MonotonicMs() + waitMs;
}

ReplyReader::~ReplyReader() {
    if (m_inGrace && m_graceOf)
        m_graceOf->setInGrace(false);
}

void ReplyReader::setStopGrace(int graceMs, int urgentFd, const StopFlag* stop) {
    m_graceMs = graceMs;
    m_urgentFd = urgentFd;
    m_graceOf = stop;
}

bool ReplyReader::enterGrace() {
    if (m_inGrace || m_graceMs <= 0 || sockets::WakeRaised(m_urgentFd))
        return false;
    m_inGrace = true;
    if (m_graceOf)
        m_graceOf->setInGrace(true);
    const int64_t graceEnd = sockets::MonotonicMs() + m_graceMs;
    if (m_waitMs <= 0 || graceEnd < m_deadlineMs)
        m_deadlineMs = graceEnd;
    m_waitMs = 1; // from now on the deadline above bounds every wait
    m_wakeFd = m_urgentFd;
    return true;
}

ReplyReader::Outcome ReplyReader::readReadable() {
    return read(false);
}

ReplyReader::Outcome ReplyReader::readWhole() {
    return read(true);
}

int ReplyReader::millisecondsLeft() const {
    if (m_waitMs <= 0)
        return -1;
    if (m_waits == 0 && !m_inGrace)
        return m_waitMs; // the clock was read a moment ago, when the wait started
    const int64_t left = m_deadlineMs - sockets::MonotonicMs();
    return left > 0 ? int(left) : 0;
}

ReplyReader::Outcome ReplyReader::read(bool whole) {
    for (;;) {
        if (m_arrived == sizeof(sGwReply))
            return Outcome::Whole;
        if (!whole && ReplyReadable(m_reply, m_arrived))
            return takeWhatHasArrived();
        // Once the wait is used up, only what has arrived by then is still taken.
        ++m_waits;
        const sockets::Wait w = sockets::WaitReadableMs(m_sock, millisecondsLeft(), m_wakeFd);
        // A grace that runs out ends the read as the stop it follows.
        if (w == sockets::Wait::TimedOut)
            return m_inGrace ? Outcome::Stopped : Outcome::TimedOut;
        if (w == sockets::Wait::Woken) {
            if (enterGrace())
                continue;
            return Outcome::Stopped;
        }
        if (w == sockets::Wait::Failed) {
            m_error = sockets::LastError();
            return Outcome::WaitFailed;
        }
        const long n =
            sockets::ReceiveLookingBeyond(m_sock, m_bytes + m_arrived, sizeof(sGwReply) - m_arrived, &m_beyond, true);
        if (n < 0)
            m_error = sockets::LastError();
        if (n <= 0) {
            if (m_arrived > 0)
                return Outcome::Cut;
            return n == 0 ? Outcome::Closed : Outcome::ReceiveFailed;
        }
        m_arrived += std::size_t(n);
    }
}

ReplyReader::Outcome ReplyReader::takeWhatHasArrived() {
    while (m_arrived < sizeof(sGwReply)) {
        const long n =
            sockets::ReceiveLookingBeyond(m_sock, m_bytes + m_arrived, sizeof(sGwReply) - m_arrived, &m_beyond, false);
        if (n == sockets::kNothingYet)
            return Outcome::Readable;
        if (n <= 0) {
            m_error = n < 0 ? sockets::LastError() : 0;
            return Outcome::Cut;
        }
        m_arrived += std::size_t(n);
    }
    return Outcome::Whole;
}

bool DropArrivedRest(int sock, std::size_t& owed) {
    char scratch[sizeof(sGwReply)];
    while (owed > 0) {
        const long n = sockets::TryReceive(sock, scratch, std::min(owed, sizeof scratch));
        if (n <= 0)
            return false; // not there yet, or the connection ended or failed
        owed -= std::size_t(n);
    }
    return true;
}

} // namespace norvi
