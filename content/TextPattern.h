#pragma once
// What a user writes to find lines: a plain text (found anywhere in a line, whatever its
// case) or a /regular expression/ (PCRE2, /…/i for any case), matched within a bound of
// effort so that no expression can hold a page's reading (ignore rules, alert conditions).
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sentrel {
namespace content {

class TextPattern {
  public:
    TextPattern();
    ~TextPattern();
    TextPattern(TextPattern&&) noexcept;
    TextPattern& operator=(TextPattern&&) noexcept;

    /// Compiles `written` (a text, or /regex/ or /regex/i). False with PCRE2's message and
    /// the 1-based character where it stopped.
    bool Compile(const std::string& written, std::string& message, std::size_t& at);

    enum class Found { No, Yes, TooCostly };
    /// Whether the pattern is found in the text (valid UTF-8 or not), within its bound. Any
    /// number of threads may ask at once.
    Found In(const char* text, std::size_t length) const;
    Found In(const std::string& text) const { return In(text.data(), text.size()); }
    /// As the user wrote it.
    const std::string& Written() const { return m_strWritten; }

  private:
    struct Code;
    std::unique_ptr<Code> m_code;
    std::string m_strWritten;
};

/// Rules written one a line: each non-blank line (its number from 1, and the line without
/// blanks at either end and its CR).
std::vector<std::pair<int, std::string>> RuleLines(const std::string& text);

}  // namespace content
}  // namespace sentrel
