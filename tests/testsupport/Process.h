#pragma once
#ifndef _WIN32
#include <sys/types.h>
#endif

#include <chrono>
#include <string>
#include <vector>

namespace sentrel::test {

/// Runs a program (no shell) and returns what it printed on standard output.
std::string RunAndCapture(const std::vector<std::string>& argv, int* exitCode = nullptr,
                          const std::vector<std::string>& env = {});

#ifndef _WIN32
/// Starts a program (no shell) with extra NAME=VALUE environment entries; output discarded.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env);
/// Starts a program (no shell); its standard output can be read from `stdoutFd`, and its
/// standard error goes to `stderrFile` when one is named.
pid_t SpawnReading(const std::vector<std::string>& argv, int* stdoutFd,
                   const std::vector<std::string>& env = {},
                   const std::string& stderrFile = std::string());
/// Reads one line (without its LF) from a descriptor; false at the end.
bool ReadLineFrom(int fd, std::string& line);

/// Waits for the process to end within `bound`; its exit status, or -1 on time-out.
int WaitExit(pid_t pid, std::chrono::milliseconds bound);

/// The environment that has the loader log the libraries it opens into `dir`, and that log
/// ("file=libxml2.so.2 ...", every process's).
std::vector<std::string> LoaderLogEnv(const std::string& dir);
std::string LoaderLog(const std::string& dir);
/// The shared libraries the loader opened for one run of a program, as its log names them.
std::string OpenedLibraries(const std::vector<std::string>& argv, int* exitCode = nullptr,
                            std::vector<std::string> env = {});
#endif

}  // namespace sentrel::test
