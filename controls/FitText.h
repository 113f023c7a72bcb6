#pragma once
// Texts longer than their places (another language's words): the dialogs are laid out in
// dialog units for the Chinese texts, and grow only where a text would be cut off.
#include <wx/window.h>

#include <vector>

namespace sentrel {

/// The width a control's text needs to show whole: the text's extent, plus the box of a
/// check box and the frame of a button. 0 for controls without a text of their own.
int NeededWidth(wxWindow* control);

/// Widens every label, check box and button of `parent` whose text would be cut off. A
/// label ending with a colon stands before its field: it grows to its left, keeping its
/// right edge. Any other grows to its right, and what stands right of it on the same row
/// moves aside. Controls whose texts fit keep their places.
void FitTexts(wxWindow* parent);

/// The controls of `window` (and of its children) whose texts do not show whole.
std::vector<wxWindow*> CutTexts(wxWindow* window);

}  // namespace sentrel
