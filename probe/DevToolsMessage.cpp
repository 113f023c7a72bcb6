#include "probe/DevToolsMessage.h"

#include <limits>

#include "base/Translate.h"
#include "platform/TextRules.h"

namespace sentrel {
namespace devtools {

namespace {

bool Hex4(const std::string& s, std::size_t at, unsigned& value) {
    if (at + 4 > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        const unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : 16;
        if (digit == 16) return false;
        value = value * 16 + digit;
    }
    return true;
}

// The message with each \u escape of a lone surrogate written as U+FFFD's (the same
// length), and each byte that starts no UTF-8 character as U+FFFD. Escapes stand only in
// strings, so the text is walked escape by escape.
std::string Repaired(const std::string& text) {
    std::string out = ValidUtf8(text);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] != '\\') continue;
        unsigned unit = 0;
        if (out[i + 1] != 'u' || !Hex4(out, i + 2, unit)) {
            ++i;  // another escape: its character is no backslash of its own
            continue;
        }
        unsigned low = 0;
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 7 < out.size() && out[i + 6] == '\\' && out[i + 7] == 'u' &&
            Hex4(out, i + 8, low) && low >= 0xDC00 && low <= 0xDFFF) {
            i += 11;  // a whole pair
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) out.replace(i + 2, 4, "fffd");
        i += 5;
    }
    return out;
}

// Parses, with anything nested beyond kMaxDepth left out (`deep` then set), so that no
// message can make the reader or a copy of it recurse without end.
Json Parse(const std::string& text, bool& deep) {
    deep = false;
    return Json::parse(
        text,
        [&deep](int depth, Json::parse_event_t event, Json&) {
            if (depth <= kMaxDepth) return true;
            if (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start)
                deep = true;
            return false;
        },
        false);
}

}  // namespace

Message Read(std::string text) {
    Message m;
    bool deep = false;
    Json json = Parse(text, deep);
    if (json.is_discarded()) json = Parse(Repaired(text), deep);
    if (json.is_discarded() || !json.is_object()) {
        m.problem = json.is_discarded() ? Tr("回答不是 JSON") : Tr("回答不是 JSON 对象");
        return m;
    }
    m.session = Str(json, "sessionId");
    const auto id = json.find("id");
    if (id != json.end()) {
        m.kind = Message::Kind::Answer;
        m.id = Int(json, "id", -1);
        if (m.id < 0) m.kind = Message::Kind::Ignored;  // no command of ours has that id
        const auto error = json.find("error");
        const auto result = json.find("result");
        if (deep) {
            m.problem = Fill(Tr("回答嵌套超过 {0} 层"), {std::to_string(kMaxDepth)});
        } else if (error != json.end()) {
            m.problem = Str(*error, "message");
            if (m.problem.empty()) m.problem = error->is_string() ? error->get<std::string>() : Tr("浏览器返回了错误");
        } else if (result == json.end() || !result->is_object()) {
            m.problem = Tr("回答的 result 不是对象");
        } else {
            m.body = std::move(*result);
        }
        return m;
    }
    m.method = Str(json, "method");
    m.kind = deep || m.method.empty() ? Message::Kind::Ignored : Message::Kind::Event;
    m.body = Obj(json, "params");
    return m;
}

std::string Str(const Json& object, const char* key) {
    if (!object.is_object()) return std::string();
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

const Json& Obj(const Json& object, const char* key) {
    static const Json kEmpty = Json::object();
    if (!object.is_object()) return kEmpty;
    const auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : kEmpty;
}

int Int(const Json& object, const char* key, int fallback) {
    if (!object.is_object()) return fallback;
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        return v <= static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ? static_cast<int>(v) : fallback;
    }
    if (it->is_number_integer()) {
        const auto v = it->get<std::int64_t>();
        return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max() ? static_cast<int>(v)
                                                                                           : fallback;
    }
    return fallback;
}

bool NeedStr(const Json& result, const char* key, const std::string& method, std::string& value,
             std::string& problem) {
    value = Str(result, key);
    if (!value.empty()) return true;
    problem = Fill(Tr("{0} 的回答缺少 {1}"), {method, key});
    return false;
}

}  // namespace devtools
}  // namespace sentrel
