# The i386 drop-in for 32-bit hosts, with its tools and tests: the machine's
# own compilers with -m32 and Debian's i386 multiarch libraries.
#   cmake -S . -B build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i386.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

foreach(kind C CXX EXE_LINKER SHARED_LINKER MODULE_LINKER)
  set(CMAKE_${kind}_FLAGS_INIT "-m32")
endforeach()

# Package configurations (GoogleTest, Google Benchmark) from the i386
# multiarch folder, ahead of the machine's own.
list(PREPEND CMAKE_PREFIX_PATH /usr/lib/i386-linux-gnu/cmake)
