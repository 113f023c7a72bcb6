#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <pthread.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/PipeChild.h"

namespace sentrel {

// Two pipes, as browsers expect them: it reads its descriptor 3 and writes its 4. A third
// pipe wakes a read under way when the child is stopped, since what the child started may
// hold its end of the answers open a while longer.
struct PipeChild::Impl {
    pid_t pid = -1;
    int toChild = -1;    // our end of its descriptor 3
    int fromChild = -1;  // our end of its descriptor 4
    int wake[2] = {-1, -1};
    std::mutex writing;
    std::mutex stopping;  // the reader and the owner may both stop it
    std::atomic<bool> running{false};
    void Close() {
        for (int* fd : {&toChild, &fromChild, &wake[0], &wake[1]})
            if (*fd >= 0) ::close(*fd), *fd = -1;
    }
    ~Impl() { Close(); }
};

namespace {

// The child ends with the thread that forked it (PR_SET_PDEATHSIG follows the thread, not
// the program): children are forked by one thread that lives as long as the program.
class ForkingThread {
  public:
    /// Forks on that thread; the child runs `inChild` (only what is safe between fork and
    /// exec; it never returns).
    static pid_t Fork(const std::function<void()>& inChild, int& error) {
        static ForkingThread* thread = new ForkingThread;  // never ends
        return thread->Run(inChild, error);
    }

  private:
    ForkingThread() { std::thread([this] { Loop(); }).detach(); }
    pid_t Run(const std::function<void()>& inChild, int& error) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_bAsked; });  // one fork at a time
        m_pInChild = &inChild;
        m_bAsked = true;
        m_bDone = false;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_bDone; });
        m_bAsked = false;
        error = m_nError;
        m_cv.notify_all();
        return m_pid;
    }
    void Loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_bAsked && !m_bDone; });
            m_pid = ::fork();
            if (m_pid == 0) {
                (*m_pInChild)();
                ::_exit(127);
            }
            m_nError = errno;
            m_bDone = true;
            m_cv.notify_all();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bAsked = false, m_bDone = false;
    const std::function<void()>* m_pInChild = nullptr;
    pid_t m_pid = -1;
    int m_nError = 0;  // fork's errno when it failed
};

// A write to a child that is gone fails without SIGPIPE, whatever the program does with
// that signal: it is held back for this thread, and taken if the write raised it.
ssize_t WriteQuietly(int fd, const char* data, std::size_t size) {
    sigset_t pipeOnly, before;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &before);
    const ssize_t n = ::write(fd, data, size);
    const int error = errno;
    if (n < 0 && error == EPIPE) {
        const timespec now{};
        sigtimedwait(&pipeOnly, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return n;
}

}  // namespace

PipeChild::PipeChild() : m_impl(std::make_unique<Impl>()) {}

PipeChild::~PipeChild() {
    Stop();
}

bool PipeChild::Start(const std::string& program, const std::vector<std::string>& args,
                      std::string& error, const Environment& env, std::size_t memory) {
    m_impl->Close();
    int in[2], out[2];  // in: what it reads; out: what it writes
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(m_impl->wake, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1]})
            if (fd >= 0) ::close(fd);
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool changed = false;
        for (const auto& [n, v] : env) changed = changed || n == name;
        if (!changed) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const int reading = in[0], writing = out[1];
    int forkError = 0;
    const pid_t pid = ForkingThread::Fork([&] {
        // Only what is safe between fork and exec: its ends become 3 and 4 (moved out of the
        // way first, should either be 3 or 4 already), a process group of its own.
        ::setpgid(0, 0);
        if (memory) {
            // Inherited by all it starts: a browser's renderers fail their allocations
            // beyond it (the sandbox, which bounds them otherwise, is off as root).
            const rlimit data{static_cast<rlim_t>(memory), static_cast<rlim_t>(memory)};
            ::setrlimit(RLIMIT_DATA, &data);
        }
#ifdef __linux__
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);  // the program ended before this line
#endif
        const int reads = ::fcntl(reading, F_DUPFD_CLOEXEC, 10);
        const int writes = ::fcntl(writing, F_DUPFD_CLOEXEC, 10);
        if (reads < 0 || writes < 0 || ::dup2(reads, 3) != 3 || ::dup2(writes, 4) != 4) ::_exit(127);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
        signal(SIGPIPE, SIG_DFL);
        ::execve(program.c_str(), argv.data(), envp.data());
    }, forkError);
    if (pid < 0) {
        error = std::strerror(forkError);
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        return false;
    }
    ::setpgid(pid, pid);  // also here: whichever runs first
    ::close(in[0]);
    ::close(out[1]);
    m_impl->pid = pid;
    m_impl->toChild = in[1];
    m_impl->fromChild = out[0];
    m_impl->running = true;
    return true;
}

bool PipeChild::Write(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_impl->writing);
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!m_impl->running) return false;
        const ssize_t n = WriteQuietly(m_impl->toChild, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long PipeChild::Read(char* buffer, std::size_t size) {
    for (;;) {
        if (m_impl->fromChild < 0 || !m_impl->running) return 0;
        pollfd fds[2] = {{m_impl->fromChild, POLLIN, 0}, {m_impl->wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (fds[1].revents) return 0;  // stopped
        const ssize_t n = ::read(m_impl->fromChild, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? 0 : static_cast<long>(n);
    }
}

bool PipeChild::Running() const {
    return m_impl->running;
}

void PipeChild::Stop(std::chrono::milliseconds grace) {
    std::lock_guard<std::mutex> lock(m_impl->stopping);
    if (m_impl->pid < 0) return;
    const pid_t pid = m_impl->pid;
    // Ending its pipe is how a browser on a pipe is asked to end; a read under way wakes.
    m_impl->running = false;
    {
        std::lock_guard<std::mutex> writing(m_impl->writing);
        if (m_impl->toChild >= 0) ::close(m_impl->toChild), m_impl->toChild = -1;
    }
    const char wake = 1;
    (void)!::write(m_impl->wake[1], &wake, 1);
    ::kill(-pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);  // whatever it started and left behind
    m_impl->pid = -1;
}

PipeChild::Memory PipeChild::TreeMemory() const {
    Memory memory;
    const pid_t group = m_impl->pid;
    if (group <= 0) return memory;
    // Every process of its group: /proc/PID/stat's fields after the name, which ends with
    // the last ')', are state, ppid, pgrp ... rss (the 22nd of them, in pages).
    DIR* proc = ::opendir("/proc");
    if (!proc) return memory;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        char path[300], text[1024];
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (n <= 0) continue;
        text[n] = '\0';
        const char* fields = std::strrchr(text, ')');
        long long pgrp = 0, rss = 0;
        if (!fields || std::sscanf(fields + 1, " %*c %*d %lld %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d "
                                                "%*d %*d %*u %*u %lld",
                                   &pgrp, &rss) != 2 || pgrp != group)
            continue;
        const std::size_t bytes = static_cast<std::size_t>(rss) * page;
        memory.total += bytes;
        memory.largest = std::max(memory.largest, bytes);
    }
    ::closedir(proc);
    return memory;
}

}  // namespace sentrel
