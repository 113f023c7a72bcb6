#pragma once
// Small helpers shared by the benchmarks: CPU and wall clocks, peak memory, child processes.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/Process.h"

namespace bench {

// The processes of the tree under `root` (itself included).
inline std::set<pid_t> Tree(pid_t root) {
    std::map<pid_t, pid_t> parent;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            const pid_t pid = std::atoi(e->d_name);
            if (pid <= 0) continue;
            std::ifstream in("/proc/" + std::string(e->d_name) + "/stat");
            std::string stat;
            std::getline(in, stat);
            const std::size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            int ppid = 0;
            std::sscanf(stat.c_str() + close + 2, "%*c %d", &ppid);
            parent[pid] = ppid;
        }
        closedir(d);
    }
    std::set<pid_t> tree = {root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, ppid] : parent)
            if (tree.count(ppid) && tree.insert(pid).second) grew = true;
    }
    return tree;
}

inline long PssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Pss:", 0) == 0) return std::stol(line.substr(4));
    return 0;
}

inline double ProcessCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// A field of /proc/PID/status in kB (VmHWM: peak resident set, VmRSS: current).
// utime + stime of a running process, in seconds.
inline double CpuOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    for (int i = 0; i < 13 && in >> field; ++i) {
    }
    long utime = 0, stime = 0;
    in >> utime >> stime;
    return static_cast<double>(utime + stime) / sysconf(_SC_CLK_TCK);
}

inline long StatusKb(pid_t pid, const char* field) {
    std::ifstream in(pid ? "/proc/" + std::to_string(pid) + "/status" : "/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size() + 1));
    return -1;
}

/// Starts the benchmark HTTP server; returns its pid and port.
inline pid_t StartHttpd(const std::string& binDir, int& port) {
    int fd = -1;
    pid_t pid = sentrel::test::SpawnReading({binDir + "/bench_httpd"}, &fd);
    std::string line;
    sentrel::test::ReadLineFrom(fd, line);
    port = std::stoi(line);
    return pid;
}

inline void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

/// The machine's load (1-minute average), printed next to each figure.
inline double Load() {
    std::ifstream in("/proc/loadavg");
    double load = -1;
    in >> load;
    return load;
}

/// Median, least and largest of a series.
struct Spread {
    double median, min, max;
};
inline Spread SpreadOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

/// Pairs of measurements taken A B A B ...: both spreads and the ratios pair by pair.
struct Pairs {
    std::vector<double> a, b;
    void Add(double x, double y) {
        a.push_back(x);
        b.push_back(y);
    }
    Spread Ratio() const {
        std::vector<double> r;
        for (std::size_t i = 0; i < a.size(); ++i) r.push_back(a[i] / b[i]);
        return SpreadOf(r);
    }
    /// "A 12.3 (11.9-13.0) unit, B ... -> ratio 1.05x (0.98-1.10), load 0.42"
    void Print(const char* what, const char* aName, const char* bName, double scale,
               const char* unit) const {
        Spread x = SpreadOf(a), y = SpreadOf(b), r = Ratio();
        std::printf("  %s: %s %.1f (%.1f-%.1f) %s, %s %.1f (%.1f-%.1f) %s -> %.2fx (%.2f-%.2f), "
                    "%zu pairs, load %.2f\n",
                    what, aName, x.median * scale, x.min * scale, x.max * scale, unit, bName,
                    y.median * scale, y.min * scale, y.max * scale, unit, r.median, r.min, r.max,
                    a.size(), Load());
    }
};

}  // namespace bench
