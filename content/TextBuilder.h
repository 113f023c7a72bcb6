#pragma once
// Inside this module: the lines of a page's text, built from its elements and characters in
// order, as a reader sees them. The streaming parser and the walk of a region both feed it.
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "content/Budget.h"
#include "content/IgnoreRules.h"

namespace sentrel {
namespace content {

/// What an element does to the text; any element not named is inline.
enum Role : unsigned char { kInline = 0, kBlock = 1, kSkip = 2, kPre = 4, kHead = 8, kTitle = 16 };

class TextBuilder {
  public:
    TextBuilder(std::string& out, const IgnoreRules* ignore, Budget& budget)
        : m_out(out), m_ignore(ignore), m_budget(budget) {}

    // Names come interned from the parser's dictionary (and from a tree that lives as
    // long as this): a name's role is looked up once per pointer.
    unsigned char Role(const char* name) {
        const std::size_t slot = (reinterpret_cast<std::uintptr_t>(name) >> 4) % kCache;
        if (m_cache[slot].name != name) m_cache[slot] = {name, RoleOfName(name)};
        return m_cache[slot].role;
    }

    void Start(const char* name, const xmlChar** attrs) {
        unsigned char role = Role(name);
        if (role != kInline && (role & kBlock) && m_skip == 0) Break();
        if (HiddenBy(attrs)) role |= kSkip;
        m_stack.push_back({name, role});
        Count(role, 1);
    }
    void End(const char* name) {
        // Find the element this ends; an end with no start is nothing.
        std::size_t i = m_stack.size();
        while (i > 0 && m_stack[i - 1].name != name && std::strcmp(m_stack[i - 1].name, name) != 0)
            --i;
        m_budget.Spend(m_stack.size() - i);
        if (i == 0) return;
        while (m_stack.size() >= i) {
            const unsigned char role = m_stack.back().role;
            Count(role, -1);
            m_stack.pop_back();
            if ((role & kBlock) && m_skip == 0) Break();
        }
    }
    void Characters(const char* s, std::size_t n) {
        if (m_skip > 0 || (m_head > 0 && m_title == 0)) return;
        for (std::size_t i = 0; i < n;) {
            const char c = s[i];
            if (c == '\n' && m_pre > 0) {
                Break();
                ++i;
            } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                m_space = true;
                ++i;
            } else if (c == '\xC2' && i + 1 < n && s[i + 1] == '\xA0') {
                m_space = true;  // a no-break space is a blank to compare
                i += 2;
            } else {
                // A word at a time.
                std::size_t end = i + 1;
                while (end < n && s[end] != ' ' && s[end] != '\n' && s[end] != '\t' &&
                       s[end] != '\r' && s[end] != '\f' && s[end] != '\xC2')
                    ++end;
                if (m_space && !m_line.empty()) m_line += ' ';
                m_space = false;
                m_line.append(s + i, end - i);
                i = end;
            }
        }
    }
    void Break() {
        if (!m_line.empty() && m_slowRule.empty()) {
            m_budget.Spend(1 + m_line.size() / 256);
            const IgnoreRules::Verdict verdict =
                m_ignore ? m_ignore->Judge(m_line.data(), m_line.size(), &m_slowRule)
                         : IgnoreRules::Verdict::Keep;
            if (verdict == IgnoreRules::Verdict::Keep) {
                m_out += m_line;
                m_out += '\n';
            } else if (verdict == IgnoreRules::Verdict::TooCostly) {
                m_budget.Fail(ReadOutcome::SlowRule);
            }
        }
        m_line.clear();
        m_space = false;
    }
    /// A whole line as it is (plain text keeps its blanks).
    void Line(const char* s, std::size_t n) {
        m_line.assign(s, n);
        Break();
    }
    /// The rule that gave up on a line, once one did.
    const std::string& SlowRule() const { return m_slowRule; }

  private:
    static unsigned char RoleOfName(const char* name);
    // An element hidden by its own attributes: `hidden`, or an inline display:none.
    static bool HiddenBy(const xmlChar** attrs);
    struct Open {
        const char* name;
        unsigned char role;
    };
    static constexpr std::size_t kCache = 64;
    struct Cached {
        const char* name = nullptr;
        unsigned char role = kInline;
    };
    Cached m_cache[kCache];
    void Count(unsigned char role, int d) {
        if (role & kSkip) m_skip += d;
        if (role & kPre) m_pre += d;
        if (role & kHead) m_head += d;
        if (role & kTitle) m_title += d;
    }

    std::string& m_out;
    const IgnoreRules* m_ignore;
    Budget& m_budget;
    std::vector<Open> m_stack;
    std::string m_line;
    std::string m_slowRule;
    bool m_space = false;
    int m_skip = 0, m_pre = 0, m_head = 0, m_title = 0;
};

}  // namespace content
}  // namespace sentrel
