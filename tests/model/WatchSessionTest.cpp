// The model of a run: what each probe result means for a row, without threads or a window.
#include <gtest/gtest.h>

#include <map>

#include "TestClock.h"
#include "ThreadMessages.h"
#include "WatchSession.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

constexpr int kNoSize = -1;
ProbeResult Ok(int size) {
    return ProbeResult::Size(size);
}
ProbeResult Fail(ProbeFailure why, int status = 0) {
    return ProbeResult::Failed(why, status);
}

// A session whose watchers are recorded instead of started; the test posts for them.
struct Session {
    TestClock clock;
    WatchSession session;
    std::vector<int> watches;
    std::string alerts;  // M(ark, new) m(ark again) F(ailing) R(ecovered) E(nded), in order

    std::vector<ValidatorBoxPtr> boxes;
    std::vector<PageValidators> sent;
    std::vector<int> intervals;

    Session() {
        session.SetWatcherStarter([this](WatchEntry entry) {
            watches.push_back(entry.nItem);
            boxes.push_back(entry.pValidators);
            sent.push_back(entry.validators);
            intervals.push_back(entry.nInterval);
            return true;
        });
        session.SetClock(clock);
        session.Subscribe([this](const WatchEvent& e) {
            if (e.kind == WatchEvent::Marked) alerts += e.bNewMark ? "M" : "m";
            if (e.kind == WatchEvent::Failing) alerts += "F";
            if (e.kind == WatchEvent::Recovered) alerts += "R";
            if (e.kind == WatchEvent::Ended) alerts += "E";
        });
    }
    void Start(int failAfter = 2) {
        WatchSession::RunOptions options;
        options.nFailAfter = failAfter;
        watches.clear();
        boxes.clear();
        sent.clear();
        intervals.clear();
        ASSERT_TRUE(session.Start(options));
    }
    void Post(int row, unsigned msg, const ProbeResult& r) {
        session.Deliver({msg, watches[static_cast<std::size_t>(row)], r});
    }
    // The first result of the run, then the others.
    void Results(int row, const std::vector<ProbeResult>& results) {
        for (std::size_t i = 0; i < results.size(); ++i)
            Post(row, i == 0 ? WM_PAGE_SIZE : WM_PROBE_RESULT, results[i]);
    }
};

}  // namespace

