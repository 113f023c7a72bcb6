#pragma once
// What the tests of sentrel-watch share: the program, a profile folder with its list, and a
// site whose pages' sizes a test sets.
#include <gtest/gtest.h>

#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "store/TextStore.h"
#include "store/UrlStore.h"
#include "testsupport/Process.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

namespace sentrel {
namespace test {

inline const std::string kWatch = SENTREL_BIN_DIR "/sentrel-watch";

// Pages whose size the test sets; /etag answers a matching If-None-Match with 304.
struct Site {
    std::atomic<int> size{100};
    TestHttpServer server{[this](TestServer::Conn& c, const std::string& head, int) {
        if (head.find("GET /gone ") == 0) {
            c.Write(TestHttpServer::Response("404 Not Found", "Content-Length: 0\r\n", ""));
            return;
        }
        const std::string etag = "\"" + std::to_string(size.load()) + "\"";
        if (head.find("If-None-Match: " + etag + "\r\n") != std::string::npos) {
            c.Write("HTTP/1.1 304 Not Modified\r\nETag: " + etag + "\r\n\r\n");
            return;
        }
        const std::string extra = head.find("GET /etag ") == 0 ? "ETag: " + etag + "\r\n" : "";
        c.Write(TestHttpServer::Response(
            "200 OK", extra + "Content-Length: " + std::to_string(size.load()) + "\r\n",
            std::string(static_cast<std::size_t>(size.load()), 'x')));
    }};
};

// A site that counts the requests for each path and answers each with the response
// `answer` gives for its path.
class CountingSite {
  public:
    explicit CountingSite(std::function<std::string(const std::string& path)> answer)
        : m_answer(std::move(answer)),
          server([this](TestServer::Conn& c, const std::string& head, int) {
              const std::string path = head.substr(4, head.find(' ', 4) - 4);
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  ++m_hits[path];
              }
              c.Write(m_answer(path));
          }) {}
    int Hits(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_hits.find(path);
        return it == m_hits.end() ? 0 : it->second;
    }
    std::map<std::string, int> AllHits() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hits;
    }

  private:
    std::function<std::string(const std::string&)> m_answer;
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_hits;

  public:
    TestHttpServer server;
};

struct Profile {
    TempDir home;
    std::vector<std::string> Env() const { return {"SENTREL_HOME=" + home.Path()}; }
    void List(const std::vector<UrlRow>& rows) {
        std::string error;
        ASSERT_TRUE(UrlStore(home.File("user.mdb")).Save(rows, error)) << error;
    }
    std::vector<UrlRow> Stored() const {
        std::vector<UrlRow> rows;
        std::string error;
        UrlStore(home.File("user.mdb")).Load([&](UrlRow&& r) { rows.push_back(r); }, error);
        return rows;
    }
    std::string Run(std::vector<std::string> args, int* code) const {
        args.insert(args.begin(), kWatch);
        return RunAndCapture(args, code, Env());
    }
    /// What the program wrote on stderr for these arguments, and its exit status.
    std::string Errors(std::vector<std::string> args, int* code) const {
        args.insert(args.begin(), kWatch);
        const std::string errors = home.File("stderr.txt");
        int fd = -1;
        const pid_t pid = SpawnReading(args, &fd, Env(), errors);
        std::string line;
        while (ReadLineFrom(fd, line)) {
        }
        ::close(fd);
        *code = WaitExit(pid, std::chrono::seconds(10));
        return ReadFile(errors);
    }
};

// What RFC 4287 requires of a feed and its entries, as problems found ("" when none),
// with the entries' titles newest first.
inline std::string AtomProblems(const std::string& path, std::vector<std::string>& titles) {
    xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    if (!doc) return "not XML";
    std::string problems;
    const std::regex date(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?(Z|[+-]\d\d:\d\d))");
    auto atom = [](xmlNode* n, const char* name) {
        return n->type == XML_ELEMENT_NODE && n->ns &&
               std::string(reinterpret_cast<const char*>(n->ns->href)) ==
                   "http://www.w3.org/2005/Atom" &&
               std::string(reinterpret_cast<const char*>(n->name)) == name;
    };
    auto text = [](xmlNode* n) {
        xmlChar* t = xmlNodeGetContent(n);
        std::string s = reinterpret_cast<const char*>(t);
        xmlFree(t);
        return s;
    };
    // Exactly one of each named child, ids absolute IRIs, times RFC 3339.
    auto check = [&](xmlNode* parent, const char* what) {
        for (const char* name : {"id", "title", "updated"}) {
            int n = 0;
            for (xmlNode* c = parent->children; c; c = c->next)
                if (atom(c, name)) {
                    ++n;
                    if (std::string(name) == "updated" && !std::regex_match(text(c), date))
                        problems += std::string(what) + " updated " + text(c) + "; ";
                    if (std::string(name) == "id" && text(c).find(':') == std::string::npos)
                        problems += std::string(what) + " id " + text(c) + "; ";
                }
            if (n != 1) problems += std::string(what) + " has " + std::to_string(n) + " " + name + "; ";
        }
    };
    xmlNode* feed = xmlDocGetRootElement(doc);
    if (!atom(feed, "feed")) problems += "no atom:feed; ";
    check(feed, "feed");
    bool author = false;
    std::set<std::string> ids;
    for (xmlNode* c = feed->children; c; c = c->next) {
        author = author || atom(c, "author");
        if (!atom(c, "entry")) continue;
        check(c, "entry");
        bool alternate = false;
        for (xmlNode* e = c->children; e; e = e->next) {
            if (atom(e, "title")) titles.push_back(text(e));
            if (atom(e, "id") && !ids.insert(text(e)).second) problems += "id twice; ";
            if (atom(e, "link")) {
                xmlChar* rel = xmlGetProp(e, BAD_CAST "rel");
                xmlChar* href = xmlGetProp(e, BAD_CAST "href");
                alternate = alternate || ((!rel || xmlStrcmp(rel, BAD_CAST "alternate") == 0) && href);
                xmlFree(rel);
                xmlFree(href);
            }
        }
        if (!alternate) problems += "entry without content or alternate link; ";
    }
    if (!author) problems += "no author; ";
    xmlFreeDoc(doc);
    return problems;
}

}  // namespace test
}  // namespace sentrel
