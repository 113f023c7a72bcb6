#include <windows.h>

#include "platform/Files.h"
#include "platform/PipeChild.h"
#include "testsupport/Process.h"

namespace sentrel::test {


std::string RunAndCapture(const std::vector<std::string>& argv, int* exitCode,
                          const std::vector<std::string>& env) {
    if (exitCode) *exitCode = -1;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    for (const std::string& a : argv) line += (line.empty() ? L"" : L" ") + QuotedArgument(fs::Wide(a));
    // The current environment with the extra entries added after it (the last one wins).
    std::wstring block;
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* e = current; *e; e += wcslen(e) + 1) block += std::wstring(e) + L'\0';
        FreeEnvironmentStringsW(current);
    }
    for (const std::string& e : env) block += fs::Wide(e) + L'\0';
    block += L'\0';

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                             CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr,
                             &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (ok) {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        if (exitCode && GetExitCodeProcess(pi.hProcess, &code)) *exitCode = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return out;
}

}  // namespace sentrel::test
