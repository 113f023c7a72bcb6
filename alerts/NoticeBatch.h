#pragma once
// Desktop notifications gathered over a short while: a start after a night away, or an
// outage of a whole site, marks or fails many pages at once, and one notification per
// kind tells them together.
#include <chrono>
#include <string>
#include <vector>

#include "alerts/AlertEvent.h"
#include "model/WatchSession.h"

namespace sentrel {

/// One desktop notification.
struct DesktopNotice {
    std::string title;
    std::string body;
    RowId openRow = 0;  ///< offers "打开网页" for this row (0: no action)
};

class NoticeBatch {
  public:
    /// Notices that come within this while of the first share a notification.
    static constexpr std::chrono::milliseconds kWindow{2000};

    /// Adds a row's notice; true when it starts a batch, which is to be flushed kWindow later.
    bool Add(EventKind kind, RowId id);
    /// The batch's notifications, one per kind, naming the rows still in `session`.
    std::vector<DesktopNotice> Flush(const WatchSession& session);
    bool Empty() const {
        for (const std::vector<RowId>& rows : m_rows)
            if (!rows.empty()) return false;
        return true;
    }

  private:
    std::vector<RowId> m_rows[kEventKinds];
};

}  // namespace sentrel
