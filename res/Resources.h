#pragma once
#include <cstddef>
#include <string>

namespace sentrel {

/// Bytes of an embedded resource file, or null when there is none.
struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

/// A bitmap by its resource number (a PNG image), as drawn for the language ("en"), or
/// the program's own (Chinese) where it has no drawing of its own for it.
ResourceBytes FindBitmapResource(int id, const std::string& lang = std::string());
/// One image of an icon by its resource number and pixel size (16, 32 or 48).
ResourceBytes FindIconResource(int id, int size);

}  // namespace sentrel
