// The child's descriptors 3 and 4 are passed as the C runtime passes descriptors to a child:
// in STARTUPINFO's lpReserved2, a count, a flag byte and a handle for each descriptor; the
// child's runtime opens them as its own 3 and 4 at start-up (Edge and Chrome read them so).
// A job object ends the child and all it starts with it, also when this program ends.
#include <windows.h>
// After windows.h: K32GetProcessMemoryInfo, in kernel32 itself.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "platform/Files.h"
#include "platform/PipeChild.h"

namespace sentrel {

namespace {

constexpr unsigned char kOpen = 0x01, kPipe = 0x08;  // the runtime's FOPEN and FPIPE

std::string LastError() {
    return "error " + std::to_string(GetLastError());
}

}  // namespace

std::wstring QuotedArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

struct PipeChild::Impl {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    HANDLE toChild = nullptr;    // we write, it reads as 3
    HANDLE fromChild = nullptr;  // it writes as 4, we read
    std::mutex writing;
    std::mutex stopping;  // the reader and the owner may both stop it
    bool running = false;
    ~Impl() {
        for (HANDLE h : {process, job, toChild, fromChild})
            if (h) CloseHandle(h);
    }
};

PipeChild::PipeChild() : m_impl(std::make_unique<Impl>()) {}

PipeChild::~PipeChild() {
    Stop();
}

bool PipeChild::Start(const std::string& program, const std::vector<std::string>& args,
                      std::string& error, const Environment& env, std::size_t memory) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childRead = nullptr, ourWrite = nullptr, ourRead = nullptr, childWrite = nullptr;
    if (!CreatePipe(&childRead, &ourWrite, &inherit, 0) || !CreatePipe(&ourRead, &childWrite, &inherit, 0)) {
        error = LastError();
        for (HANDLE h : {childRead, ourWrite, ourRead, childWrite})
            if (h) CloseHandle(h);
        return false;
    }
    // Our ends stay with us.
    SetHandleInformation(ourWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(ourRead, HANDLE_FLAG_INHERIT, 0);

    const int count = 5;
    std::vector<unsigned char> fds(sizeof(int) + count * (1 + sizeof(HANDLE)), 0);
    std::memcpy(fds.data(), &count, sizeof(int));
    unsigned char* flags = fds.data() + sizeof(int);
    unsigned char* handles = flags + count;
    const HANDLE none = INVALID_HANDLE_VALUE;
    for (int i = 0; i < count; ++i) std::memcpy(handles + i * sizeof(HANDLE), &none, sizeof(HANDLE));
    flags[3] = flags[4] = kOpen | kPipe;
    std::memcpy(handles + 3 * sizeof(HANDLE), &childRead, sizeof(HANDLE));
    std::memcpy(handles + 4 * sizeof(HANDLE), &childWrite, sizeof(HANDLE));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.cbReserved2 = static_cast<WORD>(fds.size());
    si.lpReserved2 = fds.data();
    std::wstring line = QuotedArgument(fs::Wide(program));
    for (const std::string& a : args) line += L" " + QuotedArgument(fs::Wide(a));
    // This program's environment, with the changed variables' other values.
    std::wstring block;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* e = own; *e; e += std::wcslen(e) + 1) {
            const std::wstring entry = e;
            const std::wstring name = entry.substr(0, entry.find(L'=', 1));
            bool changed = false;
            for (const auto& [n, v] : env) changed = changed || _wcsicmp(fs::Wide(n).c_str(), name.c_str()) == 0;
            if (!changed) block += entry + L'\0';
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : env) block += fs::Wide(name) + L"=" + fs::Wide(value) + L'\0';
    block += L'\0';
    PROCESS_INFORMATION pi{};
    const BOOL made = CreateProcessW(fs::Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                     CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                                     env.empty() ? nullptr : block.data(), nullptr, &si, &pi);
    CloseHandle(childRead);
    CloseHandle(childWrite);
    if (!made) {
        error = LastError();
        CloseHandle(ourWrite);
        CloseHandle(ourRead);
        return false;
    }
    m_impl->job = CreateJobObjectW(nullptr, nullptr);
    if (m_impl->job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (memory) {
            // Each process's committed memory: its allocations fail beyond it.
            limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
            limits.ProcessMemoryLimit = memory;
        }
        SetInformationJobObject(m_impl->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(m_impl->job, pi.hProcess);
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    m_impl->process = pi.hProcess;
    m_impl->toChild = ourWrite;
    m_impl->fromChild = ourRead;
    m_impl->running = true;
    return true;
}

bool PipeChild::Write(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_impl->writing);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!m_impl->running ||
            !WriteFile(m_impl->toChild, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) ||
            n == 0)
            return false;
        done += n;
    }
    return true;
}

long PipeChild::Read(char* buffer, std::size_t size) {
    DWORD n = 0;
    if (!m_impl->fromChild || !ReadFile(m_impl->fromChild, buffer, static_cast<DWORD>(size), &n, nullptr))
        return 0;
    return static_cast<long>(n);
}

bool PipeChild::Running() const {
    return m_impl->running;
}

void PipeChild::Stop(std::chrono::milliseconds grace) {
    std::lock_guard<std::mutex> stop(m_impl->stopping);
    if (!m_impl->process) return;
    m_impl->running = false;
    {
        std::lock_guard<std::mutex> lock(m_impl->writing);
        CloseHandle(m_impl->toChild);  // how a browser on a pipe is asked to end
        m_impl->toChild = nullptr;
    }
    if (WaitForSingleObject(m_impl->process, static_cast<DWORD>(grace.count())) != WAIT_OBJECT_0)
        TerminateProcess(m_impl->process, 1);
    if (m_impl->job) TerminateJobObject(m_impl->job, 1);  // whatever it started
    WaitForSingleObject(m_impl->process, 2000);
    CloseHandle(m_impl->process);
    m_impl->process = nullptr;
}

PipeChild::Memory PipeChild::TreeMemory() const {
    Memory memory;
    if (!m_impl->job) return memory;
    // The job's processes (room for many more than a browser starts).
    std::vector<unsigned char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 1024 * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    if (!QueryInformationJobObject(m_impl->job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()),
                                   nullptr))
        return memory;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(list->ProcessIdList[i]));
        if (!process) continue;
        PROCESS_MEMORY_COUNTERS counters{};
        if (K32GetProcessMemoryInfo(process, &counters, sizeof counters)) {
            memory.total += counters.WorkingSetSize;
            memory.largest = std::max<std::size_t>(memory.largest, counters.WorkingSetSize);
        }
        CloseHandle(process);
    }
    return memory;
}

}  // namespace sentrel
