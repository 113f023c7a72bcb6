#pragma once
// Lines of a page's text the user does not want compared: one rule per line, a plain text
// (any line containing it, whatever its case) or a /regular expression/ (PCRE2).
#include <memory>
#include <string>
#include <vector>

namespace sentrel {
namespace content {

class IgnoreRules {
  public:
    IgnoreRules();
    ~IgnoreRules();
    IgnoreRules(IgnoreRules&&) noexcept;
    IgnoreRules& operator=(IgnoreRules&&) noexcept;

    /// Reads the rules, one per line (blank lines are none). False with the reason, naming
    /// the line, when a rule does not compile.
    bool Parse(const std::string& rules, std::string& error);

    bool Empty() const { return m_rules.empty(); }

    enum class Verdict {
        Keep,
        Drop,       ///< some rule matches the line
        TooCostly,  ///< a rule gave up on the line: matching it would take too long
    };
    /// Whether the rules drop the line (valid UTF-8, without its newline). A rule may
    /// spend a bounded effort on one line; one that needs more is named in `rule`.
    Verdict Judge(const char* line, std::size_t length, std::string* rule = nullptr) const;
    /// True when some rule matches the line.
    bool Drops(const char* line, std::size_t length) const {
        return Judge(line, length) == Verdict::Drop;
    }

  private:
    struct Rule;
    std::vector<std::unique_ptr<Rule>> m_rules;
};

}  // namespace content
}  // namespace sentrel