TEST(WatchSession, ProbeResultsDecideMarksHealthAndTheStoredSize) {
    const auto refused = Fail(ProbeFailure::Refused);
    struct Case {
        const char* name;
        int stored;
        int failAfter;
        std::vector<ProbeResult> results;
        const char* status;
        bool marked;
        int storedAfter;
        const char* alerts;
    } cases[] = {
        {"first size equal to the stored one", 1000, 2, {Ok(1000)}, "监控中", false, 1000, ""},
        {"a stored 0 never marks", 0, 2, {Ok(500)}, "监控中", false, 500, ""},
        {"first size differs from the stored one",
         1000,
         2,
         {Ok(1001)},
         "有更新！",
         true,
         1001,
         "M"},
        {"an empty page after a stored size marks", 5000, 2, {Ok(0)}, "有更新！", true, 0, "M"},
        {"small changes add up against the last reported size",
         1000,
         2,
         {Ok(1000), Ok(1002), Ok(1004), Ok(1006)},
         "有更新！",
         true,
         1000,
         "M"},
        {"a decrease of 4 bytes", 1000, 2, {Ok(1000), Ok(996)}, "有更新！", true, 1000, "M"},
        {"each change alerts again",
         1000,
         2,
         {Ok(1000), Ok(2000), Ok(3000)},
         "有更新！",
         true,
         1000,
         "Mm"},
        {"a later empty page says nothing",
         1000,
         2,
         {Ok(1000), Ok(0), Ok(1000)},
         "监控中",
         false,
         1000,
         ""},
        {"a failed first probe keeps the stored size",
         5000,
         2,
         {Fail(ProbeFailure::HttpStatus, 404)},
         "监控中",
         false,
         5000,
         ""},
        {"failing after failafter failures in a row",
         5000,
         2,
         {Ok(5000), refused, refused, refused},
         "访问失败：连接被拒绝",
         false,
         5000,
         "F"},
        {"failures that do not reach failafter",
         5000,
         3,
         {Ok(5000), refused, refused, Ok(5000)},
         "监控中",
         false,
         5000,
         ""},
        {"recovered, then watching again",
         1000,
         2,
         {Ok(1000), refused, refused, Ok(1000)},
         "已恢复",
         false,
         1000,
         "FR"},
        {"watching after the recovery",
         1000,
         2,
         {Ok(1000), refused, refused, Ok(1000), Ok(1000)},
         "监控中",
         false,
         1000,
         "FR"},
        {"a change across an outage marks",
         1000,
         2,
         {Ok(1000), refused, refused, Ok(2000)},
         "有更新！",
         true,
         1000,
         "FRM"},
        {"the first good size after failed first probes is the run's first",
         5000,
         2,
         {refused, refused, Ok(6000)},
         "有更新！",
         true,
         6000,
         "FRM"},
        {"failafter 1 and the reasons",
         1000,
         1,
         {Ok(1000), Fail(ProbeFailure::Timeout)},
         "访问失败：超时",
         false,
         1000,
         "F"},
        {"the latest reason shows",
         1000,
         1,
         {Ok(1000), Fail(ProbeFailure::Timeout), Fail(ProbeFailure::HttpStatus, 503)},
         "访问失败：HTTP 503",
         false,
         1000,
         "F"},
        {"a marked row that fails shows why and stays marked",
         1000,
         1,
         {Ok(2000), Fail(ProbeFailure::Tls)},
         "访问失败：证书无效",
         true,
         2000,
         "MF"},
    };
    for (const Case& c : cases) {
        Session run;
        const RowId id = run.session.AddRow("http://a/", "", c.stored);
        run.Start(c.failAfter);
        run.Results(0, c.results);
        const WatchRow& row = run.session.Row(0);
        EXPECT_EQ(c.status, row.StatusText()) << c.name;
        EXPECT_EQ(c.marked, row.bMarked) << c.name;
        EXPECT_EQ(c.storedAfter, row.nStoredSize) << c.name;
        EXPECT_EQ(c.alerts, run.alerts) << c.name;
        EXPECT_EQ(c.marked ? std::vector<RowId>{id} : std::vector<RowId>{}, run.session.Marks())
            << c.name;
    }
    (void)kNoSize;
}

TEST(WatchSession, FailureReasonsAsTheUserReadsThem) {
    struct Case {
        ProbeResult result;
        const char* reason;
    } cases[] = {
        {Fail(ProbeFailure::HttpStatus, 404), "HTTP 404"},
        {Fail(ProbeFailure::Refused), "连接被拒绝"},
        {Fail(ProbeFailure::Timeout), "超时"},
        {Fail(ProbeFailure::Resolve), "无法解析域名"},
        {Fail(ProbeFailure::Tls), "证书无效"},
        {Fail(ProbeFailure::TooManyRedirects), "重定向过多"},
        {Fail(ProbeFailure::Network), "网络错误"},
        {Ok(0), ""},
        {Ok(2147483647), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.reason, c.result.Reason());
    }
}

TEST(WatchSession, StopEndsMarksAndMessagesOfOldRunsAndDeletedRows) {
    Session run;
    const RowId a = run.session.AddRow("http://a/", "", 100);
    const RowId b = run.session.AddRow("http://b/", "", 100);
    const RowId c = run.session.AddRow("http://c/", "", 100);
    run.Start();
    const std::vector<int> firstRun = run.watches;
    run.Results(0, {Ok(200)});
    run.Results(2, {Ok(300)});
    EXPECT_EQ((std::vector<RowId>{a, c}), run.session.Marks()) << "in the order marked";

    // A deleted row takes its mark and its watcher; the others' messages still arrive.
    run.session.RemoveRow(a);
    EXPECT_EQ(std::vector<RowId>{c}, run.session.Marks());
    EXPECT_EQ(2, run.session.ActiveWatchers());
    run.session.SetMarked(c, false);
    EXPECT_EQ("监控中", run.session.Row(1).StatusText());

    run.session.Stop();
    EXPECT_EQ("等待停止...", run.session.Row(0).StatusText());
    run.session.Deliver({WM_WATCH_ENDED, firstRun[1], {}});
    run.session.Deliver({WM_WATCH_ENDED, firstRun[2], {}, true});
    EXPECT_EQ("停止", run.session.Row(0).StatusText());
    EXPECT_EQ("网络失败！", run.session.Row(1).StatusText());
    EXPECT_EQ(0, run.session.ActiveWatchers());

    // A late message of the first run finds nothing in the second.
    run.Start();
    run.session.Deliver({WM_PAGE_SIZE, firstRun[1], Ok(999)});
    EXPECT_EQ(100, run.session.Row(0).nStoredSize);
    EXPECT_TRUE(run.session.Marks().empty());
    EXPECT_EQ("MMEE", run.alerts);
    (void)b;
}

