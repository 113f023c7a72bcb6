// sentrel-watch's --history and --diff: a version that cannot be rebuilt as it was kept is
// told, never shown, and no message shows a URL's password.
#include <gtest/gtest.h>

#include "ShopPage.h"
#include "WatchFixture.h"

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
