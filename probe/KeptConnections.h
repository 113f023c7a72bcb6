#pragma once
// The connections a set of probe handles keep between requests. Bytes that arrive on a
// kept connection after its last answer (a second response, a late body, a stray line
// end) would be read as the next request's answer: such a connection is shut before any
// request starts, so that libcurl sees it closed and connects anew. A watcher thread and
// the many-page loop both keep their connections through this one rule.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "probe/ProbeDeclarations.h"

namespace sentrel {

class KeptConnections {
  public:
    KeptConnections() = default;
    KeptConnections(const KeptConnections&) = delete;
    KeptConnections& operator=(const KeptConnections&) = delete;

    /// Follows the sockets of this handle's requests; set before its first request.
    void Track(CURL* easy);
    /// The handle's request has ended: its connection, if kept, is idle from now on.
    void Ended(CURL* easy);
    /// The handle is about to be cleaned up, between requests.
    void Untrack(CURL* easy) { m_handles.erase(easy); }
    /// Shuts every idle kept connection on which bytes wait, in one look at them all.
    void DropDirty();
    /// Sockets open now (tests).
    std::size_t Open() const { return m_sockets.size(); }

  private:
    struct Socket {
        std::intptr_t fd;
        int port = 0;         // local port, looked up once connected
        int busy = 0;         // requests under way on it (more than one: multiplexed)
        bool served = false;  // a request has ended on it: it may now be kept idle
    };
    struct Handle {
        KeptConnections* owner;
        std::intptr_t socket = -1;  // of the request under way
    };
    friend struct KeptConnectionsCallbacks;  // libcurl's callbacks, in the .cpp
    Socket* ByPort(int port);

    std::vector<Socket> m_sockets;
    std::map<CURL*, std::unique_ptr<Handle>> m_handles;
};

}  // namespace sentrel
