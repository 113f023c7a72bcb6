// sentrel-watch as its users run it: a profile folder, a list, real servers on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "WatchFixture.h"
#include "platform/ProfileLock.h"
#include "platform/TextRules.h"
#include "store/TextStore.h"
#include "store/UrlStore.h"
#include "testsupport/Process.h"
#include "testsupport/SmtpSink.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;

TEST(WatchProgram, OnePassTellsChangesFailuresAndNothingTwice) {
    Site site;
    Profile p;
    p.List({{site.server.Url("/same"), "", "100"},
            {site.server.Url("/news"), "新闻", "40"},
            {site.server.Url("/new"), "", "0"}});
    int code = -1;
    std::string out = p.Run({"--once"}, &code);
    EXPECT_EQ(1, code) << out;
    EXPECT_NE(std::string::npos,
              out.find(" changed " + site.server.Url("/news") + " 40 -> 100 (新闻)\n"))
        << out;
    EXPECT_EQ(1u, std::count(out.begin(), out.end(), '\n')) << "a stored 0 is no change";
    EXPECT_EQ("100", p.Stored()[1].kbsize) << "the change is stored once told";
    EXPECT_EQ("100", p.Stored()[2].kbsize);

    EXPECT_EQ("", p.Run({"--once"}, &code));
    EXPECT_EQ(0, code) << "nothing changed since";

    site.size = 200;
    p.List({{site.server.Url("/news"), "a \"note\"", "100"}, {site.server.Url("/gone"), "", "5"}});
    out = p.Run({"--once", "--json"}, &code);
    EXPECT_EQ(2, code) << "a failed page is an error";
    EXPECT_NE(std::string::npos, out.find("\"url\":\"" + site.server.Url("/news") +
                                          "\",\"note\":\"a \\\"note\\\"\",\"kind\":\"changed\","
                                          "\"old_size\":100,\"new_size\":200,\"reason\":null}\n"))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("\"kind\":\"failing\",\"old_size\":null,\"new_size\":null,"
                       "\"reason\":\"HTTP 404\"}\n"))
        << out;
    EXPECT_EQ("5", p.Stored()[1].kbsize) << "a failure never touches the stored size";
}

TEST(WatchProgram, AnUnchangedPageWithAnETagCostsA304ThatIsNeitherChangeNorFailure) {
    Site site;
    Profile p;
    p.List({{site.server.Url("/etag"), "", "0"}, {site.server.Url("/plain"), "", "0"}});
    int code = -1;
    p.Run({"--once"}, &code);
    EXPECT_EQ("\"100\"", p.Stored()[0].etag);
    EXPECT_EQ("", p.Stored()[1].etag);
    EXPECT_EQ("", p.Run({"--once"}, &code));
    EXPECT_EQ(0, code);
    const auto requests = site.server.Requests();
    ASSERT_EQ(4u, requests.size());
    int conditional = 0;
    for (const std::string& r : requests)
        conditional += r.find("If-None-Match: \"100\"\r\n") != std::string::npos;
    EXPECT_EQ(1, conditional) << "only the page with validators is asked conditionally";
    EXPECT_EQ("100", p.Stored()[0].kbsize);
}

TEST(WatchProgram, OptionsListHelpAndTheProfileLock) {
    Profile p;
    p.List({{"http://127.0.0.1:9/a", "note\nwith a break", "12"}});
    int code = -1;
    EXPECT_EQ("http://127.0.0.1:9/a\t12\tnote with a break\n", p.Run({"--list"}, &code));
    EXPECT_EQ(0, code);
    EXPECT_NE(std::string::npos, p.Run({"--help"}, &code).find("--once"));
    EXPECT_EQ(0, code);
    p.Run({"--interval", "0"}, &code);
    EXPECT_EQ(2, code);
    p.Run({"--bogus"}, &code);
    EXPECT_EQ(2, code);

    ProfileLock lock;
    ASSERT_EQ(ProfileLock::kAcquired, lock.Acquire(p.home.Path() + "/"));
    EXPECT_EQ("", p.Run({"--once"}, &code));
    EXPECT_EQ(3, code);

    // A lock that cannot be taken (a folder of its name) is refused as a taken one is.
    Profile q;
    q.List({{"http://127.0.0.1:9/a", "", "12"}});
    ASSERT_EQ(0, mkdir(q.home.File("sentrel.lock").c_str(), 0700));
    EXPECT_EQ("", q.Run({"--once"}, &code));
    EXPECT_EQ(3, code);
}