TEST(WatchSession, AWatcherThatCannotStartStopsTheOthers) {
    Session run;
    for (int i = 0; i < 3; ++i) run.session.AddRow("http://x/", "", 0);
    int started = 0;
    run.session.SetWatcherStarter([&](WatchEntry) {
        if (started == 2) return false;
        ++started;
        return true;
    });
    EXPECT_FALSE(run.session.Start(WatchSession::RunOptions()));
    EXPECT_FALSE(run.session.IsRunning());
    EXPECT_EQ("等待停止...", run.session.Row(1).StatusText());
    EXPECT_EQ("", run.session.Row(2).StatusText());
}

TEST(WatchSession, StoredValidatorsAlwaysGoWithTheStoredSize) {
    Session s;
    const RowId id = s.session.AddRow("http://a/", "", 1000, "\"v1\"", "");
    s.Start();
    EXPECT_EQ((PageValidators{1000, "\"v1\"", ""}), s.sent[0]) << "the watcher asks with them";
    // The watcher saw a newer version than the one it reports first: those validators
    // stand for another size, and are not stored with this one.
    s.boxes[0]->Put({1200, "\"v3\"", ""});
    s.Results(0, {Ok(1100)});
    EXPECT_EQ("", s.session.Row(0).etag);
    s.boxes[0]->Put({1200, "\"v3\"", ""});
    s.Results(0, {Ok(1100), Ok(1200)});
    EXPECT_EQ(1100, s.session.Row(0).nStoredSize) << "a window keeps the run's first size";
    // A program that tells each change once keeps the reported size, with its validators.
    s.session.KeepReportedSize(id);
    EXPECT_EQ(1200, s.session.Row(0).nStoredSize);
    EXPECT_EQ("\"v3\"", s.session.Row(0).etag);
    s.session.EditRow(id, "http://b/", "");
    EXPECT_EQ("", s.session.Row(0).etag) << "another page's validators are dropped";
}

namespace {
// The texts a text row keeps, in memory.
struct MemoryTexts : TextKeeper {
    std::map<std::string, std::string> last;
    int kept = 0;
    bool LastText(const std::string& url, std::string& text) override {
        auto it = last.find(url);
        if (it == last.end()) return false;
        text = it->second;
        return true;
    }
    void KeepText(const std::string& url, const std::string& text, std::time_t) override {
        last[url] = text;
        ++kept;
    }
};
ProbeResult Text(const std::string& text) {
    ProbeResult r = ProbeResult::Text(static_cast<int>(text.size()), std::hash<std::string>()(text) | 1);
    r.text = std::make_shared<std::string>(text);
    return r;
}
}  // namespace

