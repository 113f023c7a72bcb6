#pragma once
#include <wx/defs.h>
#include <wx/string.h>

#include <string>

class wxWindow;

namespace sentrel {

/// The program's modal message box, caption "提示"; returns what the user chose.
int ShowNotice(wxWindow* owner, const wxString& text, long style = wxOK | wxICON_WARNING);
inline int ShowNotice(wxWindow* owner, const std::string& text,
                      long style = wxOK | wxICON_WARNING) {
    return ShowNotice(owner, wxString::FromUTF8(text.data(), text.size()), style);
}
inline int ShowNotice(wxWindow* owner, const char* text, long style = wxOK | wxICON_WARNING) {
    return ShowNotice(owner, wxString::FromUTF8(text), style);
}

/// The plain box of a worker thread that could not be started.
void ShowCannotStartThread(wxWindow* owner);

}  // namespace sentrel
