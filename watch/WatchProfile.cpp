#include "watch/WatchProfile.h"

#include "base/Translate.h"
#include "store/ShardState.h"

namespace sentrel {

WatchProfile::WatchProfile(const Args& args, CCore& core)
    : m_args(args),
      m_core(core),
      m_list(std::make_unique<ListFile>(core.Paths().dataDir, args.nShard, args.nShards)) {
    m_list->OnTextProblem([](const std::string& told) { Say(told); });
    m_session.SetTextKeeper(&m_list->Texts());
}

bool WatchProfile::Lock() {
    return Take(m_lock, m_args.nShards ? ProfileLock::Hold::kShared : ProfileLock::Hold::kAlone, "sentrel.lock") &&
           (!m_args.nShards ||
            Take(m_shardLock, ProfileLock::Hold::kAlone, ShardLockName(m_args.nShard, m_args.nShards))) &&
           RefuseOtherCounts();
}

// Takes `lock` as asked; false, with the reason told, when another program has it.
bool WatchProfile::Take(ProfileLock& lock, ProfileLock::Hold hold, const std::string& name) {
    const std::string& dir = m_core.Paths().dataDir;
    switch (lock.Acquire(dir, hold, name)) {
        case ProfileLock::kTaken:
            if (name != "sentrel.lock")
                Complain("分片 {0} 已在运行（{1}）", {m_args.shard, dir});
            else
                Complain("配置目录 {0} 正被另一个 Sentrel 程序使用", {dir});
            return false;
        case ProfileLock::kFailed:
            // Two programs must never write one list: without the lock, no run.
            Complain("配置目录 {0} 无法加锁：{1}", {dir, lock.Problem()});
            return false;
        case ProfileLock::kAcquired:
        case ProfileLock::kUnavailable:
            break;
    }
    return true;
}

// A shard takes its own lock first: of two counts that start at once, neither runs.
bool WatchProfile::RefuseOtherCounts() {
    if (!m_args.nShards) return true;
    const std::string& dir = m_core.Paths().dataDir;
    const std::vector<std::string> others = ShardsOfOtherCounts(dir, m_args.nShards);
    if (others.empty()) return true;
    std::string names;
    for (const std::string& other : others) names += (names.empty() ? "" : ", ") + other;
    Complain(
        "另一组分片（{0}）正在使用配置目录 {1}：分片数不同的两组会把每个变化报告两次，请等它们结束",
        {names, dir});
    return false;
}

// The list's rows (a shard's own only), with the sizes shards keep beside it.
bool WatchProfile::Load(ListFile::Shards shards) {
    std::vector<std::string> problems;
    const bool read = m_list->Load(m_session, shards, problems);
    for (const std::string& problem : problems) Say(problem);
    if (!read) Complain("无法读取列表：{0}", {m_list->ReadProblem()});
    return read;
}

}  // namespace sentrel
