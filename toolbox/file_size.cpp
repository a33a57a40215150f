#include "toolbox/file_size_internal.h"

#include <sys/stat.h>

namespace {

#if defined(__i386__) && defined(__GLIBC__)

// glibc 2.33 turned stat and fstat into symbols of that version, which the C
// libraries of older systems lack, and 32-bit hosts often run on those. The
// entry points behind them have been there, and still are, since glibc 2.2.
extern "C" int __xstat64(int version, const char* path, struct stat64* status);
extern "C" int __fxstat64(int version, int descriptor, struct stat64* status);
__asm__(".symver __xstat64,__xstat64@GLIBC_2.2");
__asm__(".symver __fxstat64,__fxstat64@GLIBC_2.2");

constexpr int kStatLayout = 3;  // the layout of struct stat64 that i386 glibc has always used

bool statPath(const char* path, std::int64_t* size) {
    struct stat64 status;
    if (__xstat64(kStatLayout, path, &status) != 0) return false;
    *size = status.st_size;
    return true;
}

bool statDescriptor(int descriptor, std::int64_t* size) {
    struct stat64 status;
    if (__fxstat64(kStatLayout, descriptor, &status) != 0) return false;
    *size = status.st_size;
    return true;
}

#else

bool statPath(const char* path, std::int64_t* size) {
    struct stat status;
    if (stat(path, &status) != 0) return false;
    *size = status.st_size;
    return true;
}

bool statDescriptor(int descriptor, std::int64_t* size) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) return false;
    *size = status.st_size;
    return true;
}

#endif

}  // namespace

namespace vexao {

bool sizeOfPath(const char* path, std::int64_t* size) noexcept { return statPath(path, size); }

bool sizeOfStream(std::FILE* stream, std::int64_t* size) noexcept {
    return std::fflush(stream) == 0 && statDescriptor(fileno(stream), size);
}

}  // namespace vexao
