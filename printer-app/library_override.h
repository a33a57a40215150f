// The printer application takes the place of a few functions of the
// libraries PAPPL uses, to mend what PAPPL 1.3 leaves undone. The
// executable exports its own definition; the dynamic linker binds PAPPL's
// calls to it, and it calls the library's definition found here.
#ifndef VEXAO_PRINTER_APP_LIBRARY_OVERRIDE_H
#define VEXAO_PRINTER_APP_LIBRARY_OVERRIDE_H

#include <dlfcn.h>

// Marks a definition that takes the place of a library's.
#define VEXAO_OVERRIDES_LIBRARY extern "C" __attribute__((visibility("default")))

namespace vexao::printer_app {

// The library's definition of `name`, which the executable's hides; null if
// no library has one.
template <typename Function>
Function libraryDefinition(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace vexao::printer_app

#endif
