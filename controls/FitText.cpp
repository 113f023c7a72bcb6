#include "controls/FitText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/stattext.h>

#include <algorithm>
#include <climits>

namespace sentrel {

namespace {

bool EndsWithColon(const wxString& text) {
    return text.EndsWith(wxString::FromUTF8("：")) || text.EndsWith(":");
}

bool SameRow(const wxRect& a, const wxRect& b) {
    return a.GetTop() < b.GetBottom() && b.GetTop() < a.GetBottom();
}

}  // namespace

int NeededWidth(wxWindow* control) {
    const bool label = wxDynamicCast(control, wxStaticText) != nullptr;
    const bool check = wxDynamicCast(control, wxCheckBox) != nullptr;
    const bool button = wxDynamicCast(control, wxButton) != nullptr;
    if (!label && !check && !button) return 0;
    wxString text = control->GetLabel();
    text.Replace("&", "");
    if (text.empty()) return 0;
    // The widest line of the text, in the control's own font.
    int widest = 0;
    for (const wxString& line : wxSplit(text, '\n')) {
        int w = 0, h = 0;
        control->GetTextExtent(line, &w, &h);
        widest = std::max(widest, w);
    }
    if (check) return std::max(widest, control->GetBestSize().x);  // with its box
    if (button) widest += 12;  // the frame and its padding
    return widest;
}

void FitTexts(wxWindow* parent) {
    for (wxWindow* control : parent->GetChildren()) {
        const int need = NeededWidth(control);
        const wxRect r = control->GetRect();
        if (need <= r.width) continue;
        const int grow = need - r.width;
        if (wxDynamicCast(control, wxStaticText) && EndsWithColon(control->GetLabel())) {
            control->SetSize(std::max(0, r.x - grow), r.y, need, r.height);
            continue;
        }
        control->SetSize(r.x, r.y, need, r.height);
        // What stands right of it on its row moves aside as far as the text now reaches.
        constexpr int kGap = 6;
        int nearest = INT_MAX;
        for (wxWindow* other : parent->GetChildren()) {
            const wxRect o = other->GetRect();
            if (other != control && o.x >= r.GetRight() && SameRow(r, o)) nearest = std::min(nearest, o.x);
        }
        const int shift = nearest == INT_MAX ? 0 : r.x + need + kGap - nearest;
        if (shift <= 0) continue;
        for (wxWindow* other : parent->GetChildren()) {
            const wxRect o = other->GetRect();
            if (other != control && o.x >= r.GetRight() && SameRow(r, o)) other->Move(o.x + shift, o.y);
        }
    }
}

std::vector<wxWindow*> CutTexts(wxWindow* window) {
    std::vector<wxWindow*> cut;
    const int right = window->GetClientSize().x;
    for (wxWindow* control : window->GetChildren()) {
        if (control->IsTopLevel()) continue;
        // Too narrow for its text, or standing past its window's edge.
        const int need = NeededWidth(control);
        if (need > control->GetSize().x || (need > 0 && control->GetRect().GetRight() >= right))
            cut.push_back(control);
        for (wxWindow* inner : CutTexts(control)) cut.push_back(inner);
    }
    return cut;
}

}  // namespace sentrel
