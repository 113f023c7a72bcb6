// Stored rows as the list takes them back: an interval edited by hand is used as the program
// will use it, or not at all.
#include <gtest/gtest.h>

#include "base/Settings.h"
#include "store/WatchList.h"

using namespace sentrel;

TEST(WatchList, AStoredIntervalIsReadWholeAndWithinItsBounds) {
    const int most = keys::kInterval.most;
    const std::pair<const char*, int> cases[] = {
        {"", 0},  {"0", 0},   {"60", 60}, {" 30 ", 30},         {"1e9", 0},
        {"-5", 0}, {"60s", 0}, {"0x10", 0}, {"99999999", most}, {"99999999999999999999", most},
    };
    for (const auto& [stored, seconds] : cases) {
        WatchSession session;
        UrlRow row{"http://a/", "", "0"};
        row.interval = stored;
        AddStoredRow(session, row);
        EXPECT_EQ(seconds, session.Row(0).nInterval) << stored;
    }
}
