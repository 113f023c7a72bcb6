#pragma once
// Pages built by script on a loopback site, and the browser the tests render them with:
// the machine's Chromium, its name resolution pinned to loopback (nothing in a test may
// reach another address), or the stand-in browser that gives the faults a real one cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "probe/BrowserFinder.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

#ifndef _WIN32
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <fstream>
#endif

namespace sentrel::test {

// The site: each path's page, some built by their scripts. The data a page fetches and
// the comment in its script can be changed while it runs.
class ScriptSite {
  public:
    ScriptSite()
        : server([this](TestServer::Conn& c, const std::string& head, int) {
              const std::string path = head.substr(head.find(' ') + 1, head.find(' ', head.find(' ') + 1) - head.find(' ') - 1);
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  ++m_hits[path];
                  m_cookies[path] = Header(head, "Cookie");
              }
              if (path == "/slow") {
                  const int now = ++m_nSlowNow;
                  int seen = m_nSlowMost.load();
                  while (now > seen && !m_nSlowMost.compare_exchange_weak(seen, now)) {}
                  c.Sleep(std::chrono::milliseconds(800));
                  --m_nSlowNow;
              }
              if (path == "/hold" || path == "/hold.js") c.Sleep(std::chrono::seconds(20));
              c.Write(Answer(path));
          }) {}

    std::string Url(const std::string& path) const { return server.Url(path); }
    int Hits(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_hits.find(path);
        return it == m_hits.end() ? 0 : it->second;
    }
    std::string CookieSent(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_cookies.find(path);
        return it == m_cookies.end() ? std::string() : it->second;
    }
    int MostSlowAtOnce() const { return m_nSlowMost; }
    void SetPrice(const std::string& price) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_price = price;
    }
    void SetComment(const std::string& comment) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_comment = comment;
    }

  private:
    static std::string Header(const std::string& head, const std::string& name) {
        const std::size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) return std::string();
        const std::size_t start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
    // Every answer with its length: the browser keeps its connections.
    static std::string Reply(const std::string& status, const std::string& headers, const std::string& body) {
        return TestHttpServer::Response(
            status, headers + "Cache-Control: no-store\r\nContent-Length: " + std::to_string(body.size()) + "\r\n",
            body);
    }
    static std::string Html(const std::string& body, const std::string& headers = "") {
        return Reply("200 OK", "Content-Type: text/html; charset=utf-8\r\n" + headers, body);
    }
    std::string Answer(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (path == "/shell")
            return Html("<html><body><h1>Shop</h1><div id='app'>Loading…</div><script>/* " + m_comment +
                        " */ fetch('/data.json').then(r => r.json()).then(d => {"
                        " document.getElementById('app').innerHTML = '<p>Price ' + d.price + '</p><p>Stock 3</p>'; });"
                        "</script></body></html>");
        if (path == "/data.json")
            return Reply("200 OK", "Content-Type: application/json\r\n", "{\"price\": \"" + m_price + "\"}");
        if (path == "/timer")
            return Html("<body><p>Waiting</p><script>setTimeout(() => document.body.insertAdjacentHTML('beforeend',"
                        " '<p>Ready after the timer</p>'), 300);</script></body>");
        if (path == "/error")
            return Html("<body><p>Before the error</p><script>noSuchFunction(); document.body.append('never');"
                        "</script><p>After the error</p></body>");
        if (path == "/busy")
            return Html("<body><p>Busy</p><script>setTimeout(() => { for (;;) {} }, 100);</script></body>");
        if (path == "/busy-before-load") return Html("<body><p>Never loads</p><script>for (;;) {}</script></body>");
        if (path == "/polling")
            return Html("<body><p>Polling page</p><script>setInterval(() => fetch('/tick'), 100);</script></body>");
        if (path == "/tick") return Reply("200 OK", "", "tick");
        if (path == "/alert")
            return Html("<body><script>alert('hello'); confirm('sure?'); prompt('name?');"
                        " document.body.insertAdjacentHTML('beforeend', '<p>After the dialogs</p>');</script></body>");
        if (path == "/redirect")
            return Html("<body><p>Moving on</p><script>setTimeout(() => { location.href = '/landing'; }, 100);"
                        "</script></body>");
        if (path == "/landing") return Html("<body><p>Landing page</p></body>");
        if (path == "/popup")
            return Html("<body><p>Opener page</p><script>window.open('/landing', '_blank');</script></body>");
        if (path == "/file")
            return Html("<body><p id='out'>Asking</p><script>fetch('file:///etc/hostname').then(r => r.text())"
                        ".then(t => { out.textContent = 'Read ' + t; }).catch(() => { out.textContent = 'Refused'; });"
                        "</script></body>");
        if (path == "/to-file")
            return Html("<body><p>Stays here</p><script>location.href = 'file:///etc/passwd';</script></body>");
        if (path == "/cookie")
            return Html("<body><p>Cookie: " + (m_cookies[path].empty() ? std::string("none") : m_cookies[path]) +
                            "</p><script>document.cookie = 'script=1'; localStorage.setItem('seen', '1');</script></body>",
                        "Set-Cookie: visited=1\r\n");
        if (path == "/image")
            return Html("<body><p>With a picture</p><img src='/picture.png'><style>@font-face { font-family: f;"
                        " src: url('/font.woff2'); } p { font-family: f; }</style></body>");
        if (path == "/slow") return Html("<body><p>Slow page</p></body>");
        // A script that never comes: no load event.
        if (path == "/held-script") return Html("<body><p>Top</p><script src='/hold.js'></script></body>");
        // Pages that make the document hard to read or to carry.
        if (path == "/outer-html")
            return Html("<body><p>Still read</p><script>Object.defineProperty(Element.prototype, 'outerHTML',"
                        " {get() { return 42; }});</script></body>");
        if (path == "/half-emoji")
            return Html("<body><p id='d'></p><script>d.textContent = 'Deal \\u{1F600}'.substring(0, 6);</script>"
                        "<p>Whole \xF0\x9F\x98\x80</p></body>");
        // 4 GB of buffers, each filled; what could not be had is told.
        if (path == "/buffers")
            return Html("<body><p id='o'>start</p><script>let keep = [], n = 0; try { for (let i = 0; i < 16; i++) {"
                        " const a = new Uint8Array(256 * 1024 * 1024); a.fill(1); keep.push(a); n++; } } catch (e) {"
                        " o.textContent = 'refused'; } document.body.insertAdjacentHTML('beforeend', '<p>held ' + n +"
                        " '</p>');</script></body>");
        if (path == "/million-nodes")
            return Html("<body><div id='r'></div><script>for (let i = 0; i < 1000000; i++) {"
                        " const d = document.createElement('div'); d.textContent = 'node ' + i; r.appendChild(d); }"
                        "</script></body>");
        if (path == "/missing")
            return Reply("404 Not Found", "Content-Type: text/html\r\n", "<p>Not here</p>");
        return Reply("404 Not Found", "", "");
    }

    mutable std::mutex m_mutex;
    std::map<std::string, int> m_hits;
    std::map<std::string, std::string> m_cookies;
    std::string m_price = "42";
    std::string m_comment = "first";
    std::atomic<int> m_nSlowNow{0}, m_nSlowMost{0};

  public:
    TestHttpServer server;
};

