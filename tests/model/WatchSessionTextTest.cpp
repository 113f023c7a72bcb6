// The model's text rows: what a text means, what changed in it, and what is kept of it.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "content/LineDiff.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
// The texts a text row keeps, in memory.
struct MemoryTexts : TextKeeper {
    std::map<std::string, std::string> last;
    std::map<std::string, double> base;
    std::vector<VersionNote> notes;
    bool KeepVersion(const std::string& url, const std::string& text, std::time_t, const Decide& decide) override {
        PreviousText previous;
        previous.bHave = last.count(url) > 0;
        previous.text = previous.bHave ? last[url] : std::string();
        previous.bHaveBase = base.count(url) > 0;
        previous.base = previous.bHaveBase ? base[url] : 0;
        VersionNote note;
        if (!decide(previous, note)) return false;
        last[url] = text;
        if (note.bNewBase) base[url] = note.base;
        notes.push_back(note);
        return true;
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
        EXPECT_EQ(c.added, row.Changes().added) << c.name;
        EXPECT_EQ(c.removed, row.Changes().removed) << c.name;
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
    EXPECT_EQ(1, row.Changes().nAdded);
    EXPECT_EQ(1, row.Changes().nRemoved);
    EXPECT_EQ(std::vector<std::string>{"LINE 0 of a long page"}, row.Changes().added);
    EXPECT_LE(texts.last["u"].size(), content::kMaxKeptText);
}

TEST(WatchSession, ATextRowWithConditionsIsToldOnlyWhenOneIsMet) {
    // Each text after the first is one change; "M"/"m" a told one, "q" a quiet one.
    struct Case {
        const char* rules;
        std::vector<const char*> texts;
        const char* told;
        const char* because;  // of the last told change
    } cases[] = {
        {"added:in stock", {"Sold out\n", "In Stock now\n"}, "M", "added:in stock"},
        {"added:in stock", {"In stock\n", "Sold out\n"}, "q", ""},
        {"added:/\\d+ left/", {"a\n", "a\n3 left\n", "a\n2 left\n"}, "Mm", "added:/\\d+ left/"},
        {"removed:缺货", {"状态：缺货\n", "状态：有货\n"}, "M", "removed:缺货"},
        {"appears:in stock", {"x\n", "y in stock\n", "z in stock\n", "w\n"}, "Mqq", "appears:in stock"},
        {"disappears:缺货", {"缺货\n", "仍然缺货\n", "有货\n"}, "qM", "disappears:缺货"},
        // One alert a crossing, again at the next one.
        {"below:100", {"¥120\n", "¥99\n", "¥95\n", "¥130\n", "¥90\n"}, "Mqqm", "below:100"},
        {"above:1,000", {"900\n", "1.000,00\n", "1.000,01\n"}, "qM", "above:1,000"},
        // change: measures from the last told version, quiet ones between do not move it.
        {"change:10%", {"100\n", "105\n", "109\n", "111\n", "115\n", "99\n"}, "qqMqm",
         "change:10%"},
        {"below:5\nchange:50%", {"no number\n", "still none\n"}, "q", ""},
        {"added:x\nabove:10", {"5\n", "20\n"}, "M", "above:10"},
        {"", {"a\n", "b\n"}, "M", ""},
    };
    CompareOptions text;
    text.mode = CompareOptions::kText;
    for (const Case& c : cases) {
        Session s;
        MemoryTexts texts;
        std::string told;
        s.session.Subscribe([&](const WatchEvent& e) {
            if (e.kind == WatchEvent::Marked) told += e.bNewMark ? "M" : "m";
            if (e.kind == WatchEvent::Quiet) told += "q";
        });
        s.session.SetTextKeeper(&texts);
        const RowId id = s.session.AddRow("u", "", 0, {}, {}, text);
        s.session.SetAlertIf(id, c.rules);
        s.Start();
        std::vector<ProbeResult> results;
        for (const char* t : c.texts) results.push_back(Text(t));
        s.Results(0, results);
        EXPECT_EQ(c.told, told) << c.rules << " " << c.texts[1];
        const WatchRow& row = s.session.Row(0);
        EXPECT_EQ(c.because, row.because) << c.rules;
        // A quiet change moves the reference on: nothing is told of it later.
        EXPECT_EQ(results.back().nHash, told.back() == 'q' ? row.nStoredHash : row.nLastHash)
            << c.rules;
        EXPECT_EQ(told.find('M') != std::string::npos, row.bMarked) << c.rules;
        // Every text is a version; the first is told as nothing.
        ASSERT_EQ(c.texts.size(), texts.notes.size()) << c.rules;
        EXPECT_EQ(VersionKind::First, texts.notes[0].kind);
        for (std::size_t i = 1; i < texts.notes.size(); ++i)
            EXPECT_EQ(told[i - 1] == 'q' ? VersionKind::Quiet : VersionKind::Told,
                      texts.notes[i].kind)
                << c.rules << " #" << i;
    }
}
