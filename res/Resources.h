#pragma once
#include <cstddef>

namespace sentrel {

/// Bytes of an embedded resource file, or null when there is none.
struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

/// A bitmap by its resource number (a PNG image).
ResourceBytes FindBitmapResource(int id);
/// One image of an icon by its resource number and pixel size (16, 32 or 48).
ResourceBytes FindIconResource(int id, int size);

}  // namespace sentrel
