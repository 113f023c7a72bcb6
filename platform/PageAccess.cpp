#include "platform/PageAccess.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/Translate.h"
#include "platform/CurlRules.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {

// RFC 9110's token: what a header's name is made of.
bool TokenChar(unsigned char c) {
    return std::isalnum(c) ? c < 0x80 : c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// What a header may not carry anywhere, since it would end the header or the request.
bool BreaksRequest(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

// A header's name as a message names it: one line, whatever it held.
std::string ShownName(const std::string& name) {
    std::string shown;
    for (char c : name) shown += BreaksRequest(c) ? ' ' : c;
    return ValidUtf8(shown);
}

}  // namespace

ProxyChoice ChooseProxy(const std::string& rowProxy, const std::string& programProxy) {
    const std::string& named = rowProxy.empty() ? programProxy : rowProxy;
    if (named.empty()) return {ProxyChoice::Environment, {}};
    if (named == kDirect) return {ProxyChoice::Direct, {}};
    return {ProxyChoice::Url, named};
}

bool CheckProxy(const std::string& url, std::string& problem) {
    if (url.empty() || url == kDirect) return true;
    const std::string shown = MaskedProxy(url);
    bool ok = false;
    if (Curl() && url.find_first_of(" \t\r\n", 0) == std::string::npos) {
        CURLU* u = Curl()->url();
        if (u && Curl()->url_set(u, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
            auto part = [u](CURLUPart which) {
                char* text = nullptr;
                std::string value;
                if (Curl()->url_get(u, which, &text, 0) == CURLUE_OK && text) value = text;
                if (text) Curl()->free(text);
                return value;
            };
            const std::string scheme = part(CURLUPART_SCHEME), path = part(CURLUPART_PATH);
            const bool known = scheme == "http" || scheme == "https" || scheme == "socks5" || scheme == "socks5h";
            if (!known) {
                problem = Fill(Tr("代理 {0}：只能是 http、https、socks5 或 socks5h"), {shown});
                Curl()->url_cleanup(u);
                return false;
            }
            ok = !part(CURLUPART_HOST).empty() && (path.empty() || path == "/") &&
                 part(CURLUPART_QUERY).empty() && part(CURLUPART_FRAGMENT).empty();
        }
        if (u) Curl()->url_cleanup(u);
    }
    if (!ok) problem = Fill(Tr("代理 {0}：不是代理的网址（例如 http://proxy.example:3128）"), {shown});
    return ok;
}

std::string ProgramProxyProblem(const std::string& proxy) {
    std::string problem;
    if (CheckProxy(proxy, problem)) return std::string();
    return Fill(Tr("sentrel.ini 中的 proxy= 无法使用，检查将因此失败：{0}"), {problem});
}

std::string MaskedProxy(const std::string& url) {
    return WithoutPassword(url);
}

std::string HeaderName(const std::string& line) {
    const std::size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

bool CheckHeader(const std::string& line, std::string& problem) {
    const std::size_t colon = line.find(':');
    const std::string name = colon == std::string::npos ? line : line.substr(0, colon);
    for (char c : line) {
        if (BreaksRequest(c)) {
            problem = Fill(Tr("请求头 {0}：不能含有换行或空字符"), {ShownName(name)});
            return false;
        }
    }
    if (colon == std::string::npos) {
        problem = Fill(Tr("请求头 {0}：应写成“名称: 值”"), {ShownName(name)});
        return false;
    }
    bool token = !name.empty();
    for (char c : name) token = token && TokenChar(static_cast<unsigned char>(c));
    if (!token) {
        problem = Fill(Tr("请求头 {0}：名称只能含字母、数字和 !#$%&'*+-.^_`|~"), {ShownName(name)});
        return false;
    }
    return true;
}

bool SameHeaderName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string MaskedHeader(const std::string& line) {
    const std::string name = HeaderName(line);
    if (SameHeaderName(name, "cookie") || SameHeaderName(name, "authorization") ||
        SameHeaderName(name, "proxy-authorization"))
        return name + ": ***";
    return line;
}

HeaderList WithRowHeaders(HeaderList sent, const std::vector<std::string>& own, bool sameOrigin) {
    for (const std::string& line : own) {
        const std::string name = HeaderName(line);
        if (!sameOrigin && (SameHeaderName(name, "cookie") || SameHeaderName(name, "authorization"))) continue;
        sent.erase(std::remove_if(sent.begin(), sent.end(),
                                  [&](const auto& header) { return SameHeaderName(header.first, name); }),
                   sent.end());
        sent.emplace_back(name, TrimBlanks(line.substr(name.size() + 1)));
    }
    return sent;
}

std::vector<std::string> HeaderLines(const std::string& stored) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= stored.size()) {
        std::size_t end = stored.find('\n', start);
        if (end == std::string::npos) end = stored.size();
        std::string line = stored.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!TrimBlanks(line).empty()) lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string StoredHeaders(const std::vector<std::string>& lines) {
    std::string stored;
    for (const std::string& line : lines) stored += (stored.empty() ? "" : "\n") + line;
    return stored;
}

bool CheckSessionName(const std::string& name, std::string& problem) {
    bool ok = !name.empty() && name.size() <= 64;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        ok = ok && ((u < 0x80 && std::isalnum(u)) || c == '-' || c == '_');
    }
    if (!ok) problem = Fill(Tr("会话名 {0}：只能含字母、数字、- 和 _，最多 64 个"), {ShownName(name)});
    return ok;
}

bool CheckAccess(const PageAccess& access, std::string& problem) {
    if (!CheckProxy(access.proxy, problem)) return false;
    for (const std::string& line : access.headers)
        if (!CheckHeader(line, problem)) return false;
    return access.session.empty() || CheckSessionName(access.session, problem);
}

}  // namespace sentrel
