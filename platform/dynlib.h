// Platform libraries loaded on first use. Linking them would make every start
// pay for mapping and relocating them, and the libraries they pull in,
// whether the session uses them or not. Each user lists the entries it calls
// once, as an X-macro over their names, and keeps a table of pointers of the
// entries' own types, filled at the first use:
//
//   #define PNG_ENTRIES(X) X(png_image_free) X(png_image_finish_read)
//   struct Png { PNG_ENTRIES(XEB_DYNLIB_ENTRY) };
//   const Png* png() { return dynlib::load<Png>("libpng16.so.16", [](void* lib, Png& api) {
//     return true PNG_ENTRIES(XEB_DYNLIB_FIND); }); }
//
// A variadic entry keeps its variadic type, so calls through it follow the
// variadic convention. Nothing here is ever unloaded.
#pragma once
#include <dlfcn.h>

namespace xeb::platform::dynlib {

// One entry by name into a pointer of its type; false when it is missing.
template <class F>
bool find(void* lib, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(lib, name));
  return f != nullptr;
}

// The table of the library, filled on the first call (fill finds each
// entry); null on every call when the library or one of its entries is
// missing. One table per type Api.
template <class Api, class Fill>
const Api* load(const char* soname, Fill fill) {
  static Api api;
  static const Api* loaded = [&]() -> const Api* {
    void* lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    return lib && fill(lib, api) ? &api : nullptr;
  }();
  return loaded;
}

}  // namespace xeb::platform::dynlib

#define XEB_DYNLIB_ENTRY(f) decltype(&::f) f;
#define XEB_DYNLIB_FIND(f) &&::xeb::platform::dynlib::find(lib, #f, api.f)
