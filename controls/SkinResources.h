#pragma once
#include <wx/bitmap.h>
#include <wx/iconbndl.h>
#include <wx/image.h>

namespace sentrel {

/// The embedded bitmap with this resource number, decoded once and cached; an invalid
/// bitmap when there is none.
const wxBitmap& LoadBitmapResource(int id);
/// The embedded bitmap with this resource number, decoded anew, for a picture its caller
/// keeps in a form of its own (the window's face); an invalid image when there is none.
wxImage DecodeBitmapResource(int id);
/// The size of the embedded bitmap with this resource number, read from its header without
/// decoding it; 0 x 0 when there is none.
wxSize BitmapResourceSize(int id);
/// The embedded icon with this resource number, in all its sizes.
wxIconBundle LoadIconResource(int id);

}  // namespace sentrel
