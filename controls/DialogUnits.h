#pragma once
#include <wx/window.h>

namespace sentrel {

/// A control's rectangle given in dialog units, converted with the dialog's own font,
/// as a dialog template places it.
inline wxRect DialogRect(wxWindow* dialog, int x, int y, int w, int h) {
    return wxRect(dialog->ConvertDialogToPixels(wxPoint(x, y)),
                  dialog->ConvertDialogToPixels(wxSize(w, h)));
}

}  // namespace sentrel
