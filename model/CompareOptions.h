#pragma once
#include <memory>
#include <string>

#include "content/PageText.h"

namespace sentrel {

/// How a row compares its page: by size (the default), or by the text a reader sees,
/// within a region and without the lines the ignore rules drop.
struct CompareOptions {
    enum Mode { kSize, kText };
    Mode mode = kSize;
    bool render = false;  ///< a text row whose page a browser renders first (its scripts run)
    std::string select;   ///< CSS selector or XPath; empty: the whole page
    std::string ignore;   ///< ignore rules, one per line
    bool Text() const { return mode == kText; }

    /// The mode's word in the list, on the command line and in JSON: "size" or "text".
    static const char* ModeName(Mode mode);
    /// The mode a word names; false for any other word.
    static bool ModeNamed(const std::string& word, Mode& mode);
    /// How a row of these options reads its pages: a text row's reader (null for a size
    /// row). Options that do not read give a reader that finds no region, with the reason
    /// in `problem`.
    std::shared_ptr<const content::PageReader> Reader(std::string* problem = nullptr) const;
    bool operator==(const CompareOptions& o) const {
        return mode == o.mode &&
               (mode == kSize || (select == o.select && ignore == o.ignore && render == o.render));
    }
};

}  // namespace sentrel
