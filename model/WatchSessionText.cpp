// The model's text rows: how a row compares its page, and what a text result means.
#include "WatchSession.h"

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
    row->change = content::LineChanges();
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
    if (result.text && m_pTextKeeper) {
        // Compared as kept: the earlier text was kept cut the same way.
        const std::string kept = content::KeptText(*result.text);
        std::string before;
        if (reference != 0 && m_pTextKeeper->LastText(row.url, before))
            row.change = content::ChangedLines(before, kept);
        else
            row.change = content::LineChanges();
        m_pTextKeeper->KeepText(row.url, kept, m_pClock->Time());
    }
    // The first text of a row is its reference, not a change.
    if (reference != 0) SetMarked(id, true);
}

}  // namespace sentrel
