#include "SkinResources.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <map>

#include "Resources.h"
#include "Translate.h"

namespace sentrel {

namespace {
wxImage Decode(const ResourceBytes& bytes) {
    if (!bytes.data) return wxImage();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream in(bytes.data, bytes.size);
    return wxImage(in, wxBITMAP_TYPE_PNG);
}
}  // namespace

wxImage DecodeBitmapResource(int id) {
    return Decode(FindBitmapResource(id, CurrentLanguage()));
}

const wxBitmap& LoadBitmapResource(int id) {
    static std::map<int, wxBitmap> cache;  // UI thread only
    auto it = cache.find(id);
    if (it == cache.end()) {
        wxImage img = DecodeBitmapResource(id);
        it = cache.emplace(id, img.IsOk() ? wxBitmap(img) : wxBitmap()).first;
    }
    return it->second;
}

wxIconBundle LoadIconResource(int id) {
    wxIconBundle bundle;
    for (int size : {16, 32, 48}) {
        wxImage img = Decode(FindIconResource(id, size));
        if (!img.IsOk()) continue;
        wxIcon icon;
        icon.CopyFromBitmap(wxBitmap(img));
        bundle.AddIcon(icon);
    }
    return bundle;
}

}  // namespace sentrel