TEST(WatchProgram, EachPageIsProbedAtItsOwnInterval) {
    CountingSite site([](const std::string&) {
        return TestHttpServer::Response("200 OK", "Content-Length: 3\r\n", "abc");
    });
    TestHttpServer& server = site.server;
    Profile p;
    p.List({{server.Url("/program"), "", "3"}});
    int code = -1;
    EXPECT_EQ("", p.Run({"--add", server.Url("/own"), "--page-interval", "1"}, &code));
    WriteFile(p.home.File("sentrel.ini"), "interval=60\n");
    const pid_t pid = Spawn({kWatch}, p.Env());
    std::this_thread::sleep_for(3500ms);
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 2s));
    EXPECT_GE(site.Hits("/own"), 3) << "every second, give or take a twentieth";
    EXPECT_LE(site.Hits("/own"), 5);
    EXPECT_EQ(1, site.Hits("/program")) << "the program's 60 s";
}

#ifdef __linux__
// A pass over sizes loads neither the text libraries (libxml2 with ICU, PCRE2) nor the
// keyring's; a text row with a rule loads what it needs.
TEST(WatchProgram, LoadsTheTextLibrariesOnlyForTextRows) {
    Site site;
    Profile p;
    p.List({{site.server.Url("/same"), "", "100"}});
    int code = -1;
    std::string log = OpenedLibraries({kWatch, "--once"}, &code, p.Env());
    EXPECT_EQ(0, code);
    EXPECT_NE(std::string::npos, log.find("file=libcurl")) << "the log is read";
    for (const char* library : {"file=libxml2", "file=libpcre2-8", "file=libsecret"})
        EXPECT_EQ(std::string::npos, log.find(library)) << library;
    p.Run({"--add", site.server.Url("/text"), "--compare", "text", "--ignore", "/^y/"}, &code);
    log = OpenedLibraries({kWatch, "--once"}, &code, p.Env());
    EXPECT_NE(std::string::npos, log.find("file=libpcre2-8"));
}
#endif

