#pragma once
// Small helpers shared by the benchmarks: CPU and wall clocks, peak memory, child processes.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "Process.h"

namespace bench {

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

}  // namespace bench
