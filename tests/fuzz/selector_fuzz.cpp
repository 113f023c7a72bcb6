// The region a user types: any text is refused with a reason or gives a region that runs
// on a page without harm.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/PageText.h"
#include "content/Selector.h"

using namespace sentrel::content;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string selector(reinterpret_cast<const char*>(data), size);
    Region region;
    std::string error;
    const bool ok = region.Set(selector, error);
    if (!ok && error.empty()) std::abort();  // a refusal always says why
    if (!ok) return 0;
    PageReader reader;
    if (selector.find_first_not_of(" \t\r\n\f") != std::string::npos &&
        !reader.Set(selector, "", error))
        std::abort();  // what compiled is taken
    std::string text;
    reader.Read("text/html",
                "<html><head><title>t</title></head><body><div id=a class='x y'><p lang=en>1</p>"
                "<ul><li>a<li>b</ul></div><p>2</p></body></html>",
                text);
    return 0;
}