TEST(WatchProgram, SigtermEndsItWithinASecondWithTheSizesStoredAndMailsGoOut) {
    Site site;
    Profile p;
    TempDir mails;
    SmtpSink sink(mails.File("message.txt"));
    ASSERT_TRUE(sink.Ready()) << "the SMTP server did not start (python3-aiosmtpd?)";
    WriteFile(p.home.File("sentrel.ini"),
              "interval=1\nbalertemail=1\nemailrcv=bob@example.com\nsenduser=alice\n"
              "sendpwd=s3cret\n");
    p.List({{site.server.Url("/a"), "", "0"}, {site.server.Url("/b"), "", "0"}});
    std::vector<std::string> env = p.Env();
    env.push_back("SENTREL_SMTP_HOST=127.0.0.1");
    env.push_back("SENTREL_SMTP_PORT=" + sink.Port());
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch}, &fd, env);
    ASSERT_GT(pid, 0);
    // The first probes store the sizes; then a change of the page is told and mailed.
    for (int i = 0; i < 100 && site.server.RequestCount() < 2; ++i)
        std::this_thread::sleep_for(20ms);
    site.size = 150;
    std::string line;
    ASSERT_TRUE(ReadLineFrom(fd, line));
    EXPECT_NE(std::string::npos, line.find(" changed ")) << line;
    for (int i = 0; i < 100 && sink.Delivered() < 2; ++i) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(2, sink.Delivered()) << "one mail per changed page";

    const auto start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(0, WaitExit(pid, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    close(fd);
    for (const UrlRow& row : p.Stored()) EXPECT_EQ("150", row.kbsize) << row.url;
}

TEST(WatchProgram, AHangUpOrAClosedOutputEndsItInOrderWithTheSizesStored) {
    // A closed terminal, and a reader that went away (sentrel-watch | head -1): the run
    // ends as on SIGTERM, the sizes stored; the second as Unix tools end, by SIGPIPE.
    struct Case {
        const char* name;
        bool hangUp;
        int status;
    };
    for (const Case k : {Case{"SIGHUP", true, 0}, Case{"closed output", false, 128 + SIGPIPE}}) {
        Site site;
        Profile p;
        WriteFile(p.home.File("sentrel.ini"), "interval=1\n");
        p.List({{site.server.Url("/a"), "", "40"}});
        int fd = -1;
        const pid_t pid = SpawnReading({kWatch}, &fd, p.Env());
        ASSERT_GT(pid, 0);
        std::string line;
        ASSERT_TRUE(ReadLineFrom(fd, line)) << k.name;
        EXPECT_NE(std::string::npos, line.find(" changed ")) << line;
        const auto start = std::chrono::steady_clock::now();
        if (k.hangUp)
            kill(pid, SIGHUP);
        else
            close(fd);
        EXPECT_EQ(k.status, WaitExit(pid, 3s)) << k.name;
        if (k.hangUp) close(fd);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << k.name;
        EXPECT_EQ("100", p.Stored()[0].kbsize) << k.name;
    }
}

TEST(WatchProgram, ANoteOfAnOlderGbkListReadsAsTheWindowReadsItAndEveryLineIsValidUtf8) {
    Site site;
    Profile p;
    p.List({{site.server.Url("/a"), "\xd6\xd0\xce\xc4 \"gbk\"", "40"}});  // GBK of 中文
    int code = -1;
    for (const char* format : {"--json", "--once"}) {
        p.List({{site.server.Url("/a"), "\xd6\xd0\xce\xc4 \"gbk\"", "40"}});
        const std::string out = p.Run({"--once", format}, &code);
        EXPECT_EQ(1, code);
        EXPECT_EQ(ValidUtf8(out), out) << out;
        EXPECT_NE(std::string::npos, out.find("中文")) << out;
    }
    const std::string json = p.Run({"--once", "--json"}, &code);
    EXPECT_EQ("", json) << "told once";
}

TEST(WatchProgram, OnePassEndsWithErrorsWhileAnAlertMailIsUnconfirmed) {
    Site site;
    Profile p;
    // A mail server that greets and then says nothing more.
    TestServer silent([](TestServer::Conn& c) {
        c.Write("220 slow.example ESMTP\r\n");
        c.Sleep(30s);
    });
    WriteFile(p.home.File("sentrel.ini"),
              "balertemail=1\nemailrcv=bob@example.com\nsenduser=alice\nsendpwd=s3cret\n");
    p.List({{site.server.Url("/a"), "", "40"}});
    std::vector<std::string> env = p.Env();
    env.push_back("SENTREL_SMTP_HOST=127.0.0.1");
    env.push_back("SENTREL_SMTP_PORT=" + std::to_string(silent.Port()));
    env.push_back("LC_ALL=en_US.UTF-8");  // its own messages are catalogued too
    TempDir logs;
    int fd = -1;
    const pid_t pid = SpawnReading({kWatch, "--once"}, &fd, env, logs.File("stderr"));
    ASSERT_GT(pid, 0);
    std::string line;
    ASSERT_TRUE(ReadLineFrom(fd, line));
    EXPECT_NE(std::string::npos, line.find(" changed ")) << line;
    for (int i = 0; i < 100 && silent.Connections() == 0; ++i) std::this_thread::sleep_for(20ms);
    kill(pid, SIGTERM);  // the pass is cut short while the mail waits on the server
    const int code = WaitExit(pid, 3s);
    close(fd);
    EXPECT_EQ(2, code) << "a change was told, but its mail never confirmed\n"
                       << ReadFile(logs.File("stderr"));
    EXPECT_NE(std::string::npos,
              ReadFile(logs.File("stderr")).find("1 alert mail was not confirmed before the exit"))
        << ReadFile(logs.File("stderr"));
}

namespace {
// A page whose markup and text the test sets apart, in GBK as many Chinese sites are.
struct TextSite {
    std::mutex mutex;
    std::string body;
    TestHttpServer server{[this](TestServer::Conn& c, const std::string&, int) {
        std::lock_guard<std::mutex> lock(mutex);
        c.Write(TestHttpServer::Response(
            "200 OK",
            "Content-Type: text/html; charset=gbk\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n",
            body));
    }};
    void Set(const std::string& markup, const std::string& price) {
        std::lock_guard<std::mutex> lock(mutex);
        // "价格" in GBK, then the price; the visitors line is ignored.
        body = "<html><head><script>var t='" + markup + "';</script></head><body class='" +
               markup + "'><div id=main><h1>\xBC\xDB\xB8\xF1</h1><p>" + price +
               "</p><p>visitors " + markup + "</p></div><p>footer</p></body></html>";
    }
};
}  // namespace

TEST(WatchProgram, ATextRowIsQuietWhenOnlyMarkupChangesAndTellsTheLinesOfEveryEdit) {
    TextSite site;
    site.Set("a1", "199");
    Profile p;
    p.List({});
    int code = -1;
    const std::string url = site.server.Url("/shop");
    EXPECT_EQ("", p.Run({"--add", url, "--note", "价格", "--compare", "text", "--select", "#main",
                         "--ignore", "VISITORS"},
                        &code));
    EXPECT_EQ(0, code);
    // The same checks as the dialog, with its words; the list stays as it was.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--add", url, "--compare", "text", "--select", "div >"},
          {"--add", url, "--compare", "text", "--ignore", "/(/"},
          {"--add", "  ", "--compare", "size"},
          {"--add", url, "--select", "p"},
          {"--add", url, "--page-interval", "0"},
          {"--add", url, "--page-interval", "x"},
          {"--remove", "http://127.0.0.1:9/none"}}) {
        EXPECT_EQ("", p.Run(bad, &code));
        EXPECT_EQ(2, code) << bad[1];
    }
    EXPECT_EQ(1u, p.Stored().size());

    EXPECT_EQ("", p.Run({"--once"}, &code)) << "the first text is the reference";
    EXPECT_EQ(0, code);
    site.Set("b2-longer-markup", "199");
    EXPECT_EQ("", p.Run({"--once"}, &code)) << "markup and ignored lines only";
    EXPECT_EQ(0, code);
    site.Set("b2-longer-markup", "299");  // the same size, another price
    std::string out = p.Run({"--once", "--json"}, &code);
    EXPECT_EQ(1, code) << out;
    EXPECT_NE(std::string::npos, out.find("\"added\":[\"299\"],\"removed\":[\"199\"]}")) << out;
    site.Set("c3", "300");
    out = p.Run({"--once"}, &code);
    EXPECT_NE(std::string::npos, out.find("\n    - 299\n    + 300\n")) << out;

    EXPECT_EQ("", p.Run({"--add", "http://daily/", "--page-interval", "86400"}, &code));
    out = p.Run({"--list", "--json"}, &code);
    EXPECT_NE(std::string::npos,
              out.find("{\"url\":\"" + url + "\",\"note\":\"价格\",\"size\":11,\"etag\":null,"
                       "\"last_modified\":null,\"compare\":\"text\",\"select\":\"#main\","
                       "\"ignore\":\"VISITORS\",\"text_hash\":\""))
        << out;
    EXPECT_NE(std::string::npos, out.find("\"interval\":null,\"alert_if\":[],\"proxy\":null,\"headers\":null,\"session\":null}\n")) << out;
    EXPECT_NE(std::string::npos, out.find("\"text_hash\":null,\"interval\":86400,\"proxy\":null,\"headers\":null,\"session\":null}\n")) << out;
    EXPECT_EQ("", p.Run({"--remove", "http://daily/"}, &code));
    const std::vector<UrlRow> rows = p.Stored();
    EXPECT_EQ("text", rows[0].compare);
    EXPECT_EQ(16u, rows[0].textHash.size());
    PageTexts texts;
    std::string error;
    ASSERT_TRUE(TextStore(p.home.File("user.mdb")).LoadTexts(url, texts, error)) << error;
    EXPECT_EQ("价格\n300\n", texts.last);
    EXPECT_EQ("价格\n299\n", texts.previous);
    EXPECT_LE(texts.previousTime, texts.lastTime);

    EXPECT_EQ("", p.Run({"--remove", url}, &code));
    EXPECT_EQ(0, code);
    EXPECT_TRUE(p.Stored().empty());
    ASSERT_TRUE(TextStore(p.home.File("user.mdb")).LoadTexts(url, texts, error));
    EXPECT_EQ("", texts.last) << "the texts go with their row";
}

