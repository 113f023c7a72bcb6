#include "content/IgnoreRules.h"

#include "base/Translate.h"
#include "content/TextPattern.h"

namespace sentrel {
namespace content {

struct IgnoreRules::Rule {
    TextPattern pattern;
};

IgnoreRules::IgnoreRules() = default;
IgnoreRules::~IgnoreRules() = default;
IgnoreRules::IgnoreRules(IgnoreRules&&) noexcept = default;
IgnoreRules& IgnoreRules::operator=(IgnoreRules&&) noexcept = default;

bool IgnoreRules::Parse(const std::string& text, std::string& error) {
    std::vector<std::unique_ptr<Rule>> rules;
    for (const auto& [lineNo, line] : RuleLines(text)) {
        auto rule = std::make_unique<Rule>();
        std::string message;
        std::size_t at = 0;
        if (!rule->pattern.Compile(line, message, at)) {
            error = Fill(Tr("忽略规则第 {0} 行有误：{1}（第 {2} 个字符）"),
                         {std::to_string(lineNo), message, std::to_string(at)});
            return false;
        }
        rules.push_back(std::move(rule));
    }
    m_rules = std::move(rules);
    return true;
}

IgnoreRules::Verdict IgnoreRules::Judge(const char* line, std::size_t length,
                                        std::string* rule) const {
    for (const auto& r : m_rules) {
        switch (r->pattern.In(line, length)) {
            case TextPattern::Found::Yes:
                return Verdict::Drop;
            case TextPattern::Found::TooCostly:
                if (rule) *rule = r->pattern.Written();
                return Verdict::TooCostly;
            case TextPattern::Found::No:
                break;
        }
    }
    return Verdict::Keep;
}

}  // namespace content
}  // namespace sentrel
