// The one judge of a text row's change: first, told (with its condition) or quiet, within
// a budget, and kept in one call of the store.
#include <gtest/gtest.h>

#include <cmath>

#include "model/ChangeJudge.h"
#include "testsupport/TestClock.h"

using namespace sentrel;
using namespace std::chrono_literals;

namespace {

const AlertRules::Budget kAmple{std::chrono::steady_clock::now() + 60s, {}};

PreviousText Kept(const std::string& text, double base = NAN) {
    return {true, text, !std::isnan(base), std::isnan(base) ? 0 : base};
}

ProbeResult Text(const std::string& text) {
    ProbeResult r = ProbeResult::Text(static_cast<int>(text.size()), std::hash<std::string>()(text) | 1);
    r.text = std::make_shared<std::string>(text);
    return r;
}

// A store that keeps one text a page and counts its openings.
struct CountingTexts : TextKeeper {
    PreviousText previous;
    int opened = 0;
    std::vector<VersionNote> notes;
    bool KeepVersion(const std::string&, const std::string& text, std::time_t, const Decide& decide) override {
        ++opened;
        VersionNote note;
        if (!decide(previous, note)) return false;
        previous.bHave = true;
        previous.text = text;
        if (note.bNewBase) previous.bHaveBase = true, previous.base = note.base;
        notes.push_back(note);
        return true;
    }
};

}  // namespace

TEST(ChangeJudge, EachChangeIsFirstToldOrQuietByItsConditions) {
    const std::string huge = std::string(400, '9') + " 7\n";  // no number: infinite as a double
    struct Case {
        const char* rules;
        bool reference;
        PreviousText previous;
        const char* now;
        VersionKind kind;
        const char* because;
        int added, removed;
        double newBase;  // NAN: the base stays
    } cases[] = {
        {"", false, {}, "Price 1.299,00 €\n", VersionKind::First, "", 0, 0, 1299},
        {"below:100", false, Kept("old\n"), "¥90\n", VersionKind::First, "", 0, 0, 90},
        {"", true, Kept("a\nb\n"), "a\nc\n", VersionKind::Told, "", 1, 1, NAN},
        {"added:in stock", true, Kept("Sold out\n"), "In Stock\n", VersionKind::Told, "added:in stock", 1, 1, NAN},
        {"added:in stock", true, Kept("In stock\n"), "Sold out\n", VersionKind::Quiet, "", 1, 1, NAN},
        {"below:1.000", true, Kept("1.299,00 €\n", 1299), "1.199,00 €\n", VersionKind::Quiet, "", 1, 1, NAN},
        {"below:1.000", true, Kept("1.199,00 €\n", 1299), "999,00 €\n", VersionKind::Told, "below:1.000", 1, 1, 999},
        {"above:10", true, Kept("５\n"), "价格：２０元\n", VersionKind::Told, "above:10", 1, 1, 20},
        {"change:10%", true, Kept("100\n", 100), "109\n", VersionKind::Quiet, "", 1, 1, NAN},
        {"change:10%", true, Kept("109\n", 100), "111\n", VersionKind::Told, "change:10%", 1, 1, 111},
        // A quiet change sets the base only when there is none; a number too large to be
        // one is none.
        {"change:10%", true, Kept("x\n"), "50\n", VersionKind::Quiet, "", 1, 1, 50},
        {"", true, Kept("5\n"), huge.c_str(), VersionKind::Told, "", 1, 1, 7},
        {"removed:缺货\nappears:有货", true, Kept("缺货\n"), "有货\n", VersionKind::Told, "removed:缺货", 1, 1, NAN},
        {"appears:sale", true, {}, "sale\n", VersionKind::Told, "appears:sale", 0, 0, NAN},  // no text kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.rules) + " → " + c.now);
        const RowRules rules(c.rules);
        ASSERT_EQ("", rules.Problem());
        const Judgement j = JudgeText(rules.Rules(), c.reference, c.previous, c.now, kAmple);
        EXPECT_EQ(Judgement::Judged, j.outcome);
        EXPECT_EQ(c.kind, j.kind);
        EXPECT_EQ(c.because, c.kind == VersionKind::Told ? j.rule : std::string());
        EXPECT_EQ(c.added, j.changes->nAdded);
        EXPECT_EQ(c.removed, j.changes->nRemoved);
        EXPECT_EQ(!std::isnan(c.newBase), j.bNewBase);
        if (j.bNewBase) {
            EXPECT_EQ(c.newBase, j.base);
        }
    }
}

