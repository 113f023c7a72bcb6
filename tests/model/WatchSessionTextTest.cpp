// The model's text rows: what a text means, what changed in it, and what is kept of it.
#include <gtest/gtest.h>

#include "LineDiff.h"
#include "SessionFixture.h"

using namespace sentrel;
using namespace sentrel::test;

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
