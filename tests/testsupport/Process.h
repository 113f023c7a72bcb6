#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace sentrel::test {

/// Runs a program (no shell) and returns what it printed on standard output.
std::string RunAndCapture(const std::vector<std::string>& argv, int* exitCode = nullptr);

/// Starts a program (no shell) with extra NAME=VALUE environment entries; output discarded.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env);
/// Waits for the process to end within `bound`; its exit status, or -1 on time-out.
int WaitExit(pid_t pid, std::chrono::milliseconds bound);

}  // namespace sentrel::test
