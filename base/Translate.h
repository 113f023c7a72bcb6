#pragma once
// The user's language. Every text the user reads is written in the source in Chinese, the
// program's own language, and looked up here in the catalog of the language chosen at
// start-up; without a catalog (Chinese, or none found) the Chinese text stands as it is.
// One reader of gettext's .mo files serves the window, sentrel-watch and the Windows build
// alike, from any thread: the catalog is read once and never changed after.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sentrel {

/// One language's translations, read from a gettext .mo file.
class Catalog {
  public:
    /// Reads the file; false with the reason when it is no catalog.
    bool Load(const std::string& path, std::string& error);
    /// Reads a catalog held in memory (the bytes of a .mo file). A catalog whose texts
    /// overlap or reach beyond its bytes is refused: what it holds is bounded by its size.
    bool Parse(std::string_view bytes, std::string& error);
    /// What was wrong with a catalog that was read all the same (a plural rule that does
    /// not read, replaced by English's), or empty.
    const std::string& Problem() const { return m_problem; }

    /// The translation of `text`, or null when the catalog has none.
    const std::string* Find(std::string_view text) const;
    /// The translation of a text with a count: the form the catalog's plural rule picks.
    const std::string* FindPlural(std::string_view one, unsigned long n) const;
    /// The plural form the catalog's rule gives `n` (0 without a rule).
    unsigned long PluralIndex(unsigned long n) const;
    std::size_t Size() const { return m_texts.size(); }

  private:
    std::unordered_map<std::string, std::vector<std::string>> m_texts;
    std::string m_plural;  // the Plural-Forms expression ("n != 1")
    std::string m_problem;
};

/// The language the program speaks from now on (null: Chinese). Set once at start-up,
/// before any thread reads texts.
void UseCatalog(std::shared_ptr<const Catalog> catalog);
/// The language spoken: "zh" (the program's own) unless UseLanguage chose another.
const std::string& CurrentLanguage();

/// `text` (Chinese, UTF-8) in the user's language.
std::string Tr(const char* text);
/// A text with a count: `one` and `many` are the Chinese forms (alike in Chinese, which
/// has no plural), the catalog chooses by `n`. The count is not put in: the text's %d or
/// {n} is its caller's to fill.
std::string TrN(const char* one, const char* many, unsigned long n);

/// `pattern` with {0}, {1}... replaced by the arguments: a translation may put them in
/// another order than the Chinese text.
std::string Fill(const std::string& pattern, const std::vector<std::string>& args);

/// Marks a text for the catalog where it is translated later (a table of texts); wx
/// defines it alike.
#ifndef N_
#define N_(s) (s)
#endif

/// Which catalog a language setting asks for: "zh" (none), "en", or the system's choice
/// for "" (跟随系统) from the locale name ("en_US.UTF-8", "zh_CN", "C", "POSIX", "de").
/// The C/POSIX locale and Chinese keep the program's own language; a language without a
/// catalog among `available` falls back to English.
std::string ChooseLanguage(const std::string& setting, const std::string& locale,
                           const std::vector<std::string>& available);

/// The locale the environment asks for messages (LC_ALL, else LC_MESSAGES, else LANG),
/// or, on Windows, the user's interface language ("zh_CN", "en_US").
std::string SystemLocale();

/// Loads the catalog `language` asks for from `localeDir/<lang>/LC_MESSAGES/sentrel.mo`
/// and uses it; false (Chinese stays) when there is none to be had.
bool UseLanguage(const std::string& setting, const std::string& localeDir);
/// What went wrong when the language was chosen (a catalog refused, or read with a
/// problem), for the program to tell once; empty when nothing did.
const std::string& LanguageProblem();

}  // namespace sentrel
