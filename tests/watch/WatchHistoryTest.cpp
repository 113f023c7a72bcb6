// sentrel-watch's --history and --diff: a version that cannot be rebuilt as it was kept is
// told, never shown, and no message shows a URL's password.
#include <gtest/gtest.h>

#include "WatchFixture.h"
#include "testsupport/Sanitized.h"
#include "testsupport/ShopPage.h"

#include "../store/StoreSql.h"

using namespace sentrel;
using namespace sentrel::test;

TEST(WatchHistory, ADamagedVersionIsToldAndNoMessageShowsAPassword) {
    ShopPage shop;
    Profile p;
    p.List({});
    // The server takes any user: the URL's password is only the user's secret.
    std::string url = shop.server.Url("/kettle");
    url.insert(url.find("://") + 3, "user:secret@");
    int code = -1;
    ASSERT_EQ("", p.Run({"--add", url, "--compare", "text"}, &code));
    for (const char* price : {"10", "20", "30"}) {
        shop.Set(price, "In stock");
        p.Run({"--once"}, &code);
    }
    EXPECT_EQ("- Price: 10 €\n+ Price: 20 €\n", p.Run({"--diff", url, "--from", "1", "--to", "2"}, &code));
    EXPECT_EQ(0, code);
    // Each message that names the page names it without its password.
    std::string hidden = url;
    hidden.replace(hidden.find("secret"), 6, "***");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--diff", url, "--to", "9"}, {"--history", url + "x"}, {"--remove", url + "x"}}) {
        const std::string said = p.Errors(args, &code);
        EXPECT_EQ(2, code) << args[0];
        EXPECT_EQ(std::string::npos, said.find("secret")) << said;
        EXPECT_NE(std::string::npos, said.find(hidden.substr(0, hidden.find("/kettle")))) << said;
    }
    // The oldest version's delta altered by hand: it still applies, and makes another text.
    Sql(p.home.File("user.mdb"),
        "UPDATE T_VERSION SET body = CAST(replace(CAST(body AS TEXT), '10', '11') AS BLOB) WHERE seq = 1");
    const std::string said = p.Errors({"--diff", url, "--from", "1", "--to", "2"}, &code);
    EXPECT_EQ(2, code);
    EXPECT_NE(std::string::npos, said.find("第 1 个版本已损坏")) << said;
    EXPECT_EQ("", p.Run({"--diff", url, "--from", "1", "--to", "2"}, &code)) << "nothing of it shown";
    EXPECT_EQ("- Price: 20 €\n+ Price: 30 €\n", p.Run({"--diff", url}, &code)) << "the others as ever";
}

TEST(WatchHistory, AWordDiffOfManyLongLinesIsBounded) {
    Profile p;
    const std::string url = "http://127.0.0.1:9/long";
    p.List({{url, "", "4", "", "", "text"}});
    // 34 changed lines of 9,999 one-letter words: a page's text within what is kept of one.
    std::string before, after, error;
    for (int line = 0; line < 34; ++line) {
        for (int w = 0; w < 9999; ++w) {
            before += std::string(1, static_cast<char>('a' + (w * 7 + line) % 26)) + " ";
            after += std::string(1, static_cast<char>('a' + (w * 11 + line) % 26)) + " ";
        }
        before += "\n";
        after += "\n";
    }
    TextStore store(p.home.File("user.mdb"));
    ASSERT_TRUE(store.KeepText(url, before, 10, {}, error)) << error;
    ASSERT_TRUE(store.KeepText(url, after, 20, {}, error)) << error;
    int code = -1;
    const auto start = std::chrono::steady_clock::now();
    const std::string out = p.Run({"--diff", url, "--words"}, &code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4 * test::kSlower));
    EXPECT_EQ(0, code);
    std::size_t marked = 0, whole = 0;
    for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1)
        (out.compare(at, 2, "~ ") == 0 ? marked : whole) += 1;
    // Two pairs fit the words of one comparison; a slow build may fit only one in its time.
    EXPECT_TRUE(marked == 2 || marked == 1) << marked << " lines by their words";
    EXPECT_EQ(2 * (34 - marked), whole) << "the rest whole";
}
