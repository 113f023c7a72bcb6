#include "controls/LinkLabel.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>

#include "controls/OpenUrl.h"

namespace sentrel {

const wxColour CLinkLabel::kTextColour(0, 130, 0);

CLinkLabel::CLinkLabel(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos,
                       const wxSize& size)
    : wxWindow(parent, id, pos, size, wxBORDER_NONE), m_strText(text) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CLinkLabel::OnPaint, this);
    Bind(wxEVT_MOTION, [this](wxMouseEvent& e) {
        HandleMouseMove(e.GetPosition());
        e.Skip();
    });
    Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& e) {
        HandleMouseLeave();
        e.Skip();
    });
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
        HandleLeftDown(e.GetPosition());
        e.Skip();
    });
}

void CLinkLabel::CreateLinkFont() {
    wxFont parentFont = GetParent() ? GetParent()->GetFont() : wxNullFont;
    if (!parentFont.IsOk()) return;
    m_font = parentFont;
    m_font.SetUnderlined(true);
    m_bFontReady = true;
}

void CLinkLabel::MeasureText() {
    if (m_bExtentReady || !m_bFontReady) return;
    wxClientDC dc(this);
    dc.SetFont(m_font);
    m_sizeText = dc.GetTextExtent(m_strText);
    m_bExtentReady = true;
}

bool CLinkLabel::HitText(const wxPoint& pt) const {
    return m_bExtentReady && pt.x >= 0 && pt.x < m_sizeText.x && pt.y >= 0 && pt.y < m_sizeText.y;
}

void CLinkLabel::SetHand(bool bHand) {
    m_bHandCursor = bHand;
    SetCursor(bHand ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
}

void CLinkLabel::HandleMouseMove(const wxPoint& pt) {
    if (!m_bTracking) {
        // The first move only asks to be told when the mouse leaves.
        m_bTracking = true;
        return;
    }
    if (!m_bExtentReady) MeasureText();
    SetHand(HitText(pt));
}

void CLinkLabel::HandleMouseLeave() {
    m_bTracking = false;
    SetHand(false);
}

bool CLinkLabel::HandleLeftDown(const wxPoint& pt) {
    if (!m_bExtentReady) MeasureText();
    if (!HitText(pt)) return false;
    OpenUrlInBrowser(m_strLink.utf8_string());
    return true;
}

void CLinkLabel::OnPaint(wxPaintEvent&) {
    if (!m_bFontReady) CreateLinkFont();
    wxAutoBufferedPaintDC dc(this);
    if (m_bmpBackdrop.IsOk())
        dc.DrawBitmap(m_bmpBackdrop, 0, 0, false);
    else {
        dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
        dc.Clear();
    }
    if (m_bFontReady) dc.SetFont(m_font);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(kTextColour);
    dc.DrawText(m_strText, 0, 0);
}

}  // namespace sentrel
