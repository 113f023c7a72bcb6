#pragma once
#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/window.h>

namespace sentrel {

/// A text label drawn as a hyperlink: underlined dark green text, hand cursor over the
/// text, and a press on the text opens the link target.
class CLinkLabel : public wxWindow {
  public:
    CLinkLabel(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos,
               const wxSize& size);

    void SetUrl(const wxString& url) { m_strLink = url; }
    const wxString& GetUrl() const { return m_strLink; }
    /// What shows through behind the text (the label has no background of its own).
    void SetBackdrop(const wxBitmap& bmp) { m_bmpBackdrop = bmp; }

    /// True when the point (client coordinates) lies on the measured text.
    bool HitText(const wxPoint& pt) const;
    bool IsHandCursor() const { return m_bHandCursor; }
    bool IsTracking() const { return m_bTracking; }
    wxSize TextExtent() const { return m_sizeText; }

    // Mouse handling, as the window system reports it (the wx handlers call these).
    void HandleMouseMove(const wxPoint& pt);
    void HandleMouseLeave();
    /// Returns true when the press opened the link.
    bool HandleLeftDown(const wxPoint& pt);

    static const wxColour kTextColour;

  private:
    void CreateLinkFont();
    void MeasureText();
    void SetHand(bool bHand);
    void OnPaint(wxPaintEvent& event);

    wxString m_strText;
    wxString m_strLink;
    wxFont m_font;
    wxSize m_sizeText;
    bool m_bFontReady = false;
    bool m_bTracking = false;
    bool m_bExtentReady = false;
    bool m_bHandCursor = false;
    wxBitmap m_bmpBackdrop;
};

}  // namespace sentrel
