#pragma once
// Text crosses between the program (UTF-8 std::string) and wx (wxString) only here.
#include <wx/string.h>

#include <string>

#include "base/Translate.h"

namespace sentrel {

inline wxString U(const char* text) {
    return wxString::FromUTF8(text);
}
inline wxString U(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}
inline std::string S(const wxString& text) {
    return text.utf8_string();
}
/// A text the user reads, in the user's language (see Translate.h).
inline wxString TrW(const char* text) {
    return U(Tr(text));
}

}  // namespace sentrel
