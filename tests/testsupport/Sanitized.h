#pragma once
// What a sanitizer build costs the tests: time bounds scale by kSlower (what they bound does
// not), and a sanitizer's shadow memory fits under no bound on a process's data.
namespace sentrel::test {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
constexpr int kSlower = 10;
#else
constexpr bool kSanitized = false;
constexpr int kSlower = 1;
#endif

}  // namespace sentrel::test
