#include "model/ChangeJudge.h"

#include "model/PageNumber.h"

namespace sentrel {

RowRules::RowRules(const std::string& written) : m_strWritten(written) {
    if (written.find_first_not_of(" \t\r\n") == std::string::npos) return;
    auto rules = std::make_unique<AlertRules>();
    if (rules->Parse(written, m_strProblem) && !rules->Empty()) m_pRules = std::move(rules);
}

Judgement JudgeText(const AlertRules* rules, bool hasReference, const PreviousText& previous,
                    const std::string& now, const AlertRules::Budget& budget) {
    Judgement j;
    // The lines that changed since the text kept before; a first text changes none.
    const bool haveBefore = hasReference && previous.bHave;
    static const std::string kNone;
    const std::string& before = haveBefore ? previous.text : kNone;
    const std::vector<content::DiffLine> diff =
        haveBefore ? content::DiffLines(before, now) : std::vector<content::DiffLine>();
    j.changes = std::make_shared<const content::LineChanges>(content::ChangesOf(diff));
    if (!hasReference) {
        j.kind = VersionKind::First;  // the first text is the reference, never a change
    } else if (!rules || rules->Empty()) {
        j.kind = VersionKind::Told;  // without conditions every change is told
    } else {
        std::vector<std::string> added, removed;
        for (const content::DiffLine& line : diff)
            if (line.kind != content::DiffLine::kSame)
                (line.kind == content::DiffLine::kAdded ? added : removed).push_back(line.text);
        const AlertRules::Outcome outcome =
            rules->Judge({before, now, added, removed, previous.bHaveBase, previous.base}, budget);
        j.rule = outcome.rule;
        switch (outcome.kind) {
            case AlertRules::Outcome::Met:
                j.kind = VersionKind::Told;
                break;
            case AlertRules::Outcome::NotMet:
                j.kind = VersionKind::Quiet;
                break;
            case AlertRules::Outcome::TooSlow:
                j.outcome = Judgement::TooSlow;
                return j;
            case AlertRules::Outcome::Stopped:
                j.outcome = Judgement::Stopped;
                return j;
        }
    }
    // change:P% measures from the number of the last told version (the first one's until
    // then, or the first number the page shows).
    double number = 0;
    j.bNewBase = FirstNumber(now, number) && (j.kind != VersionKind::Quiet || !previous.bHaveBase);
    j.base = number;
    return j;
}

ChangeJudge::ChangeJudge(std::string url, std::uint64_t reference, RulesBoxPtr rules, TextKeeper* keeper,
                         const Clock& clock, Options options)
    : m_strUrl(std::move(url)),
      m_nReference(reference),
      m_pRules(std::move(rules)),
      m_pKeeper(keeper),
      m_clock(clock),
      m_options(options) {}

void ChangeJudge::Judge(ProbeResult& result, const std::function<bool()>& stop) {
    if (!result.Ok() || result.nHash == m_nReference) return;  // the same text: nothing to judge
    const RowRulesPtr rules = m_pRules ? m_pRules->Get() : nullptr;
    if (rules && !rules->Problem().empty()) {
        result = ProbeResult::Failed(ProbeFailure::BadCondition, rules->Problem());
        return;
    }
    const AlertRules* conditions = rules ? rules->Rules() : nullptr;
    auto verdict = std::make_shared<Verdict>();
    if (!result.text) {
        // No text to compare (an answer that stood for another): no lines, nothing kept.
        verdict->kind = m_nReference == 0 ? Verdict::Kind::First : Verdict::Kind::Told;
    } else {
        const std::string kept = content::KeptText(*result.text);
        const AlertRules::Budget budget{std::chrono::steady_clock::now() + m_options.budget, stop};
        Judgement judgement;
        auto decide = [&](const PreviousText& previous, VersionNote& note) {
            judgement = JudgeText(conditions, m_nReference != 0, previous, kept, budget);
            if (judgement.outcome != Judgement::Judged) return false;
            note.kind = judgement.kind;
            note.because = judgement.kind == VersionKind::Told ? judgement.rule : std::string();
            note.nAdded = judgement.changes->nAdded;
            note.nRemoved = judgement.changes->nRemoved;
            note.bNewBase = judgement.bNewBase;
            note.base = judgement.base;
            note.depth = m_options.depth;
            note.maxBytes = m_options.maxBytes;
            return true;
        };
        VersionNote unkept;
        if (m_pKeeper)
            m_pKeeper->KeepVersion(m_strUrl, kept, m_clock.Time(), decide);
        else
            decide(PreviousText(), unkept);
        if (judgement.outcome == Judgement::TooSlow) {
            result = ProbeResult::Failed(ProbeFailure::SlowCondition, judgement.rule);
            return;  // judged again at the next probe: the reference stays
        }
        if (judgement.outcome == Judgement::Stopped) {
            result = ProbeResult::Failed(NetFailure::Cancelled);
            return;
        }
        verdict->kind = judgement.kind == VersionKind::First   ? Verdict::Kind::First
                        : judgement.kind == VersionKind::Quiet ? Verdict::Kind::Quiet
                                                               : Verdict::Kind::Told;
        verdict->because = judgement.kind == VersionKind::Told ? judgement.rule : std::string();
        verdict->changes = judgement.changes;
    }
    m_nReference = result.nHash;
    result.verdict = std::move(verdict);
}

}  // namespace sentrel
