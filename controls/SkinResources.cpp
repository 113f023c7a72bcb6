#include "controls/SkinResources.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <cstdint>
#include <cstring>
#include <map>

#include "base/Translate.h"
#include "res/Resources.h"

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

wxSize BitmapResourceSize(int id) {
    // A PNG starts with its 8-byte signature and its IHDR chunk: length, type, width, height.
    const ResourceBytes bytes = FindBitmapResource(id, CurrentLanguage());
    if (!bytes.data || bytes.size < 24 || std::memcmp(bytes.data + 12, "IHDR", 4) != 0)
        return wxSize();
    auto be32 = [&](std::size_t at) {
        return static_cast<int>(std::uint32_t{bytes.data[at]} << 24 | bytes.data[at + 1] << 16 |
                                bytes.data[at + 2] << 8 | bytes.data[at + 3]);
    };
    return wxSize(be32(16), be32(20));
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
