#pragma once
// Whether a text row's change is told: the one place that decides it, for the window's
// watchers and sentrel-watch's loop alike. A row's conditions are compiled once, when the
// row is loaded or edited; each change is judged where its text was read (a watcher's
// thread, a reader of the loop) within a budget, and kept as a version in one call of the
// store.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/Clock.h"
#include "content/LineDiff.h"
#include "model/AlertRules.h"
#include "model/TextKeeper.h"
#include "probe/TextJudge.h"

namespace sentrel {

/// A row's conditions, compiled, as its judges find them. Edited conditions replace them,
/// and a running watcher judges with them from its next change on.
class RowRules {
  public:
    /// Compiles `written` (one a line; empty: every change is told). Conditions that do
    /// not read (a list edited by hand, a rule an older version took) make every check of
    /// the row fail with their problem, rather than tell every change.
    explicit RowRules(const std::string& written = std::string());
    const std::string& Written() const { return m_strWritten; }
    /// The compiled conditions (null: none), or why they do not read.
    const AlertRules* Rules() const { return m_pRules.get(); }
    const std::string& Problem() const { return m_strProblem; }

  private:
    std::string m_strWritten, m_strProblem;
    std::unique_ptr<AlertRules> m_pRules;
};
using RowRulesPtr = std::shared_ptr<const RowRules>;

/// Where a row's judges find its conditions: replaced whole when they are edited, read by
/// any thread that judges the row's page.
class RulesBox {
  public:
    /// The row's conditions now (null: none).
    RowRulesPtr Get() const { return std::atomic_load(&m_pRules); }
    void Set(RowRulesPtr rules) { std::atomic_store(&m_pRules, std::move(rules)); }

  private:
    RowRulesPtr m_pRules;
};
using RulesBoxPtr = std::shared_ptr<RulesBox>;

/// What one change was judged to be, by the rule alone (no store, no row).
struct Judgement {
    enum Outcome {
        Judged,   ///< `kind` and the rest hold
        TooSlow,  ///< `rule` needs more than the budget: the check fails
        Stopped,  ///< asked to end first
    };
    Outcome outcome = Judged;
    VersionKind kind = VersionKind::First;
    std::string rule;  ///< Told: the condition met (empty: none named); TooSlow: the one too slow
    std::shared_ptr<const content::LineChanges> changes;
    bool bNewBase = false;  ///< its number becomes what change:P% measures from
    double base = 0;
};

/// Judges a text against what was kept before it (`previous`; a row's first text has no
/// reference), by `rules` (null: every change is told), within `budget`.
Judgement JudgeText(const AlertRules* rules, bool hasReference, const PreviousText& previous,
                    const std::string& now, const AlertRules::Budget& budget);

/// One text row's judge for one run: its reference moves with each text it judges.
class ChangeJudge : public TextJudge {
  public:
    /// What one change's conditions may spend, as a page's reading may.
    static constexpr std::chrono::milliseconds kBudget{3000};
    struct Options {
        int depth = 50;                   ///< versions the row keeps
        long long maxBytes = 64ll << 20;  ///< what they may take
        std::chrono::milliseconds budget = kBudget;
    };
    /// `reference` is the hash of the row's stored text (0: none); `rules` where its
    /// conditions are found at each change (null: it has none); `keeper` keeps its versions
    /// (null: none kept, no lines told).
    ChangeJudge(std::string url, std::uint64_t reference, RulesBoxPtr rules, TextKeeper* keeper,
                const Clock& clock, Options options);
    void Judge(ProbeResult& result, const std::function<bool()>& stop) override;

  private:
    std::string m_strUrl;
    std::uint64_t m_nReference;
    RulesBoxPtr m_pRules;
    TextKeeper* m_pKeeper;
    const Clock& m_clock;
    Options m_options;
};

}  // namespace sentrel
