// Which charset a page is in, read as browsers read it, and its text as UTF-8.
#include <gtest/gtest.h>

#include "content/Charset.h"
#include "content/PageText.h"

using namespace sentrel::content;
using namespace std::string_literals;

TEST(Charset, ByHeaderBomAndMetaAndEveryByteReadsAsUtf8) {
    struct Case {
        const char* what;
        std::string contentType, body, charset;
    } cases[] = {
        {"header", "text/html; charset=GBK", "<p>\xD6\xD0\xCE\xC4</p>", "GB18030"},
        {"quoted header label", "text/html;charset=\"windows-1252\"", "<p>caf\xE9</p>", "windows-1252"},
        {"BOM over header", "text/html; charset=iso-8859-1", "\xEF\xBB\xBF<p>\xE4\xB8\xAD</p>", "UTF-8"},
        {"meta charset", "text/html", "<meta charset=\"gb2312\"><p>\xD6\xD0\xCE\xC4</p>", "GB18030"},
        {"meta http-equiv", "",
         "<!-- <meta charset=big5> --><meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=latin1\"><p>caf\xE9</p>",
         "windows-1252"},
        {"meta past 1024 bytes is not read", "", std::string(1100, ' ') + "<meta charset=gbk>", "UTF-8"},
        {"nothing said", "text/html", "<p>\xE4\xB8\xAD</p>", "UTF-8"},
        {"unknown label", "text/html; charset=x-unheard-of", "<p>a</p>", "UTF-8"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.charset, SniffCharset(c.contentType, c.body)) << c.what;

    EXPECT_EQ("中文\n", VisibleText(DecodeBody("text/html; charset=gbk", "<p>\xD6\xD0\xCE\xC4</p>")));
    EXPECT_EQ("€ café\n", VisibleText(DecodeBody("text/html; charset=windows-1252",
                                                   "<p>\x80 caf\xE9</p>")));
    EXPECT_EQ("中\n", VisibleText(DecodeBody("", "\xFF\xFE<\0p\0>\0\x2D\x4E<\0/\0p\0>\0"s)));
    // A byte the charset has no character for is U+FFFD, and the rest still reads.
    EXPECT_EQ("a\xEF\xBF\xBD" "b\n", VisibleText(DecodeBody("text/html; charset=utf-8", "<p>a\xFF" "b</p>")));
    EXPECT_EQ("中\xEF\xBF\xBD\n", VisibleText(DecodeBody("text/html; charset=gb18030", "<p>\xD6\xD0\xFF</p>")));
}
