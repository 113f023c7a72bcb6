#include "model/WatchSession.h"

#include <algorithm>
#include <cstdlib>

#include "base/Settings.h"
#include "base/ThreadMessages.h"
#include "base/Translate.h"
#include "probe/WatchThread.h"

namespace sentrel {

namespace {
// A change of this many bytes or fewer is noise (counters, timestamps in the page).
constexpr long long kNoiseBytes = 3;
}  // namespace

WatchSession::WatchSession(RunFlagPtr exitFlag)
    : m_pExitFlag(std::move(exitFlag)), m_pRunFlag(CRunFlag::MakeChild(m_pExitFlag)) {
    m_fnStartWatcher = [this](WatchEntry entry) { return StartThread(std::move(entry)); };
    // A probe's result comes here straight from its watcher, and is delivered on the
    // owner's thread: no window or loop hands it on.
    m_pInbox = std::make_shared<PostTarget<WatchMessage>>([this](WatchMessage message) {
        m_fnOwnerQueue([this, message = std::move(message)] { Deliver(message); });
    });
}

bool WatchSession::StartThread(WatchEntry entry) {
    const int nWatch = entry.nItem;
    auto thread = std::make_unique<CWatchThread>(std::move(entry));
    if (!thread->CreateThread()) return false;
    m_threads[nWatch] = std::move(thread);
    return true;
}

WatchSession::~WatchSession() {
    m_pInbox->Close();  // a late post finds nobody
    // Watchers that are still in a request end on their flag; none outlives the session.
    m_pRunFlag->Set("STOP");
    for (auto& [nWatch, watcher] : m_watchers) watcher.pStop->Set("STOP");
    if (!JoinWatchers(std::chrono::seconds(2))) m_pExitFlag->Abort();
    JoinWatchers(std::chrono::seconds(5));
    for (auto& [nWatch, thread] : m_threads) thread.release();  // still running: left to end
}

bool WatchSession::JoinWatchers(std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (!it->second->Join(std::max(left, std::chrono::milliseconds(0)))) return false;
        it = m_threads.erase(it);
    }
    return true;
}

void WatchSession::Emit(WatchEvent::Kind kind, RowId id, bool bNewMark) {
    // Listeners get no reference into the rows: one of them may change the list.
    const WatchEvent event{kind, id, bNewMark};
    const std::vector<Listener> listeners = m_listeners;
    for (const Listener& listener : listeners) listener(event);
}

WatchRow* WatchSession::Find(RowId id) {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : &m_rows[static_cast<std::size_t>(index)];
}

int WatchSession::IndexOf(RowId id) const {
    auto it = m_index.find(id);
    return it == m_index.end() ? -1 : static_cast<int>(it->second);
}

void WatchSession::Reindex() {
    m_index.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i) m_index[m_rows[i].id] = i;
}

RowId WatchSession::AddRow(const std::string& url, const std::string& note, int nStoredSize,
                           const std::string& etag, const std::string& lastModified,
                           const CompareOptions& compare, std::uint64_t nStoredHash) {
    WatchRow row;
    row.id = ++m_nNextId;
    row.url = url;
    row.note = note;
    row.nStoredSize = nStoredSize;
    row.etag = etag;
    row.lastModified = lastModified;
    row.compare = compare;
    row.nStoredHash = nStoredHash;
    m_rows.push_back(std::move(row));
    m_index[m_nNextId] = m_rows.size() - 1;
    Emit(WatchEvent::RowsChanged, m_nNextId);
    return m_nNextId;
}

void WatchSession::SetInterval(RowId id, int seconds) {
    WatchRow* row = Find(id);
    if (!row || row->nInterval == std::max(0, seconds)) return;
    row->nInterval = std::max(0, seconds);
    Emit(WatchEvent::RowChanged, id);
}

void WatchSession::SetAccess(RowId id, const PageAccess& access) {
    WatchRow* row = Find(id);
    if (!row || row->access == access) return;
    row->access = access;
    Emit(WatchEvent::RowChanged, id);
}

void WatchSession::EditRow(RowId id, const std::string& url, const std::string& note) {
    WatchRow* row = Find(id);
    if (!row) return;
    // A running watcher keeps the URL it started with, until the next start.
    if (row->url != url) {
        row->etag.clear();  // another page's validators and text say nothing of this one
        row->lastModified.clear();
        row->nStoredHash = 0;
        row->change.reset();
    }
    row->url = url;
    row->note = note;
    Emit(WatchEvent::RowChanged, id);
}

void WatchSession::StopWatcher(RowId id) {
    for (auto it = m_watchers.begin(); it != m_watchers.end();) {
        if (it->second.id == id) {
            it->second.pStop->Set("STOP");  // this watcher alone; the others go on
            if (WatchRow* row = Find(id)) row->nWatch = -1;
            it = m_watchers.erase(it);
        } else {
            ++it;
        }
    }
}

