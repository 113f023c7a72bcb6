#include "IgnoreRules.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "Translate.h"

namespace sentrel {
namespace content {

namespace {
// What one rule may spend on one line: far beyond what a sensible expression needs on any
// line of a page, far below the minutes a nested repetition (/(a+)+$/) can take.
constexpr uint32_t kMatchLimit = 1000000;
constexpr uint32_t kDepthLimit = 10000;
constexpr PCRE2_SIZE kHeapLimitKiB = 16 * 1024;
}  // namespace

struct IgnoreRules::Rule {
    std::string text;  // as the user wrote it
    pcre2_code* code = nullptr;
    pcre2_match_data* match = nullptr;
    pcre2_match_context* limits = nullptr;
    ~Rule() {
        pcre2_match_context_free(limits);
        pcre2_match_data_free(match);
        pcre2_code_free(code);
    }
};

IgnoreRules::IgnoreRules() = default;
IgnoreRules::~IgnoreRules() = default;
IgnoreRules::IgnoreRules(IgnoreRules&&) noexcept = default;
IgnoreRules& IgnoreRules::operator=(IgnoreRules&&) noexcept = default;

bool IgnoreRules::Parse(const std::string& text, std::string& error) {
    std::vector<std::unique_ptr<Rule>> rules;
    std::size_t start = 0;
    int lineNo = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        std::size_t lead = line.find_first_not_of(" \t");
        if (lead == std::string::npos) continue;
        line.erase(0, lead);
        uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
        std::string pattern;
        if (line.size() >= 2 && line.front() == '/' && line.back() == '/') {
            pattern = line.substr(1, line.size() - 2);
            options |= PCRE2_UCP;  // \w, \d and \b know every script
        } else if (line.size() >= 3 && line.front() == '/' && line.compare(line.size() - 2, 2, "/i") == 0) {
            pattern = line.substr(1, line.size() - 3);
            options |= PCRE2_CASELESS | PCRE2_UCP;
        } else {
            pattern = line;
            options |= PCRE2_LITERAL | PCRE2_CASELESS;
        }
        int code = 0;
        PCRE2_SIZE offset = 0;
        auto rule = std::make_unique<Rule>();
        rule->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   options, &code, &offset, nullptr);
        if (!rule->code) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(code, message, sizeof message);
            error = Fill(Tr("忽略规则第 {0} 行有误：{1}（第 {2} 个字符）"),
                         {std::to_string(lineNo), reinterpret_cast<const char*>(message),
                          std::to_string(offset + 1)});
            return false;
        }
        pcre2_jit_compile(rule->code, PCRE2_JIT_COMPLETE);  // plain matching where JIT is missing
        rule->match = pcre2_match_data_create_from_pattern(rule->code, nullptr);
        rule->limits = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(rule->limits, kMatchLimit);
        pcre2_set_depth_limit(rule->limits, kDepthLimit);
        pcre2_set_heap_limit(rule->limits, kHeapLimitKiB);
        rule->text = line;
        rules.push_back(std::move(rule));
    }
    m_rules = std::move(rules);
    return true;
}

IgnoreRules::Verdict IgnoreRules::Judge(const char* line, std::size_t length,
                                        std::string* rule) const {
    for (const auto& r : m_rules) {
        const int rc = pcre2_match(r->code, reinterpret_cast<PCRE2_SPTR>(line), length, 0, 0,
                                   r->match, r->limits);
        if (rc >= 0) return Verdict::Drop;
        if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
            rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            if (rule) *rule = r->text;
            return Verdict::TooCostly;
        }
    }
    return Verdict::Keep;
}

}  // namespace content
}  // namespace sentrel
