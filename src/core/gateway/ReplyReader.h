#pragma once

#include "core/gateway/GwRecords.h"

#include <cstddef>
#include <cstdint>

namespace norvi {

// Whether the first `arrived` bytes of a reply hold everything the client reads from it: the code and
// the lengths, the parameter text up to its NUL, and the reply text up to its NUL (raw content of the
// codings 2 and 3: as many bytes as its length says). A text that fills its field needs no NUL. The
// rest of the 244 bytes is padding that nobody reads.
bool ReplyReadable(const sGwReply& reply, std::size_t arrived);

// Reads one reply record. Replies are not delimited and may come in parts: the reader takes a reply as
// soon as what the client reads from it has arrived, and one wait bounds the whole read from its
// start, however slowly the bytes trickle in.
class StopFlag;

class ReplyReader {
public:
    enum class Outcome {
        Whole,         // all 244 bytes arrived
        Readable,      // what the client reads arrived; rest() bytes of the record are still to come
        Cut,           // the connection ended after part of the reply: what arrived is the reply
        Closed,        // the gateway closed the connection before the first byte
        TimedOut,      // the wait ran out first
        WaitFailed,    // the readability wait failed (error())
        ReceiveFailed, // a receive failed before any byte arrived (error())
        Stopped,       // the wake-up descriptor was raised (a stop) before the reply was readable
    };

    // Zeroes `reply`; the wait of `waitMs` (0 or less: no limit) starts now. `wakeFd` (-1: none) ends
    // the wait when it becomes readable; what has arrived by then is still taken.
    ReplyReader(int sock, sGwReply& reply, int waitMs, int wakeFd = -1);
    ~ReplyReader();
    ReplyReader(const ReplyReader&) = delete;
    ReplyReader& operator=(const ReplyReader&) = delete;

    // After `wakeFd` is raised, the reader goes on waiting for `graceMs` more (never beyond its own wait)
    // for an answer already on its way; only `urgentFd` (-1: none) or the end of the grace stops it then.
    // `stop` (nullptr: none) is told while the grace lasts.
    void setStopGrace(int graceMs, int urgentFd, const StopFlag* stop = nullptr);

    // Reads until what the client reads has arrived. Whatever else of the record has arrived by then
    // is taken too, so a reply that came in one piece is never left half read.
    Outcome readReadable();
    // Goes on to the last byte of the record, within what is left of the wait.
    Outcome readWhole();

    std::size_t rest() const { return sizeof(sGwReply) - m_arrived; }
    // Whether bytes had already arrived behind the record when its last byte was read: each receive looks one
    // byte past the record, so a reply read whole needs no system call of its own to tell.
    bool bytesBeyond() const { return m_beyond; }
    int error() const { return m_error; }
    // How often the reader waited for the socket to become readable; a reply that comes in one piece
    // costs one wait.
    int waits() const { return m_waits; }

private:
    Outcome read(bool whole);
    Outcome takeWhatHasArrived();
    int millisecondsLeft() const;
    // The wake-up descriptor was raised: true when the reader goes on in its grace.
    bool enterGrace();

    int m_sock;
    char* m_bytes;
    const sGwReply& m_reply;
    int m_waitMs;
    int m_wakeFd;
    int m_graceMs = 0;
    int m_urgentFd = -1;
    const StopFlag* m_graceOf = nullptr;
    bool m_inGrace = false;
    int64_t m_deadlineMs = 0;
    std::size_t m_arrived = 0;
    int m_waits = 0;
    int m_error = 0;
    bool m_beyond = false;
};

// Drops what has arrived of a reply's unread rest (`owed` bytes) without waiting, and counts `owed`
// down. True once nothing is owed; false while part of it is still on its way, or when the
// connection ended or failed.
bool DropArrivedRest(int sock, std::size_t& owed);

} // namespace norvi
