// URL store costs: save and load of 10,000 rows against bare SQLite loops in the same run,
// and the import of a 100,000-line file: time and peak memory against the list it yields.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "store/UrlStore.h"
#include "store/UrlTextFile.h"
#include "testsupport/TempDir.h"

using namespace sentrel;

namespace {

struct Measure {
    double seconds;
    long peakGrowthKb;
};

// Runs `work` in a child process of its own, so each figure has its own peak memory.
Measure InChild(const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return {0, 0};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        long before = bench::StatusKb(0, "VmHWM:");
        double t0 = bench::Now();
        work();
        Measure m{bench::Now() - t0, bench::StatusKb(0, "VmHWM:") - before};
        if (write(fds[1], &m, sizeof m) != sizeof m) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    Measure m{0, 0};
    if (read(fds[0], &m, sizeof m) != sizeof m) std::fprintf(stderr, "child failed\n");
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return m;
}

Measure Best(int runs, const std::function<void()>& work) {
    Measure best{1e9, 0};
    for (int i = 0; i < runs; ++i) {
        Measure m = InChild(work);
        if (m.seconds < best.seconds) best = m;
    }
    return best;
}

std::vector<UrlRow> Rows(int n) {
    std::vector<UrlRow> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({"https://www.example.com/news/section/" + std::to_string(i) + "/index.html",
                        "新闻频道 " + std::to_string(i), std::to_string(10000 + i)});
    return rows;
}

void BareSave(const std::string& path, const std::vector<UrlRow>& rows) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS T_URL (url TEXT, title TEXT, kbsize TEXT)", 0, 0,
                 0);
    sqlite3_exec(db, "BEGIN; DELETE FROM T_URL", 0, 0, 0);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO T_URL VALUES (?, ?, ?)", -1, &st, nullptr);
    for (const UrlRow& r : rows) {
        sqlite3_bind_text(st, 1, r.url.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, r.title.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, r.kbsize.c_str(), -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", 0, 0, 0);
    sqlite3_close(db);
}

void BareLoad(const std::string& path, std::vector<UrlRow>& out) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT url, title, kbsize FROM T_URL", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                       reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                       reinterpret_cast<const char*>(sqlite3_column_text(st, 2))});
    sqlite3_finalize(st);
    sqlite3_close(db);
}

}  // namespace

int main() {
    sentrel::test::TempDir dir;
    const std::string db = dir.File("user.mdb"), bare = dir.File("bare.mdb");
    const std::vector<UrlRow> rows = Rows(10000);

    std::string error;
    Measure save = Best(5, [&] { UrlStore(db).Save(rows, error); });
    Measure bareSave = Best(5, [&] { BareSave(bare, rows); });
    std::printf(
        "store: save 10,000 rows in one transaction: %.1f ms (bare SQLite loop %.1f ms, %.2fx)\n",
        save.seconds * 1e3, bareSave.seconds * 1e3, save.seconds / bareSave.seconds);

    Measure load = Best(5, [&] {
        std::vector<UrlRow> out;
        UrlStore(db).Load([&](UrlRow&& r) { out.push_back(std::move(r)); }, error);
    });
    Measure bareLoad = Best(5, [&] {
        std::vector<UrlRow> out;
        BareLoad(bare, out);
    });
    std::printf(
        "store: load 10,000 rows: %.1f ms, peak +%ld kB (bare SQLite loop %.1f ms, %.2fx)\n",
        load.seconds * 1e3, load.peakGrowthKb, bareLoad.seconds * 1e3,
        load.seconds / bareLoad.seconds);

    // 100,000 lines, 60-odd bytes each.
    const std::string file = dir.File("urls.txt");
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        for (int i = 0; i < 100000; ++i)
            std::fprintf(f, "  https://www.example.com/path/to/page/number/%d.html  \r\n", i);
        std::fclose(f);
    }
    std::size_t listBytes = 0;
    Measure import = Best(3, [&] {
        std::vector<std::string> urls;
        ImportUrlFile(file, [&](std::string&& u) { urls.push_back(std::move(u)); });
    });
    {
        std::vector<std::string> urls;
        ImportUrlFile(file, [&](std::string&& u) { urls.push_back(std::move(u)); });
        for (const std::string& u : urls) listBytes += sizeof(std::string) + u.capacity() + 1;
        listBytes += urls.capacity() * sizeof(std::string) - urls.size() * sizeof(std::string);
    }
    Measure listOnly = Best(3, [&] {
        std::vector<std::string> urls;
        for (int i = 0; i < 100000; ++i)
            urls.push_back("https://www.example.com/path/to/page/number/" + std::to_string(i) +
                           ".html");
    });
    std::printf(
        "store: import 100,000 lines: %.1f ms, peak +%ld kB; the same list built in memory: "
        "peak +%ld kB (%.2fx); list data %zu kB\n",
        import.seconds * 1e3, import.peakGrowthKb, listOnly.peakGrowthKb,
        static_cast<double>(import.peakGrowthKb) / listOnly.peakGrowthKb, listBytes / 1024);
}
