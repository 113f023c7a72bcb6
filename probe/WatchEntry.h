#pragma once
// What a watcher starts with, and what it tells: the values that cross from a watcher
// (a thread of its own, or a page of the many-page loop) to the run's model.
#include <memory>
#include <string>

#include "base/PostTarget.h"
#include "content/PageText.h"
#include "platform/PageAccess.h"
#include "probe/PageValidators.h"
#include "probe/ProbeResult.h"
#include "probe/RunFlag.h"
#include "probe/TextJudge.h"

namespace sentrel {

class CWatchThread;

/// Longest time one probe may take, redirects, retry and body included: long enough for
/// any page people watch, short enough that a trickling server cannot hold a watcher.
constexpr long kProbeCapSeconds = 60;

/// One watcher's message: its first result (WM_PAGE_SIZE), each later result that can
/// change something (WM_PROBE_RESULT), and its end (WM_WATCH_ENDED), by watch number.
struct WatchMessage {
    unsigned msg = 0;
    int nItem = 0;                 ///< the watch number, which names the run's row
    ProbeResult result;            ///< WM_PAGE_SIZE, WM_PROBE_RESULT
    bool bSessionRefused = false;  ///< WM_WATCH_ENDED: no HTTP session could be made
};
using WatchTarget = PostTargetPtr<WatchMessage>;

/// What one watcher needs, filled by the start sequence.
struct WatchEntry {
    WatchTarget hMainWnd;             ///< receives every message of the watcher
    CWatchThread* pThread = nullptr;  ///< the thread running it, when one does
    int nItem = 0;                    ///< watch number, in every message
    int nInterval = 0;                ///< seconds between probes: the row's own, else the run's
    std::string szUrl;                ///< the row's URL, any length
    RunFlagPtr pszRunFlag;            ///< the watcher's flag, below its run's
    PageValidators validators{};      ///< the stored size's validators (may be empty)
    ValidatorBoxPtr pValidators{};    ///< where the watcher leaves its latest validators
    /// A text row's reader of its page (region and ignore rules); none for a size row.
    std::shared_ptr<const content::PageReader> pReader{};
    /// A text row's judge of its texts (see TextJudge.h); none for a size row.
    std::shared_ptr<TextJudge> pJudge{};
    bool bRender = false;  ///< a text row whose page is rendered by a browser first
    /// The row's proxy and headers (none: the environment's proxy, no headers of its own).
    std::shared_ptr<const PageRoute> pRoute{};
};

}  // namespace sentrel
