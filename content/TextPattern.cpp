#include "content/TextPattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "base/Translate.h"
#include "platform/LazyLibrary.h"

namespace sentrel {
namespace content {

namespace {

// PCRE2's calls (each name a macro for its 8-bit function). Where the platform allows, the
// library is loaded at the first rule compiled: most runs have none.
// clang-format off
#define SENTREL_PCRE2_CALLS(X)                                                                     \
    X(pcre2_compile) X(pcre2_get_error_message) X(pcre2_jit_compile) X(pcre2_code_free)            \
    X(pcre2_match_data_create_from_pattern) X(pcre2_match_data_free) X(pcre2_match_context_create) \
    X(pcre2_match_context_free) X(pcre2_set_match_limit) X(pcre2_set_depth_limit)                  \
    X(pcre2_set_heap_limit) X(pcre2_match)
// clang-format on

struct Pcre2Api {
    SENTREL_PCRE2_CALLS(SENTREL_API_MEMBER)
};

// PCRE2, loaded once; nullptr when it cannot be loaded.
const Pcre2Api* Pcre2() {
#ifdef SENTREL_LAZY_TEXT
#define SENTREL_NAME_OF(f) #f
#define SENTREL_PCRE2_BIND(f) lib.Bind(api.f, SENTREL_NAME_OF(f));  // f: the 8-bit name
    return LoadOnce<Pcre2Api>("libpcre2-8.so.0",
                              [](LazyLibrary& lib, Pcre2Api& api) { SENTREL_PCRE2_CALLS(SENTREL_PCRE2_BIND) });
#else
    static const Pcre2Api linked = [] {
        Pcre2Api api;
        SENTREL_PCRE2_CALLS(SENTREL_API_LINK)
        return api;
    }();
    return &linked;
#endif
}

// What a pattern may spend on one text: far beyond what a sensible expression needs on any
// line of a page, far below the minutes a nested repetition (/(a+)+$/) can take.
constexpr uint32_t kMatchLimit = 1000000;
constexpr uint32_t kDepthLimit = 10000;
constexpr PCRE2_SIZE kHeapLimitKiB = 16 * 1024;
}  // namespace

struct TextPattern::Code {
    pcre2_code* code = nullptr;
    pcre2_match_context* limits = nullptr;
    const Pcre2Api& pcre2;
    explicit Code(const Pcre2Api& api) : pcre2(api) {}
    ~Code() {
        pcre2.pcre2_match_context_free(limits);
        pcre2.pcre2_code_free(code);
    }
};

TextPattern::TextPattern() = default;
TextPattern::~TextPattern() = default;
TextPattern::TextPattern(TextPattern&&) noexcept = default;
TextPattern& TextPattern::operator=(TextPattern&&) noexcept = default;

bool TextPattern::Compile(const std::string& written, std::string& message, std::size_t& at) {
    uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    std::string pattern;
    if (written.size() >= 2 && written.front() == '/' && written.back() == '/') {
        pattern = written.substr(1, written.size() - 2);
        options |= PCRE2_UCP;  // \w, \d and \b know every script
    } else if (written.size() >= 3 && written.front() == '/' && written.compare(written.size() - 2, 2, "/i") == 0) {
        pattern = written.substr(1, written.size() - 3);
        options |= PCRE2_CASELESS | PCRE2_UCP;
    } else {
        pattern = written;
        options |= PCRE2_LITERAL | PCRE2_CASELESS;
    }
    const Pcre2Api* pcre2 = Pcre2();
    if (!pcre2) {
        message = Tr("无法载入 PCRE2");
        at = 1;
        return false;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    auto code = std::make_unique<Code>(*pcre2);
    code->code = pcre2->pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                      options, &error, &offset, nullptr);
    if (!code->code) {
        PCRE2_UCHAR text[256];
        pcre2->pcre2_get_error_message(error, text, sizeof text);
        message = reinterpret_cast<const char*>(text);
        at = offset + 1;
        return false;
    }
    pcre2->pcre2_jit_compile(code->code,
                             PCRE2_JIT_COMPLETE);  // plain matching where JIT is missing
    code->limits = pcre2->pcre2_match_context_create(nullptr);
    pcre2->pcre2_set_match_limit(code->limits, kMatchLimit);
    pcre2->pcre2_set_depth_limit(code->limits, kDepthLimit);
    pcre2->pcre2_set_heap_limit(code->limits, kHeapLimitKiB);
    m_code = std::move(code);
    m_strWritten = written;
    return true;
}

TextPattern::Found TextPattern::In(const char* text, std::size_t length) const {
    if (!m_code) return Found::No;
    // Match data of each call's own: a row's compiled rules are read by any thread that
    // judges its page.
    const Pcre2Api& pcre2 = m_code->pcre2;
    pcre2_match_data* match = pcre2.pcre2_match_data_create_from_pattern(m_code->code, nullptr);
    if (!match) return Found::TooCostly;
    const int rc = pcre2.pcre2_match(m_code->code, reinterpret_cast<PCRE2_SPTR>(text), length, 0, 0, match,
                                     m_code->limits);
    pcre2.pcre2_match_data_free(match);
    if (rc >= 0) return Found::Yes;
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
        rc == PCRE2_ERROR_JIT_STACKLIMIT)
        return Found::TooCostly;
    return Found::No;
}

std::vector<std::pair<int, std::string>> RuleLines(const std::string& text) {
    std::vector<std::pair<int, std::string>> lines;
    std::size_t start = 0;
    int number = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const std::size_t lead = line.find_first_not_of(" \t");
        if (lead != std::string::npos) lines.emplace_back(number, line.substr(lead));
    }
    return lines;
}

}  // namespace content
}  // namespace sentrel
