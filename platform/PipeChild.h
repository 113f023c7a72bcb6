#pragma once
// A child program that talks over a pipe on its file descriptors 3 (it reads) and 4 (it
// writes), as a browser does with --remote-debugging-pipe. Started in a process group of its
// own, it and all it starts end with it; on Linux it also ends when this program does,
// however this program ends.
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sentrel {

#ifdef _WIN32
/// One argument of a command line, quoted as the C runtime (CommandLineToArgvW) reads it
/// back: "C:\a b\x.exe", backslashes before a quote doubled.
std::wstring QuotedArgument(const std::wstring& arg);
#endif

class PipeChild {
  public:
    PipeChild();
    /// Ends the child (see Stop).
    ~PipeChild();
    PipeChild(const PipeChild&) = delete;
    PipeChild& operator=(const PipeChild&) = delete;

    /// Environment variables the child gets other values of (NAME, value).
    using Environment = std::vector<std::pair<std::string, std::string>>;
    /// Starts `program` with `args`, in this program's environment changed by `env`; each
    /// process of it (and of what it starts) may hold at most `memory` bytes of data (0: no
    /// bound), beyond which its allocations fail. False with the reason when it cannot be
    /// started.
    bool Start(const std::string& program, const std::vector<std::string>& args, std::string& error,
               const Environment& env = {}, std::size_t memory = 0);
    /// Writes all of `bytes` to the child's descriptor 3; false once the child is gone.
    bool Write(const std::string& bytes);
    /// Reads what the child wrote to its descriptor 4, blocking until some comes: the count
    /// of bytes, 0 at the end (the child closed it or ended).
    long Read(char* buffer, std::size_t size);
    /// Ends the child and what it started: asked first, then made to, within `grace`.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(500));
    bool Running() const;

    /// The memory the child and what it started hold now: in all, and the largest of them
    /// (zeros where the system does not tell).
    struct Memory {
        std::size_t total = 0;
        std::size_t largest = 0;
    };
    Memory TreeMemory() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sentrel
