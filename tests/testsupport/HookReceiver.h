#pragma once
// A webhook or ntfy server on 127.0.0.1 that keeps every POST it receives, and answers
// each as the test says: a status, or nothing at all for a while (a hook that hangs).
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "testsupport/TestServer.h"

namespace sentrel::test {

class HookReceiver {
  public:
    struct Post {
        std::string head;  ///< the request line and headers
        std::string body;
        std::chrono::steady_clock::time_point when;
        /// A header's value ("" when missing), by its name as sent.
        std::string Header(const std::string& name) const {
            const std::string key = "\r\n" + name + ": ";
            const std::size_t at = head.find(key);
            if (at == std::string::npos) return std::string();
            const std::size_t from = at + key.size();
            return head.substr(from, head.find("\r\n", from) - from);
        }
    };
    /// The status for the request with this index (0 on): 0 hangs (no answer for 30 s).
    using Answer = std::function<int(int index)>;

    explicit HookReceiver(Answer answer = [](int) { return 200; })
        : m_answer(std::move(answer)),
          m_server([this](TestServer::Conn& c, const std::string& head, int) { Serve(c, head); }) {}

    std::string Url(const std::string& path = "/hook") const { return m_server.Url(path); }
    std::vector<Post> Posts() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_posts;
    }
    /// Waits until `n` requests came, at most `bound`.
    bool WaitFor(std::size_t n, std::chrono::milliseconds bound) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, bound, [&] { return m_posts.size() >= n; });
    }

  private:
    void Serve(TestServer::Conn& c, const std::string& head) {
        Post post{head, {}, std::chrono::steady_clock::now()};
        const std::string length = post.Header("Content-Length");
        if (!length.empty()) c.ReadBytes(std::stoul(length), post.body);
        int index;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            index = static_cast<int>(m_posts.size());
            m_posts.push_back(post);
        }
        m_cv.notify_all();
        const int status = m_answer(index);
        if (status == 0) {
            c.Sleep(std::chrono::seconds(30));
            c.Close();
            return;
        }
        c.Write("HTTP/1.1 " + std::to_string(status) + " Answer\r\nContent-Length: 2\r\n\r\nok");
    }

    Answer m_answer;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Post> m_posts;
    TestHttpServer m_server;
};

}  // namespace sentrel::test
