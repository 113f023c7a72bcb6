#include "base/Translate.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace sentrel {

namespace {

// Set once, before threads read them, and never destroyed: a worker given up at the exit
// (a mail that did not end in time) may still look a text up while the program ends.
std::shared_ptr<const Catalog>& g_catalog = *new std::shared_ptr<const Catalog>();
std::string& g_language = *new std::string("zh");
std::string& g_languageProblem = *new std::string();

// A plural rule is a few characters: anything far longer or deeper is no rule.
constexpr std::size_t kMaxRuleLength = 256;
constexpr int kMaxRuleDepth = 32;
constexpr std::size_t kMaxCatalogBytes = 16 * 1024 * 1024;

// A C expression of n, as the Plural-Forms header writes it: ?:, ||, &&, comparisons,
// + - * / %, !, parentheses, numbers and n. Read anew for each count: catalogs' rules are
// a few characters long, and counts are told rarely.
class PluralExpression {
  public:
    PluralExpression(std::string_view text, unsigned long n) : m_s(text), m_n(n) {}
    unsigned long Value() {
        const unsigned long v = m_s.size() > kMaxRuleLength ? 0 : Ternary();
        Space();
        if (m_i != m_s.size()) m_bad = true;
        return m_bad ? 0 : v;
    }
    /// True when the rule read whole.
    bool Read() {
        Value();
        return !m_bad && m_s.size() <= kMaxRuleLength;
    }

  private:
    void Space() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t')) ++m_i;
    }
    bool Eat(const char* op) {
        Space();
        const std::size_t n = std::strlen(op);
        if (m_s.compare(m_i, n, op) != 0) return false;
        // "<" is not "<=", "!" is not "!=", "=" alone is nothing.
        if (n == 1 && m_i + 1 < m_s.size() && m_s[m_i + 1] == '=' && std::strchr("<>!", op[0]))
            return false;
        m_i += n;
        return true;
    }
    // Each nesting goes deeper by one; too deep is a rule that does not read.
    struct Deeper {
        explicit Deeper(PluralExpression& e) : e(e) {
            if (++e.m_depth > kMaxRuleDepth) e.m_bad = true;
        }
        ~Deeper() { --e.m_depth; }
        PluralExpression& e;
    };
    unsigned long Ternary() {
        Deeper deeper(*this);
        if (m_bad) return 0;
        const unsigned long c = Or();
        if (!Eat("?")) return c;
        const unsigned long a = Ternary();
        if (!Eat(":")) m_bad = true;
        const unsigned long b = Ternary();
        return c ? a : b;
    }
    unsigned long Or() {
        unsigned long v = And();
        while (Eat("||")) v = (And() || v) ? 1 : 0;
        return v;
    }
    unsigned long And() {
        unsigned long v = Equality();
        while (Eat("&&")) v = (Equality() && v) ? 1 : 0;
        return v;
    }
    unsigned long Equality() {
        unsigned long v = Relation();
        for (;;) {
            if (Eat("==")) v = v == Relation();
            else if (Eat("!=")) v = v != Relation();
            else return v;
        }
    }
    unsigned long Relation() {
        unsigned long v = Sum();
        for (;;) {
            if (Eat("<=")) v = v <= Sum();
            else if (Eat(">=")) v = v >= Sum();
            else if (Eat("<")) v = v < Sum();
            else if (Eat(">")) v = v > Sum();
            else return v;
        }
    }
    unsigned long Sum() {
        unsigned long v = Product();
        for (;;) {
            if (Eat("+")) v += Product();
            else if (Eat("-")) v -= Product();
            else return v;
        }
    }
    unsigned long Product() {
        unsigned long v = Unary();
        for (;;) {
            if (Eat("*")) {
                v *= Unary();
            } else if (Eat("/") || Eat("%")) {
                const char op = m_s[m_i - 1];
                const unsigned long d = Unary();
                if (d == 0) {
                    m_bad = true;
                    return 0;
                }
                v = op == '/' ? v / d : v % d;
            } else {
                return v;
            }
        }
    }
    unsigned long Unary() {
        Deeper deeper(*this);
        if (m_bad) return 0;
        if (Eat("!")) return Unary() ? 0 : 1;
        Space();
        if (Eat("(")) {
            const unsigned long v = Ternary();
            if (!Eat(")")) m_bad = true;
            return v;
        }
        if (m_i < m_s.size() && m_s[m_i] == 'n') {
            ++m_i;
            return m_n;
        }
        unsigned long v = 0;
        const std::size_t start = m_i;
        while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9') v = v * 10 + (m_s[m_i++] - '0');
        if (m_i == start) m_bad = true;
        return v;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    unsigned long m_n;
    bool m_bad = false;
    int m_depth = 0;
};

std::uint32_t Word(std::string_view b, std::size_t at, bool swap) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    if (swap) v = (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
    return v;
}

}  // namespace

