#pragma once
// The socket calls the SMTP client makes, in one form for every platform: handles, start-up
// and clean-up (WSAStartup/WSACleanup on Windows, nothing on POSIX), time-outs in
// milliseconds, and the few calls whose arguments differ. SocketLayer_posix.cpp and
// SocketLayer_win.cpp hold the two forms.
#include <cstddef>
#include <cstdint>

namespace sentrel {

#ifdef _WIN32
// SOCKET is a pointer-sized unsigned integer; INVALID_SOCKET is its all-ones value.
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

/// Starts the socket layer asking for version 2.2; 0 on success, the reported version
/// in major/minor.
int SocketStartup(int& major, int& minor);
void SocketCleanup();
void CloseSocket(SocketHandle s);

/// An IPv4 address in network byte order from a dotted quad; false when it is none.
bool SocketParseAddress(const char* dotted, std::uint32_t& addr);
/// The first IPv4 address of a host name; false when the name does not resolve.
bool SocketLookupHost(const char* name, std::uint32_t& addr);
/// The port of the "mail" service, 25 when the services database does not know it.
std::uint16_t SocketMailPort();
/// This machine's name; false when it cannot be had.
bool SocketHostName(char* name, std::size_t size);

/// A new TCP socket, or kNoSocket.
SocketHandle SocketOpenStream();
/// Connects within `ms`; the socket stays blocking, with Nagle's algorithm off.
bool SocketConnect(SocketHandle s, std::uint32_t addr, std::uint16_t port, int ms);
/// Send and receive time-outs of `ms` milliseconds each.
bool SocketSetTimeouts(SocketHandle s, int ms);
/// The receive time-out as the system holds it, in milliseconds (-1 when unreadable).
int SocketReceiveTimeout(SocketHandle s);
/// > 0 when bytes (or the peer's close) wait, 0 when `ms` passed first, < 0 on error.
int SocketWaitReadable(SocketHandle s, int ms);
/// Bytes sent or received (0: the peer closed, for Receive), < 0 on error. Interrupted
/// calls are retried; sending never raises a signal.
long SocketSend(SocketHandle s, const char* data, std::size_t n);
long SocketReceive(SocketHandle s, char* data, std::size_t n);

/// Test seam: makes the next SocketStartup calls fail while set.
void SetSocketStartupFailsForTesting(bool fail);

}  // namespace sentrel
