#include <cctype>

#include "base/Translate.h"
#include "content/CssSelector.h"

namespace sentrel {
namespace content {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '-' || c == '_' || u >= 0x80;
}

// Reads a CSS selector list; a recursive-descent reader of the forms that pages' regions
// are named with.
class CssReader {
  public:
    explicit CssReader(const std::string& s) : m_s(s) {}

    bool Read(CssList& css, std::string& error) {
        do {
            SkipSpace();
            Complex one;
            if (!ReadComplex(one)) break;
            css.nCompounds += static_cast<int>(one.parts.size());
            css.list.push_back(std::move(one));
            SkipSpace();
        } while (Eat(','));
        if (m_error.empty() && m_i < m_s.size()) Fail(Tr("无法识别"));
        if (m_error.empty() && css.nCompounds > kMaxCompounds)
            m_error = Fill(Tr("选择器过长（最多 {0} 个部分）"), {std::to_string(kMaxCompounds)});
        if (!m_error.empty()) {
            error = m_error;
            return false;
        }
        for (const Complex& c : css.list)
            for (const Compound& part : c.parts) Note(css, part.conds);
        return true;
    }

  private:
    static void Note(CssList& css, const std::vector<Simple>& conds) {
        for (const Simple& s : conds) {
            css.bFromEnd = css.bFromEnd || (s.kind == Simple::kNth && s.bFromEnd);
            css.bOfType = css.bOfType || (s.kind == Simple::kNth && s.bOfType);
            Note(css, s.inner);
        }
    }
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

    bool ReadComplex(Complex& out) {
        Compound first;
        if (!ReadCompound(first)) return false;
        out.parts.push_back(std::move(first));
        for (;;) {
            const bool space = SkipSpace();
            char comb = ' ';
            if (Peek() == '>' || Peek() == '+' || Peek() == '~') {
                comb = m_s[m_i++];
                SkipSpace();
            } else if (!space || AtEnd() || Peek() == ',') {
                return true;
            }
            Compound next;
            if (!ReadCompound(next)) return false;
            out.combinators += comb;
            out.parts.push_back(std::move(next));
        }
    }

    // A type (or *) and its conditions.
    bool ReadCompound(Compound& out) {
        bool any = false;
        if (Eat('*')) {
            any = true;
        } else if (IsNameChar(Peek()) || Peek() == '\\') {
            Ident(out.tag);
            out.tag = Lower(out.tag);
            any = true;
        }
        for (;;) {
            const char c = Peek();
            if (c != '#' && c != '.' && c != '[' && c != ':') break;
            if (!ReadSimple(out.tag, out.conds)) return false;
            any = true;
        }
        if (!any) return Fail(AtEnd() ? Tr("缺少选择器") : Tr("无法识别"));
        return true;
    }

    // One condition (a pseudo-class may give two); `tag` is the compound's type.
    bool ReadSimple(const std::string& tag, std::vector<Simple>& conds) {
        Simple s;
        if (Eat('#')) {
            s.kind = Simple::kId;
            if (!Ident(s.name)) return Fail(Tr("# 后缺少 id"));
        } else if (Eat('.')) {
            s.kind = Simple::kClass;
            if (!Ident(s.name)) return Fail(Tr(". 后缺少类名"));
        } else if (Eat('[')) {
            if (!ReadAttribute(s)) return false;
        } else if (Eat(':')) {
            return ReadPseudo(tag, conds);
        } else {
            return Fail(Tr("无法识别"));
        }
        conds.push_back(std::move(s));
        return true;
    }

    bool ReadAttribute(Simple& s) {
        s.kind = Simple::kAttr;
        SkipSpace();
        if (!Ident(s.name)) return Fail(Tr("[ 后缺少属性名"));
        s.name = Lower(s.name);
        SkipSpace();
        if (Eat(']')) return true;
        if (Peek() == '=') {
            s.op = '=';
            ++m_i;
        } else if (m_i + 1 < m_s.size() && std::string("~|^$*").find(Peek()) != std::string::npos &&
                   m_s[m_i + 1] == '=') {
            s.op = Peek();
            m_i += 2;
        } else {
            return Fail(Tr("无法识别的属性比较"));
        }
        SkipSpace();
        if (Peek() == '"' || Peek() == '\'') {
            if (!Quoted(s.value)) return false;
        } else if (!Ident(s.value)) {
            return Fail(Tr("缺少属性值"));
        }
        SkipSpace();
        if (!Eat(']')) return Fail(Tr("缺少 ]"));
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

    static Simple Position(long a, long b, bool fromEnd, bool ofType) {
        Simple s;
        s.kind = Simple::kNth;
        s.a = a;
        s.b = b;
        s.bFromEnd = fromEnd;
        s.bOfType = ofType;
        return s;
    }

    bool ReadPseudo(const std::string& tag, std::vector<Simple>& conds) {
        std::string name;
        if (!Ident(name)) return Fail(Tr(": 后缺少伪类名"));
        name = Lower(name);
        const bool ofType = name.size() > 8 && name.compare(name.size() - 8, 8, "-of-type") == 0;
        if (ofType && tag == "*") return Fail(Fill(Tr(":{0} 需要元素名"), {name}));
        if (name == "first-child" || name == "first-of-type") {
            conds.push_back(Position(0, 1, false, ofType));
        } else if (name == "last-child" || name == "last-of-type") {
            conds.push_back(Position(0, 1, true, ofType));
        } else if (name == "only-child" || name == "only-of-type") {
            conds.push_back(Position(0, 1, false, ofType));
            conds.push_back(Position(0, 1, true, ofType));
        } else if (name == "empty") {
            Simple s;
            s.kind = Simple::kEmpty;
            conds.push_back(s);
        } else if (name == "nth-child" || name == "nth-last-child" || name == "nth-of-type" ||
                   name == "nth-last-of-type") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            long a = 0, b = 0;
            if (!Nth(a, b)) return false;
            if (!Eat(')')) return Fail(Tr("缺少 )"));
            conds.push_back(Position(a, b, name.find("-last-") != std::string::npos, ofType));
        } else if (name == "not") {
            if (!Eat('(')) return Fail(Tr("缺少 ("));
            SkipSpace();
            Simple s;
            s.kind = Simple::kNot;
            if (Eat('*')) {
                s.name = "*";
            } else if (IsNameChar(Peek()) || Peek() == '\\') {
                Ident(s.name);
                s.name = Lower(s.name);
            } else if (!ReadSimple(tag, s.inner)) {
                return false;
            }
            SkipSpace();
            if (!Eat(')')) return Fail(Tr(":not() 只接受一个简单选择器"));
            conds.push_back(std::move(s));
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

bool ReadCss(const std::string& text, CssList& css, std::string& error) {
    return CssReader(text).Read(css, error);
}

}  // namespace content
}  // namespace sentrel
