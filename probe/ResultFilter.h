#pragma once
#include "probe/ProbeResult.h"

namespace sentrel {

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

}  // namespace sentrel
