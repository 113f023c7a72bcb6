// The settings file read, written and read again: the values survive, other tools' lines
// are kept byte for byte, and a second write changes nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/CCore.h"

using namespace sentrel;

namespace {

struct Values {
    int interval;
    std::string emailrcv, senduser, sendpwd;
    bool wav, mail;
    bool operator==(const Values& o) const {
        return interval == o.interval && emailrcv == o.emailrcv && senduser == o.senduser &&
               sendpwd == o.sendpwd && wav == o.wav && mail == o.mail;
    }
};

Values Read(CCore& core) {
    return {core.Get(keys::kInterval), core.Get(keys::kEmailRcv),
            core.Get(keys::kSendUser), core.Get(keys::kSendPwd),
            core.Get(keys::kAlertWav),  core.Get(keys::kAlertEmail)};
}

// Stores every value as it is read, so the file is written whatever it held before.
void Rewrite(CCore& core, const Values& v) {
    CCore::SaveBatch batch(core);
    core.Set(keys::kEmailRcv, v.emailrcv + "x");
    core.Set(keys::kEmailRcv, v.emailrcv);
    core.Set(keys::kInterval, v.interval);
    core.Set(keys::kSendUser, v.senduser);
    core.Set(keys::kSendPwd, v.sendpwd);
    core.Set(keys::kAlertWav, v.wav);
    core.Set(keys::kAlertEmail, v.mail);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string& Home() {
    static std::string home = [] {
        char name[] = "/tmp/sentrel-settings-fuzz-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        setenv("SENTREL_HOME", name, 1);
        return std::string(name);
    }();
    return home;
}

// A key of the settings table: written as the program keeps it, not byte for byte.
bool IsOurs(const std::string& key) {
    bool ours = false;
    ForEachSetting([&](const auto& setting) { ours = ours || key == setting.name; });
    return ours;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string ini = Home() + "/sentrel.ini";
    std::remove((ini + ".bad").c_str());
    const std::string in(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(ini, std::ios::binary | std::ios::trunc);
        out << in;
    }
    CCore first;
    const Values v = Read(first);
    const bool problem = !first.ConfigProblem().empty();
    Rewrite(first, v);
    if (!first.SaveProblem().empty()) __builtin_trap();
    if (problem && access((ini + ".bad").c_str(), F_OK) != 0) __builtin_trap();
    const std::string written = Slurp(ini);

    CCore second;
    if (!(Read(second) == v) || !second.ConfigProblem().empty()) __builtin_trap();
    Rewrite(second, v);
    if (Slurp(ini) != written) __builtin_trap();

    // Other tools' lines of a readable file come back unchanged.
    if (first.ConfigProblem().empty() && in.find('\0') == std::string::npos) {
        std::size_t at = 0;
        while (at < in.size()) {
            std::size_t end = in.find_first_of("\r\n", at);
            if (end == std::string::npos) end = in.size();
            const std::string line = in.substr(at, end - at);
            at = end + 1;
            std::size_t b = line.find_first_not_of(" \t"), eq = line.find('=');
            if (b == std::string::npos || eq == std::string::npos || eq < b) continue;
            if (line[b] == ';' || line[b] == '#' || line[b] == '[') continue;
            std::string key = line.substr(b, eq - b);
            while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
            if (!IsOurs(key) && written.find("\n" + line + "\n") == std::string::npos)
                __builtin_trap();
        }
    }
    return 0;
}
