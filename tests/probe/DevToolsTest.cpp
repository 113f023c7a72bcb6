// The DevTools protocol over a pipe, against the stand-in browser: each command answered,
// refused, unanswered or given up within its bound, events to their session, and a browser
// that breaks the protocol taken for gone.
#include <gtest/gtest.h>

#include <chrono>

#include "probe/DevTools.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

#ifdef _WIN32
const std::string kStandIn = SENTREL_BIN_DIR "/standin-browser.exe";
#else
const std::string kStandIn = SENTREL_BIN_DIR "/standin-browser";
#endif

std::unique_ptr<DevTools> Connect(const std::string& mode) {
    auto child = std::make_unique<PipeChild>();
    std::string error;
    EXPECT_TRUE(child->Start(kStandIn, {}, error, {{"STANDIN_BROWSER_MODE", mode}})) << error;
    return std::make_unique<DevTools>(std::move(child), DevTools::BrowserEvents());
}

}  // namespace

TEST(DevTools, EachCommandEndsAnsweredRefusedUnansweredOrGivenUp) {
    struct Case {
        const char* mode;
        const char* method;
        DevTools::Outcome outcome;
        const char* said;  // in the result or the error
        bool alive;        // after it
    } cases[] = {
        {"ok", "Target.createBrowserContext", DevTools::Outcome::Ok, "context-1", true},
        {"error-string", "Target.createTarget", DevTools::Outcome::Refused, "no targets today", true},
        {"result-array", "DOM.getOuterHTML", DevTools::Outcome::Refused, "result", true},
        {"deep", "DOM.getOuterHTML", DevTools::Outcome::Refused, "64", true},
        {"hang", "Target.createTarget", DevTools::Outcome::NoAnswer, "Target.createTarget", true},
        {"crash", "Target.createTarget", DevTools::Outcome::Gone, "", false},
        {"garbage", "Target.createTarget", DevTools::Outcome::Gone, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        auto tools = Connect(c.mode);
        DevTools::Json result;
        std::string error;
        // An answer may take the stand-in's start (slow under a sanitizer); no answer, the bound.
        const auto bound = c.outcome == DevTools::Outcome::NoAnswer ? 500ms : 10s;
        const auto start = Clock::now();
        EXPECT_EQ(c.outcome, tools->Call(c.method, DevTools::Json::object(), result, error, "", start + bound));
        EXPECT_LT(Clock::now() - start, bound + 1500ms);
        const std::string said = result.dump() + error;
        EXPECT_NE(std::string::npos, said.find(c.said)) << said;
        EXPECT_EQ(c.alive, tools->Alive());
    }
    // Asked to give up, it does at once.
    auto tools = Connect("hang");
    DevTools::Json result;
    std::string error;
    const auto start = Clock::now();
    EXPECT_EQ(DevTools::Outcome::Stopped, tools->Call("Page.enable", DevTools::Json::object(), result, error, "",
                                                      start + 10s, [] { return true; }));
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(DevTools, EventsGoToTheirSessionOnlyWhileItIsListenedTo) {
    for (const char* mode : {"ok", "params-number"}) {
        SCOPED_TRACE(mode);
        auto tools = Connect(mode);
        DevTools::Json result;
        std::string error;
        tools->Listen("session-1");
        ASSERT_EQ(DevTools::Outcome::Ok, tools->Call("Page.navigate", {{"url", "http://127.0.0.1:9/"}}, result, error,
                                                     "session-1", Clock::now() + 2s));
        DevTools::Event event;
        ASSERT_TRUE(tools->NextEvent("session-1", event, Clock::now() + 2s));
        EXPECT_EQ("Network.responseReceived", event.method);
        EXPECT_TRUE(event.params.is_object()) << "params of any shape read as an object";
        ASSERT_TRUE(tools->NextEvent("session-1", event, Clock::now() + 2s));
        EXPECT_EQ("Page.loadEventFired", event.method);
        tools->Forget("session-1");
        tools->Call("Page.navigate", {{"url", "http://127.0.0.1:9/"}}, result, error, "session-1", Clock::now() + 2s);
        EXPECT_FALSE(tools->NextEvent("session-1", event, Clock::now() + 200ms)) << "forgotten";
        tools->Stop();
        EXPECT_FALSE(tools->Alive());
    }
}
