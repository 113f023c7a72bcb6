#pragma once
// What reading one page's text may spend, and how a reading ends: shared by the page's
// reader (PageText.h) and the parts it reads with.
#include <chrono>
#include <cstddef>
#include <functional>

namespace sentrel {
namespace content {

/// What reading one page's text may cost at most. Pages can be made to be slow to read
/// (deep or broken markup, selectors and rules that backtrack); such a page fails as too
/// complex rather than holding its watcher, its loop or the program's end.
struct ReadBounds {
    std::chrono::milliseconds time{3000};  ///< from the start of the reading
    std::size_t maxNodes = 1000000;        ///< elements of a page's tree (a region's)
    std::function<bool()> stop;            ///< asked now and then: true ends it at once
};

/// How reading a page's text ended.
enum class ReadOutcome {
    Ok,
    NoMatch,     ///< a region is set and nothing of the page matches it
    TooComplex,  ///< the page needs more than its bounds to be read
    SlowRule,    ///< an ignore rule needs too long on one of its lines
    Stopped,     ///< the bounds' stop asked to end
    NoLibrary,   ///< a page needs libxml2, and it could not be loaded
};

}  // namespace content
}  // namespace sentrel
