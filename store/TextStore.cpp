#include "store/TextStore.h"

#include <cmath>
#include <string>

#include "base/Translate.h"
#include "content/LineDiff.h"
#include "content/TextHash.h"
#include "store/StoreDb.h"

namespace sentrel {

using namespace storedb;

namespace {

// Every kKeyframe-th version stays whole when a newer one comes, so that no version is
// more than kKeyframe - 1 deltas away from a whole text.
constexpr long long kKeyframe = 16;

void BindText(sqlite3_stmt* s, int col, const std::string& text) {
    sqlite3_bind_text(s, col, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string Blob(sqlite3_stmt* s, int col) {
    const void* data = sqlite3_column_blob(s, col);
    return data ? std::string(static_cast<const char*>(data),
                              static_cast<std::size_t>(sqlite3_column_bytes(s, col)))
                : std::string();
}

// A statement about one page (its URL the first parameter); null with the reason.
Stmt PageQuery(sqlite3* db, const char* sql, const std::string& url, const std::string& path,
               std::string& error) {
    Stmt s = Prepare(db, sql);
    if (!s) {
        error = Describe(db, path);
        return nullptr;
    }
    BindText(s.get(), 1, url);
    return s;
}

// Opens the store with its text tables; false with the reason.
bool OpenTexts(const std::string& path, Db& db, std::string& error) {
    if (!Open(path, db, error)) return false;
    if (EnsureTextTables(db.get())) return true;
    error = Describe(db.get(), path);
    db.reset();
    return false;
}

// Turns the page's newest version, whole, into a delta from `newer` where that is worth
// it and gives its text back exactly.
bool ShrinkNewest(sqlite3* h, const std::string& url, const std::string& newer) {
    Stmt s = Prepare(h,
                     "SELECT seq, body FROM T_VERSION WHERE url = ? AND whole = 1 AND seq = "
                     "(SELECT max(seq) FROM T_VERSION WHERE url = ?)");
    if (!s) return false;
    BindText(s.get(), 1, url);
    BindText(s.get(), 2, url);
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return false;
    const long long seq = sqlite3_column_int64(s.get(), 0);
    if (seq % kKeyframe == 0) return true;
    const std::string text = Blob(s.get(), 1);
    s.reset();
    const std::string delta = content::LineDelta(newer, text);
    std::string back;
    if (delta.empty() || !content::ApplyLineDelta(newer, delta, back) || back != text) return true;
    Stmt update = Prepare(h, "UPDATE T_VERSION SET whole = 0, body = ? WHERE url = ? AND seq = ?");
    if (!update) return false;
    sqlite3_bind_blob(update.get(), 1, delta.data(), static_cast<int>(delta.size()), SQLITE_STATIC);
    BindText(update.get(), 2, url);
    sqlite3_bind_int64(update.get(), 3, seq);
    return sqlite3_step(update.get()) == SQLITE_DONE;
}

}  // namespace

bool TextStore::LoadTexts(const std::string& url, PageTexts& texts, std::string& error) const {
    texts = PageTexts();
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    Stmt s = PageQuery(db.get(), "SELECT last, lasttime, prev, prevtime FROM T_TEXT WHERE url = ?",
                       url, m_strPath, error);
    if (!s) return false;
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
        texts.last = Text(s.get(), 0);
        texts.lastTime = static_cast<std::time_t>(sqlite3_column_int64(s.get(), 1));
        texts.previous = Text(s.get(), 2);
        texts.previousTime = static_cast<std::time_t>(sqlite3_column_int64(s.get(), 3));
    } else if (rc != SQLITE_DONE) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    return true;
}

bool TextStore::KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                           const TextKeeper::Decide& decide, bool& kept, std::string& error,
                           int* dropped) const {
    kept = false;
    if (dropped) *dropped = 0;
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    sqlite3* h = db.get();
    auto fail = [&] { return Failed(h, m_strPath, error); };
    // What was kept before, for the judge; then the version, as it decided.
    PreviousText previous;
    {
        Stmt s = PageQuery(h, "SELECT last, lasttime, alertnum FROM T_TEXT WHERE url = ?", url, m_strPath, error);
        if (!s) return false;
        const int rc = sqlite3_step(s.get());
        if (rc == SQLITE_ROW) {
            previous.bHave = sqlite3_column_int64(s.get(), 1) != 0;
            previous.text = Text(s.get(), 0);
            previous.base = sqlite3_column_double(s.get(), 2);
            // A number that is no number (an older version stored infinity) is none.
            previous.bHaveBase = sqlite3_column_type(s.get(), 2) != SQLITE_NULL && std::isfinite(previous.base);
        } else if (rc != SQLITE_DONE) {
            error = Describe(h, m_strPath);
            return false;
        }
    }
    VersionNote note;
    if (decide && !decide(previous, note)) return true;
    kept = true;
    const std::string stored = content::KeptText(text);
    if (!BeginWrite(h)) return fail();
    Stmt last =
        Prepare(h,
                "INSERT INTO T_TEXT (url, last, lasttime, alertnum) VALUES (?1, ?2, ?3, ?4) "
                "ON CONFLICT(url) DO UPDATE SET prev = last, prevtime = lasttime, "
                "last = ?2, lasttime = ?3, alertnum = coalesce(?4, alertnum)");
    if (!last) return fail();
    BindText(last.get(), 1, url);
    BindText(last.get(), 2, stored);
    sqlite3_bind_int64(last.get(), 3, static_cast<sqlite3_int64>(when));
    if (note.bNewBase && std::isfinite(note.base))
        sqlite3_bind_double(last.get(), 4, note.base);
    else
        sqlite3_bind_null(last.get(), 4);
    if (sqlite3_step(last.get()) != SQLITE_DONE) return fail();
    last.reset();

    if (!ShrinkNewest(h, url, stored)) return fail();
    Stmt add =
        Prepare(h,
                "INSERT INTO T_VERSION (url, seq, time, size, added, removed, kind, because, "
                "whole, body, hash) VALUES (?1, coalesce((SELECT max(seq) FROM T_VERSION WHERE "
                "url = ?1), 0) + 1, ?2, ?3, ?4, ?5, ?6, ?7, 1, ?8, ?9)");
    if (!add) return fail();
    BindText(add.get(), 1, url);
    sqlite3_bind_int64(add.get(), 2, static_cast<sqlite3_int64>(when));
    sqlite3_bind_int64(add.get(), 3, static_cast<sqlite3_int64>(stored.size()));
    sqlite3_bind_int(add.get(), 4, note.nAdded);
    sqlite3_bind_int(add.get(), 5, note.nRemoved);
    sqlite3_bind_int(add.get(), 6, static_cast<int>(note.kind));
    if (note.because.empty())
        sqlite3_bind_null(add.get(), 7);
    else
        BindText(add.get(), 7, note.because);
    sqlite3_bind_blob(add.get(), 8, stored.data(), static_cast<int>(stored.size()), SQLITE_STATIC);
    sqlite3_bind_int64(add.get(), 9, static_cast<sqlite3_int64>(content::TextHash(stored)));
    if (sqlite3_step(add.get()) != SQLITE_DONE) return fail();

    // The oldest beyond the page's depth go; older versions only ever depend on newer ones.
    Stmt trim = Prepare(h,
                        "DELETE FROM T_VERSION WHERE url = ?1 AND seq <= "
                        "(SELECT max(seq) FROM T_VERSION WHERE url = ?1) - ?2");
    if (!trim) return fail();
    BindText(trim.get(), 1, url);
    sqlite3_bind_int(trim.get(), 2, std::max(1, note.depth));
    if (sqlite3_step(trim.get()) != SQLITE_DONE) return fail();
    trim.reset();
    // And the oldest of those that take more than the page's bound, the newest always kept:
    // a page rewritten at every probe cannot fill the disk.
    Stmt sizes = Prepare(h, "SELECT seq, length(body) FROM T_VERSION WHERE url = ? ORDER BY seq DESC");
    if (!sizes) return fail();
    BindText(sizes.get(), 1, url);
    long long total = 0, keptFrom = 0, beyond = 0;
    int rc;
    while ((rc = sqlite3_step(sizes.get())) == SQLITE_ROW) {
        total += sqlite3_column_int64(sizes.get(), 1);
        if (total > note.maxBytes && keptFrom != 0) ++beyond;
        else keptFrom = sqlite3_column_int64(sizes.get(), 0);
    }
    if (rc != SQLITE_DONE) return fail();
    sizes.reset();
    if (beyond > 0) {
        Stmt drop = Prepare(h, "DELETE FROM T_VERSION WHERE url = ? AND seq < ?");
        if (!drop) return fail();
        BindText(drop.get(), 1, url);
        sqlite3_bind_int64(drop.get(), 2, keptFrom);
        if (sqlite3_step(drop.get()) != SQLITE_DONE) return fail();
        if (dropped) *dropped = static_cast<int>(beyond);
    }
    if (sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return true;
}

bool TextStore::KeepText(const std::string& url, const std::string& text, std::time_t when,
                        const VersionNote& note, std::string& error, int* dropped) const {
    bool kept = false;
    return KeepVersion(
        url, text, when,
        [&note](const PreviousText&, VersionNote& out) {
            out = note;
            return true;
        },
        kept, error, dropped);
}

bool TextStore::AlertBase(const std::string& url, double& base, bool& have,
                         std::string& error) const {
    have = false;
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    Stmt s =
        PageQuery(db.get(), "SELECT alertnum FROM T_TEXT WHERE url = ?", url, m_strPath, error);
    if (!s) return false;
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW && sqlite3_column_type(s.get(), 0) != SQLITE_NULL &&
        std::isfinite(sqlite3_column_double(s.get(), 0))) {
        have = true;
        base = sqlite3_column_double(s.get(), 0);
    } else if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    return true;
}

bool TextStore::Versions(const std::string& url, std::vector<TextVersion>& versions,
                        std::string& error) const {
    versions.clear();
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    Stmt s = PageQuery(db.get(),
                       "SELECT time, size, added, removed, kind, because FROM T_VERSION "
                       "WHERE url = ? ORDER BY seq",
                       url, m_strPath, error);
    if (!s) return false;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        TextVersion v;
        v.n = static_cast<int>(versions.size()) + 1;
        v.time = static_cast<std::time_t>(sqlite3_column_int64(s.get(), 0));
        v.nSize = sqlite3_column_int64(s.get(), 1);
        // Versions carried over from the last two texts of an earlier version: counts unknown.
        v.nAdded =
            sqlite3_column_type(s.get(), 2) == SQLITE_NULL ? -1 : sqlite3_column_int(s.get(), 2);
        v.nRemoved =
            sqlite3_column_type(s.get(), 3) == SQLITE_NULL ? -1 : sqlite3_column_int(s.get(), 3);
        const int kind = sqlite3_column_int(s.get(), 4);
        v.kind = kind == 0   ? VersionKind::First
                 : kind == 2 ? VersionKind::Quiet
                             : VersionKind::Told;
        v.because = Text(s.get(), 5);
        versions.push_back(std::move(v));
    }
    if (rc != SQLITE_DONE) {
        error = Describe(db.get(), m_strPath);
        return false;
    }
    return true;
}

