#pragma once
// The pages the rendering benchmarks render: a shop's list page, a shell whose script
// fetches its items as JSON and builds the list (/p/N, /data/N.json).
#include <string>

#include "testsupport/TestServer.h"

namespace sentrel::test {

// A shop's list page: a shell whose script fetches the items as JSON and builds the list.
inline std::string Answer(const std::string& path) {
    auto reply = [](const char* type, const std::string& body) {
        return TestHttpServer::Response("200 OK",
                                        std::string("Content-Type: ") + type + "\r\nContent-Length: " +
                                            std::to_string(body.size()) + "\r\n",
                                        body);
    };
    if (path.rfind("/p/", 0) == 0)
        return reply("text/html; charset=utf-8",
                     "<!DOCTYPE html><html><head><title>Shop " + path.substr(3) +
                         "</title></head><body><h1>Shop</h1><ul id=list><li>Loading…</li></ul><script>"
                         "fetch('/data/" + path.substr(3) + ".json').then(r => r.json()).then(d => {"
                         " list.innerHTML = d.items.map(i => '<li>' + i.name + ' ' + i.price + '</li>').join('');"
                         "});</script></body></html>");
    if (path.rfind("/data/", 0) == 0) {
        std::string items;
        for (int i = 0; i < 30; ++i)
            items += std::string(i ? "," : "") + "{\"name\":\"Item " + std::to_string(i) + "\",\"price\":" +
                     std::to_string(100 + i) + "}";
        return reply("application/json", "{\"items\":[" + items + "]}");
    }
    return TestHttpServer::Response("404 Not Found", "Content-Length: 0\r\n", "");
}

}  // namespace sentrel::test
