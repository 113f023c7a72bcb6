#include "UrlTextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sentrel {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Reason(const std::string& path, int err) {
    return path + ": " + std::strerror(err);
}

}  // namespace

UrlFileResult ImportUrlFile(const std::string& path,
                            const std::function<void(std::string&&)>& onUrl) {
    UrlFileResult result;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        result.bOk = result.bOpened = false;
        result.strError = Reason(path, errno);
        return result;
    }
    std::string line;
    bool pendingCr = false;  // a CR whose successor decides whether it is a line end
    bool stop = false;
    // Returns false when the line ends the data (an empty line).
    auto endLine = [&]() {
        if (line.empty()) return false;
        std::size_t b = 0, e = line.size();
        while (b < e && IsBlank(line[b])) ++b;
        while (e > b && IsBlank(line[e - 1])) --e;
        if (b < e) {
            ++result.nCount;
            onUrl(line.substr(b, e - b));
        }
        line.clear();
        return true;
    };
    char buf[64 * 1024];
    while (!stop) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f);
        for (std::size_t i = 0; i < n && !stop; ++i) {
            char c = buf[i];
            if (c == '\x1a') {  // Ctrl-Z ends the data, as a text-mode read does
                stop = true;
                break;
            }
            if (pendingCr) {
                pendingCr = false;
                if (c != '\n') line.push_back('\r');
            }
            if (c == '\r') {
                pendingCr = true;
            } else if (c == '\n') {
                if (!endLine()) stop = true;
            } else {
                line.push_back(c);
            }
        }
        if (n < sizeof buf) {
            if (std::ferror(f)) {
                result.bOk = false;
                result.strError = Reason(path, errno ? errno : EIO);
                std::fclose(f);
                return result;
            }
            break;
        }
    }
    // A last line without a line end counts too (after an empty line, nothing is left).
    if (pendingCr) line.push_back('\r');
    endLine();
    std::fclose(f);
    return result;
}

UrlFileResult ExportUrlFile(const std::string& path, const std::vector<std::string>& urls) {
    UrlFileResult result;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        result.bOk = result.bOpened = false;
        result.strError = Reason(path, errno);
        return result;
    }
    for (const std::string& url : urls) {
        if (std::fwrite(url.data(), 1, url.size(), f) != url.size() ||
            std::fwrite("\r\n", 1, 2, f) != 2) {
            result.bOk = false;
            result.strError = Reason(path, errno ? errno : EIO);
            break;
        }
        ++result.nCount;
    }
    if (std::fclose(f) != 0 && result.bOk) {
        result.bOk = false;
        result.strError = Reason(path, errno);
    }
    return result;
}

}  // namespace sentrel
