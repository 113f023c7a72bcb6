#include "store/ListFile.h"

#include <ctime>

#include "base/Translate.h"
#include "content/Charset.h"
#include "platform/Files.h"
#include "platform/TextRules.h"
#include "store/ShardState.h"
#include "store/TextStore.h"
#include "store/WatchList.h"

namespace sentrel {

namespace {

// A new file beside the list, for a list that could not be read or written.
std::string RecoveryPath(const std::string& dir) {
    const std::string base = dir + "user-" + FormatLocalTime(std::time(nullptr), "%Y%m%d-%H%M%S");
    std::string path = base + ".mdb";
    for (int i = 2; fs::KindOf(path) != fs::Kind::kMissing; ++i)
        path = base + "-" + std::to_string(i) + ".mdb";
    return path;
}

}  // namespace

std::string StoredText(const std::string& bytes) {
    return IsValidUtf8(bytes) ? bytes : content::Decode("GB18030", bytes);
}

std::string ListFile::PathIn(const std::string& dataDir) {
    return dataDir + "user.mdb";
}

ListFile::ListFile(std::string dataDir, int shardIndex, int shardCount)
    : m_strDir(std::move(dataDir)),
      m_strPath(PathIn(m_strDir)),
      m_nShard(shardIndex),
      m_nShards(shardCount) {
    // A shard writes its own file only; the list is read, never written, while shards run.
    m_strState = m_nShards ? ShardStatePath(m_strDir, m_nShard, m_nShards) : std::string();
    m_strTarget = m_nShards ? m_strState : m_strPath;
    auto told = [this](const std::string& error) {
        if (m_fnTextProblem) m_fnTextProblem(error);
    };
    if (m_nShards)
        m_pTexts = std::make_unique<ShardTextKeeper>(m_strState, m_strPath, told);
    else
        m_pTexts = std::make_unique<StoreTextKeeper>(m_strPath, told);
}

ListFile::~ListFile() = default;

bool ListFile::Load(WatchSession& session, Shards shards, std::vector<std::string>& problems) {
    UrlStore store(m_strPath);
    std::string error;
    if (shards == Shards::Fold) {
        std::vector<std::string> folded;
        if (!FoldShardStates(m_strDir, store, error, folded)) folded.push_back(error);
        for (const std::string& problem : folded)
            problems.push_back(Fill(Tr("分片的网页大小未能并入列表：{0}"), {problem}));
        error.clear();
    }
    // A shard holds its own rows only, from the start: every row of a URL is in one shard,
    // so the states taken below match as they would in the whole list.
    std::vector<UrlRow> rows;
    const bool read = store.Load(
        [this, &rows](UrlRow&& row) {
            row.url = StoredText(row.url);
            if (m_nShards && ShardOf(row.url, m_nShards) != m_nShard) return;
            row.title = StoredText(row.title);
            rows.push_back(std::move(row));
        },
        error);
    if (shards == Shards::Read)
        for (const std::string& problem : ReadShardStates(m_strDir, rows, m_nShard, m_nShards))
            problems.push_back(Fill(Tr("分片的网页大小未能读取：{0}"), {problem}));
    session.Reserve(session.RowCount() + static_cast<int>(rows.size()));
    for (UrlRow& row : rows) {
        const RowId id = AddStoredRow(session, row);
        // Conditions that no longer read (a list edited by hand, a rule an older version
        // took) are told once here; each check of the row then fails with them.
        const std::string problem = row.alertIf.empty() ? std::string() : session.RulesProblem(id);
        if (!problem.empty())
            problems.push_back(Fill(Tr("{0} 的提醒条件无法使用，检查它时将失败：{1}"), {WithoutPassword(row.url), problem}));
        row = UrlRow();  // each freed as soon as it is in the list
    }
    if (read) return true;
    // What may be more than was read is never overwritten: this session's list goes beside it.
    m_strReadProblem = error;
    if (!m_nShards) m_strTarget = m_strRecovery = RecoveryPath(m_strDir);
    return false;
}

bool ListFile::LoadTexts(const std::string& url, PageTexts& texts, std::string& error) const {
    if (m_nShards && TextStore(m_strState).LoadTexts(url, texts, error) && texts.lastTime != 0) return true;
    return TextStore(m_strPath).LoadTexts(url, texts, error);
}

namespace {
// Each store that keeps versions of a page, in the order they were kept: the list's, then
// the shards' (oldest file first).
std::vector<std::string> VersionStores(const std::string& dir, const std::string& list) {
    std::vector<std::string> stores{list};
    for (std::string& path : ShardStateFiles(dir)) stores.push_back(std::move(path));
    return stores;
}
}  // namespace

bool ListFile::Versions(const std::string& url, std::vector<TextVersion>& versions,
                        std::string& error) const {
    versions.clear();
    for (const std::string& path : VersionStores(m_strDir, m_strPath)) {
        std::vector<TextVersion> part;
        if (!TextStore(path).Versions(url, part, error)) return false;
        for (TextVersion& v : part) {
            v.n = static_cast<int>(versions.size()) + 1;
            versions.push_back(std::move(v));
        }
    }
    return true;
}

bool ListFile::VersionText(const std::string& url, int n, std::string& text,
                           std::string& error) const {
    int before = 0;  // versions in the stores already passed
    for (const std::string& path : VersionStores(m_strDir, m_strPath)) {
        std::vector<TextVersion> part;
        if (!TextStore(path).Versions(url, part, error)) return false;
        const int count = static_cast<int>(part.size());
        if (n > before && n <= before + count) return TextStore(path).VersionText(url, n - before, text, error);
        before += count;
    }
    error = Fill(Tr("没有第 {0} 个版本"), {std::to_string(n)});
    return false;
}

bool ListFile::Save(const WatchSession& session, std::string& told) {
    const std::vector<UrlRow> rows = StoredRows(session);
    std::string error;
    if (UrlStore(m_strTarget).Save(rows, error)) return true;
    told = Fill(Tr("网址列表无法保存到 {0}（{1}）。"), {m_strTarget, error});
    if (m_nShards) return false;  // a shard's state is no list to recover
    // The table keeps its previous rows; this session's list must not be lost either.
    const bool fresh = m_strRecovery.empty() || m_strRecovery == m_strTarget;
    const std::string fallback = fresh ? RecoveryPath(m_strDir) : m_strRecovery;
    std::string error2;
    if (UrlStore(fallback).Save(rows, error2)) {
        m_strRecovery = fallback;
        told += "\n" + Fill(Tr("已另存为 {0}。"), {fallback});
    } else {
        if (fresh) fs::Remove(fallback);  // a full disk must not leave an empty file behind
        told += "\n" + Fill(Tr("另存也失败了（{0}）：请检查磁盘空间和文件夹的权限。"), {error2});
    }
    return false;
}

}  // namespace sentrel
