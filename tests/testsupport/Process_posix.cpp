#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "testsupport/Process.h"
#include "testsupport/TempDir.h"

extern char** environ;

namespace sentrel::test {

namespace {
// Children start with SIGPIPE as a program expects it, whatever the test process ignores.
struct SpawnAttributes {
    posix_spawnattr_t attr;
    SpawnAttributes() {
        posix_spawnattr_init(&attr);
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        posix_spawnattr_setsigdefault(&attr, &pipe);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
};
}  // namespace


namespace {
std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}
// The process environment with `extra` NAME=VALUE entries added or replacing their names.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& x : extra)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced) envs.push_back(entry);
    }
    envs.insert(envs.end(), extra.begin(), extra.end());
    return envs;
}

}  // namespace

std::string RunAndCapture(const std::vector<std::string>& argv, int* exitCode,
                          const std::vector<std::string>& env) {
    int fd = -1;
    pid_t pid = SpawnReading(argv, &fd, env);
    if (pid < 0) {
        if (exitCode) *exitCode = -1;
        return {};
    }
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<std::string> envs = MergedEnvironment(env);
    std::vector<std::string> args = argv;
    std::vector<char*> argPtrs = Pointers(args);
    std::vector<char*> envPtrs = Pointers(envs);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    SpawnAttributes attributes;
    int rc = posix_spawn(&pid, argPtrs[0], &actions, &attributes.attr, argPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

pid_t SpawnReading(const std::vector<std::string>& argv, int* stdoutFd,
                   const std::vector<std::string>& env, const std::string& stderrFile) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    if (!stderrFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = argv;
    std::vector<char*> ptrs = Pointers(args);
    std::vector<std::string> envs = MergedEnvironment(env);
    std::vector<char*> envPtrs = Pointers(envs);
    pid_t pid = -1;
    SpawnAttributes attributes;
    int rc = posix_spawn(&pid, ptrs[0], &actions, &attributes.attr, ptrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (rc != 0) {
        close(pipefd[0]);
        return -1;
    }
    *stdoutFd = pipefd[0];
    return pid;
}

bool ReadLineFrom(int fd, std::string& line) {
    line.clear();
    char c;
    for (ssize_t n; (n = read(fd, &c, 1)) == 1;) {
        if (c == '\n') return true;
        line.push_back(c);
    }
    return !line.empty();
}

int WaitExit(pid_t pid, std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> LoaderLogEnv(const std::string& dir) {
    return {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + dir + "/ld"};  // one file a process: ld.PID
}

std::string LoaderLog(const std::string& dir) {
    std::string log;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
        std::ostringstream text;
        text << std::ifstream(f.path()).rdbuf();
        log += text.str();
    }
    return log;
}

std::string OpenedLibraries(const std::vector<std::string>& argv, int* exitCode, std::vector<std::string> env) {
    TempDir dir;
    for (std::string& entry : LoaderLogEnv(dir.Path())) env.push_back(std::move(entry));
    RunAndCapture(argv, exitCode, env);
    return LoaderLog(dir.Path());
}

}  // namespace sentrel::test