bool Catalog::Load(const std::string& path, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), ec);
    std::ifstream in;
    if (!ec && std::filesystem::is_regular_file(status)) in.open(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::string bytes;
    char chunk[65536];
    while (bytes.size() <= kMaxCatalogBytes && in.read(chunk, sizeof chunk).gcount() > 0)
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxCatalogBytes) {
        error = path + ": too large for a message catalog";
        return false;
    }
    return Parse(bytes, error) || (error = path + ": " + error, false);
}

bool Catalog::Parse(std::string_view b, std::string& error) {
    if (b.size() < 28) {
        error = "not a message catalog";
        return false;
    }
    std::uint32_t magic;
    std::memcpy(&magic, b.data(), 4);
    const bool swap = magic == 0xde120495u;
    if (!swap && magic != 0x950412deu) {
        error = "not a message catalog";
        return false;
    }
    const std::uint32_t count = Word(b, 8, swap), originals = Word(b, 12, swap),
                        translations = Word(b, 16, swap);
    auto entry = [&](std::uint32_t table, std::uint32_t i, std::string_view& out) {
        const std::uint64_t at = std::uint64_t(table) + 8ull * i;
        if (at + 8 > b.size()) return false;
        const std::uint32_t length = Word(b, at, swap), offset = Word(b, at + 4, swap);
        if (std::uint64_t(offset) + length > b.size()) return false;
        out = b.substr(offset, length);
        return true;
    };
    // Every text once, none beyond the file: what the catalog holds is bounded by its size.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> spans;
    std::vector<std::pair<std::string_view, std::string_view>> pairs;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view original, translation;
        if (!entry(originals, i, original) || !entry(translations, i, translation)) {
            error = "a damaged message catalog";
            return false;
        }
        for (std::string_view text : {original, translation})
            if (!text.empty())
                spans.push_back({static_cast<std::uint64_t>(text.data() - b.data()),
                                 static_cast<std::uint32_t>(text.size())});
        pairs.push_back({original, translation});
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i - 1].first + spans[i - 1].second > spans[i].first) {
            error = "a damaged message catalog (its texts overlap)";
            return false;
        }
    std::unordered_map<std::string, std::vector<std::string>> texts;
    std::string plural;
    for (const auto& [original, translation] : pairs) {
        if (original.empty()) {  // the header: only the plural rule matters here
            const std::size_t at = translation.find("plural=");
            if (at != std::string_view::npos) {
                const std::size_t end = translation.find_first_of(";\n", at);
                plural = std::string(translation.substr(at + 7, end - at - 7));
            }
            continue;
        }
        // A text with a plural is "one\0many"; its forms are "form0\0form1...".
        const std::string key(original.substr(0, original.find('\0')));
        std::vector<std::string> forms;
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = translation.find('\0', start);
            forms.emplace_back(translation.substr(start, end - start));
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
        if (!forms.empty() && !forms[0].empty()) texts[key] = std::move(forms);
    }
    m_problem.clear();
    if (!plural.empty() && !PluralExpression(plural, 1).Read()) {
        m_problem = "its plural rule does not read; the English rule is used";
        plural = "n != 1";
    }
    m_texts = std::move(texts);
    m_plural = std::move(plural);
    return true;
}

