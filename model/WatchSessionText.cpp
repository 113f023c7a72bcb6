// The model's text rows: how a row compares its page, and what a text result means.
#include "WatchSession.h"

#include "AlertRules.h"
#include "PageNumber.h"

namespace sentrel {

const char* CompareOptions::ModeName(Mode mode) {
    return mode == kText ? "text" : "size";
}

bool CompareOptions::ModeNamed(const std::string& word, Mode& mode) {
    for (Mode m : {kSize, kText})
        if (word == ModeName(m)) {
            mode = m;
            return true;
        }
    return false;
}

std::shared_ptr<const content::PageReader> CompareOptions::Reader(std::string* problem) const {
    if (!Text()) return nullptr;
    auto reader = std::make_shared<content::PageReader>();
    std::string error;
    if (!reader->Set(select, ignore, error)) {
        reader->SetBroken();
        if (problem) *problem = error;
    }
    return reader;
}

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
    Emit(WatchEvent::RowChanged, id);
}

void WatchSession::OnGoodText(WatchRow& row, const ProbeResult& result) {
    // Any difference of the text is a change: no bytes of noise, no empty page ignored.
    const RowId id = row.id;
    const bool first = !row.bHaveSize;
    const std::uint64_t reference = first ? row.nStoredHash : row.nLastHash;
    row.bHaveSize = true;
    row.nLastSize = result.nSize;
    row.nLastHash = result.nHash;
    if (first) {
        row.nStoredSize = result.nSize;
        row.nStoredHash = result.nHash;
        TakeValidators(row);
        Emit(WatchEvent::SizeStored, id);
    }
    if (result.nHash == reference) return;
    // Whether it is told: when it meets one of the row's conditions (or it has none).
    std::string because;
    bool quiet = false;
    if (result.text && m_pTextKeeper) {
        // Compared as kept: the earlier text was kept cut the same way.
        const std::string kept = content::KeptText(*result.text);
        std::string before;
        const bool haveBefore = reference != 0 && m_pTextKeeper->LastText(row.url, before);
        if (!haveBefore) before.clear();
        const std::vector<content::DiffLine> diff =
            haveBefore ? content::DiffLines(before, kept) : std::vector<content::DiffLine>();
        row.change = std::make_shared<const content::LineChanges>(content::ChangesOf(diff));
        VersionNote note;
        note.depth = m_nHistoryDepth;
        note.maxBytes = m_nHistoryBytes;
        note.nAdded = row.change->nAdded;
        note.nRemoved = row.change->nRemoved;
        double number = 0;
        const bool haveNumber = content::FirstNumber(kept, number);
        double base = 0;
        const bool haveBase = m_pTextKeeper->AlertBase(row.url, base);
        content::AlertRules rules;
        std::string problem;
        if (reference == 0) {
            note.kind = VersionKind::First;  // the first text is the reference, never a change
        } else if (!row.alertIf.empty() && rules.Parse(row.alertIf, problem) && !rules.Empty()) {
            std::vector<std::string> added, removed;
            for (const content::DiffLine& line : diff)
                if (line.kind != content::DiffLine::kSame)
                    (line.kind == content::DiffLine::kAdded ? added : removed).push_back(line.text);
            because = rules.Met({before, kept, added, removed, haveBase, base});
            quiet = because.empty();
        }
        if (!quiet && reference != 0) note.kind = VersionKind::Told;
        if (quiet) note.kind = VersionKind::Quiet;
        note.because = because;
        // change:P% measures from the number of the last told version (the first one's
        // until then, or the first number the page shows).
        note.bNewBase = haveNumber && (note.kind != VersionKind::Quiet || !haveBase);
        note.base = number;
        m_pTextKeeper->KeepText(row.url, kept, m_pClock->Time(), note);
    }
    if (reference == 0) return;
    if (quiet) {
        // Kept, and not told: the row's reference moves on, so that nobody is told of it later.
        row.nStoredSize = result.nSize;
        row.nStoredHash = result.nHash;
        TakeValidators(row);
        Emit(WatchEvent::SizeStored, id);
        Emit(WatchEvent::Quiet, id);
        return;
    }
    row.because = because;
    SetMarked(id, true);
}

}  // namespace sentrel
