// What sentrel-watch prints of an event: readable lines that a page cannot use to drive the
// terminal, and one JSON object whatever the bytes.
#include <gtest/gtest.h>

#include "watch/WatchOutput.h"

using namespace sentrel;

namespace {
WatchReport Change() {
    WatchReport r;
    r.kind = EventKind::Changed;
    r.when = 0;
    r.url = "http://a/\x1b[2J";  // a URL and a note stay on their line: controls are blanks
    r.note = "note\n2";
    r.nOldSize = 1;
    r.nNewSize = 2;
    r.bText = true;
    r.added = {"\x1b]0;owned\x07title", "tab\there \x7f \xC2\x9b" "31m"};
    r.removed = {"\xff old"};
    return r;
}
}  // namespace

TEST(WatchOutput, ControlCharactersAreShownNotSentToTheTerminal) {
    const std::string plain = FormatReport(Change(), false);
    const std::string shown = plain.substr(plain.find(' ') + 1);
    EXPECT_EQ("changed http://a/ [2J 1 -> 2 (note 2)\n"
              "    - \xEF\xBF\xBD old\n"
              "    + \\x1b]0;owned\\x07title\n"
              "    + tab\there \\x7f \\u009b31m",
              shown);
    const std::string json = FormatReport(Change(), true);
    EXPECT_EQ(std::string::npos, json.find('\n'));
    EXPECT_EQ(std::string::npos, json.find('\x1b'));
    EXPECT_NE(std::string::npos, json.find("\"added\":[\"\\u001b]0;owned\\u0007title\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"note\":\"note 2\"")) << json;
}
