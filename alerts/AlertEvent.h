#pragma once
// An event that is told: what happened to which page. The one declaration of its kind, for
// the policy, the notifications, the mails, the hooks, the feed and the output alike.
#include <ctime>
#include <string>
#include <vector>

namespace sentrel {

/// What happened to a page. A quiet change met none of its row's conditions: it is kept,
/// and told only to a reader of every event (sentrel-watch --json).
enum class EventKind { Changed, Failing, Recovered, Quiet };
/// How many kinds there are, and each one's place in a table of them.
constexpr int kEventKinds = 4;
constexpr int KindIndex(EventKind kind) {
    return static_cast<int>(kind);
}

/// One event as it is told outside the program (a line of output, a hook, a feed entry).
struct AlertReport {
    EventKind kind = EventKind::Changed;
    std::time_t when = 0;
    std::string url;  ///< without its password
    std::string note;
    long long nOldSize = -1;  ///< -1: none
    long long nNewSize = -1;
    std::string reason;                ///< why the page fails (Failing)
    bool bText = false;                ///< Changed of a text row
    std::vector<std::string> added;    ///< its added lines (at most 50)
    std::vector<std::string> removed;  ///< and removed ones
    std::string because;               ///< the condition a told change met (empty: none named)
};

}  // namespace sentrel
