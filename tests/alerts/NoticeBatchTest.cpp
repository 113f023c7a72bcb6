// Notices gathered over two seconds: one notification per kind, naming the first three.
#include <gtest/gtest.h>

#include <algorithm>

#include "alerts/ChangeText.h"
#include "alerts/NoticeBatch.h"
#include "testsupport/English.h"

using namespace sentrel;
using sentrel::test::InEnglish;

TEST(NoticeBatch, EachKindIsOneNotificationNamingTheFirstThree) {
    WatchSession session;
    std::vector<RowId> ids;
    for (int i = 0; i < 5; ++i)
        ids.push_back(
            session.AddRow("http://p" + std::to_string(i) + "/", i == 1 ? "价格" : "", 0));
    NoticeBatch batch;
    EXPECT_TRUE(batch.Add(EventKind::Failing, ids[0])) << "the first notice starts a batch";
    for (RowId id : ids) EXPECT_FALSE(batch.Add(EventKind::Failing, id));
    EXPECT_FALSE(batch.Add(EventKind::Recovered, ids[4]));
    EXPECT_FALSE(batch.Add(EventKind::Changed, ids[2]));
    session.RemoveRow(ids[3]);  // deleted meanwhile: not named

    const std::vector<DesktopNotice> notices = batch.Flush(session);
    ASSERT_EQ(3u, notices.size());
    EXPECT_EQ("有更新！", notices[0].title);
    EXPECT_EQ("http://p2/", notices[0].body);
    EXPECT_EQ(ids[2], notices[0].openRow) << "one page: 打开网页 opens it";
    EXPECT_EQ("访问失败", notices[1].title);
    EXPECT_EQ("4 个网页访问失败：\nhttp://p0/\n价格\nhttp://p2/\n……", notices[1].body);
    EXPECT_EQ(0, notices[1].openRow);
    EXPECT_EQ("已恢复", notices[2].title);
    EXPECT_EQ("http://p4/", notices[2].body);
    EXPECT_TRUE(batch.Empty());
    EXPECT_TRUE(batch.Add(EventKind::Changed, ids[0])) << "a new batch after the flush";
}

TEST(ChangeText, NotificationsAndMailsShowTheChangedLinesWithinTheirBounds) {
    content::LineChanges c;
    c.removed = {"old"};
    c.nRemoved = 1;
    EXPECT_EQ("− old", NoticeChangeLines(c)) << "removed lines when none was added";
    EXPECT_EQ("- old\r\n", MailChangeLines(c));
    c.added = {"one", "two", "three", "four"};
    c.nAdded = 4;
    EXPECT_EQ("+ one\n+ two\n+ three", NoticeChangeLines(c));
    c.added = {std::string(300, 'x')};
    EXPECT_EQ("+ " + std::string(198, 'x') + "…", NoticeChangeLines(c));
    c.added = {"中文"};
    c.nAdded = 60;  // 59 more than told
    c.removed.assign(50, "r");
    c.nRemoved = 50;
    const std::string mail = MailChangeLines(c);
    EXPECT_EQ(50, std::count(mail.begin(), mail.end(), '\n') - 1);
    EXPECT_NE(std::string::npos, mail.find("\r\n…另有 60 行\r\n")) << mail;
    EXPECT_EQ("", MailChangeLines(content::LineChanges()));
}

TEST(NoticeBatch, InEnglishCountsTakeTheirPluralForms) {
    InEnglish english;
    ASSERT_TRUE(english.Ok()) << "the build made no English catalog";
    WatchSession session;
    std::vector<RowId> ids;
    for (int i = 0; i < 2; ++i) ids.push_back(session.AddRow("http://p" + std::to_string(i) + "/", "", 0));
    NoticeBatch batch;
    batch.Add(EventKind::Changed, ids[0]);
    batch.Add(EventKind::Changed, ids[1]);
    batch.Add(EventKind::Failing, ids[1]);
    const std::vector<DesktopNotice> notices = batch.Flush(session);
    ASSERT_EQ(2u, notices.size());
    EXPECT_EQ("Changed!", notices[0].title);
    EXPECT_EQ("2 pages changed:\nhttp://p0/\nhttp://p1/", notices[0].body);
    EXPECT_EQ("Failing", notices[1].title);
    EXPECT_EQ("http://p1/\nReason: ", notices[1].body);
    content::LineChanges c;
    c.added = {"x"};
    c.nAdded = 52;
    EXPECT_NE(std::string::npos, MailChangeLines(c).find("…and 51 more lines")) << MailChangeLines(c);
    c.nAdded = 2;
    EXPECT_NE(std::string::npos, MailChangeLines(c).find("…and 1 more line\r\n")) << MailChangeLines(c);
}