TEST(WatchProgram, InAnEnglishLocaleItTellsReasonsAndRefusalsInEnglish) {
    Profile p;
    p.List({{"http://127.0.0.1:" + std::to_string(RefusingPort().Port()) + "/", "", "5"}});
    std::vector<std::string> env = p.Env();
    env.push_back("LC_ALL=en_US.UTF-8");
    int code = -1;
    std::string out = RunAndCapture({kWatch, "--once"}, &code, env);
    EXPECT_EQ(2, code);
    EXPECT_NE(std::string::npos, out.find(" failing http://127.0.0.1:")) << out;
    EXPECT_NE(std::string::npos, out.find(" connection refused\n")) << out;
    // The language setting wins over the locale.
    WriteFile(p.home.File("sentrel.ini"), "language=zh\n");
    out = RunAndCapture({kWatch, "--once"}, &code, env);
    EXPECT_NE(std::string::npos, out.find(" 连接被拒绝\n")) << out;
    // With English chosen, --add refuses a region in English, as the dialog would.
    WriteFile(p.home.File("sentrel.ini"), "language=en\n");
    int fd = -1;
    const std::string errors = p.home.File("stderr.txt");
    const pid_t pid = SpawnReading({kWatch, "--add", "http://x/", "--compare", "text", "--select", "div >"},
                                   &fd, p.Env(), errors);
    std::string line;
    while (ReadLineFrom(fd, line)) {
    }
    close(fd);
    EXPECT_EQ(2, WaitExit(pid, 5s));
    EXPECT_EQ("sentrel-watch: Selector error: selector missing (at character 6)\n", ReadFile(errors));
    fd = -1;  // and its own refusals
    const pid_t refused = SpawnReading({kWatch, "--add", "http://x/", "--select", "p"}, &fd,
                                       p.Env(), errors);
    while (ReadLineFrom(fd, line)) {
    }
    close(fd);
    EXPECT_EQ(2, WaitExit(refused, 5s));
    EXPECT_EQ("sentrel-watch: --select, --ignore and --alert-if are for --compare text\n", ReadFile(errors));
}
