// The list import on any file: invariants on every row, and an exact model for files
// without a UTF-16 mark.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/UrlTextFile.h"

using namespace sentrel;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool ValidUtf8(const std::string& s) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* e = p + s.size();
    while (p < e) {
        unsigned char c = *p++;
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || e - p < more) return false;
        for (int i = 0; i < more; ++i)
            if ((*p++ >> 6) != 2) return false;
    }
    return true;
}

// The rows a file without a UTF-16 mark gives: a UTF-8 mark dropped, Ctrl-Z ends the
// data, CR LF or LF ends a line, an empty line ends the data, blanks trimmed, blank lines
// and over-long lines skipped.
std::vector<std::string> Model(std::string s, int& skipped) {
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    s = s.substr(0, s.find('\x1a'));
    std::string lf;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        lf += s[i];
    }
    std::vector<std::string> rows;
    skipped = 0;
    std::size_t at = 0;
    for (;;) {
        std::size_t nl = lf.find('\n', at);
        std::string line = lf.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        if (line.empty()) break;
        if (line.size() > kMaxImportLine) {
            ++skipped;
        } else {
            std::size_t b = 0, e = line.size();
            while (b < e && IsBlank(line[b])) ++b;
            while (e > b && IsBlank(line[e - 1])) --e;
            if (b < e) rows.push_back(line.substr(b, e - b));
        }
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return rows;
}

std::string TempPath() {
    static std::string path = [] {
        char name[] = "/tmp/sentrel-import-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = TempPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::vector<std::string> rows;
    UrlFileResult r = ImportUrlFile(path, [&](std::string&& url) { rows.push_back(url); });
    if (!r.Ok() || r.outcome == FileOutcome::NotOpened || r.nCount != static_cast<int>(rows.size())) __builtin_trap();
    if (r.nCount > kMaxImportRows || r.nSkipped < 0) __builtin_trap();
    const std::string in(reinterpret_cast<const char*>(data), size);
    const bool utf16 = in.compare(0, 2, "\xFF\xFE") == 0 || in.compare(0, 2, "\xFE\xFF") == 0;
    for (const std::string& url : rows) {
        if (url.empty() || url.size() > kMaxImportLine) __builtin_trap();
        if (IsBlank(url.front()) || IsBlank(url.back())) __builtin_trap();
        if (url.find('\n') != std::string::npos || url.find('\x1a') != std::string::npos)
            __builtin_trap();
        if (utf16 && !ValidUtf8(url)) __builtin_trap();  // decoded text is always UTF-8
    }
    if (!utf16) {
        int skipped = 0;
        if (Model(in, skipped) != rows || skipped != r.nSkipped) __builtin_trap();
    }
    return 0;
}
