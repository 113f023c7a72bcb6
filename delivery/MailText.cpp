// The texts of a mail message: base64, header encoding, the date, the body's transfer
// encoding and the message's id.
#include "delivery/MailText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>

#include "platform/Files.h"

namespace sentrel {

namespace {
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string EncodeBase64(const void* data, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < n) {
        unsigned v = p[i] << 16;
        if (i + 1 < n) v |= p[i + 1] << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += (i + 1 < n) ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string FormatMailDate(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    UtcTime(when, t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[t.tm_wday % 7],
                  t.tm_mday, kMonths[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec);
    return buf;
}

std::string EncodeHeaderText(const std::string& text) {
    bool plain = true;
    for (unsigned char c : text) plain = plain && c >= 0x20 && c < 0x7f;
    if (plain) return text;
    // 45 bytes make 60 base64 characters: with "=?UTF-8?B?" and "?=" a word stays within
    // 75. Words end between characters, never inside one.
    constexpr std::size_t kChunk = 45;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = std::min(kChunk, text.size() - at);
        while (n > 1 && at + n < text.size() &&
               (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80)
            --n;
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + EncodeBase64(text.data() + at, n) + "?=";
        at += n;
    }
    return out;
}

bool NeedsBase64(const std::string& body) {
    std::size_t line = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
            ++i;
            line = 0;
            continue;
        }
        if (c == '\0' || c == '\r' || c == '\n' || ++line > 998) return true;
    }
    return false;
}

std::string NewMessageId(const std::string& from) {
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex lock;
    unsigned long long a = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        a = random();
    }
    const std::size_t at = from.rfind('@');
    const std::string domain = at == std::string::npos ? "sentrel.invalid" : from.substr(at + 1);
    char id[64];
    std::snprintf(id, sizeof id, "%016llx.%lld", a, static_cast<long long>(std::time(nullptr)));
    return "<" + std::string(id) + "@" + domain + ">";
}

}  // namespace sentrel
