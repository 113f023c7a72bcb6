#pragma once
// The run's list as the store keeps it: the one conversion both programs save through.
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "model/WatchSession.h"
#include "store/TextStore.h"
#include "store/UrlStore.h"

namespace sentrel {

/// Every row of the list, in order, as T_URL stores it: URL, note, stored size, validators.
std::vector<UrlRow> StoredRows(const WatchSession& session);

/// Saves the list to `store`; false with the reason.
bool SaveList(const WatchSession& session, const UrlStore& store, std::string& error);

/// Whether a row can be kept as entered; false with why, in the words the URL dialog and
/// sentrel-watch both use ("请输入网址！", a selector's or ignore rule's fault). The URL
/// and note are cleaned as the list keeps them (one line each).
bool CheckRow(std::string& url, std::string& note, const CompareOptions& compare,
              std::string& problem, const std::string& alertIf = {});

/// Reads a page's own interval as the URL dialog and sentrel-watch take it: empty is 0
/// (the program's interval); else whole seconds within the interval's bounds. False with
/// the reason when it is neither.
bool ReadPageInterval(const std::string& text, int& seconds, std::string& problem);

/// Adds a stored row to the list, with its size, validators and way of comparing.
RowId AddStoredRow(WatchSession& session, const UrlRow& row);

/// Keeps text rows' texts in the store; a failure to keep one is told, never fatal, and so
/// is (once a page) a page whose versions passed their size.
class StoreTextKeeper : public TextKeeper {
  public:
    /// `tell` gets what to tell, in the user's words, on whatever thread keeps a text.
    explicit StoreTextKeeper(std::string path, std::function<void(const std::string&)> tell = {})
        : m_store(std::move(path)), m_fnTell(std::move(tell)) {}
    bool KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                     const Decide& decide) override;
    /// What was kept of a page (a shard's first text of it is judged against the list's).
    PreviousText Previous(const std::string& url);

  private:
    void Tell(const std::string& text);
    TextStore m_store;
    std::function<void(const std::string&)> m_fnTell;
    std::mutex m_mutex;
    std::set<std::string> m_toldFull;  // pages whose versions passed their size, told
};

}  // namespace sentrel
