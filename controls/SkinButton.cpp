#include "controls/SkinButton.h"

#include <wx/dcbuffer.h>

#include "controls/SkinResources.h"

namespace sentrel {

CSkinButton::CSkinButton(wxWindow* parent, wxWindowID id, const wxPoint& pos)
    : wxControl(parent, id, pos, wxSize(1, 1), wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CSkinButton::OnPaint, this);
    Bind(wxEVT_MOTION, &CSkinButton::OnMotion, this);
    Bind(wxEVT_ENTER_WINDOW, &CSkinButton::OnMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &CSkinButton::OnLeave, this);
    Bind(wxEVT_LEFT_DOWN, &CSkinButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CSkinButton::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CSkinButton::OnLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CSkinButton::OnCaptureLost, this);
}

wxSize CSkinButton::DoGetBestSize() const {
    return m_bmp.IsOk() ? m_bmp.GetSize() : wxSize(1, 1);
}

void CSkinButton::LoadImage(int id) {
    m_nShown = id;
    m_bmp = LoadBitmapResource(id);
}

void CSkinButton::InvalidateClient() {
    ++m_nInvalidations;
    RefreshRect(m_rcClient, true);
}

void CSkinButton::SetSkin(int nNormal, int nActive, int nHover) {
    m_nBmpNormal = nNormal;
    m_nBmpActive = nActive;
    m_nBmpHover = nHover;
    LoadImage(nNormal);
    if (m_bmp.IsOk()) SetSize(m_bmp.GetSize());
    m_rcClient = wxRect(GetClientSize());
}

void CSkinButton::SetActive(bool bActive) {
    m_bActive = bActive;
    LoadImage(bActive ? m_nBmpActive : m_nBmpNormal);
    InvalidateClient();
}

void CSkinButton::ClearActive() {
    if (!m_bActive) return;
    m_bActive = false;
    LoadImage(m_nBmpNormal);
    InvalidateClient();
}

void CSkinButton::UpdateLook() {
    if (m_bActive) return;
    LoadImage(m_bHover ? m_nBmpHover : m_nBmpNormal);
    InvalidateClient();
}

void CSkinButton::HandleMouseMove() {
    if (m_bTracking) return;
    // The hover notification follows the tracking request after a rest of 1 ms.
    m_bTracking = true;
    ++m_nTrackingRequests;
    CallAfter([this] {
        if (m_bTracking) HandleMouseHover();
    });
}

void CSkinButton::HandleMouseHover() {
    if (m_bHover) return;
    m_bHover = true;
    UpdateLook();
}

void CSkinButton::HandleMouseLeave() {
    m_bHover = false;
    m_bTracking = false;
    UpdateLook();
}

void CSkinButton::HandleLeftDown() {
    // The pressed look is the normal image, whatever the active flag says.
    LoadImage(m_nBmpNormal);
    InvalidateClient();
}

void CSkinButton::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    if (m_bmp.IsOk()) dc.DrawBitmap(m_bmp, 0, 0, false);
}

void CSkinButton::OnMotion(wxMouseEvent& event) {
    if (!m_bPressed) HandleMouseMove();
    event.Skip();
}

void CSkinButton::OnLeave(wxMouseEvent& event) {
    if (!m_bPressed) HandleMouseLeave();
    event.Skip();
}

void CSkinButton::OnLeftDown(wxMouseEvent&) {
    HandleLeftDown();
    m_bPressed = true;
    if (!HasCapture()) CaptureMouse();
}

void CSkinButton::OnLeftUp(wxMouseEvent& event) {
    if (!m_bPressed) return;
    m_bPressed = false;
    if (HasCapture()) ReleaseMouse();
    if (wxRect(GetClientSize()).Contains(event.GetPosition())) {
        wxCommandEvent click(wxEVT_BUTTON, GetId());
        click.SetEventObject(this);
        ProcessWindowEvent(click);
    } else {
        HandleMouseLeave();
    }
}

void CSkinButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bPressed = false;
}

}  // namespace sentrel