void WatchSession::RemoveRow(RowId id) {
    const int index = IndexOf(id);
    if (index < 0) return;
    StopWatcher(id);
    m_marks.erase(std::remove(m_marks.begin(), m_marks.end(), id), m_marks.end());
    m_rows.erase(m_rows.begin() + index);
    Reindex();
    Emit(WatchEvent::RowsChanged, id);
}

void WatchSession::Clear() {
    for (auto& [nWatch, watcher] : m_watchers) watcher.pStop->Set("STOP");
    m_watchers.clear();
    m_rows.clear();
    m_index.clear();
    m_marks.clear();
    Emit(WatchEvent::RowsChanged, 0);
}

void WatchSession::RefreshStatus(WatchRow& row) {
    if (row.nFailures >= m_nFailAfter)
        row.status = RowStatus::Failing;
    else
        row.status = IsRunning() ? RowStatus::Watching : RowStatus::Stopped;
}

void WatchSession::SetMarked(RowId id, bool bMarked) {
    WatchRow* row = Find(id);
    if (!row) return;
    if (bMarked) {
        const bool bNew = !row->bMarked;
        if (bNew) {
            row->bMarked = true;
            row->status = RowStatus::Changed;
            m_marks.push_back(id);
            Emit(WatchEvent::RowChanged, id);
        }
        Emit(WatchEvent::Marked, id, bNew);  // each reported change alerts
        return;
    }
    if (row->bMarked) {
        row->bMarked = false;
        m_marks.erase(std::remove(m_marks.begin(), m_marks.end(), id), m_marks.end());
        RefreshStatus(*row);
        Emit(WatchEvent::RowChanged, id);
    }
    Emit(WatchEvent::Unmarked, id);
}

void WatchSession::TakeValidators(WatchRow& row) {
    PageValidators v;
    const int nWatch = WatchOfRow(row.id);
    auto it = m_watchers.find(nWatch);
    if (it != m_watchers.end() && it->second.pValidators) v = it->second.pValidators->Get();
    // Validators of another size would make a later 304 stand for the wrong size.
    if (v.nSize != row.nStoredSize || v.nHash != row.nStoredHash) v = PageValidators();
    row.etag = v.etag;
    row.lastModified = v.lastModified;
}

void WatchSession::KeepReportedSize(RowId id) {
    WatchRow* row = Find(id);
    if (!row || !row->bHaveSize ||
        (row->nStoredSize == row->nLastSize && row->nStoredHash == row->nLastHash))
        return;
    row->nStoredSize = row->nLastSize;
    row->nStoredHash = row->nLastHash;
    TakeValidators(*row);
    Emit(WatchEvent::SizeStored, id);
}

bool WatchSession::Start(const RunOptions& options) {
    // A new flag for each run: watchers of the previous run keep their own "STOP", and
    // none of their late messages matches a watch of this run.
    m_watchers.clear();
    ++m_nRunNumber;
    m_pRunFlag = CRunFlag::MakeChild(m_pExitFlag, "RUN");
    m_nFailAfter = std::max(1, options.nFailAfter);
    m_nHistoryDepth = std::max(1, options.nHistoryDepth);
    m_nHistoryBytes = static_cast<long long>(std::max(1, options.nHistoryMb)) << 20;
    for (WatchRow& row : m_rows) {
        row.bHaveSize = false;
        row.nFailures = 0;
        row.lastFailure = ProbeResult();
        row.failingSince = 0;
        row.nWatch = -1;
    }
    m_watchers.reserve(m_rows.size());
    for (int i = 0; i < RowCount(); ++i) {
        if (options.onStarting) options.onStarting(i);
        const int nWatch = ++m_nNextWatch;
        Watcher watcher;
        watcher.id = m_rows[static_cast<std::size_t>(i)].id;
        watcher.pStop = CRunFlag::MakeChild(m_pRunFlag, "RUN");
        WatchEntry entry;
        entry.hMainWnd = m_pInbox;
        entry.nItem = nWatch;
        entry.pszRunFlag = watcher.pStop;
        WatchRow& row = m_rows[static_cast<std::size_t>(i)];
        entry.nInterval = row.nInterval > 0 ? keys::kInterval.Clamp(row.nInterval) : options.nInterval;
        entry.szUrl = row.url;
        entry.validators =
            PageValidators{row.nStoredSize, row.etag, row.lastModified, row.nStoredHash};
        // Options that no longer read (a file edited by hand) fail the row, with its region
        // not found, rather than watching the whole page instead.
        entry.pReader = row.compare.Reader();
        entry.pJudge = JudgeOf(row);
        entry.bRender = row.compare.Text() && row.compare.render;
        const ProxyChoice proxy = ChooseProxy(row.access.proxy, options.proxy);
        if (proxy.kind != ProxyChoice::Environment || !row.access.headers.empty())
            entry.pRoute = std::make_shared<const PageRoute>(PageRoute{proxy, row.access.headers});
        // The box starts with the stored validators: the loop of many pages reads them from it.
        entry.pValidators = watcher.pValidators = std::make_shared<ValidatorBox>(entry.validators);
        if (!m_fnStartWatcher(std::move(entry))) {
            // A half-started run that nothing can end would help nobody.
            Stop();
            return false;
        }
        m_rows[static_cast<std::size_t>(i)].nWatch = nWatch;
        m_watchers.emplace(nWatch, std::move(watcher));
    }
    return true;
}

