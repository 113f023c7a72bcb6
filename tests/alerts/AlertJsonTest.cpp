// The event as JSON: one line, members in their documented order, any text quoted right.
#include <gtest/gtest.h>

#include "alerts/AlertJson.h"

using namespace sentrel;

TEST(AlertJson, AnyTextIsQuotedAsJsonAndTheEventKeepsItsOrder) {
    const std::pair<std::string, std::string> texts[] = {
        {"say \"hi\" \\ there", R"("say \"hi\" \\ there")"},
        {"tab\tnew\nline\r\x01\x1b\x7f", R"("tab\tnew\nline\r\u0001\u001b)" "\x7f\""},
        {"中文 é", "\"中文 é\""},
        {"gbk \xd6\xd0 cut \xe4\xb8", "\"gbk \xEF\xBF\xBD\xEF\xBF\xBD cut \xEF\xBF\xBD\""},
    };
    for (const auto& [text, json] : texts) EXPECT_EQ(json, JsonText(JsonObject(text))) << text;

    AlertReport r;
    r.kind = EventKind::Failing;
    r.when = 0;
    r.url = "http://a/";
    r.reason = "HTTP 404";
    const std::string failing = ReportJson(r);
    EXPECT_NE(std::string::npos,
              failing.find("\"url\":\"http://a/\",\"note\":\"\",\"kind\":\"failing\",\"old_size\":null,"
                           "\"new_size\":null,\"reason\":\"HTTP 404\"}"))
        << failing;
    EXPECT_EQ(0u, failing.find("{\"time\":\""));
    r.kind = EventKind::Changed;
    r.reason.clear();
    r.nOldSize = 11;
    r.nNewSize = 12;
    r.bText = true;
    r.added = {"+1"};
    const std::string changed = ReportJson(r);
    EXPECT_NE(std::string::npos,
              changed.find("\"old_size\":11,\"new_size\":12,\"reason\":null,\"added\":[\"+1\"],\"removed\":[]}"))
        << changed;
}
