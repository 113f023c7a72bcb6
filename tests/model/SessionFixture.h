#pragma once
// A run's model whose watchers the test plays: recorded instead of started, their results
// posted by the test.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/ThreadMessages.h"
#include "model/WatchSession.h"
#include "testsupport/TestClock.h"

namespace sentrel::test {

inline constexpr int kNoSize = -1;
inline ProbeResult Ok(int size) {
    return ProbeResult::Size(size);
}
inline ProbeResult Fail(ProbeFailure why, int status = 0) {
    return ProbeResult::Failed(why, status);
}
inline ProbeResult Fail(NetFailure why) {
    return ProbeResult::Failed(why);
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
    std::vector<std::shared_ptr<TextJudge>> judges;

    Session() {
        session.SetWatcherStarter([this](WatchEntry entry) {
            watches.push_back(entry.nItem);
            boxes.push_back(entry.pValidators);
            sent.push_back(entry.validators);
            intervals.push_back(entry.nInterval);
            judges.push_back(entry.pJudge);
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
        judges.clear();
        ASSERT_TRUE(session.Start(options));
    }
    // As a watcher posts it: a text row's text judged first, where it was read.
    void Post(int row, unsigned msg, ProbeResult r) {
        if (const auto& judge = judges[static_cast<std::size_t>(row)]) judge->Judge(r, {});
        session.Deliver({msg, watches[static_cast<std::size_t>(row)], r});
    }
    // The first result of the run, then the others.
    void Results(int row, const std::vector<ProbeResult>& results) {
        for (std::size_t i = 0; i < results.size(); ++i)
            Post(row, i == 0 ? WM_PAGE_SIZE : WM_PROBE_RESULT, results[i]);
    }
};


}  // namespace sentrel::test
