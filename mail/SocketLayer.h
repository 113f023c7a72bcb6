#pragma once
// The few socket calls whose Windows and POSIX forms differ. On Windows start-up and
// clean-up count like WSAStartup/WSACleanup; on POSIX they succeed and do nothing.

namespace sentrel {

#ifdef _WIN32
using SocketHandle = unsigned long long;
#else
using SocketHandle = int;
#endif
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

/// Starts the socket layer asking for version 2.2; 0 on success, the reported version
/// in major/minor.
int SocketStartup(int& major, int& minor);
void SocketCleanup();
void CloseSocket(SocketHandle s);

/// Test seam: makes the next SocketStartup calls fail while set.
void SetSocketStartupFailsForTesting(bool fail);

}  // namespace sentrel
