#pragma once
// The run's list as the store keeps it: the one conversion both programs save through.
#include <vector>

#include "UrlStore.h"
#include "WatchSession.h"

namespace sentrel {

/// Every row of the list, in order, as T_URL stores it: URL, note, stored size, validators.
std::vector<UrlRow> StoredRows(const WatchSession& session);

/// Saves the list to `store`; false with the reason.
bool SaveList(const WatchSession& session, const UrlStore& store, std::string& error);

}  // namespace sentrel
