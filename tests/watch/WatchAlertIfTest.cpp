// sentrel-watch with conditions on a text row: told only when one is met, quiet changes
// kept as versions, and the versions listed and compared.
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>

#include "WatchFixture.h"
#include "testsupport/HookReceiver.h"
#include "testsupport/ShopPage.h"

using namespace sentrel;
using namespace sentrel::test;
using namespace std::chrono_literals;


TEST(WatchAlertIf, OnlyAMetConditionIsToldQuietChangesAreKeptAndEveryVersionCompares) {
    ShopPage shop;
    shop.Set("1.299,00", "Sold out");
    HookReceiver hook;
    Profile p;
    p.List({});
    WriteFile(p.home.File("sentrel.ini"), "webhook=" + hook.Url() + "\n");
    const std::string url = shop.server.Url("/kettle");
    int code = -1;
    // A bad rule is refused, named; the list stays as it was.
    for (const auto& [rule, names] : std::vector<std::pair<std::string, std::string>>{
             {"below:cheap", "below:cheap"}, {"price:5", "price:5"}, {"added:/(/", "added:/(/"}}) {
        const std::string said =
            p.Errors({"--add", url, "--compare", "text", "--alert-if", "appears:x", "--alert-if", rule}, &code);
        EXPECT_EQ(2, code) << rule;
        EXPECT_NE(std::string::npos, said.find(names)) << said;
        EXPECT_NE(std::string::npos, said.find("第 2 行")) << said;
    }
    p.Errors({"--add", url, "--alert-if", "below:1000"}, &code);
    EXPECT_EQ(2, code) << "a size row has no conditions";
    EXPECT_TRUE(p.Stored().empty());
    EXPECT_EQ("", p.Run({"--add", url, "--compare", "text", "--alert-if", "below:1.000",
                         "--alert-if", "appears:in stock"},
                        &code));
    EXPECT_EQ(0, code);
    std::string out = p.Run({"--list", "--json"}, &code);
    EXPECT_NE(std::string::npos, out.find("\"alert_if\":[\"below:1.000\",\"appears:in stock\"]")) << out;

    struct Step {
        const char* price;
        const char* stock;
        int code;        // of a --once --json pass
        const char* kind;  // of the event it prints; "" none
        const char* because;
    } steps[] = {
        {"1.299,00", "Sold out", 0, "", ""},         // the first text: a version, nothing told
        {"1.199,00", "Sold out", 0, "quiet", ""},    // no condition met
        {"999,00", "Sold out", 1, "changed", "below:1.000"},
        {"989,00", "Sold out", 0, "quiet", ""},      // still below: no second alert
        {"989,00", "In stock", 1, "changed", "appears:in stock"},
        {"1.050,00", "In stock", 0, "quiet", ""},
        {"950,00", "In stock", 1, "changed", "below:1.000"},  // the next crossing
    };
    int told = 0;
    for (const Step& s : steps) {
        shop.Set(s.price, s.stock);
        out = p.Run({"--once", "--json"}, &code);
        EXPECT_EQ(s.code, code) << s.price << out;
        if (!*s.kind) {
            EXPECT_EQ("", out);
            continue;
        }
        EXPECT_NE(std::string::npos, out.find(std::string("\"kind\":\"") + s.kind + "\"")) << out;
        const std::string added = &s - steps > 0 && std::string(s.price) == (&s)[-1].price
                                      ? std::string(s.stock)
                                      : "Price: " + std::string(s.price);
        EXPECT_NE(std::string::npos, out.find("\"added\":[\"" + added)) << out;
        EXPECT_EQ(*s.because != 0, out.find(std::string("\"because\":\"") + s.because + "\"") !=
                                       std::string::npos)
            << out;
        told += s.code == 1;
    }
    // The hook heard the told changes only, each with its condition.
    ASSERT_EQ(static_cast<std::size_t>(told), hook.Posts().size());
    EXPECT_NE(std::string::npos, hook.Posts()[0].body.find("\"because\":\"below:1.000\""));
    // Without --json a quiet change prints nothing and exits 0.
    shop.Set("951,00", "In stock");
    EXPECT_EQ("", p.Run({"--once"}, &code));
    EXPECT_EQ(0, code);

    // Eight versions, kept across every run, newest first.
    out = p.Run({"--history", url, "--json"}, &code);
    EXPECT_EQ(0, code);
    EXPECT_EQ(0u, out.find("{\"version\":8,\"time\":\"")) << out;
    EXPECT_NE(std::string::npos, out.find("\"added\":1,\"removed\":1,\"kind\":\"quiet\"}\n{\"version\":7,")) << out;
    EXPECT_NE(std::string::npos, out.find("\"kind\":\"told\",\"because\":\"below:1.000\"}\n{\"version\":6,"))
        << out;
    EXPECT_NE(std::string::npos, out.find("{\"version\":1,")) << out;
    EXPECT_EQ(8, std::count(out.begin(), out.end(), '\n'));
    out = p.Run({"--diff", url}, &code);
    EXPECT_EQ("- Price: 950,00 €\n+ Price: 951,00 €\n", out);
    out = p.Run({"--diff", url, "--from", "1", "--to", "5", "--words"}, &code);
    EXPECT_EQ("~ Price: [-1.299,00-] {+989,00+} €\n~ [-Sold out-] {+In stock+}\n", out);
    p.Errors({"--diff", url, "--to", "9"}, &code);
    EXPECT_EQ(2, code) << "no ninth version";
    EXPECT_NE(std::string::npos, p.Errors({"--history", "http://127.0.0.1:9/none"}, &code).find("127.0.0.1:9"));
    EXPECT_EQ(2, code);
    // A smaller depth keeps the newest only, from the next version on.
    WriteFile(p.home.File("sentrel.ini"), "historydepth=3\n");
    shop.Set("800,00", "In stock");
    p.Run({"--once"}, &code);
    out = p.Run({"--history", url}, &code);
    EXPECT_EQ(3, std::count(out.begin(), out.end(), '\n')) << out;
    EXPECT_EQ(0u, out.find("3\t")) << out;
}

TEST(WatchAlertIf, AStoredConditionThatNoLongerReadsIsToldOnceAndFailsItsRow) {
    ShopPage shop;
    shop.Set("10", "In stock");
    Profile p;
    const std::string url = shop.server.Url("/kettle");
    // A list edited by hand: a condition no version reads, as long as a paragraph.
    UrlRow row{url, "", "0", "", "", "text"};
    row.alertIf = "appears:x\nbelow:" + std::string(200, 'x');
    p.List({row});
    int code = -1;
    const std::string said = p.Errors({"--once"}, &code);
    EXPECT_EQ(2, code);
    EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << "told once: " << said;
    EXPECT_NE(std::string::npos, said.find(url + " ")) << said;
    EXPECT_NE(std::string::npos, said.find("第 2 行")) << said;
    EXPECT_EQ(std::string::npos, said.find(std::string(100, 'x'))) << "named by its start: " << said;
    for (const char* price : {"10", "12"}) {
        shop.Set(price, "In stock");
        const std::string out = p.Run({"--once"}, &code);
        EXPECT_EQ(2, code) << out;
        EXPECT_NE(std::string::npos, out.find(" failing " + url + " 提醒条件第 2 行")) << "never a change: " << out;
    }
}
