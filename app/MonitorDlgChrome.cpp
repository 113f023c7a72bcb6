// The window's chrome: the painted face, dragging by the body, and the keys it swallows.
#include <wx/dcbuffer.h>

#include "MonitorDlg.h"

namespace sentrel {

void CMonitorDlg::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    if (m_bmpBackground.IsOk())
        dc.DrawBitmap(m_bmpBackground, 0, 0, false);
    else
        dc.Clear();
}

void CMonitorDlg::OnCharHook(wxKeyEvent& event) {
    int key = event.GetKeyCode();
    if (key == WXK_ESCAPE || key == WXK_RETURN || key == WXK_NUMPAD_ENTER) return;  // swallowed
    event.Skip();
}

void CMonitorDlg::OnBodyLeftDown(wxMouseEvent& event) {
    // The body acts as a caption: pressing anywhere on it and dragging moves the window.
    m_bDragging = true;
    m_ptDragOffset = ClientToScreen(event.GetPosition()) - GetPosition();
    if (!HasCapture()) CaptureMouse();
}

void CMonitorDlg::OnBodyMotion(wxMouseEvent& event) {
    if (m_bDragging && event.LeftIsDown())
        Move(ClientToScreen(event.GetPosition()) - m_ptDragOffset);
}

void CMonitorDlg::OnBodyLeftUp(wxMouseEvent&) {
    m_bDragging = false;
    if (HasCapture()) ReleaseMouse();
}

}  // namespace sentrel