#ifndef _WIN32
// The machine's browser (SENTREL_TEST_BROWSER names another) behind a wrapper that pins its
// name resolution to loopback, or sends every name to a trap port, and counts its starts in
// the folder's file "starts".
class TestBrowser {
  public:
    explicit TestBrowser(int trapPort = 0) {
        const char* asked = std::getenv("SENTREL_TEST_BROWSER");
        const std::vector<std::string> found = BrowserCandidates();
        const std::string real = asked && *asked ? asked : found.empty() ? std::string() : found.front();
        if (real.empty()) return;
        const std::string names =
            trapPort ? "MAP * 127.0.0.1:" + std::to_string(trapPort) + " , EXCLUDE 127.0.0.1" : "MAP * ~NOTFOUND , EXCLUDE 127.0.0.1";
        m_path = m_dir.File("browser");
        WriteFile(m_path, "#!/bin/sh\necho start >> '" + m_dir.File("starts") + "'\nexec '" + real +
                              "' '--host-resolver-rules=" + names + "' \"$@\"\n");
        ::chmod(m_path.c_str(), 0755);
    }
    /// Empty when the machine has no browser (the test set-up installs one).
    const std::string& Path() const { return m_path; }
    int Starts() const {
        const std::string starts = ReadFile(m_dir.File("starts"));
        return static_cast<int>(std::count(starts.begin(), starts.end(), '\n'));
    }

  private:
    TempDir m_dir;
    std::string m_path;
};

// The processes whose command line holds `text` (a browser's profile folder, say).
inline std::vector<pid_t> ProcessesWith(const std::string& text) {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || pid == ::getpid()) continue;
        std::ifstream in("/proc/" + std::string(entry->d_name) + "/cmdline", std::ios::binary);
        const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (line.find(text) != std::string::npos) found.push_back(pid);
    }
    ::closedir(proc);
    return found;
}

// The names in a folder (a browser's temporary profiles in TMPDIR, say).
inline std::vector<std::string> FolderEntries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* entry = ::readdir(d))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
        ::closedir(d);
    }
    return names;
}
#endif

}  // namespace sentrel::test
