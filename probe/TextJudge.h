#pragma once
// A text row's new text is judged where it was read: on a watcher's thread, or on a reader
// of the many-page loop, never on the loop that schedules probes. The judge is the model's
// (model/ChangeJudge); the drivers know it only by this interface.
#include <functional>
#include <memory>
#include <string>

#include "content/LineDiff.h"
#include "probe/ProbeResult.h"

namespace sentrel {

/// What a text row's new text was judged to be.
struct Verdict {
    enum class Kind {
        Same,   ///< the text the row already had
        First,  ///< the row's first text: its reference, never a change
        Told,   ///< a change to tell (it met a condition, or the row has none)
        Quiet,  ///< a change that met none of the row's conditions: kept, not told
    };
    Kind kind = Kind::Same;
    std::string because;  ///< Told: the condition it met (empty: none named)
    /// Told and Quiet: the lines that came and went (none when the text before is not known).
    std::shared_ptr<const content::LineChanges> changes;
};

class TextJudge {
  public:
    virtual ~TextJudge() = default;
    /// Judges a good text result (its hash, and its text when one was read) of the row: it
    /// gets its verdict, or becomes a failure (a condition that needs more than its
    /// budget, conditions that no longer read). `stop`, asked now and then, ends it early.
    /// One thread at a time for a row.
    virtual void Judge(ProbeResult& result, const std::function<bool()>& stop) = 0;
};

}  // namespace sentrel
