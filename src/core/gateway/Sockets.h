#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

// The socket layer the gateway client is written against: the calls and error numbers of the Windows
// Sockets form (start-up and clean-up, last error, waits in whole seconds, one send of a whole record),
// carried out with POSIX sockets. Every function is safe to call from any thread.
namespace norvi::sockets {

// Error number of a call made while the layer is not started (the Windows Sockets value, so the
// texts that show it read the same everywhere).
constexpr int kNotInitialised = 10093;

// Counted start-up and clean-up of the layer. There is nothing to start on POSIX; the count only
// decides whether sockets may be created. Startup returns 0 on success.
int Startup();
void Cleanup();
bool Started();
// Tests: the next Startup fails, as a start-up of the socket library can on other systems.
void FailNextStartupForTest();

// The error number of the calling thread's last failed call (errno).
int LastError();

// Outcome of a wait. Woken: the wake-up descriptor became readable first (a stop).
enum class Wait { Ready, TimedOut, Failed, Woken };

// Waits until the socket can be written / has something to read (data, end of stream or an error),
// for at most `seconds` whole seconds or `milliseconds` (a negative count waits without limit).
// poll() is used, not select(): a descriptor above FD_SETSIZE must not corrupt memory. A negative
// descriptor fails with EBADF.
// `wakeFd` (-1: none) is polled beside the socket: once it is readable the wait ends with Woken, unless
// the socket is ready as well, since what has arrived is still worth taking.
Wait WaitWritable(int sock, int seconds, int wakeFd = -1);
Wait WaitReadable(int sock, int seconds, int wakeFd = -1);
Wait WaitReadableMs(int sock, int milliseconds, int wakeFd = -1);
// Whether a wake-up descriptor is readable now (false for -1).
bool WakeRaised(int wakeFd);

// Milliseconds on a clock that only goes forward, for deadlines of a few seconds. It is the coarse
// clock (a few milliseconds' resolution), which every system serves without a system call.
int64_t MonotonicMs();

// A blocking TCP socket, or -1 (see LastError). Fails with kNotInitialised while the layer is not
// started.
int CreateTcpSocket();

// Connects a blocking socket, giving up after `seconds` (a peer that never answers the handshake
// would otherwise hold the caller for minutes). Returns 0 or -1 (see LastError: ETIMEDOUT after the
// wait, ECANCELED when `wakeFd` ended it).
int Connect(int sock, const sockaddr_in& addr, int seconds, int wakeFd = -1);

// Sends a whole record. A closed peer is reported as an error (EPIPE), never as a SIGPIPE that ends
// the process. Returns the bytes sent or -1.
long SendRecord(int sock, const void* data, std::size_t size);

// Sends what fits without blocking (the same signal rule as SendRecord): the bytes sent, 0 when the
// socket cannot take any now, or -1.
long TrySend(int sock, const void* data, std::size_t size);

// One receive of at most `size` bytes: the count, 0 when the peer closed, or -1.
long Receive(int sock, void* data, std::size_t size);

// One receive that does not wait: the count, 0 when the peer closed, kNothingYet when nothing has
// arrived, or -1.
constexpr long kNothingYet = -2;
long TryReceive(int sock, void* data, std::size_t size);
// The same without taking the bytes: what a later receive would get.
long PeekReceive(int sock, void* data, std::size_t size);
// One receive of at most `size` bytes that also looks one byte further, as Receive (`wait`) or TryReceive:
// `*beyond` is set when more than `size` bytes had arrived. That byte is taken and lost, so the caller gives
// the connection up then. It tells in the same system call what a count of the bytes waiting would.
long ReceiveLookingBeyond(int sock, void* data, std::size_t size, bool* beyond, bool wait);
// How many bytes have arrived and wait to be received, without touching the socket's pending error (a reset
// stays for the next call to report); 0 when none or when that cannot be told.
long BytesWaiting(int sock);

void ShutdownBoth(int sock);
void Close(int sock);

// A dotted IPv4 address in network byte order, or INADDR_NONE when the text is not one.
uint32_t InetAddr(const char* dotted);

} // namespace norvi::sockets
