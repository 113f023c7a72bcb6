// The window's chrome: the painted face, what follows the window's size, dragging by the
// body, resizing by the grip in the bottom-right corner, and the keys it swallows.
#include <wx/dcbuffer.h>

#include <algorithm>

#include "app/MonitorDlg.h"
#include "controls/LinkLabel.h"
#include "controls/SkinButton.h"
#include "controls/SkinResources.h"
#include "platform/TextRules.h"
#include "res/resource.h"

namespace sentrel {

namespace {
constexpr int kGrip = 14;  // the resize grip's side, in the footer's corner
}  // namespace

wxImage StretchFace(const wxImage& in, int width, int height) {
    if (!in.IsOk() || (in.GetWidth() >= width && in.GetHeight() >= height)) return in;
    // Nine parts: the band, the corners and the frame keep their drawing; a column left of
    // the right edge (past the banner) and a row above the footer are stretched.
    const int w = in.GetWidth(), h = in.GetHeight();
    const int cx = w - 12, cy = h - 32;  // where the stretched column and row are
    const int dx = std::max(0, width - w), dy = std::max(0, height - h);
    wxImage out(w + dx, h + dy);
    const int xs[] = {0, cx, cx + 1, w}, ys[] = {0, cy, cy + 1, h};
    const int outXs[] = {0, cx, cx + 1 + dx}, outYs[] = {0, cy, cy + 1 + dy};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int pw = xs[i + 1] - xs[i], ph = ys[j + 1] - ys[j];
            wxImage part = in.GetSubImage(wxRect(xs[i], ys[j], pw, ph));
            const int tw = pw + (i == 1 ? dx : 0), th = ph + (j == 1 ? dy : 0);
            if (tw != pw || th != ph) part.Rescale(tw, th, wxIMAGE_QUALITY_NEAREST);
            out.Paste(part, outXs[i], outYs[j]);
        }
    }
    return out;
}

void CMonitorDlg::LayoutToSize() {
    const wxSize size = GetClientSize();
    const int W = size.x, H = size.y;
    // The list takes what the window gains; the status line stays in the footer.
    const wxRect list(3, 94, W - 6, H - 125);
    // The label is 200 high and so reaches past the window's edge; only its text matters.
    const wxRect link(W - 170, H - 20, 100, 200);
    if (m_sizeFace != size) MakeFace(size, list, link);
    m_btnPop->SetPosition(wxPoint(W - 100, 1));
    m_btnMin->SetPosition(wxPoint(W - 73, 1));
    m_btnQuit->SetPosition(wxPoint(W - 46, 1));
    m_linkFooter->SetSize(link);
    m_listUrls->SetSize(list);
    // The status line reaches to the link, so that longer messages (counts, English) show.
    m_stStatus->SetSize(7, H - 22, link.x - 17, 17);
    Refresh();
}

void CMonitorDlg::MakeFace(const wxSize& size, const wxRect& list, const wxRect& link) {
    const int W = size.x, H = size.y;
    m_sizeFace = size;
    m_face.clear();
    // Decoded again at each new size rather than kept: resizes are few, and the whole
    // picture is 700 KB (twice that once shown) of which the list hides three fifths.
    const wxImage face = StretchFace(DecodeBitmapResource(IDB_BACKGROUND), W, H);
    if (!face.IsOk()) return;
    const int below = list.GetBottom() + 1, right = list.GetRight() + 1;
    const wxRect pieces[] = {wxRect(0, 0, W, list.y), wxRect(0, below, W, H - below),
                             wxRect(0, list.y, list.x, list.height),
                             wxRect(right, list.y, W - right, list.height)};
    for (const wxRect& piece : pieces)
        if (!piece.IsEmpty()) m_face.emplace_back(piece.GetPosition(), face.GetSubImage(piece));
    // The link draws the face behind its text itself.
    m_linkFooter->SetBackdrop(wxBitmap(face.GetSubImage(link.Intersect(wxRect(0, 0, W, H)))));
}

