#pragma once
#include <cstdint>

namespace sentrel {

/// True when bytes (or the peer's close) wait on a connected socket, without waiting.
bool SocketHasInput(std::intptr_t socket);
/// Ends both directions of a connection whose owner still holds (and later closes) it.
void SocketShutdown(std::intptr_t socket);
void SocketClose(std::intptr_t socket);

}  // namespace sentrel