TEST(WatchSession, ATextRowMarksOnAnyOtherTextAndKnowsItsChangedLines) {
    CompareOptions text;
    text.mode = CompareOptions::kText;
    struct Case {
        const char* name;
        std::uint64_t storedHash;
        std::vector<ProbeResult> results;
        const char* alerts;
        std::vector<std::string> added, removed;
    } cases[] = {
        {"the first text of a new row is its reference", 0, {Text("a\n")}, "", {}, {}},
        {"the same text again", 0, {Text("a\n"), Text("a\n"), Text("a\n")}, "", {}, {}},
        {"one letter, the same size", 0, {Text("price 199\n"), Text("price 299\n")}, "M",
         {"price 299"}, {"price 199"}},
        {"each other text is one more change", 0, {Text("x\n"), Text("y\n"), Text("x\n")}, "Mm",
         {"x"}, {"y"}},
        {"an empty text is a text too", 0, {Text("x\n"), Text("")}, "M", {}, {"x"}},
        {"a 304 stands for the stored text", Text("s\n").nHash,
         {ProbeResult::Text(2, Text("s\n").nHash)}, "", {}, {}},
        {"changed while nobody watched", Text("old\n").nHash, {Text("new\n")}, "M", {"new"},
         {"old"}},
    };
    for (const Case& c : cases) {
        Session s;
        MemoryTexts texts;
        texts.last["u"] = "old\n";
        s.session.SetTextKeeper(&texts);
        const RowId id = s.session.AddRow("u", "", 0, {}, {}, text, c.storedHash);
        s.Start();
        s.Results(0, c.results);
        EXPECT_EQ(c.alerts, s.alerts) << c.name;
        const WatchRow& row = s.session.Row(0);
        EXPECT_EQ(c.added, row.change.added) << c.name;
        EXPECT_EQ(c.removed, row.change.removed) << c.name;
        EXPECT_EQ(c.results.back().nHash, row.nLastHash) << c.name;
        EXPECT_EQ(id, row.id);
    }
    // Another region starts afresh: no stored text hash, size or validators.
    Session s;
    const RowId id = s.session.AddRow("u", "", 12, "\"e\"", {}, text, 77);
    CompareOptions other = text;
    other.select = "#main";
    s.session.SetCompare(id, other);
    EXPECT_EQ(0u, s.session.Row(0).nStoredHash);
    EXPECT_EQ(0, s.session.Row(0).nStoredSize);
    EXPECT_EQ("", s.session.Row(0).etag);
}

TEST(WatchSession, ATextBeyondWhatIsKeptTellsTheOneLineThatChanged) {
    std::string before;
    for (int i = 0; before.size() < 2 * content::kMaxKeptText; ++i)
        before += "line " + std::to_string(i) + " of a long page\n";
    std::string after = before;
    after.replace(0, 6, "LINE 0");
    CompareOptions text;
    text.mode = CompareOptions::kText;
    Session s;
    MemoryTexts texts;
    s.session.SetTextKeeper(&texts);
    s.session.AddRow("u", "", 0, {}, {}, text);
    s.Start();
    s.Results(0, {Text(before), Text(after)});
    const WatchRow& row = s.session.Row(0);
    EXPECT_EQ(1, row.change.nAdded);
    EXPECT_EQ(1, row.change.nRemoved);
    EXPECT_EQ(std::vector<std::string>{"LINE 0 of a long page"}, row.change.added);
    EXPECT_LE(texts.last["u"].size(), content::kMaxKeptText);
}

TEST(WatchSession, EachPageIsWatchedAtItsOwnIntervalOrTheRunsWithinTheBounds) {
    Session run;
    const int own[] = {0, 5, 86400, 400 * 86400};  // the last above the most there is
    for (int seconds : own) run.session.SetInterval(run.session.AddRow("http://a/", "", 1), seconds);
    run.Start();  // the run's interval is 60
    EXPECT_EQ((std::vector<int>{60, 5, 86400, 365 * 86400}), run.intervals);
}

TEST(ProbeSpacing, WaitsSpreadOverATenthOfTheIntervalAroundIt) {
    for (const auto interval : {std::chrono::milliseconds(1000), std::chrono::milliseconds(60000),
                                std::chrono::milliseconds(86400000)}) {
        ProbeSpacing spacing(7);
        std::chrono::milliseconds least = interval * 2, most{0}, sum{0};
        for (int i = 0; i < 2000; ++i) {
            const auto wait = spacing.Next(interval);
            least = std::min(least, wait);
            most = std::max(most, wait);
            sum += wait;
        }
        EXPECT_GE(least, interval * 95 / 100) << interval.count();
        EXPECT_LT(most, interval * 105 / 100) << interval.count();
        EXPECT_GT(most - least, interval * 9 / 100) << interval.count() << ": spread";
        EXPECT_NEAR(1.0, static_cast<double>(sum.count()) / 2000 / interval.count(), 0.01)
            << interval.count() << ": the interval on average";
    }
    EXPECT_EQ(std::chrono::milliseconds(5), ProbeSpacing(1).Next(std::chrono::milliseconds(5)));
}