void WatchSession::Stop() {
    m_pRunFlag->Set("STOP");
    // The rows whose watchers are still to report their end, wherever edits moved them.
    for (WatchRow& row : m_rows) {
        if (row.nWatch >= 0 && m_watchers.count(row.nWatch)) {
            row.status = RowStatus::Stopping;
            Emit(WatchEvent::RowChanged, row.id);
        }
    }
}

int WatchSession::WatchOfRow(RowId id) const {
    const int index = IndexOf(id);
    return index < 0 ? -1 : m_rows[static_cast<std::size_t>(index)].nWatch;
}

RowId WatchSession::RowOfWatch(int nWatch) const {
    auto it = m_watchers.find(nWatch);
    return it == m_watchers.end() ? 0 : it->second.id;
}

void WatchSession::Deliver(const WatchMessage& message) {
    const int nWatch = message.nItem;
    const RowId id = RowOfWatch(nWatch);
    WatchRow* row = id ? Find(id) : nullptr;
    switch (message.msg) {
        case WM_PAGE_SIZE:
        case WM_PROBE_RESULT:
            if (row) OnResult(*row, message.result, message.msg == WM_PAGE_SIZE);
            return;
        case WM_WATCH_ENDED: {
            // Its last message: the thread is ending, and is joined at once. One that has
            // not ended is told to (the message came early) and joined at the exit.
            auto watcher = m_watchers.find(nWatch);
            if (watcher != m_watchers.end()) watcher->second.pStop->Set("STOP");
            auto thread = m_threads.find(nWatch);
            if (thread != m_threads.end() && thread->second->Join(std::chrono::seconds(1)))
                m_threads.erase(thread);
            m_watchers.erase(nWatch);
            if (!row) return;
            if (row->nWatch == nWatch) row->nWatch = -1;
            row->status = message.bSessionRefused ? RowStatus::NetworkFailed : RowStatus::Stopped;
            row->nFailures = 0;
            row->failingSince = 0;
            Emit(WatchEvent::RowChanged, id);
            Emit(WatchEvent::Ended, id);
            return;
        }
        default:
            return;
    }
}

void WatchSession::OnResult(WatchRow& row, const ProbeResult& result, bool bFirst) {
    // Most probes change nothing that shows: the row is redrawn only when its text does.
    const RowId id = row.id;
    const std::string before = row.StatusText();
    if (bFirst) row.status = IsRunning() ? RowStatus::Watching : RowStatus::Stopped;
    if (!result.Ok()) {
        // A failure is no size: it never marks and never touches the stored size.
        if (row.nFailures++ == 0) row.failingSince = m_pClock->Time();
        row.lastFailure = result;
        if (row.nFailures >= m_nFailAfter) row.status = RowStatus::Failing;
        if (row.StatusText() != before) Emit(WatchEvent::RowChanged, id);
        if (row.nFailures == m_nFailAfter) Emit(WatchEvent::Failing, id);
        return;
    }
    const bool bWasFailing = row.nFailures >= m_nFailAfter;
    row.nFailures = 0;
    row.failingSince = 0;
    row.lastFailure = ProbeResult();
    if (bWasFailing)
        row.status = RowStatus::Recovered;
    else if (row.status == RowStatus::Recovered || row.status == RowStatus::Failing)
        row.status = row.bMarked ? RowStatus::Changed : RowStatus::Watching;
    if (row.StatusText() != before || bWasFailing) Emit(WatchEvent::RowChanged, id);
    if (bWasFailing) Emit(WatchEvent::Recovered, id);
    // The listeners may have changed the list: find the row again.
    if (WatchRow* again = Find(id)) {
        if (again->compare.Text())
            OnGoodText(*again, result);
        else
            OnGoodSize(*again, result.nSize);
    }
}

void WatchSession::OnGoodSize(WatchRow& row, int size) {
    const RowId id = row.id;
    if (!row.bHaveSize) {
        // The first size of a run against the size stored when the page was last
        // watched, so a change while nobody watched is caught; a stored 0 knows nothing.
        row.bHaveSize = true;
        row.nLastSize = size;
        const bool bChanged = row.nStoredSize != 0 && row.nStoredSize != size;
        row.nStoredSize = size;
        TakeValidators(row);
        Emit(WatchEvent::SizeStored, id);
        if (bChanged) SetMarked(id, true);
        return;
    }
    // An empty page says nothing; small changes add up against the last reported size.
    if (size == 0 || size == row.nLastSize) return;
    if (std::llabs(static_cast<long long>(size) - row.nLastSize) <= kNoiseBytes) return;
    row.nLastSize = size;
    SetMarked(id, true);
}

}  // namespace sentrel