const std::string* Catalog::Find(std::string_view text) const {
    auto it = m_texts.find(std::string(text));
    return it == m_texts.end() ? nullptr : &it->second[0];
}

unsigned long Catalog::PluralIndex(unsigned long n) const {
    return m_plural.empty() ? 0 : PluralExpression(m_plural, n).Value();
}

const std::string* Catalog::FindPlural(std::string_view one, unsigned long n) const {
    auto it = m_texts.find(std::string(one));
    if (it == m_texts.end()) return nullptr;
    const unsigned long i = PluralIndex(n);
    return &it->second[i < it->second.size() ? i : it->second.size() - 1];
}

void UseCatalog(std::shared_ptr<const Catalog> catalog) {
    g_catalog = std::move(catalog);
}

const std::string& CurrentLanguage() {
    return g_language;
}

const std::string& LanguageProblem() {
    return g_languageProblem;
}

std::string Tr(const char* text) {
    const std::string* found = g_catalog ? g_catalog->Find(text) : nullptr;
    return found ? *found : std::string(text);
}

std::string TrN(const char* one, const char* many, unsigned long n) {
    const std::string* found = g_catalog ? g_catalog->FindPlural(one, n) : nullptr;
    return found ? *found : std::string(n == 1 ? one : many);
}

std::string Fill(const std::string& pattern, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(pattern.size() + 16);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
            pattern[i + 1] >= '0' && pattern[i + 1] <= '9' &&
            static_cast<std::size_t>(pattern[i + 1] - '0') < args.size()) {
            out += args[static_cast<std::size_t>(pattern[i + 1] - '0')];
            i += 2;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

namespace {
// The language part of a locale name, lower case: "en_US.UTF-8@euro" is "en".
std::string LanguageOf(const std::string& locale) {
    std::string lang = locale.substr(0, locale.find_first_of("_.@"));
    for (char& c : lang) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lang;
}
}  // namespace

std::string ChooseLanguage(const std::string& setting, const std::string& locale,
                           const std::vector<std::string>& available) {
    auto has = [&](const std::string& lang) {
        for (const std::string& a : available)
            if (a == lang) return true;
        return false;
    };
    if (setting == "zh") return "zh";
    if (setting == "en") return "en";
    const std::string lang = LanguageOf(locale);
    if (lang.empty() || lang == "c" || lang == "posix" || lang == "zh") return "zh";
    return has(lang) ? lang : "en";
}

std::string SystemLocale() {
#ifdef _WIN32
    const LANGID id = GetUserDefaultUILanguage();
    return PRIMARYLANGID(id) == LANG_CHINESE ? "zh_CN" : PRIMARYLANGID(id) == LANG_ENGLISH ? "en_US" : "xx";
#else
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) return v;
    }
    return "C";
#endif
}

bool UseLanguage(const std::string& setting, const std::string& localeDir) {
    auto catalogOf = [&](const std::string& lang) {
        return localeDir + "/" + lang + "/LC_MESSAGES/sentrel.mo";
    };
    // The locale's own language where a catalog of it is installed, else English.
    const std::string locale = SystemLocale();
    const std::string asked = LanguageOf(locale);
    std::vector<std::string> available = {"en"};
    if (!asked.empty() && std::ifstream(catalogOf(asked)).good()) available.push_back(asked);
    const std::string lang = ChooseLanguage(setting, locale, available);
    g_language = "zh";
    g_languageProblem.clear();
    if (lang == "zh") {
        UseCatalog(nullptr);
        return false;
    }
    auto catalog = std::make_shared<Catalog>();
    std::string error;
    if (!catalog->Load(catalogOf(lang), error)) {
        // A catalog that is there but unusable is told; a language without one is not.
        if (std::ifstream(catalogOf(lang)).good()) g_languageProblem = error;
        UseCatalog(nullptr);
        return false;
    }
    if (!catalog->Problem().empty()) g_languageProblem = catalogOf(lang) + ": " + catalog->Problem();
    UseCatalog(std::move(catalog));
    g_language = lang;
    return true;
}

}  // namespace sentrel
