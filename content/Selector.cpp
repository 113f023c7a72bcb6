#include "Selector.h"

#include <libxml/xpath.h>

#include <cctype>
#include <memory>
#include <vector>

#include "Libxml.h"
#include "Translate.h"

namespace sentrel {
namespace content {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || u >= 0x80;
}

// A string as an XPath literal, whatever quotes it holds.
std::string Literal(const std::string& v) {
    if (v.find('\'') == std::string::npos) return "'" + v + "'";
    if (v.find('"') == std::string::npos) return "\"" + v + "\"";
    std::string out = "concat(";
    std::size_t start = 0;
    for (;;) {
        const std::size_t q = v.find('\'', start);
        if (q == std::string::npos) {
            out += "'" + v.substr(start) + "')";
            return out;
        }
        out += "'" + v.substr(start, q - start) + "', \"'\", ";
        start = q + 1;
    }
}

// Reads a CSS selector and writes its XPath; a recursive-descent reader of the forms
// that pages' regions are named with.
class CssReader {
  public:
    explicit CssReader(const std::string& s) : m_s(s) {}

    bool Read(std::string& xpath, std::string& error) {
        std::string out;
        do {
            SkipSpace();
            std::string one;
            if (!Complex(one)) break;
            if (!out.empty()) out += " | ";
            out += one;
            SkipSpace();
        } while (Eat(','));
        if (m_error.empty() && m_i < m_s.size()) Fail(Tr("无法识别"));
        if (!m_error.empty()) {
            error = m_error;
            return false;
        }
        xpath = out;
        return true;
    }

  private:
    bool Fail(const std::string& what) {
        if (m_error.empty())
            m_error = Fill(Tr("选择器有误：{0}（第 {1} 个字符{2}）"),
                           {what, std::to_string(m_i + 1),
                            m_i < m_s.size() ? "“" + m_s.substr(m_i, 12) + "”" : std::string()});
        return false;
    }
    bool AtEnd() const { return m_i >= m_s.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_s[m_i]; }
    bool Eat(char c) {
        if (Peek() != c) return false;
        ++m_i;
        return true;
    }
    bool SkipSpace() {
        const std::size_t start = m_i;
        while (!AtEnd() && IsSpace(m_s[m_i])) ++m_i;
        return m_i > start;
    }

    // An identifier, with CSS's backslash escapes of single characters.
    bool Ident(std::string& name) {
        name.clear();
        while (!AtEnd()) {
            if (m_s[m_i] == '\\' && m_i + 1 < m_s.size()) {
                name += m_s[m_i + 1];
                m_i += 2;
            } else if (IsNameChar(m_s[m_i])) {
                name += m_s[m_i++];
            } else {
                break;
            }
        }
        return !name.empty();
    }
    bool Quoted(std::string& value) {
        const char quote = m_s[m_i++];
        value.clear();
        while (!AtEnd() && m_s[m_i] != quote) {
            if (m_s[m_i] == '\\' && m_i + 1 < m_s.size()) ++m_i;
            value += m_s[m_i++];
        }
        if (!Eat(quote)) return Fail(Tr("引号没有结束"));
        return true;
    }

    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    bool Complex(std::string& out) {
        std::string tag, conds;
        if (!Compound(tag, conds)) return false;
        out = "descendant-or-self::" + tag + conds;
        for (;;) {
            const bool space = SkipSpace();
            char comb = ' ';
            if (Peek() == '>' || Peek() == '+' || Peek() == '~') {
                comb = m_s[m_i++];
                SkipSpace();
            } else if (!space || AtEnd() || Peek() == ',') {
                return true;
            }
            if (!Compound(tag, conds)) return false;
            switch (comb) {
                case ' ':
                    out += "/descendant::" + tag + conds;
                    break;
                case '>':
                    out += "/" + tag + conds;
                    break;
                case '+':
                    out += "/following-sibling::*[1]" +
                           (tag == "*" ? std::string() : "[self::" + tag + "]") + conds;
                    break;
                case '~':
                    out += "/following-sibling::" + tag + conds;
                    break;
            }
        }
    }

