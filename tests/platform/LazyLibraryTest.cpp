// A library loaded when first needed.
#include <gtest/gtest.h>

#include "platform/LazyLibrary.h"

#ifndef _WIN32
namespace {
#define SENTREL_TEST_CALLS(X) X(strlen) X(atoi)
struct LibcApi {
    SENTREL_TEST_CALLS(SENTREL_API_MEMBER)
};
}  // namespace

// What is loaded when first needed: found and callable, or told missing (nullptr), never a
// crash on a call that was not bound.
TEST(LazyLibrary, BindsALibrarysCallsOrSaysItIsMissing) {
    const LibcApi* libc = sentrel::LoadOnce<LibcApi>(
        "libc.so.6",
        [](sentrel::LazyLibrary& lib, LibcApi& api) { SENTREL_TEST_CALLS(SENTREL_API_BIND) });
    ASSERT_NE(nullptr, libc);
    EXPECT_EQ(42, libc->atoi("42"));
    EXPECT_EQ(nullptr, (sentrel::LoadOnce<LibcApi>("libsentrel-missing.so.0",
                                                   [](sentrel::LazyLibrary& lib, LibcApi& api) {
                                                       SENTREL_TEST_CALLS(SENTREL_API_BIND)
                                                   })));
    sentrel::LazyLibrary c("libc.so.6");
    int (*missing)(int) = nullptr;
    c.Bind(missing, "sentrel_no_such_call");
    EXPECT_FALSE(c.Ok()) << "one call missing is the library missing";
}
#endif
