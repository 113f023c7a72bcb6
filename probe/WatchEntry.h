#pragma once
// What a watcher starts with, and what it tells: the values that cross from a watcher
// (a thread of its own, or a page of the many-page loop) to the run's model.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "base/PostTarget.h"
#include "content/PageText.h"
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

/// Which of a watcher's results go to the run's model: the first, then every one that can
/// change something there. A good result equal to the last, after two good ones in a row,
/// changes nothing, and is not posted: a quiet page never wakes the window. Both kinds of
/// watcher decide it here.
class ResultFilter {
  public:
    /// True when `result` is to be posted (as WM_PAGE_SIZE when it is the first).
    bool Pass(const ProbeResult& result) {
        const bool first = m_bFirst;
        const bool quiet = !first && result.Ok() && result == m_last && m_nGoodInRow >= 2;
        m_nGoodInRow = result.Ok() ? m_nGoodInRow + 1 : 0;
        m_bFirst = false;
        if (quiet) return false;
        m_last = result;
        m_last.text.reset();  // a text goes with its post, and is not kept here
        return true;
    }
    /// True until the first result has passed.
    bool First() const { return m_bFirst; }

  private:
    ProbeResult m_last;
    int m_nGoodInRow = 0;
    bool m_bFirst = true;
};

/// The waits between a page's probes: its interval, each time a little longer or shorter
/// (within 5 % either way), so that the many pages of one interval, started together, do
/// not all probe in the same second ever after. Both kinds of watcher space probes here.
class ProbeSpacing {
  public:
    ProbeSpacing() : m_random(NextSeed()) {}
    explicit ProbeSpacing(std::uint32_t seed) : m_random(seed) {}
    /// The wait before the next probe of a page of this interval.
    std::chrono::milliseconds Next(std::chrono::milliseconds interval) {
        const long long spread = interval.count() / 10;  // a tenth of it, half each way
        if (spread <= 0) return interval;
        std::uniform_int_distribution<long long> offset(-spread / 2, spread - spread / 2 - 1);
        return interval + std::chrono::milliseconds(offset(m_random));
    }

  private:
    // One device read a process, then a counter through SplitMix64: opening the random
    // device for each of 100,000 pages cost more than their first probes.
    static std::uint32_t NextSeed() {
        static const std::uint64_t base = std::random_device{}();
        static std::atomic<std::uint64_t> counter{0};
        std::uint64_t z = base + 0x9E3779B97F4A7C15ull * (counter.fetch_add(1) + 1);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint32_t>(z ^ (z >> 31)) | 1u;  // minstd_rand wants no 0
    }
    std::minstd_rand m_random;
};

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
};

}  // namespace sentrel