    // A type (or *) and its conditions, each as an XPath predicate.
    bool Compound(std::string& tag, std::string& conds) {
        tag = "*";
        conds.clear();
        bool any = false;
        if (Eat('*')) {
            any = true;
        } else if (IsNameChar(Peek()) || Peek() == '\\') {
            Ident(tag);
            tag = Lower(tag);
            any = true;
        }
        for (;;) {
            std::string cond;
            const char c = Peek();
            if (c != '#' && c != '.' && c != '[' && c != ':') break;
            if (!Simple(tag, cond)) return false;
            conds += "[" + cond + "]";
            any = true;
        }
        if (!any) return Fail(AtEnd() ? Tr("缺少选择器") : Tr("无法识别"));
        return true;
    }

    // One condition: #id, .class, [attr...], :pseudo. `tag` is the compound's type.
    bool Simple(const std::string& tag, std::string& cond) {
        std::string name;
        if (Eat('#')) {
            if (!Ident(name)) return Fail(Tr("# 后缺少 id"));
            cond = "@id = " + Literal(name);
            return true;
        }
        if (Eat('.')) {
            if (!Ident(name)) return Fail(Tr(". 后缺少类名"));
            cond = "contains(concat(' ', normalize-space(@class), ' '), " + Literal(" " + name + " ") + ")";
            return true;
        }
        if (Eat('[')) return Attribute(cond);
        if (Eat(':')) return Pseudo(tag, cond);
        return Fail(Tr("无法识别"));
    }

    bool Attribute(std::string& cond) {
        SkipSpace();
        std::string name;
        if (!Ident(name)) return Fail(Tr("[ 后缺少属性名"));
        name = "@" + Lower(name);
        SkipSpace();
        if (Eat(']')) {
            cond = name;
            return true;
        }
        std::string op;
        if (Peek() == '=') {
            op = "=";
            ++m_i;
        } else if (m_i + 1 < m_s.size() && std::string("~|^$*").find(Peek()) != std::string::npos &&
                   m_s[m_i + 1] == '=') {
            op = m_s.substr(m_i, 2);
            m_i += 2;
        } else {
            return Fail(Tr("无法识别的属性比较"));
        }
        SkipSpace();
        std::string v;
        if (Peek() == '"' || Peek() == '\'') {
            if (!Quoted(v)) return false;
        } else if (!Ident(v)) {
            return Fail(Tr("缺少属性值"));
        }
        SkipSpace();
        if (!Eat(']')) return Fail(Tr("缺少 ]"));
        const std::string lit = Literal(v);
        if (op == "=") {
            cond = name + " = " + lit;
        } else if (op == "~=") {
            cond = v.empty() || v.find_first_of(" \t\n\r\f") != std::string::npos
                       ? "false()"
                       : name + " and contains(concat(' ', normalize-space(" + name + "), ' '), " +
                             Literal(" " + v + " ") + ")";
        } else if (op == "|=") {
            cond = name + " = " + lit + " or starts-with(" + name + ", " + Literal(v + "-") + ")";
        } else if (v.empty()) {
            cond = "false()";  // ^=, $= and *= never match an empty value
        } else if (op == "^=") {
            cond = name + " and starts-with(" + name + ", " + lit + ")";
        } else if (op == "$=") {
            cond = name + " and substring(" + name + ", string-length(" + name +
                   ") - string-length(" + lit + ") + 1) = " + lit;
        } else {
            cond = name + " and contains(" + name + ", " + lit + ")";
        }
        return true;
    }

