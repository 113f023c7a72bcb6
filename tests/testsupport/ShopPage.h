#pragma once
// A shop's page on 127.0.0.1 whose price and stock the test sets, counting its requests.
#include <atomic>
#include <mutex>
#include <string>

#include "testsupport/TestServer.h"

namespace sentrel::test {

struct ShopPage {
    std::mutex mutex;
    std::string body;
    std::atomic<int> hits{0};
    TestHttpServer server{[this](TestServer::Conn& c, const std::string&, int) {
        ++hits;
        std::lock_guard<std::mutex> lock(mutex);
        c.Write(TestHttpServer::Response(
            "200 OK", "Content-Type: text/html; charset=utf-8\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n",
            body));
    }};
    void Set(const std::string& price, const std::string& stock) {
        std::lock_guard<std::mutex> lock(mutex);
        body = "<html><body><h1>Kettle</h1><p>Price: " + price + " €</p><p>" + stock +
               "</p></body></html>";
    }
};

}  // namespace sentrel::test
