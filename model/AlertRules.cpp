#include "model/AlertRules.h"

#include <cmath>

#include "base/Translate.h"
#include "content/TextPattern.h"
#include "model/PageNumber.h"
#include "platform/TextRules.h"

namespace sentrel {

using content::RuleLines;
using content::TextPattern;

namespace {

enum class Kind { Added, Removed, Appears, Disappears, Below, Above, Change };

struct Name {
    const char* word;
    Kind kind;
};
constexpr Name kNames[] = {{"added", Kind::Added},   {"removed", Kind::Removed},       {"appears", Kind::Appears},
                           {"disappears", Kind::Disappears}, {"below", Kind::Below}, {"above", Kind::Above},
                           {"change", Kind::Change}};

// A long condition is named by its start in a message.
constexpr std::size_t kNamedChars = 60;

// Whether the pattern is found in the text's lines (or in the lines given), spending from
// the budget: a line it cannot decide within its own bound, or a budget spent, is no answer.
enum class Found { No, Yes, Undecided };

class Spender {
  public:
    explicit Spender(const AlertRules::Budget& budget) : m_budget(budget) {}
    // True while there is time left and nobody asked to stop; asked between lines.
    bool Go() {
        if (++m_nLines % 64 != 0) return m_bGoing;
        if (m_budget.stop && m_budget.stop()) m_bStopped = true;
        if (m_bStopped || std::chrono::steady_clock::now() >= m_budget.deadline) m_bGoing = false;
        return m_bGoing;
    }
    bool Stopped() const { return m_bStopped; }

  private:
    const AlertRules::Budget& m_budget;
    std::size_t m_nLines = 0;
    bool m_bGoing = true, m_bStopped = false;
};

Found InLine(const TextPattern& pattern, const char* line, std::size_t length, Spender& spend) {
    if (!spend.Go()) return Found::Undecided;
    switch (pattern.In(line, length)) {
        case TextPattern::Found::Yes:
            return Found::Yes;
        case TextPattern::Found::TooCostly:
            return Found::Undecided;
        case TextPattern::Found::No:
            break;
    }
    return Found::No;
}

Found InSomeLine(const TextPattern& pattern, const std::string& text, Spender& spend) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const Found found = InLine(pattern, text.data() + start, end - start, spend);
        if (found != Found::No) return found;
        start = end + 1;
    }
    return Found::No;
}

Found InAnyOf(const TextPattern& pattern, const std::vector<std::string>& lines, Spender& spend) {
    for (const std::string& line : lines) {
        const Found found = InLine(pattern, line.data(), line.size(), spend);
        if (found != Found::No) return found;
    }
    return Found::No;
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
            error = Fill(Tr("提醒条件第 {0} 行“{1}”有误：{2}"),
                         {std::to_string(number), CutText(written, kNamedChars), problem});
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
                if (!ReadNumber(arg, rule->value))
                    return fail(Fill(Tr("“{0}” 不是数字"), {CutText(arg, kNamedChars)}));
                break;
            case Kind::Change: {
                if (arg.back() != '%') return fail(Tr("change: 需要百分比，例如 change:5%"));
                arg.pop_back();
                if (!ReadNumber(arg, rule->value) || rule->value <= 0)
                    return fail(Fill(Tr("“{0}” 不是大于 0 的百分比"), {CutText(arg, kNamedChars) + "%"}));
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

AlertRules::Outcome AlertRules::Judge(const Change& change, const Budget& budget) const {
    double now = 0, before = 0;
    const bool haveNow = FirstNumber(change.now, now);
    const bool haveBefore = FirstNumber(change.before, before);
    Spender spend(budget);
    for (const auto& r : m_rules) {
        // In the text now as `inNow` says, and in the text before as `inBefore` says: the
        // second is asked only when the first holds.
        auto both = [&](bool inNow, bool inBefore) {
            const Found a = InSomeLine(r->pattern, change.now, spend);
            if (a == Found::Undecided || (a == Found::Yes) != inNow) return a == Found::Undecided ? a : Found::No;
            const Found b = InSomeLine(r->pattern, change.before, spend);
            if (b == Found::Undecided) return b;
            return (b == Found::Yes) == inBefore ? Found::Yes : Found::No;
        };
        Found met = Found::No;
        switch (r->kind) {
            case Kind::Added:
                met = InAnyOf(r->pattern, change.added, spend);
                break;
            case Kind::Removed:
                met = InAnyOf(r->pattern, change.removed, spend);
                break;
            case Kind::Appears:
                met = both(true, false);
                break;
            case Kind::Disappears:
                met = both(false, true);
                break;
            // A text without a number never crosses; one that had none was on neither side.
            case Kind::Below:
                met = haveNow && now < r->value && !(haveBefore && before < r->value) ? Found::Yes : Found::No;
                break;
            case Kind::Above:
                met = haveNow && now > r->value && !(haveBefore && before > r->value) ? Found::Yes : Found::No;
                break;
            case Kind::Change:
                if (haveNow && change.bHaveBase)
                    met = (change.base == 0 ? now != 0
                                            : std::fabs(now - change.base) / std::fabs(change.base) * 100 >= r->value)
                              ? Found::Yes
                              : Found::No;
                break;
        }
        if (met == Found::Yes) return {Outcome::Met, r->written};
        if (met == Found::Undecided)
            return {spend.Stopped() ? Outcome::Stopped : Outcome::TooSlow, CutText(r->written, kNamedChars)};
    }
    return {};
}

std::string AlertRules::Met(const Change& change) const {
    const Outcome outcome = Judge(change, {std::chrono::steady_clock::time_point::max(), {}});
    return outcome.kind == Outcome::Met ? outcome.rule : std::string();
}

std::vector<AlertRules::Standing> AlertRules::Now(const std::string& text) const {
    double number = 0;
    const bool haveNumber = FirstNumber(text, number);
    const Budget unbounded{std::chrono::steady_clock::time_point::max(), {}};
    Spender spend(unbounded);
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
                met = InSomeLine(r->pattern, text, spend) == Found::Yes;
                break;
            case Kind::Disappears:
                met = InSomeLine(r->pattern, text, spend) == Found::No;
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

}  // namespace sentrel
