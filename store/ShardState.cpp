#include "store/ShardState.h"

#include "store/TextStore.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <regex>

#include "content/TextHash.h"
#include "platform/Files.h"
#include "platform/ProfileLock.h"

namespace sentrel {

namespace {

bool SameComparing(const UrlRow& a, const UrlRow& b) {
    return a.url == b.url && a.compare == b.compare && a.select == b.select && a.ignore == b.ignore &&
           a.render == b.render;
}

bool LoadRows(const UrlStore& store, std::vector<UrlRow>& rows, std::string& error) {
    return store.Load([&rows](UrlRow&& row) { rows.push_back(std::move(row)); }, error);
}

// Rows of a list take states one at a time: rows of the same URL, compared the same way,
// matched in order. Only an index of the list is held, never a copy of a state file (a
// shard's may hold 100,000 rows).
class StateTaker {
  public:
    explicit StateTaker(std::vector<UrlRow>& list)
        : m_list(list), m_byUrl(list.size()), m_taken(list.size()) {
        std::iota(m_byUrl.begin(), m_byUrl.end(), std::size_t{0});
        std::stable_sort(m_byUrl.begin(), m_byUrl.end(),
                         [&](std::size_t a, std::size_t b) { return list[a].url < list[b].url; });
    }

    void Take(const UrlRow& state) {
        auto [from, to] =
            std::equal_range(m_byUrl.begin(), m_byUrl.end(), state.url, ByUrl{m_list});
        for (auto it = from; it != to; ++it) {
            UrlRow& row = m_list[*it];
            if (m_taken[*it] || !SameComparing(row, state)) continue;
            row.kbsize = state.kbsize;
            row.etag = state.etag;
            row.lastModified = state.lastModified;
            row.textHash = state.textHash;
            m_taken[*it] = true;  // the next state of this URL goes to the next row
            return;
        }
    }

  private:
    struct ByUrl {
        const std::vector<UrlRow>& list;
        bool operator()(std::size_t a, const std::string& url) const { return list[a].url < url; }
        bool operator()(const std::string& url, std::size_t a) const { return url < list[a].url; }
    };
    std::vector<UrlRow>& m_list;
    std::vector<std::size_t> m_byUrl;  // the list's rows by URL, each URL's in list order
    std::vector<bool> m_taken;
};

std::string Joined(const std::string& dir, const std::string& name) {
    const char last = dir.empty() ? '/' : dir.back();
    return dir + (last == '/' || last == '\\' ? "" : "/") + name;
}

}  // namespace

int ShardOf(const std::string& url, int count) {
    return count <= 1 ? 0 : static_cast<int>(content::TextHash(url) % static_cast<unsigned>(count));
}

bool ParseShard(const std::string& text, int& index, int& count) {
    static const std::regex form(R"(([0-9]{1,4})[/-]([0-9]{1,4}))");
    std::smatch m;
    if (!std::regex_match(text, m, form)) return false;
    index = std::stoi(m[1]);
    count = std::stoi(m[2]);
    return count >= 1 && count <= 1000 && index < count;
}

std::string ShardStatePath(const std::string& dataDir, int index, int count) {
    return Joined(dataDir, "shard-" + std::to_string(index) + "-of-" + std::to_string(count) + ".mdb");
}

void TakeState(std::vector<UrlRow>& list, const std::vector<UrlRow>& state) {
    StateTaker taker(list);
    for (const UrlRow& row : state) taker.Take(row);
}

// Oldest first, so that the newest state wins.
std::vector<std::string> ShardStateFiles(const std::string& dataDir) {
    namespace stdfs = std::filesystem;
    static const std::regex name(R"(shard-[0-9]+-of-[0-9]+\.mdb)");
    std::vector<std::pair<stdfs::file_time_type, std::string>> found;
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(stdfs::u8path(dataDir), ec)) {
        const std::string file = entry.path().filename().u8string();
        if (std::regex_match(file, name)) found.push_back({entry.last_write_time(ec), Joined(dataDir, file)});
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> files;
    for (auto& [time, path] : found) files.push_back(std::move(path));
    return files;
}

std::vector<std::string> ReadShardStates(const std::string& dataDir, std::vector<UrlRow>& list,
                                         int index, int count) {
    const std::string own = count > 0 ? ShardStatePath(dataDir, index, count) : std::string();
    const std::string sameCount = "-of-" + std::to_string(count) + ".mdb";
    std::vector<std::string> problems;
    for (const std::string& path : ShardStateFiles(dataDir)) {
        const bool sibling = count > 0 && path != own && path.size() > sameCount.size() &&
                             path.compare(path.size() - sameCount.size(), sameCount.size(), sameCount) == 0;
        if (sibling) continue;
        // Taken as they are read; those read before a failure count.
        StateTaker taker(list);
        std::string error;
        if (!UrlStore(path).Load([&taker](UrlRow&& state) { taker.Take(state); }, error))
            problems.push_back(error);
    }
    return problems;
}

std::string ShardLockName(int index, int count) {
    return "sentrel-shard-" + std::to_string(index) + "-of-" + std::to_string(count) + ".lock";
}

std::vector<std::string> ShardsOfOtherCounts(const std::string& dataDir, int count) {
    namespace stdfs = std::filesystem;
    static const std::regex name(R"(sentrel-shard-([0-9]+)-of-([0-9]+)\.lock)");
    std::vector<std::string> running;
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(stdfs::u8path(dataDir), ec)) {
        const std::string file = entry.path().filename().u8string();
        std::smatch m;
        if (!std::regex_match(file, m, name) || std::stoi(m[2]) == count) continue;
        // A lock nobody holds is what a shard that ended left behind.
        ProfileLock probe;
        if (probe.Acquire(dataDir, ProfileLock::Hold::kAlone, file) == ProfileLock::kTaken)
            running.push_back(m[1].str() + "/" + m[2].str());
    }
    std::sort(running.begin(), running.end());
    return running;
}

bool FoldShardStates(const std::string& dataDir, const UrlStore& store, std::string& error,
                     std::vector<std::string>& problems) {
    const std::vector<std::string> files = ShardStateFiles(dataDir);
    if (files.empty()) return true;
    std::vector<UrlRow> list;
    if (!LoadRows(store, list, error)) return false;
    std::vector<std::string> folded;
    for (const std::string& path : files) {
        std::vector<UrlRow> state;
        std::string problem;
        if (LoadRows(UrlStore(path), state, problem) && TextStore(store.Path()).TakeTexts(path, problem)) {
            TakeState(list, state);
            folded.push_back(path);
            continue;
        }
        // Kept for whoever wants to look at it, out of the way of every later fold.
        std::string aside = path + ".bad";
        for (int i = 2; fs::KindOf(aside) != fs::Kind::kMissing; ++i)
            aside = path + ".bad-" + std::to_string(i);
        fs::Rename(path, aside);
        problems.push_back(problem + " → " + aside);
    }
    if (!store.Save(list, error)) return false;
    for (const std::string& path : folded) fs::Remove(path);
    return true;
}

}  // namespace sentrel
