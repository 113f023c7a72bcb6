// The text a text row compares: what a reader sees, in UTF-8, read within its bounds.
#include <gtest/gtest.h>

#include "content/PageText.h"
#include "testsupport/HostilePages.h"
#include "testsupport/Sanitized.h"

using namespace sentrel::content;

TEST(PageText, OnlyWhatAReaderSeesOneLinePerBlock) {
    struct Case {
        const char* what;
        const char* html;
        const char* text;
    } cases[] = {
        {"blocks and inline", "<p>One <b>two</b>\n  three</p><div>four<br>five</div>",
         "One two three\nfour\nfive\n"},
        {"script, style, comments, template, noscript",
         "<head><style>p{x}</style><script>var a='<p>';</script></head><body><!-- note -->"
         "<p>kept</p><noscript>no js</noscript><template><p>t</p></template></body>",
         "kept\n"},
        {"head only by its title", "<head><title> The  title </title><meta name=x content=y>"
                                   "</head><body>body</body>",
         "The title\nbody\n"},
        {"hidden parts", "<p hidden>a</p><p style='display: none'>b</p><p>c</p>", "c\n"},
        {"entities and no-break spaces", "<p>&lt;&amp;&gt; &eacute;&nbsp;&#20013;&#x6587;</p>",
         "<&> é 中文\n"},
        {"table cells and list items", "<table><tr><td>a</td><td>b</td></tr></table><ul><li>c<li>d</ul>",
         "a\nb\nc\nd\n"},
        {"pre keeps its lines", "<pre>x  y\nz</pre>", "x y\nz\n"},
        {"empty lines dropped", "<div> </div><p>\n</p><p>x</p>", "x\n"},
        {"markup changes give the same text", "<div class='a' data-t='123'><p>x</p></div>", "x\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, VisibleText(c.html)) << c.what;
}

using sentrel::test::kSlower;

TEST(PageText, HostileMarkupIsReadQuicklyOrRefusedWithinItsBound) {
    std::string attributes = "<html><body><p";
    for (int i = 0; i < 150000; ++i) attributes += " a" + std::to_string(i) + "=1";
    attributes += ">x</p><p hidden>y</p></body></html>";
    std::string unclosed = "<html><body>";
    for (int i = 0; i < 40000; ++i) unclosed += "<div>";
    std::string strays = unclosed + "z";
    for (int i = 0; i < 100000; ++i) strays += "</span>";
    // A span that is open makes every stray end tag a search through 40,000 elements.
    const std::string searched = sentrel::test::SlowPage();
    struct Case {
        const char* what;
        const std::string& page;
        PageReader::Outcome outcome;
        const char* text;
    } cases[] = {
        {"150,000 attributes on one element", attributes, PageReader::Outcome::Ok, "x\n"},
        {"end tags of elements never opened", strays, PageReader::Outcome::Ok, "z\n"},
        {"end tags searched for through deep nesting", searched, PageReader::Outcome::TooComplex, ""},
    };
    for (const Case& c : cases) {
        for (const char* select : {"", "body"}) {
            PageReader reader;
            std::string error, text;
            ASSERT_TRUE(reader.Set(select, "", error));
            ReadBounds bounds;
            bounds.time = std::chrono::milliseconds(500) * kSlower;
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(c.outcome, reader.Read("text/html", c.page, text, bounds)) << c.what << " " << select;
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500) * kSlower) << c.what;
            EXPECT_EQ(c.text, text) << c.what << " " << select;
        }
    }
    // The program's end stops a reading at once.
    PageReader reader;
    std::string error, text;
    ASSERT_TRUE(reader.Set("", "", error));
    ReadBounds bounds;
    bounds.stop = [] { return true; };
    EXPECT_EQ(PageReader::Outcome::Stopped, reader.Read("text/html", searched, text, bounds));
}
