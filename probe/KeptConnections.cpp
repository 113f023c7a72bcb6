#include "probe/KeptConnections.h"

#include <algorithm>

#include "platform/CurlApi.h"
#include "platform/Sockets.h"

namespace sentrel {

struct KeptConnectionsCallbacks {
    static int Opened(void* data, curl_socket_t socket, curlsocktype) {
        static_cast<KeptConnections*>(data)->m_sockets.push_back(
            {static_cast<std::intptr_t>(socket)});
        return CURL_SOCKOPT_OK;
    }

    static int Closed(void* data, curl_socket_t socket) {
        auto& self = *static_cast<KeptConnections*>(data);
        const auto fd = static_cast<std::intptr_t>(socket);
        self.m_sockets.erase(
            std::remove_if(self.m_sockets.begin(), self.m_sockets.end(),
                           [fd](const KeptConnections::Socket& s) { return s.fd == fd; }),
            self.m_sockets.end());
        for (auto& [easy, handle] : self.m_handles)
            if (handle->socket == fd) handle->socket = -1;
        SocketClose(fd);
        return 0;
    }

    // A request is about to go out on a new or kept connection: that connection is busy.
    static int Request(void* data, char*, char*, int, int localPort) {
        auto& handle = *static_cast<KeptConnections::Handle*>(data);
        if (KeptConnections::Socket* s = handle.owner->ByPort(localPort)) {
            ++s->busy;
            handle.socket = s->fd;
        }
        return CURL_PREREQFUNC_OK;
    }
};

void KeptConnections::Track(CURL* easy) {
    auto& handle = m_handles[easy];
    if (!handle) handle = std::make_unique<Handle>(Handle{this});
    Curl()->easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &KeptConnectionsCallbacks::Opened);
    Curl()->easy_setopt(easy, CURLOPT_SOCKOPTDATA, this);
    Curl()->easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &KeptConnectionsCallbacks::Closed);
    Curl()->easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    Curl()->easy_setopt(easy, CURLOPT_PREREQFUNCTION, &KeptConnectionsCallbacks::Request);
    Curl()->easy_setopt(easy, CURLOPT_PREREQDATA, handle.get());
}

void KeptConnections::Ended(CURL* easy) {
    auto it = m_handles.find(easy);
    if (it == m_handles.end() || it->second->socket < 0) return;
    for (Socket& s : m_sockets)
        if (s.fd == it->second->socket) {
            if (s.busy > 0) --s.busy;
            s.served = true;
        }
    it->second->socket = -1;
}

KeptConnections::Socket* KeptConnections::ByPort(int port) {
    for (Socket& s : m_sockets)
        if (s.port == port) return &s;
    // Sockets connected since the last look: their ports are learnt once.
    for (Socket& s : m_sockets)
        if (s.port == 0 && (s.port = SocketLocalPort(s.fd)) == port) return &s;
    return nullptr;
}

void KeptConnections::DropDirty() {
    // Only connections that served a request and wait idle: a new connection has said
    // nothing yet, and a busy one is being read by its request.
    std::vector<std::intptr_t> idle;
    for (const Socket& s : m_sockets)
        if (s.served && s.busy == 0) idle.push_back(s.fd);
    for (std::intptr_t fd : SocketsWithInput(idle)) SocketShutdown(fd);
}

}  // namespace sentrel
