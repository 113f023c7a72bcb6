#pragma once
// sentrel-watch --feed FILE: the last events as an Atom 1.0 feed (RFC 4287) that a web
// server can serve as it is. The file is replaced whole, never written in place, so a
// reader sees the old feed or the new one. Each write takes a lock beside the file, reads
// the entries it holds and adds its own: the feed goes on across restarts, and shards that
// share one feed keep each other's entries.
#include <ctime>
#include <deque>
#include <string>

#include "alerts/AlertPolicy.h"

namespace sentrel {

class AtomFeed {
  public:
    static constexpr std::size_t kMaxEntries = 100;

    explicit AtomFeed(std::string path) : m_strPath(std::move(path)) {}

    /// Checks that the file is a feed, or missing (a new feed). False with the reason when
    /// it is there but no feed (or no regular file): it is then left alone, never written.
    bool Load(std::string& error);
    /// The event as the newest entry.
    void Add(const AlertReport& report);
    /// Writes the entries added since the last write into the feed, with those the file
    /// holds now, newest first and at most kMaxEntries; false with the reason.
    bool Write(std::string& error);
    bool Dirty() const { return !m_pending.empty(); }

    /// One entry, as the feed holds it.
    struct Entry {
        std::string id, title, updated, link, category, summary;
        std::time_t when = 0;  ///< `updated` read back, to order entries of several writers
    };

  private:
    /// The file's id and entries; false with the reason when the file is no feed.
    bool Read(std::string& id, std::deque<Entry>& entries, std::string& error) const;

    std::string m_strPath;
    std::deque<Entry> m_pending;  // added since the last write, newest first
};

/// Text as XML 1.0 may hold it: valid UTF-8, with each character XML forbids (control
/// characters other than tab and line ends, U+FFFE, U+FFFF) as U+FFFD.
std::string XmlSafe(const std::string& text);

}  // namespace sentrel
