#include "AlertRules.h"

#include <cmath>

#include "PageNumber.h"
#include "TextPattern.h"
#include "Translate.h"

namespace sentrel {
namespace content {

namespace {

enum class Kind { Added, Removed, Appears, Disappears, Below, Above, Change };

struct Name {
    const char* word;
    Kind kind;
};
constexpr Name kNames[] = {{"added", Kind::Added},   {"removed", Kind::Removed},       {"appears", Kind::Appears},
                           {"disappears", Kind::Disappears}, {"below", Kind::Below}, {"above", Kind::Above},
                           {"change", Kind::Change}};

// True when some line of the text holds the pattern (a rule that would cost too much on a
// line holds nothing there).
bool InSomeLine(const TextPattern& pattern, const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (pattern.In(text.data() + start, end - start) == TextPattern::Found::Yes) return true;
        start = end + 1;
    }
    return false;
}

bool InAnyOf(const TextPattern& pattern, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (pattern.In(line) == TextPattern::Found::Yes) return true;
    return false;
}

}  // namespace

struct AlertRules::Rule {
    std::string written;
    Kind kind;
    TextPattern pattern;  // the text ones
    double value = 0;     // the number ones: N, or P percent
};

AlertRules::AlertRules() = default;
AlertRules::~AlertRules() = default;
AlertRules::AlertRules(AlertRules&&) noexcept = default;
AlertRules& AlertRules::operator=(AlertRules&&) noexcept = default;

bool AlertRules::Parse(const std::string& text, std::string& error) {
    std::vector<std::unique_ptr<Rule>> rules;
    for (const auto& [lineNo, line] : RuleLines(text)) {
        // Named again: a lambda may not capture a structured binding (C++17).
        const int number = lineNo;
        const std::string& written = line;
        auto fail = [&error, number, &written](const std::string& problem) {
            error = Fill(Tr("提醒条件第 {0} 行“{1}”有误：{2}"), {std::to_string(number), written, problem});
            return false;
        };
        const std::size_t colon = line.find(':');
        const std::string word = colon == std::string::npos ? line : line.substr(0, colon);
        auto rule = std::make_unique<Rule>();
        rule->written = line;
        bool known = false;
        for (const Name& n : kNames)
            if (word == n.word) {
                rule->kind = n.kind;
                known = true;
            }
        if (!known || colon == std::string::npos)
            return fail(Tr("不是条件（可用 added:、removed:、appears:、disappears:、below:、above:、change:）"));
        std::string arg = line.substr(colon + 1);
        while (!arg.empty() && (arg.front() == ' ' || arg.front() == '\t')) arg.erase(0, 1);
        if (arg.empty()) return fail(Fill(Tr("{0}: 后面缺少内容"), {word}));
        switch (rule->kind) {
            case Kind::Below:
            case Kind::Above:
                if (!ReadNumber(arg, rule->value)) return fail(Fill(Tr("“{0}” 不是数字"), {arg}));
                break;
            case Kind::Change: {
                if (arg.back() != '%') return fail(Tr("change: 需要百分比，例如 change:5%"));
                arg.pop_back();
                if (!ReadNumber(arg, rule->value) || rule->value <= 0)
                    return fail(Fill(Tr("“{0}” 不是大于 0 的百分比"), {arg + "%"}));
                break;
            }
            default: {
                std::string message;
                std::size_t at = 0;
                if (!rule->pattern.Compile(arg, message, at))
                    return fail(Fill(Tr("{0}（第 {1} 个字符）"), {message, std::to_string(at)}));
            }
        }
        rules.push_back(std::move(rule));
    }
    m_rules = std::move(rules);
    return true;
}

std::vector<std::string> AlertRules::Written() const {
    std::vector<std::string> written;
    for (const auto& r : m_rules) written.push_back(r->written);
    return written;
}

std::string AlertRules::Met(const Change& change) const {
    double now = 0, before = 0;
    const bool haveNow = FirstNumber(change.now, now);
    const bool haveBefore = FirstNumber(change.before, before);
    for (const auto& r : m_rules) {
        bool met = false;
        switch (r->kind) {
            case Kind::Added:
                met = InAnyOf(r->pattern, change.added);
                break;
            case Kind::Removed:
                met = InAnyOf(r->pattern, change.removed);
                break;
            case Kind::Appears:
                met = InSomeLine(r->pattern, change.now) && !InSomeLine(r->pattern, change.before);
                break;
            case Kind::Disappears:
                met = !InSomeLine(r->pattern, change.now) && InSomeLine(r->pattern, change.before);
                break;
            // A text without a number never crosses; one that had none was on neither side.
            case Kind::Below:
                met = haveNow && now < r->value && !(haveBefore && before < r->value);
                break;
            case Kind::Above:
                met = haveNow && now > r->value && !(haveBefore && before > r->value);
                break;
            case Kind::Change:
                if (haveNow && change.bHaveBase)
                    met = change.base == 0 ? now != 0
                                           : std::fabs(now - change.base) / std::fabs(change.base) * 100 >= r->value;
                break;
        }
        if (met) return r->written;
    }
    return std::string();
}

std::vector<AlertRules::Standing> AlertRules::Now(const std::string& text) const {
    double number = 0;
    const bool haveNumber = FirstNumber(text, number);
    std::vector<Standing> standings;
    for (const auto& r : m_rules) {
        bool met = false;
        switch (r->kind) {
            case Kind::Removed:
            case Kind::Change:
                standings.push_back(Standing::AtAChange);
                continue;
            case Kind::Added:
            case Kind::Appears:
                met = InSomeLine(r->pattern, text);
                break;
            case Kind::Disappears:
                met = !InSomeLine(r->pattern, text);
                break;
            case Kind::Below:
                met = haveNumber && number < r->value;
                break;
            case Kind::Above:
                met = haveNumber && number > r->value;
                break;
        }
        standings.push_back(met ? Standing::Met : Standing::NotMet);
    }
    return standings;
}

}  // namespace content
}  // namespace sentrel
