#pragma once
#include <cstdint>
#include <vector>

namespace sentrel {

/// True when bytes (or the peer's close) wait on a connected socket, without waiting.
bool SocketHasInput(std::intptr_t socket);
/// Those of `sockets` on which bytes (or the peer's close) wait: one look at all of them.
std::vector<std::intptr_t> SocketsWithInput(const std::vector<std::intptr_t>& sockets);
/// The local port of a bound socket; 0 when it has none.
int SocketLocalPort(std::intptr_t socket);
/// Ends both directions of a connection whose owner still holds (and later closes) it.
void SocketShutdown(std::intptr_t socket);
void SocketClose(std::intptr_t socket);

}  // namespace sentrel
