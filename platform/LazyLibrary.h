#pragma once
// A shared library opened when it is first needed instead of when the program starts, and
// bound lazily, as a linked one is: each call's symbol is looked up when first made. For
// what only some runs use and what costs the loader dearly (libcurl and its TLS stacks,
// libxml2 with ICU). The library stays loaded for the rest of the process.
//
// A table of a library's calls is a struct with one member per call, typed as the header
// declares it (SENTREL_API_MEMBER over a list of the calls). It is filled by name from a
// library loaded at first use (SENTREL_API_BIND, LoadOnce), or, where the library is
// linked, from the calls themselves (SENTREL_API_LINK).
#include <type_traits>

#define SENTREL_API_MEMBER(f) decltype(&::f) f;
#define SENTREL_API_LINK(f) api.f = &::f;

#ifndef _WIN32
#include <dlfcn.h>

#define SENTREL_API_BIND(f) lib.Bind(api.f, #f);

namespace sentrel {

class LazyLibrary {
  public:
    explicit LazyLibrary(const char* soname) : m_lib(dlopen(soname, RTLD_LAZY | RTLD_LOCAL)) {
        m_ok = m_lib != nullptr;
    }

    /// Binds `fn` to the library's `name` (a function, or the address of a variable).
    template <class Pointer>
    void Bind(Pointer& fn, const char* name) {
        static_assert(std::is_pointer_v<Pointer>);
        fn = m_lib ? reinterpret_cast<Pointer>(dlsym(m_lib, name)) : nullptr;
        m_ok = m_ok && fn != nullptr;
    }

    /// True when the library opened and every name bound.
    bool Ok() const { return m_ok; }

  private:
    void* m_lib;
    bool m_ok;
};

/// A table of a library's calls (`Api`), opened and bound by `bind(lib, api)` at the first
/// use of the calling site; nullptr when the library or a call is missing.
template <class Api, class Binder>
const Api* LoadOnce(const char* soname, Binder bind) {
    static Api api{};
    static const bool ok = [&] {
        LazyLibrary lib(soname);
        bind(lib, api);
        return lib.Ok();
    }();
    return ok ? &api : nullptr;
}

}  // namespace sentrel
#endif
