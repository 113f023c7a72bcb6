#include "support/CCore.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "base/Translate.h"
#include "platform/Files.h"
#include "platform/Secret.h"
#include "platform/TextRules.h"

namespace sentrel {

CCore* g_pCore = nullptr;

namespace {

constexpr std::size_t kMaxFileSize = 1 << 20;

std::string AsText(int value) {
    return std::to_string(value);
}
std::string AsText(bool value) {
    return value ? "1" : "0";
}
std::string AsText(const std::string& value) {
    return value;
}

// The settings table as the file sees it: names, kinds and defaults as text.
struct Setting {
    const char* key;
    SettingKind kind;
    std::string fallback;  // value of a key never stored
};
const std::vector<Setting>& Table() {
    static const std::vector<Setting> table = [] {
        std::vector<Setting> t;
        ForEachSetting([&](const auto& key) {
            t.push_back({key.name, key.kind, AsText(key.fallback)});
        });
        return t;
    }();
    return table;
}
// The mail password: sealed in the file where the platform can (see Secret.h).
const std::string kSecretKey = keys::kSendPwd.name;

const Setting* Find(const std::string& key) {
    for (const Setting& s : Table())
        if (key == s.key) return &s;
    return nullptr;
}

bool ParseInt(const std::string& text, int& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseBool(const std::string& text, bool& out) {
    if (text == "1" || text == "true" || text == "yes" || text == "on") return out = true, true;
    if (text == "0" || text == "false" || text == "no" || text == "off") return out = false, true;
    return false;
}

}  // namespace

std::string CCore::EscapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CCore::UnescapeValue(const std::string& text) {
    // Only the escapes the writer makes are decoded; any other backslash is the user's
    // own (a hand-typed password, a Windows path) and stays as it is.
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        char n = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\\' && (n == '\\' || n == 'n' || n == 'r' || n == 't')) {
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : '\\';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

const ProgramPaths& CCore::Paths() {
    if (!m_bPathsDecided) {
        m_paths = ProgramPaths::ForThisProgram();
        m_bPathsDecided = true;
    }
    return m_paths;
}

void CCore::autoFileConfig() {
    EnsureLoaded();
}

// The file is read once; from then on the values live in memory, and only writes touch it.
void CCore::EnsureLoaded() {
    if (m_bLoaded) return;
    m_bLoaded = true;
    const std::string path = ConfigPath();
    // Read only as a regular file: a FIFO of that name would hold the start for ever.
    std::string why;
    bool missing = false;
    std::FILE* in = fs::OpenRegular(path, why, &missing);
    if (!in) {
        if (!missing) {
            m_strProblem = why.substr(path.size() + 2);  // the file is named with the problem
            m_bKeepBadCopy = true;
        }
        return;  // no file yet: every key has its default
    }
    std::string content;
    char chunk[4096];
    std::size_t got;
    while (content.size() <= kMaxFileSize && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        content.append(chunk, got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        m_strProblem = Tr("读取失败");
        m_bKeepBadCopy = true;
        return;
    }
    if (content.size() > kMaxFileSize || content.find('\0') != std::string::npos ||
        ValidUtf8(content) != content) {
        m_strProblem = Tr("不是文本格式的设置文件");
        m_bKeepBadCopy = true;
        return;
    }
    std::vector<std::string> bad;
    int number = 0;
    // Lines end with LF, CR LF, or a lone CR (as old Mac editors write them).
    for (std::size_t at = 0; at < content.size();) {
        std::size_t end = content.find_first_of("\r\n", at);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(at, end - at);
        at = end + ((end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n')
                        ? 2
                        : 1);
        ++number;
        std::size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos || line[b] == ';' || line[b] == '#' || line[b] == '[') continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            bad.push_back(Fill(Tr("第 {0} 行"), {std::to_string(number)}));
            continue;
        }
        const std::string key = TrimBlanks(line.substr(b, eq - b));
        if (!Find(key)) {
            m_others.push_back(line);  // another tool's line: written back byte for byte
            continue;
        }
        std::string value = UnescapeValue(line.substr(eq + 1));
        // An empty password line says only that the file keeps none (the keyring may):
        // it is not a password cleared by the user, which would clear the keyring too.
        if (key == kSecretKey && value.empty()) continue;
        if (key == kSecretKey && !UnprotectSecret(std::string(value), value)) {
            bad.push_back(key);  // sealed for another user or machine
            continue;
        }
        if (const Setting* s = Find(key)) {
            int i;
            bool flag;
            if ((s->kind == SettingKind::Int && !ParseInt(value, i)) ||
                (s->kind == SettingKind::Bool && !ParseBool(value, flag))) {
                bad.push_back(key);
                continue;
            }
        }
        m_values[key] = value;
    }
    if (!bad.empty()) {
        m_strProblem = Tr("无法识别的内容：");
        for (std::size_t i = 0; i < bad.size(); ++i) m_strProblem += (i ? "、" : "") + bad[i];
        m_bKeepBadCopy = true;
    }
}

std::string CCore::Raw(const std::string& key) {
    EnsureLoaded();
    auto it = m_values.find(key);
    if (it != m_values.end()) return it->second;
    const Setting* s = Find(key);
    return s ? s->fallback : "";
}

int CCore::Get(const SettingKey<int>& key) {
    int v = 0;
    return ParseInt(Raw(key.name), v) ? v : key.fallback;
}

bool CCore::Get(const SettingKey<bool>& key) {
    bool v = false;
    return ParseBool(Raw(key.name), v) ? v : key.fallback;
}

void CCore::UseChosenLanguage() {
    EnsureLoaded();
    UseLanguage(Get(keys::kLanguage), Paths().localeDir);
}

Settings CCore::Read() {
    Settings values;
    ForEachSetting([&](const auto& key) {
        if (key.kind != SettingKind::Secret) values.*key.field = Get(key);
    });
    // Not asked of the keyring here (it may not answer): a mail or Options asks it.
    values.m_bSendPwdInKeyring = !KnownPassword(values.m_strSendPwd);
    return values;
}

void CCore::Store(const Settings& values) {
    SaveBatch batch(*this);
    ForEachSetting([&](const auto& key) {
        if (key.kind != SettingKind::Secret || !values.m_bSendPwdInKeyring)
            Set(key, values.*key.field);
    });
}

void CCore::Set(const SettingKey<int>& key, int value) {
    StoreText(key.name, std::to_string(value));
}

void CCore::Set(const SettingKey<bool>& key, bool value) {
    StoreText(key.name, value ? "1" : "0");
}

void CCore::Set(const SettingKey<std::string>& key, const std::string& value) {
    StoreText(key.name, value);
}

void CCore::StoreText(const std::string& key, const std::string& text) {
    EnsureLoaded();
    auto it = m_values.find(key);
    if (it != m_values.end() && it->second == text && !m_bDirty && !m_bKeepBadCopy) return;
    m_values[key] = text;
    m_bDirty = true;
    if (m_nBatch == 0) Write();
}

void CCore::Write() {
    // The known keys first, in their order, then any others; written to a temporary
    // file and renamed over the old one, so a crash never leaves half a file.
    std::string out = "; HalvexSentrel settings\n";
    const bool inKeyring = MoveSecretToKeyring();
    for (const Setting& s : Table()) {
        auto it = m_values.find(s.key);
        if (s.key == kSecretKey) {
            // The key is always there, empty when there is no password or the keyring
            // holds it: the file shows every setting the program keeps.
            const bool inFile = it != m_values.end() && !it->second.empty() && !inKeyring;
            out += std::string(s.key) + "=" + (inFile ? EscapeValue(ProtectSecret(it->second)) : "") + "\n";
            continue;
        }
        if (it == m_values.end()) continue;
        out += std::string(s.key) + "=" + EscapeValue(it->second) + "\n";
    }
    for (const auto& kv : m_values)
        if (!Find(kv.first)) out += kv.first + "=" + EscapeValue(kv.second) + "\n";
    for (const std::string& line : m_others) out += line + "\n";

    const std::string path = ConfigPath();
    // Owner-only, written beside it under a name nobody can have planted (a link there would
    // be followed and its target overwritten with the password).
    m_strSaveProblem.clear();
    const bool keepBad = m_bKeepBadCopy;
    const auto written = fs::WriteWhole(path, out, fs::Rights::Owner, m_strSaveProblem, [&] {
        // The unusable file is kept for the user rather than silently replaced.
        if (keepBad) fs::Replace(path, path + ".bad");
    });
    if (written != fs::Written::Whole) return;
    m_bKeepBadCopy = false;
    m_bDirty = false;
}

}  // namespace sentrel
