// The model's text rows: how a row compares its page, and what a text result means.
#include "model/WatchSession.h"

namespace sentrel {

void WatchSession::SetCompare(RowId id, const CompareOptions& compare) {
    WatchRow* row = Find(id);
    if (!row || row->compare == compare) return;
    row->compare = compare;
    // Validators, size and hash of the other way of comparing say nothing of this one.
    row->etag.clear();
    row->lastModified.clear();
    row->nStoredSize = 0;
    row->nStoredHash = 0;
    row->change.reset();
    Emit(WatchEvent::RowChanged, id);
}

void WatchSession::SetAlertIf(RowId id, const std::string& rules) {
    WatchRow* row = Find(id);
    if (!row || row->alertIf == rules) return;
    row->alertIf = rules;
    if (!row->rules) row->rules = std::make_shared<RulesBox>();
    row->rules->Set(rules.empty() ? nullptr : std::make_shared<const RowRules>(rules));
    Emit(WatchEvent::RowChanged, id);
}

std::string WatchSession::RulesProblem(RowId id) const {
    const int index = IndexOf(id);
    if (index < 0) return std::string();
    const RulesBoxPtr& box = m_rows[static_cast<std::size_t>(index)].rules;
    const RowRulesPtr rules = box ? box->Get() : nullptr;
    return rules ? rules->Problem() : std::string();
}

std::shared_ptr<TextJudge> WatchSession::JudgeOf(WatchRow& row) {
    if (!row.compare.Text()) return nullptr;
    if (!row.rules) row.rules = std::make_shared<RulesBox>();  // conditions may come during the run
    ChangeJudge::Options options;
    options.depth = m_nHistoryDepth;
    options.maxBytes = m_nHistoryBytes;
    return std::make_shared<ChangeJudge>(row.url, row.nStoredHash, row.rules, m_pTextKeeper, *m_pClock, options);
}

void WatchSession::OnGoodText(WatchRow& row, const ProbeResult& result) {
    // What the text means was judged where it was read (ChangeJudge): here it is shown.
    const RowId id = row.id;
    const bool first = !row.bHaveSize;
    row.bHaveSize = true;
    row.nLastSize = result.nSize;
    row.nLastHash = result.nHash;
    if (first) {
        row.nStoredSize = result.nSize;
        row.nStoredHash = result.nHash;
        TakeValidators(row);
        Emit(WatchEvent::SizeStored, id);
    }
    if (!result.verdict) return;  // the text it had
    const Verdict& verdict = *result.verdict;
    if (verdict.changes) row.change = verdict.changes;
    switch (verdict.kind) {
        case Verdict::Kind::Same:
        case Verdict::Kind::First:
            return;
        case Verdict::Kind::Quiet:
            // Kept, and not told: the row's reference moves on, so that nobody is told of it later.
            row.nStoredSize = result.nSize;
            row.nStoredHash = result.nHash;
            TakeValidators(row);
            Emit(WatchEvent::SizeStored, id);
            Emit(WatchEvent::Quiet, id);
            return;
        case Verdict::Kind::Told:
            row.because = verdict.because;
            SetMarked(id, true);
            return;
    }
}

}  // namespace sentrel
