#pragma once
#include <wx/bitmap.h>
#include <wx/iconbndl.h>

namespace sentrel {

/// The embedded bitmap with this resource number, decoded once and cached; an invalid
/// bitmap when there is none.
const wxBitmap& LoadBitmapResource(int id);
/// The embedded icon with this resource number, in all its sizes.
wxIconBundle LoadIconResource(int id);

}  // namespace sentrel