TEST(ChangeJudge, AConditionThatCannotBeDecidedWithinTheBudgetIsNeverNotMet) {
    std::string lines;  // each line past PCRE2's bound for a nested repetition
    for (int i = 0; i < 6000; ++i) lines += std::string(30, 'a') + "b\n";
    const RowRules slow("added:zzz\nappears:/(a+)+$/");
    Judgement j = JudgeText(slow.Rules(), true, Kept("x\n"), lines, kAmple);
    EXPECT_EQ(Judgement::TooSlow, j.outcome);
    EXPECT_EQ("appears:/(a+)+$/", j.rule);
    // Out of time, or asked to stop: never a verdict.
    const RowRules plain("appears:never");
    j = JudgeText(plain.Rules(), true, Kept("x\n"), lines, {std::chrono::steady_clock::now(), {}});
    EXPECT_EQ(Judgement::TooSlow, j.outcome);
    j = JudgeText(plain.Rules(), true, Kept("x\n"), lines, {std::chrono::steady_clock::now() + 60s, [] { return true; }});
    EXPECT_EQ(Judgement::Stopped, j.outcome);
}

TEST(ChangeJudge, ARowsJudgeKeepsEachChangeOnceAndFailsWhatItCannotJudge) {
    test::TestClock clock;
    CountingTexts texts;
    auto box = std::make_shared<RulesBox>();
    ChangeJudge judge("http://a/", 0, box, &texts, clock, {});
    // The first text, the same again (nothing kept), then a change.
    ProbeResult r = Text("Price 120\n");
    judge.Judge(r, {});
    ASSERT_TRUE(r.verdict);
    EXPECT_EQ(Verdict::Kind::First, r.verdict->kind);
    r = Text("Price 120\n");
    judge.Judge(r, {});
    EXPECT_FALSE(r.verdict) << "the same text";
    EXPECT_EQ(1, texts.opened);
    // Conditions edited while it runs count from the next change.
    box->Set(std::make_shared<const RowRules>("below:100"));
    r = Text("Price 110\n");
    judge.Judge(r, {});
    EXPECT_EQ(Verdict::Kind::Quiet, r.verdict->kind);
    r = Text("Price 99\n");
    judge.Judge(r, {});
    EXPECT_EQ(Verdict::Kind::Told, r.verdict->kind);
    EXPECT_EQ("below:100", r.verdict->because);
    EXPECT_EQ(std::vector<std::string>{"Price 99"}, r.verdict->changes->added);
    EXPECT_EQ(3, texts.opened) << "one opening of the store a change";
    // A condition too slow fails the check and moves nothing: the next probe judges again.
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += std::string(30, 'a') + "b\n";
    box->Set(std::make_shared<const RowRules>("appears:/(a+)+$/"));
    for (int i = 0; i < 2; ++i) {
        r = Text(lines);
        judge.Judge(r, {});
        EXPECT_EQ(ProbeFailure::SlowCondition, r.failure);
        EXPECT_EQ("提醒条件太慢：appears:/(a+)+$/", r.Reason());
    }
    EXPECT_EQ(3u, texts.notes.size()) << "nothing kept of it";
    // Conditions that no longer read fail every check, naming their problem.
    box->Set(std::make_shared<const RowRules>("below:cheap"));
    r = Text("Price 1\n");
    judge.Judge(r, {});
    EXPECT_EQ(ProbeFailure::BadCondition, r.failure);
    EXPECT_NE(std::string::npos, r.Reason().find("below:cheap")) << r.Reason();
    // Without a store: no lines and nothing kept, the change still told.
    ChangeJudge bare("http://b/", Text("a\n").nHash, nullptr, nullptr, clock, {});
    r = Text("b\n");
    bare.Judge(r, {});
    EXPECT_EQ(Verdict::Kind::Told, r.verdict->kind);
}
