#include "store/UrlTextFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Translate.h"
#include "platform/Files.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Reason(const std::string& path, int err) {
    return path + ": " + std::strerror(err);
}

// A file that starts with a byte-order mark: a UTF-8 mark is dropped (Notepad writes one),
// and UTF-16 text is turned into UTF-8 as it streams.
class Utf16Decoder {
  public:
    /// Looks at the file's first bytes; returns how many belong to a mark.
    std::size_t Start(const char* p, std::size_t n) {
        auto at = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
        if (n >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return 3;
        if (n >= 2 && at(0) == 0xFF && at(1) == 0xFE) m_mode = kLittle;
        if (n >= 2 && at(0) == 0xFE && at(1) == 0xFF) m_mode = kBig;
        return m_mode == kNone ? 0 : 2;
    }
    bool Active() const { return m_mode != kNone; }
    /// Takes one byte; writes the UTF-8 of what it completes to `out` (8 bytes), and
    /// returns its length.
    std::size_t Push(unsigned char b, char* out) {
        if (!m_bHaveByte) {
            m_byte = b;
            m_bHaveByte = true;
            return 0;
        }
        m_bHaveByte = false;
        unsigned unit = m_mode == kLittle ? (m_byte | b << 8) : (m_byte << 8 | b);
        std::size_t n = 0;
        if (m_high && (unit < 0xDC00 || unit >= 0xE000)) n += Encode(0xFFFD, out);  // lone half
        if (unit >= 0xD800 && unit < 0xDC00) {
            m_high = unit;
            return n;
        }
        unsigned cp = unit;
        if (unit >= 0xDC00 && unit < 0xE000)
            cp = m_high ? 0x10000 + ((m_high - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD;
        m_high = 0;
        return n + Encode(cp, out + n);
    }

  private:
    static std::size_t Encode(unsigned cp, char* out) {
        if (cp < 0x80) {
            out[0] = static_cast<char>(cp);
            return 1;
        }
        if (cp < 0x800) {
            out[0] = static_cast<char>(0xC0 | cp >> 6);
            out[1] = static_cast<char>(0x80 | (cp & 0x3F));
            return 2;
        }
        if (cp < 0x10000) {
            out[0] = static_cast<char>(0xE0 | cp >> 12);
            out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out[2] = static_cast<char>(0x80 | (cp & 0x3F));
            return 3;
        }
        out[0] = static_cast<char>(0xF0 | cp >> 18);
        out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out[3] = static_cast<char>(0x80 | (cp & 0x3F));
        return 4;
    }

    enum Mode { kNone, kLittle, kBig } m_mode = kNone;
    bool m_bHaveByte = false;
    unsigned m_byte = 0;
    unsigned m_high = 0;
};

}  // namespace

std::string CleanUrlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        if (c >= 0x20 && c != 0x7F) out += static_cast<char>(c);
    return TrimBlanks(out);
}

std::string CleanNoteText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

UrlFileResult ImportUrlFile(const std::string& path,
                            const std::function<void(std::string&&)>& onUrl) {
    UrlFileResult result;
    // Only a regular file has an end: a device or a pipe could feed the list forever,
    // and a FIFO without a writer would hold the window.
    std::string why;
    std::FILE* f = fs::OpenRegular(path, why);
    if (!f) {
        result.Fail(FileOutcome::NotOpened, why);
        return result;
    }
    std::string line;
    bool tooLong = false;    // the current line passed the bound: it is skipped
    bool pendingCr = false;  // a CR whose successor decides whether it is a line end
    bool stop = false;
    // Returns false when the line ends the data (an empty line).
    auto endLine = [&]() {
        if (tooLong) {
            tooLong = false;
            ++result.nSkipped;
            line.clear();
            return true;
        }
        if (line.empty()) return false;
        std::size_t b = 0, e = line.size();
        while (b < e && IsBlank(line[b])) ++b;
        while (e > b && IsBlank(line[e - 1])) --e;
        if (b < e) {
            if (result.nCount < kMaxImportRows) {
                ++result.nCount;
                onUrl(line.substr(b, e - b));
            } else {
                ++result.nSkipped;
            }
        }
        line.clear();
        return true;
    };
    auto put = [&](char c) {
        if (line.size() < kMaxImportLine)
            line.push_back(c);
        else
            tooLong = true;
    };
    auto feed = [&](char c) {
        if (c == '\x1a') {  // Ctrl-Z ends the data, as a text-mode read does
            stop = true;
            return;
        }
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n') put('\r');
        }
        if (c == '\r') {
            pendingCr = true;
        } else if (c == '\n') {
            if (!endLine()) stop = true;
        } else {
            put(c);
        }
    };
    Utf16Decoder utf16;
    bool first = true;
    char buf[64 * 1024];
    while (!stop) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f);
        std::size_t i = 0;
        if (first && n > 0) {
            first = false;
            i = utf16.Start(buf, n);  // skips a byte-order mark, UTF-8 or UTF-16
        }
        for (; i < n && !stop; ++i) {
            if (!utf16.Active()) {
                feed(buf[i]);
                continue;
            }
            char out[8];
            std::size_t k = utf16.Push(static_cast<unsigned char>(buf[i]), out);
            for (std::size_t j = 0; j < k && !stop; ++j) feed(out[j]);
        }
        if (n < sizeof buf) {
            if (std::ferror(f)) {
                result.Fail(FileOutcome::Failed, Reason(path, errno ? errno : EIO));
                std::fclose(f);
                return result;
            }
            break;
        }
    }
    // A last line without a line end counts too (after an empty line, nothing is left).
    if (pendingCr) put('\r');
    endLine();
    std::fclose(f);
    return result;
}

UrlFileResult ExportUrlFile(const std::string& path, const std::vector<std::string>& urls) {
    UrlFileResult result;
    std::string text;
    for (const std::string& url : urls) text += url + "\r\n";
    // A link is followed, so that the link stays and the file it names gets the list.
    const std::string target = fs::Resolve(path);
    const fs::Kind kind = fs::KindOf(target);
    std::string why;
    if (kind == fs::Kind::kOther || kind == fs::Kind::kDir) {
        // A device or a pipe cannot be replaced, only written to.
        std::FILE* f = fs::Open(target, "wb", why);
        if (!f) {
            result.Fail(FileOutcome::NotOpened, why);
            return result;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if ((std::fclose(f) != 0 || !written)) result.Fail(FileOutcome::Failed, Reason(path, errno ? errno : EIO));
        if (result.Ok()) result.nCount = static_cast<int>(urls.size());
        return result;
    }
    // Written whole and then put in its place: a full disk or a crash leaves the old list as
    // it was, and nothing of the new one reaches the file unless all of it does.
    switch (fs::WriteWhole(target, text, fs::Rights::LikeTarget, why)) {
        case fs::Written::Whole:
            break;
        case fs::Written::NotCreated:
            result.Fail(FileOutcome::NotOpened, why);
            return result;
        case fs::Written::Failed:
            result.Fail(FileOutcome::Failed, why);
            return result;
    }
    result.nCount = static_cast<int>(urls.size());
    return result;
}

}  // namespace sentrel
