#pragma once
#include <wx/bitmap.h>
#include <wx/control.h>

namespace sentrel {

/// A push button drawn from three bitmaps: normal, active and hover. Its active flag
/// also carries state for its owner (Start and Stop accept a click only while active).
class CSkinButton : public wxControl {
  public:
    CSkinButton(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition);

    /// Stores the three bitmap numbers, shows the normal one and sizes the button to it.
    void SetSkin(int nNormal, int nActive, int nHover);
    void SetActive(bool bActive);
    bool IsActive() const { return m_bActive; }
    /// Clears the active flag and shows the normal image; does nothing when inactive.
    void ClearActive();
    /// Inactive buttons follow the mouse: hover image while it rests on them, else normal.
    void UpdateLook();

    /// The bitmap number shown now, and how often the button was invalidated.
    int ShownBitmap() const { return m_nShown; }
    int InvalidateCount() const { return m_nInvalidations; }
    /// How often hover and leave notifications were requested.
    int TrackingRequests() const { return m_nTrackingRequests; }

    // Mouse handling, as the window system reports it (the wx handlers call these).
    void HandleMouseMove();
    void HandleMouseHover();
    void HandleMouseLeave();
    void HandleLeftDown();

    bool AcceptsFocus() const override { return false; }

  protected:
    wxSize DoGetBestSize() const override;

  private:
    void LoadImage(int id);
    void InvalidateClient();
    void OnPaint(wxPaintEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeave(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

    int m_nBmpNormal = 0;
    int m_nBmpActive = 0;
    int m_nBmpHover = 0;
    bool m_bActive = true;
    bool m_bHover = false;
    bool m_bTracking = false;
    wxRect m_rcClient;
    int m_nShown = 0;
    wxBitmap m_bmp;
    int m_nInvalidations = 0;
    int m_nTrackingRequests = 0;
    bool m_bPressed = false;
};

}  // namespace sentrel
