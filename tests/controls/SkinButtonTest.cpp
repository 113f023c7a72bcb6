#include <gtest/gtest.h>
#include <wx/frame.h>

#include "controls/SkinButton.h"
#include "controls/SkinResources.h"
#include "res/resource.h"

using namespace sentrel;

namespace {
class SkinButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_frame = new wxFrame(nullptr, wxID_ANY, "t", wxPoint(0, 0), wxSize(300, 200));
        m_start = new CSkinButton(m_frame, IDC_START, wxPoint(20, 30));
        m_start->SetSkin(IDB_START_NORMAL, IDB_START_ACTIVE, IDB_START_HOVER);
        m_stop = new CSkinButton(m_frame, IDC_STOP, wxPoint(90, 30));
        m_stop->SetSkin(IDB_STOP_NORMAL, IDB_STOP_ACTIVE, IDB_STOP_HOVER);
        m_start->SetActive(true);
        m_stop->SetActive(false);
        m_frame->Show();
    }
    void TearDown() override { m_frame->Destroy(); }
    void Yield() {
        for (int i = 0; i < 5; ++i) wxYield();
    }
    wxFrame* m_frame = nullptr;
    CSkinButton* m_start = nullptr;
    CSkinButton* m_stop = nullptr;
};
}  // namespace

TEST_F(SkinButtonTest, SizedToItsImageAndActiveAfterConstruction) {
    EXPECT_EQ(wxSize(60, 54), m_start->GetSize());
    CSkinButton fresh(m_frame, wxID_ANY);
    fresh.SetSkin(IDB_QUIT_NORMAL, IDB_QUIT_ACTIVE, IDB_QUIT_ACTIVE);
    EXPECT_EQ(wxSize(35, 17), fresh.GetSize());
    EXPECT_TRUE(fresh.IsActive()) << "a new button is active";
    EXPECT_EQ(IDB_QUIT_NORMAL, fresh.ShownBitmap()) << "SetSkin shows the normal image";
}

TEST_F(SkinButtonTest, HoverShowsOnlyOnInactiveButtons) {
    EXPECT_EQ(IDB_START_ACTIVE, m_start->ShownBitmap());
    EXPECT_EQ(IDB_STOP_NORMAL, m_stop->ShownBitmap());

    m_stop->HandleMouseMove();
    Yield();  // the hover notification follows the tracking request
    EXPECT_EQ(IDB_STOP_HOVER, m_stop->ShownBitmap());
    m_stop->HandleMouseLeave();
    EXPECT_EQ(IDB_STOP_NORMAL, m_stop->ShownBitmap());

    m_start->HandleMouseMove();
    Yield();
    EXPECT_EQ(IDB_START_ACTIVE, m_start->ShownBitmap());
}

TEST_F(SkinButtonTest, PressShowsTheNormalImageWhateverTheFlag) {
    m_start->HandleLeftDown();
    EXPECT_EQ(IDB_START_NORMAL, m_start->ShownBitmap());
    EXPECT_TRUE(m_start->IsActive());
    m_start->SetActive(true);
    EXPECT_EQ(IDB_START_ACTIVE, m_start->ShownBitmap());
}

TEST_F(SkinButtonTest, ClearActiveOnAnInactiveButtonDoesNotRedraw) {
    int before = m_stop->InvalidateCount();
    m_stop->ClearActive();
    EXPECT_EQ(before, m_stop->InvalidateCount());
    m_start->ClearActive();
    EXPECT_FALSE(m_start->IsActive());
    EXPECT_EQ(IDB_START_NORMAL, m_start->ShownBitmap());
}

TEST_F(SkinButtonTest, TrackingIsRequestedOncePerVisit) {
    m_stop->HandleMouseMove();
    m_stop->HandleMouseMove();
    EXPECT_EQ(1, m_stop->TrackingRequests());
    m_stop->HandleMouseLeave();
    m_stop->HandleMouseMove();
    EXPECT_EQ(2, m_stop->TrackingRequests());
}

TEST_F(SkinButtonTest, CaptionButtonIgnoresHoverUntilItsFirstClick) {
    CSkinButton* quit = new CSkinButton(m_frame, IDC_QUIT, wxPoint(200, 1));
    quit->SetSkin(IDB_QUIT_NORMAL, IDB_QUIT_ACTIVE, IDB_QUIT_ACTIVE);
    quit->HandleMouseMove();
    Yield();
    EXPECT_EQ(IDB_QUIT_NORMAL, quit->ShownBitmap()) << "active (from construction): no hover look";
    quit->HandleMouseLeave();
    quit->ClearActive();  // what the click handler does
    quit->HandleMouseMove();
    Yield();
    EXPECT_EQ(IDB_QUIT_ACTIVE, quit->ShownBitmap());
}

// The window sizes itself by the background's header before decoding it.
TEST(SkinResources, ABitmapsSizeIsReadFromItsHeaderAsDecodingFindsIt) {
    for (int id : {IDB_BACKGROUND, IDB_START_NORMAL, IDB_QUIT_ACTIVE})
        EXPECT_EQ(DecodeBitmapResource(id).GetSize(), BitmapResourceSize(id)) << id;
    EXPECT_EQ(wxSize(530, 319), BitmapResourceSize(IDB_BACKGROUND));
    EXPECT_EQ(wxSize(), BitmapResourceSize(1)) << "no such bitmap";
}
