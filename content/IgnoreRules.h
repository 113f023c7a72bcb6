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
    /// True when some rule matches the line (valid UTF-8, without its newline).
    bool Drops(const char* line, std::size_t length) const;

  private:
    struct Rule;
    std::vector<std::unique_ptr<Rule>> m_rules;
};

}  // namespace content
}  // namespace sentrel
