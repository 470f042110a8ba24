#pragma once
// The operating system's IPv4 stream sockets behind one small interface:
// POSIX sockets, or Winsock 2.2 under _WIN32. Failures come back as Windows
// socket error codes (10004 ... 10066, 11001) whatever the platform, so that
// the connection raises the same errors everywhere. Nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kalvoran::net {

#ifdef _WIN32
using SocketHandle = std::uintptr_t;  // SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

inline constexpr int kHostNotFound = 11001;
inline constexpr int kAddressInUse = 10048;
inline constexpr int kRecvBufferSize = 32768;

// Keeps the platform's socket library started while at least one holder
// lives (a process-wide count under a lock; WSAStartup/WSACleanup on Windows).
class SocketStack {
 public:
  SocketStack();
  ~SocketStack();
  SocketStack(const SocketStack&) = delete;
  SocketStack& operator=(const SocketStack&) = delete;
};

// The Windows code for a platform error number (errno, or a WSA code as is).
int MapSocketError(int platformError);

// "LOCALHOST" in any case gives 127.0.0.1, four dot-separated decimal numbers
// from 0 to 255 are taken as they stand, any other name is looked up and its
// first IPv4 address taken. Returns 0 and the dotted address, or 11001.
int ResolveHost(const std::string& host, std::string& address);

// A new IPv4 stream socket that is not inherited by child processes;
// kNoSocket with `error` set on failure.
SocketHandle OpenStreamSocket(int& error);
// Binds to any local address and a port chosen at connect time. 0 or a code.
int BindAny(SocketHandle s);

enum class ConnectStep { kConnected, kPending, kFailed };
// Starts a non-blocking connect to address:port. kFailed sets `error`.
ConnectStep StartConnect(SocketHandle s, const std::string& address, int port, int& error);
// Waits up to timeoutMs for a started connect; kPending when the time passed.
ConnectStep AwaitConnect(SocketHandle s, int timeoutMs, int& error);
// Blocking mode for plain connections once connected; TLS ones are
// non-blocking and wait with WaitReadable and WaitWritable. 0 or a code.
int SetBlocking(SocketHandle s, bool blocking);

enum class WaitResult { kReady, kTimedOut, kFailed };
// Waits until the socket has bytes or an end to read; timeoutMs < 0 = no limit.
WaitResult WaitReadable(SocketHandle s, int timeoutMs);

// Waits until the socket can take bytes to send; timeoutMs < 0 = no limit.
WaitResult WaitWritable(SocketHandle s, int timeoutMs);

// Bytes received (0 = the peer closed), or -1 with `error` set.
std::ptrdiff_t Receive(SocketHandle s, char* buffer, std::size_t size, int& error);
// Bytes sent, or -1 with `error` set. Never raises SIGPIPE.
std::ptrdiff_t Send(SocketHandle s, const char* data, std::size_t size, int& error);

// Ends both directions; wakes a thread that waits on or receives from s.
void ShutdownBoth(SocketHandle s);
void CloseSocket(SocketHandle s);

}  // namespace kalvoran::net
