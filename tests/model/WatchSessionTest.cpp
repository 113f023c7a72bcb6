// The model of a run: what each probe result means for a row, without threads or a window.
#include <gtest/gtest.h>

#include <map>

#include "SessionFixture.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(WatchSession, ProbeResultsDecideMarksHealthAndTheStoredSize) {
    const auto refused = Fail(NetFailure::Refused);
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
         {Ok(1000), Fail(NetFailure::Timeout)},
         "访问失败：超时",
         false,
         1000,
         "F"},
        {"the latest reason shows",
         1000,
         1,
         {Ok(1000), Fail(NetFailure::Timeout), Fail(ProbeFailure::HttpStatus, 503)},
         "访问失败：HTTP 503",
         false,
         1000,
         "F"},
        {"a marked row that fails shows why and stays marked",
         1000,
         1,
         {Ok(2000), Fail(NetFailure::Certificate)},
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
        {Fail(NetFailure::Refused), "连接被拒绝"},
        {Fail(NetFailure::Timeout), "超时"},
        {Fail(NetFailure::Resolve), "无法解析域名"},
        {Fail(NetFailure::Certificate), "证书无效"},
        {Fail(NetFailure::TooManyRedirects), "重定向过多"},
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

TEST(WatchSession, EachPageIsWatchedAtItsOwnIntervalOrTheRunsWithinTheBounds) {
    Session run;
    const int own[] = {0, 5, 86400, 400 * 86400};  // the last above the most there is
    for (int seconds : own) run.session.SetInterval(run.session.AddRow("http://a/", "", 1), seconds);
    run.Start();  // the run's interval is 60
    EXPECT_EQ((std::vector<int>{60, 5, 86400, 365 * 86400}), run.intervals);
}