void CMonitorDlg::RestoreLayout() {
    const wxSize least = GetMinClientSize();
    if (m_nWindowWidth > 0 || m_nWindowHeight > 0)
        SetClientSize(std::max(least.x, m_nWindowWidth), std::max(least.y, m_nWindowHeight));
    // "280,120,100": the shown columns' widths, as the user left them.
    std::size_t at = 0;
    for (unsigned c = 0; c < 3 && at < m_strColumns.size(); ++c) {
        const std::size_t comma = m_strColumns.find(',', at);
        const int width = AtoiClamped(m_strColumns.substr(at, comma - at).c_str());
        if (width >= 20 && width <= 5000) m_listUrls->GetColumn(c)->SetWidth(width);
        at = comma == std::string::npos ? m_strColumns.size() : comma + 1;
    }
    LayoutToSize();
}

void CMonitorDlg::KeepLayout() {
    // The default size is kept as none, so a file of the first size stays as it was.
    const wxSize size = GetClientSize(), least = GetMinClientSize();
    m_nWindowWidth = size == least ? 0 : size.x;
    m_nWindowHeight = size == least ? 0 : size.y;
    std::string columns;
    for (unsigned c = 0; c < 3; ++c)
        columns += (c ? "," : "") + std::to_string(m_listUrls->GetColumn(c)->GetWidth());
    m_strColumns = columns == "280,120,100" ? std::string() : columns;
}

void CMonitorDlg::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    if (m_face.empty()) {
        dc.Clear();
        return;
    }
    for (const auto& [at, piece] : m_face) dc.DrawBitmap(piece, at, false);
    // The grip: three short diagonals in the corner.
    const wxSize s = GetClientSize();
    dc.SetPen(wxPen(wxColour(120, 140, 170)));
    for (int i = 4; i <= 12; i += 4) dc.DrawLine(s.x - 3, s.y - 3 - i, s.x - 3 - i, s.y - 3);
}

bool CMonitorDlg::OnGrip(const wxPoint& p) const {
    const wxSize s = GetClientSize();
    return p.x >= s.x - kGrip && p.y >= s.y - kGrip;
}

void CMonitorDlg::OnCharHook(wxKeyEvent& event) {
    int key = event.GetKeyCode();
    if (key == WXK_ESCAPE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) return;  // swallowed
    event.Skip();
}

void CMonitorDlg::OnBodyLeftDown(wxMouseEvent& event) {
    if (OnGrip(event.GetPosition())) {
        m_bResizing = true;
        m_sizeAtGrip = GetClientSize();
        m_ptGrip = ClientToScreen(event.GetPosition());
        if (!HasCapture()) CaptureMouse();
        return;
    }
    // The body acts as a caption: pressing anywhere on it and dragging moves the window.
    m_bDragging = true;
    m_ptDragOffset = ClientToScreen(event.GetPosition()) - GetPosition();
    if (!HasCapture()) CaptureMouse();
}

void CMonitorDlg::OnBodyMotion(wxMouseEvent& event) {
    SetCursor(OnGrip(event.GetPosition()) || m_bResizing ? wxCursor(wxCURSOR_SIZENWSE)
                                                         : wxNullCursor);
    if (m_bResizing && event.LeftIsDown()) {
        const wxPoint moved = ClientToScreen(event.GetPosition()) - m_ptGrip;
        const wxSize least = GetMinClientSize();
        SetClientSize(std::max(least.x, m_sizeAtGrip.x + moved.x),
                      std::max(least.y, m_sizeAtGrip.y + moved.y));
        LayoutToSize();
        return;
    }
    if (m_bDragging && event.LeftIsDown())
        Move(ClientToScreen(event.GetPosition()) - m_ptDragOffset);
}

void CMonitorDlg::OnBodyLeftUp(wxMouseEvent&) {
    m_bDragging = m_bResizing = false;
    if (HasCapture()) ReleaseMouse();
}

}  // namespace sentrel
