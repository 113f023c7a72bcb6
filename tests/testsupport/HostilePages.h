#pragma once
// Pages made to be slow to read, for the tests of the bounds on reading them.
#include <string>

namespace sentrel::test {

/// Makes the HTML parser search 40,000 open elements for each of 100,000 end tags:
/// seconds of work when nothing bounds it.
inline std::string SlowPage() {
    std::string page = "<html><body><span>";
    for (int i = 0; i < 40000; ++i) page += "<div>";
    page += "z";
    for (int i = 0; i < 100000; ++i) page += "</span>";
    return page;
}

}  // namespace sentrel::test