bool TextStore::VersionText(const std::string& url, int n, std::string& text,
                           std::string& error) const {
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    // From the n-th version on to the first kept whole: its text, then each delta back.
    Stmt s = PageQuery(db.get(),
                       "SELECT whole, body, size, hash FROM T_VERSION WHERE url = ? ORDER BY seq "
                       "LIMIT -1 OFFSET ?",
                       url, m_strPath, error);
    if (!s) return false;
    sqlite3_bind_int(s.get(), 2, std::max(0, n - 1));
    std::vector<std::string> deltas;
    bool whole = false, first = true, hashed = false;
    long long size = 0;
    std::uint64_t hash = 0;
    int rc;
    while (n >= 1 && (rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        if (first) {  // the version asked for: what its text must be
            size = sqlite3_column_int64(s.get(), 2);
            hashed = sqlite3_column_type(s.get(), 3) != SQLITE_NULL;
            hash = static_cast<std::uint64_t>(sqlite3_column_int64(s.get(), 3));
            first = false;
        }
        if (sqlite3_column_int(s.get(), 0) == 1) {
            text = Blob(s.get(), 1);
            whole = true;
            break;
        }
        deltas.push_back(Blob(s.get(), 1));
    }
    if (!whole && deltas.empty()) {
        error = Fill(Tr("没有第 {0} 个版本"), {std::to_string(n)});
        return false;
    }
    for (auto delta = deltas.rbegin(); whole && delta != deltas.rend(); ++delta) {
        std::string older;
        whole = content::ApplyLineDelta(text, *delta, older);
        text = std::move(older);
    }
    // A delta altered so that it still applies makes another text: its size or hash tell.
    if (whole && (static_cast<long long>(text.size()) != size || (hashed && content::TextHash(text) != hash)))
        whole = false;
    if (!whole) {
        text.clear();
        error = m_strPath + ": " + Fill(Tr("第 {0} 个版本已损坏"), {std::to_string(n)});
        return false;
    }
    return true;
}

bool TextStore::TakeTexts(const std::string& otherPath, std::string& error) const {
    // The other store is made to hold text tables of this version first (one that never
    // kept a text gets empty ones): it goes once taken.
    {
        Db other;
        if (!OpenTexts(otherPath, other, error)) return false;
    }
    Db db;
    if (!OpenTexts(m_strPath, db, error)) return false;
    sqlite3* h = db.get();
    Stmt attach = Prepare(h, "ATTACH DATABASE ? AS other");
    if (!attach) {
        error = Describe(h, m_strPath);
        return false;
    }
    BindText(attach.get(), 1, otherPath);
    if (sqlite3_step(attach.get()) != SQLITE_DONE) {
        error = Describe(h, otherPath);
        return false;
    }
    attach.reset();
    // The other's versions come after this store's own, as they were kept after them.
    const bool ok =
        sqlite3_exec(
            h,
            "BEGIN IMMEDIATE;"
            "INSERT OR REPLACE INTO main.T_TEXT (url, last, lasttime, prev, prevtime, alertnum) "
            "SELECT o.url, o.last, o.lasttime, o.prev, o.prevtime, "
            "coalesce(o.alertnum, (SELECT alertnum FROM main.T_TEXT m WHERE m.url = o.url)) "
            "FROM other.T_TEXT o WHERE o.url IN (SELECT url FROM main.T_URL);"
            "CREATE TEMP TABLE sentrel_top AS SELECT url, max(seq) AS top FROM main.T_VERSION "
            "GROUP BY url;"
            "INSERT INTO main.T_VERSION (url, seq, time, size, added, removed, kind, because, "
            "whole, body, hash) SELECT o.url, o.seq + coalesce(t.top, 0), o.time, o.size, o.added, "
            "o.removed, o.kind, o.because, o.whole, o.body, o.hash FROM other.T_VERSION o "
            "LEFT JOIN temp.sentrel_top t ON t.url = o.url "
            "WHERE o.url IN (SELECT url FROM main.T_URL);"
            "DROP TABLE temp.sentrel_top;"
            "COMMIT",
            nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        error = Describe(h, m_strPath);
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(h, "DETACH DATABASE other", nullptr, nullptr, nullptr);
    return ok;
}

}  // namespace sentrel
