// The catalog reader, its plural rules, and which language a start-up chooses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "base/Translate.h"
#include "testsupport/TempDir.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {
// A catalog as msgfmt makes it, from a .po text.
bool Compile(const TempDir& dir, const std::string& po, Catalog& catalog) {
    if (std::system("msgfmt --version >/dev/null 2>&1") != 0) return false;
    std::ofstream(dir.File("t.po")) << po;
    const std::string cmd = "msgfmt --check -o " + dir.File("t.mo") + " " + dir.File("t.po");
    if (std::system(cmd.c_str()) != 0) return false;
    std::string error;
    return catalog.Load(dir.File("t.mo"), error);
}
}  // namespace

#define NEEDS_MSGFMT() \
    if (std::system("msgfmt --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no msgfmt here"

TEST(Translate, ACatalogGivesTextsAndPluralFormsAndChineseStandsWithoutOne) {
    NEEDS_MSGFMT();
    TempDir dir;
    Catalog catalog;
    ASSERT_TRUE(Compile(dir,
                        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                        "\"Plural-Forms: nplurals=2; plural=(n != 1);\\n\"\n\n"
                        "msgid \"有更新！\"\nmsgstr \"Changed!\"\n\n"
                        "msgid \"未译\"\nmsgstr \"\"\n\n"
                        "msgid \"{0} 个网页有更新：\"\nmsgid_plural \"{0} 个网页有更新：\"\n"
                        "msgstr[0] \"{0} page changed:\"\nmsgstr[1] \"{0} pages changed:\"\n",
                        catalog));
    EXPECT_EQ("有更新！", Tr("有更新！")) << "no catalog: Chinese";
    UseCatalog(std::make_shared<Catalog>(catalog));
    EXPECT_EQ("Changed!", Tr("有更新！"));
    EXPECT_EQ("未译", Tr("未译")) << "an empty translation is none";
    EXPECT_EQ("1 page changed:", Fill(TrN("{0} 个网页有更新：", "{0} 个网页有更新：", 1), {"1"}));
    EXPECT_EQ("3 pages changed:", Fill(TrN("{0} 个网页有更新：", "{0} 个网页有更新：", 3), {"3"}));
    UseCatalog(nullptr);
    EXPECT_EQ("3 个网页有更新：", Fill(TrN("{0} 个网页有更新：", "{0} 个网页有更新：", 3), {"3"}));
    EXPECT_EQ("b then a", Fill("{1} then {0}", {"a", "b"}));

    std::string error;
    EXPECT_FALSE(catalog.Parse("not a catalog at all, really", error));
    EXPECT_FALSE(error.empty());
}

TEST(Translate, PluralRulesOfOtherLanguagesAreEvaluated) {
    NEEDS_MSGFMT();
    struct Case {
        const char* rule;
        unsigned long n, form;
    } cases[] = {
        {"(n != 1)", 1, 0}, {"(n != 1)", 0, 1}, {"n>1", 1, 0}, {"n>1", 2, 1},
        {"n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2", 22, 1},
        {"n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2", 12, 2},
        {"0", 5, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        Catalog catalog;
        ASSERT_TRUE(Compile(dir,
                            std::string("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                                        "\"Plural-Forms: nplurals=3; plural=") +
                                c.rule + ";\\n\"\n",
                            catalog))
            << c.rule;
        EXPECT_EQ(c.form, catalog.PluralIndex(c.n)) << c.rule << " n=" << c.n;
    }
}

TEST(Translate, TheLanguageFollowsTheSettingElseTheLocale) {
    struct Case {
        const char* setting;
        const char* locale;
        const char* language;
    } cases[] = {
        {"", "en_US.UTF-8", "en"}, {"", "en_GB", "en"},   {"", "zh_CN.UTF-8", "zh"},
        {"", "zh_TW", "zh"},       {"", "C", "zh"},       {"", "POSIX", "zh"},
        {"", "", "zh"},            {"", "de_DE.UTF-8", "en"},  // no catalog: English
        {"zh", "en_US.UTF-8", "zh"}, {"en", "zh_CN", "en"}, {"en", "C", "en"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.language, ChooseLanguage(c.setting, c.locale, {"en"}))
            << "'" << c.setting << "' in " << c.locale;
}

namespace {
// The bytes of a .mo file holding these (original, translation) pairs, the header first;
// `overlap` makes every translation after the header's point at the next one's bytes.
std::string MoBytes(const std::vector<std::pair<std::string, std::string>>& pairs, bool overlap = false) {
    auto word = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const std::uint32_t n = static_cast<std::uint32_t>(pairs.size());
    const std::uint32_t originals = 28, translations = originals + 8 * n, data = translations + 8 * n;
    std::string head, tables[2], strings;
    word(head, 0x950412de), word(head, 0), word(head, n), word(head, originals), word(head, translations);
    word(head, 0), word(head, 0);
    std::uint32_t shared = 0;
    for (int side = 0; side < 2; ++side)
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const std::string& text = side == 0 ? pairs[i].first : pairs[i].second;
            std::uint32_t at = data + static_cast<std::uint32_t>(strings.size());
            if (side == 1 && overlap && i > 1) {
                at = shared;
            } else {
                if (side == 1 && i == 1) shared = at;
                strings += text + '\0';
            }
            word(tables[side], static_cast<std::uint32_t>(text.size())), word(tables[side], at);
        }
    return head + tables[0] + tables[1] + strings;
}
}  // namespace

TEST(Translate, AHostileCatalogIsRefusedOrReadWithinBounds) {
    const std::string header = "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=2; plural=";
    std::string deep(50000, '(');
    deep += "n != 1" + std::string(50000, ')');
    Catalog catalog;
    std::string error;
    ASSERT_TRUE(catalog.Parse(MoBytes({{"", header + deep + ";\n"}, {"一", "one"}}), error)) << error;
    EXPECT_FALSE(catalog.Problem().empty()) << "a rule that does not read is told";
    EXPECT_EQ(0u, catalog.PluralIndex(1)) << "and English's is used";
    EXPECT_EQ(1u, catalog.PluralIndex(5));
    ASSERT_TRUE(catalog.Parse(MoBytes({{"", header + "n != 1;\n"}, {"一", "one"}}), error));
    EXPECT_EQ("", catalog.Problem());
    // A thousand texts that all point at one megabyte: refused at once, not a gigabyte.
    std::vector<std::pair<std::string, std::string>> many = {{"", header + "n != 1;\n"}};
    for (int i = 0; i < 1000; ++i) many.push_back({"t" + std::to_string(i), std::string(1 << 20, 'x')});
    const std::string overlapping = MoBytes(many, true);
    EXPECT_LT(overlapping.size(), 3u << 20);
    EXPECT_FALSE(catalog.Parse(overlapping, error));
    EXPECT_NE(std::string::npos, error.find("overlap")) << error;
}
