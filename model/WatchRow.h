#pragma once
// One watched page, as the run's model holds it.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "content/LineDiff.h"
#include "model/ChangeJudge.h"
#include "model/CompareOptions.h"
#include "platform/PageAccess.h"
#include "probe/ProbeResult.h"

namespace sentrel {

/// A row's identity: stays with its page while rows are added, moved or deleted.
using RowId = long;

/// What a row's status says. The mark (an unseen change) is kept beside it, since a
/// marked row stays marked through failures and stops.
enum class RowStatus {
    None,           ///< not watched since it was loaded or added
    Watching,       ///< "监控中"
    Changed,        ///< "有更新！"
    Failing,        ///< "访问失败：..." after `failafter` failed probes in a row
    Recovered,      ///< "已恢复": the first good probe after a failure
    Stopping,       ///< "等待停止..."
    Stopped,        ///< "停止"
    NetworkFailed,  ///< "网络失败！": the watcher got no HTTP session
};

/// One watched page.
struct WatchRow {
    RowId id = 0;
    std::string url;
    std::string note;
    int nStoredSize = 0;  ///< carried across runs: the size when its watcher last started
    std::string etag;     ///< validators of the response nStoredSize was measured from
    std::string lastModified;
    CompareOptions compare;
    PageAccess access;    ///< its proxy, headers and session, when it has any
    int nInterval = 0;    ///< seconds between the page's probes; 0: the run's interval
    int nWatch = -1;      ///< the current run's watch of the row (-1: none)
    std::string alertIf;  ///< a text row's conditions, one a line: none, every change is told
    /// Its conditions compiled, where its judges find them (see ChangeJudge.h); a box is
    /// made for a text row, a size row has none.
    RulesBoxPtr rules;
    std::string because;  ///< the condition its latest told change met (empty: none named)
    std::uint64_t nStoredHash = 0;  ///< a text row's text hash, kept with nStoredSize (0: none)
    std::uint64_t nLastHash = 0;    ///< a text row's reference in this run
    /// A text row's lines that changed at its latest change (none: no change read yet).
    /// Shared: a size row carries a pointer, not two empty lists.
    std::shared_ptr<const content::LineChanges> change;
    int nLastSize = 0;       ///< this run's reference of the >3-byte rule
    bool bHaveSize = false;  ///< a good probe came in during this run
    bool bMarked = false;
    RowStatus status = RowStatus::None;
    int nFailures = 0;             ///< failed probes in a row
    ProbeResult lastFailure;       ///< the latest of them
    std::time_t failingSince = 0;  ///< when the first of them came in

    /// The status column's text.
    std::string StatusText() const;
    /// The lines of its latest change (empty lists when none was read).
    const content::LineChanges& Changes() const;
};

}  // namespace sentrel
