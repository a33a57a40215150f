// The printer application takes the place of a few functions of the
// libraries PAPPL uses, to mend what PAPPL 1.3 leaves undone. The
// executable exports its own definition; the dynamic linker binds PAPPL's
// calls to it, and it calls the library's definition found here.
//
// An override that PAPPL no longer calls fails silently, so two guards
// watch them. At configure time, pappl_check.cmake refuses a PAPPL outside
// the 1.3 series, and one whose library no longer reaches an overridden
// name through the dynamic linker. At test time, each override starts with
// VEXAO_TRACE_OVERRIDE(), and tests/printer_app_overrides.sh drives the
// server down every path that reaches one and checks that each definition
// marked VEXAO_OVERRIDES_LIBRARY in this folder's sources was entered.
#ifndef VEXAO_PRINTER_APP_LIBRARY_OVERRIDE_H
#define VEXAO_PRINTER_APP_LIBRARY_OVERRIDE_H

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

// Marks a definition that takes the place of a library's.
#define VEXAO_OVERRIDES_LIBRARY extern "C" __attribute__((visibility("default")))

// The first statement of every override: notes, once per process, that it
// was entered. After the first call it costs one atomic load.
#define VEXAO_TRACE_OVERRIDE()                                                         \
    do {                                                                               \
        static std::atomic<bool> vexaoOverrideEntered{false};                          \
        if (!vexaoOverrideEntered.load(std::memory_order_relaxed) &&                   \
            !vexaoOverrideEntered.exchange(true, std::memory_order_relaxed))           \
            ::vexao::printer_app::noteOverrideEntered(__func__);                       \
    } while (false)

namespace vexao::printer_app {

// The variable that names the file to which overrides note their names.
inline constexpr char kOverrideTraceVariable[] = "VEXAO_OVERRIDE_TRACE";

// Appends the line `name` to the file the variable names, if it names one.
// Each line goes out in one write to a file opened for appending, so lines
// from several threads and processes do not mix.
inline void noteOverrideEntered(const char* name) {
    static const std::string path = [] {
        const char* value = std::getenv(kOverrideTraceVariable);
        return std::string(value != nullptr ? value : "");
    }();
    if (path.empty()) return;
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (file < 0) return;
    std::string line = std::string(name) + "\n";
    [[maybe_unused]] ssize_t written = write(file, line.data(), line.size());
    close(file);
}

// The library's definition of `name`, which the executable's hides; null if
// no library has one.
template <typename Function>
Function libraryDefinition(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace vexao::printer_app

#endif
