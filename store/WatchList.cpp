#include "WatchList.h"

namespace sentrel {

std::vector<UrlRow> StoredRows(const WatchSession& session) {
    std::vector<UrlRow> rows;
    rows.reserve(session.Rows().size());
    for (const WatchRow& row : session.Rows())
        rows.push_back(
            {row.url, row.note, std::to_string(row.nStoredSize), row.etag, row.lastModified});
    return rows;
}

bool SaveList(const WatchSession& session, const UrlStore& store, std::string& error) {
    return store.Save(StoredRows(session), error);
}

}  // namespace sentrel
