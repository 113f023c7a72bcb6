#pragma once
// Where a text row's texts are kept between runs (the store), so that what changed can be
// told, and shown, after a restart too. The model declares it; the store keeps it.
#include <ctime>
#include <functional>
#include <string>

namespace sentrel {

/// What a version of a text row's text was: its first, a change told, or a change kept
/// quietly (no condition met).
enum class VersionKind { First = 0, Told = 1, Quiet = 2 };

/// What is kept with a version of a text row's text.
struct VersionNote {
    VersionKind kind = VersionKind::Told;
    std::string because;  ///< the condition that made it told; empty: none named
    int nAdded = 0;       ///< lines that came, and went, since the version before
    int nRemoved = 0;
    bool bNewBase = false;  ///< its number is now the one change:P% measures from
    double base = 0;
    int depth = 50;                   ///< versions the page keeps (the oldest beyond them go)
    long long maxBytes = 64ll << 20;  ///< what its versions may take (the oldest beyond it go)
};

/// What was kept of a page before its new text.
struct PreviousText {
    bool bHave = false;  ///< a text was kept
    std::string text;
    bool bHaveBase = false;  ///< change:P% has a number to measure from
    double base = 0;
};

class TextKeeper {
  public:
    virtual ~TextKeeper() = default;
    /// What to keep with a new text, decided once what was kept before it is known; false
    /// keeps nothing.
    using Decide = std::function<bool(const PreviousText& previous, VersionNote& note)>;
    /// Keeps `text` as the page's newest version (the one before it becomes its previous),
    /// with the note `decide` gives: the store is opened once a change. Called on the
    /// thread that judged the text, any number at once; what goes wrong is told by the
    /// keeper. False when nothing was kept.
    virtual bool KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                             const Decide& decide) = 0;
};

}  // namespace sentrel
