#include <gtest/gtest.h>
#include <wx/frame.h>

#include "controls/LinkLabel.h"
#include "controls/OpenUrl.h"

using namespace sentrel;

namespace {
class LinkLabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetUrlOpenerForTesting([this](const std::string& url) {
            m_opened.push_back(url);
            return true;
        });
        m_frame = new wxFrame(nullptr, wxID_ANY, "t", wxPoint(0, 0), wxSize(300, 200));
        m_label = new CLinkLabel(m_frame, wxID_ANY, "Link text", wxPoint(10, 10), wxSize(150, 60));
        m_label->SetUrl("https://example.com/help");
        m_frame->Show();
        m_label->Update();
        wxYield();
    }
    void TearDown() override {
        m_frame->Destroy();
        SetUrlOpenerForTesting(nullptr);
    }
    wxFrame* m_frame = nullptr;
    CLinkLabel* m_label = nullptr;
    std::vector<std::string> m_opened;
};
}  // namespace

TEST_F(LinkLabelTest, HandCursorFromTheSecondMoveAndOnlyOverTheText) {
    m_label->HandleMouseMove(wxPoint(2, 2));
    EXPECT_TRUE(m_label->IsTracking());
    EXPECT_FALSE(m_label->IsHandCursor()) << "the first move only asks for the leave notice";
    m_label->HandleMouseMove(wxPoint(2, 2));
    EXPECT_TRUE(m_label->IsHandCursor());
    wxSize text = m_label->TextExtent();
    ASSERT_GT(text.x, 0);
    m_label->HandleMouseMove(wxPoint(text.x + 5, 2));
    EXPECT_FALSE(m_label->IsHandCursor()) << "right of the text";
    m_label->HandleMouseMove(wxPoint(2, 2));
    m_label->HandleMouseLeave();
    EXPECT_FALSE(m_label->IsHandCursor());
    EXPECT_FALSE(m_label->IsTracking());
}

TEST_F(LinkLabelTest, OnlyAPressOnTheTextOpensTheLink) {
    EXPECT_TRUE(m_label->HandleLeftDown(wxPoint(1, 1)));
    wxSize text = m_label->TextExtent();
    EXPECT_FALSE(m_label->HandleLeftDown(wxPoint(text.x, 1))) << "right of the text";
    EXPECT_FALSE(m_label->HandleLeftDown(wxPoint(1, text.y))) << "below the text";
    EXPECT_EQ(std::vector<std::string>{"https://example.com/help"}, m_opened);
}

TEST_F(LinkLabelTest, OnlyWebLinksAreHandedOver) {
    m_label->SetUrl("file:///etc/passwd");
    m_label->HandleLeftDown(wxPoint(1, 1));
    m_label->SetUrl("");
    m_label->HandleLeftDown(wxPoint(1, 1));
    m_label->SetUrl("HTTP://Example.com/");
    m_label->HandleLeftDown(wxPoint(1, 1));
    EXPECT_EQ(std::vector<std::string>{"HTTP://Example.com/"}, m_opened);
}
