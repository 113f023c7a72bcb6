#pragma once
// One message of a browser's DevTools protocol, read as untrusted input: whatever bytes
// come, reading gives an answer, an event, or why it is neither, and never throws. Fields
// are read through the typed readers below, which give an empty value for a field of the
// wrong type rather than an exception.
#include <nlohmann/json.hpp>

#include <string>

namespace sentrel {
namespace devtools {

using Json = nlohmann::json;

/// Arrays and objects nested deeper than this are no message of the protocol's.
constexpr int kMaxDepth = 64;

struct Message {
    enum class Kind {
        Answer,   ///< to the command `id`: `body` its result, or `problem` why there is none
        Event,    ///< `method` with its `params` in `body`, on `session` (empty: the browser's)
        Ignored,  ///< an event that cannot be read (nested too deep, say): nobody waits for it
        Invalid,  ///< not the protocol at all (no JSON object): `problem` says why
    };
    Kind kind = Kind::Invalid;
    int id = 0;
    std::string session;
    std::string method;
    Json body = Json::object();  ///< always an object
    std::string problem;         ///< the browser's own error, or what is wrong with the message
};

/// Reads one message as the browser wrote it. Text a page holds may reach it as lone
/// UTF-16 surrogates (half of an emoji) or bytes that are no UTF-8: both read as U+FFFD.
Message Read(std::string text);

/// `key` of `object` when it is a string; else empty.
std::string Str(const Json& object, const char* key);
/// `key` of `object` when it is an object; else an empty object.
const Json& Obj(const Json& object, const char* key);
/// `key` of `object` when it is an integer that fits an int; else `fallback`.
int Int(const Json& object, const char* key, int fallback = 0);

/// The result's string field `key`; false with the problem ("<method>: no <key>") when it
/// is missing or not a string.
bool NeedStr(const Json& result, const char* key, const std::string& method, std::string& value,
             std::string& problem);

}  // namespace devtools
}  // namespace sentrel