    // an+b, odd, even, or a number.
    bool Nth(long& a, long& b) {
        SkipSpace();
        std::size_t start = m_i;
        while (!AtEnd() && Peek() != ')') ++m_i;
        std::string t;
        for (std::size_t k = start; k < m_i; ++k)
            if (!IsSpace(m_s[k])) t += static_cast<char>(std::tolower(static_cast<unsigned char>(m_s[k])));
        if (t == "odd") {
            a = 2, b = 1;
            return true;
        }
        if (t == "even") {
            a = 2, b = 0;
            return true;
        }
        auto number = [](const std::string& s, long& v) {
            if (s.empty() || s.size() > 9) return false;
            std::size_t k = (s[0] == '+' || s[0] == '-') ? 1 : 0;
            if (k == s.size()) return false;
            for (std::size_t j = k; j < s.size(); ++j)
                if (!std::isdigit(static_cast<unsigned char>(s[j]))) return false;
            v = std::stol(s);
            return true;
        };
        const std::size_t n = t.find('n');
        if (n == std::string::npos) {
            a = 0;
            if (number(t, b)) return true;
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        const std::string as = t.substr(0, n), bs = t.substr(n + 1);
        if (as.empty() || as == "+")
            a = 1;
        else if (as == "-")
            a = -1;
        else if (!number(as, a)) {
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        if (bs.empty())
            b = 0;
        else if (!number(bs, b) || (bs[0] != '+' && bs[0] != '-')) {
            m_i = start;
            return Fail(Tr("无法识别的 an+b"));
        }
        return true;
    }

    static std::string NthCond(const std::string& position, long a, long b) {
        if (a == 0) return position + " = " + std::to_string(b);
        const std::string d = "(" + position + " - " + std::to_string(b) + ")";
        return d + " mod " + std::to_string(a) + " = 0 and " + d + " div " + std::to_string(a) + " >= 0";
    }

    bool Pseudo(const std::string& tag, std::string& cond) {
        std::string name;
        if (!Ident(name)) return Fail(Tr(": 后缺少伪类名"));
        name = Lower(name);
        const std::string before = "count(preceding-sibling::*) = 0";
        const std::string after = "count(following-sibling::*) = 0";
        const bool ofType = name.size() > 8 && name.compare(name.size() - 8, 8, "-of-type") == 0;
        if (ofType && tag == "*") return Fail(Fill(Tr(":{0} 需要元素名"), {name}));
        const std::string typeBefore = "count(preceding-sibling::" + tag + ") = 0";
        const std::string typeAfter = "count(following-sibling::" + tag + ") = 0";
        if (name == "first-child") cond = before;
        else if (name == "last-child") cond = after;
        else if (name == "only-child") cond = before + " and " + after;
        else if (name == "first-of-type") cond = typeBefore;
        else if (name == "last-of-type") cond = typeAfter;
        else if (name == "only-of-type") cond = typeBefore + " and " + typeAfter;
        else if (name == "empty") cond = "not(*) and not(string-length())";
        else if (name == "nth-child" || name == "nth-last-child" || name == "nth-of-type" ||
                 name == "nth-last-of-type") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            long a = 0, b = 0;
            if (!Nth(a, b)) return false;
            if (!Eat(')')) return Fail(Tr("缺少 )"));
            const bool last = name.find("-last-") != std::string::npos;
            const std::string axis = last ? "following-sibling::" : "preceding-sibling::";
            cond = NthCond("(count(" + axis + (ofType ? tag : "*") + ") + 1)", a, b);
        } else if (name == "not") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            SkipSpace();
            std::string inner;
            if (Eat('*')) {
                inner = "true()";
            } else if (IsNameChar(Peek()) || Peek() == '\\') {
                std::string t;
                Ident(t);
                inner = "self::" + Lower(t);
            } else if (!Simple(tag, inner)) {
                return false;
            }
            SkipSpace();
            if (!Eat(')')) return Fail(Tr(":not() 只接受一个简单选择器"));
            cond = "not(" + inner + ")";
        } else {
            return Fail(Fill(Tr("不支持的伪类 :{0}"), {name}));
        }
        return true;
    }

    const std::string& m_s;
    std::size_t m_i = 0;
    std::string m_error;
};

}  // namespace

bool CssToXPath(const std::string& css, std::string& xpath, std::string& error) {
    return CssReader(css).Read(xpath, error);
}

bool SelectorToXPath(const std::string& selector, std::string& xpath, std::string& error) {
    std::size_t b = 0, e = selector.size();
    while (b < e && IsSpace(selector[b])) ++b;
    while (e > b && IsSpace(selector[e - 1])) --e;
    const std::string s = selector.substr(b, e - b);
    if (s.empty()) {
        error = Tr("选择器为空");
        return false;
    }
    if (s[0] == '/' || s[0] == '(') {
        xpath = s;
    } else if (!CssToXPath(s, xpath, error)) {
        return false;
    }
    PrepareLibxml();  // the answer is whether it compiled, not libxml2's message
    std::unique_ptr<xmlXPathCompExpr, void (*)(xmlXPathCompExprPtr)> comp(
        xmlXPathCompile(reinterpret_cast<const xmlChar*>(xpath.c_str())), xmlXPathFreeCompExpr);
    if (!comp) {
        error = Fill(Tr("XPath 表达式有误：{0}"), {s});
        return false;
    }
    return true;
}

}  // namespace content
}  // namespace sentrel
