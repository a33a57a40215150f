// File sizes for the file and resource functions.
#ifndef VEXAO_TOOLBOX_FILE_SIZE_INTERNAL_H
#define VEXAO_TOOLBOX_FILE_SIZE_INTERNAL_H

#include <cstdint>
#include <cstdio>

namespace vexao {

// The size of the file at `path`, or of the file behind `stream` (its
// buffered writes flushed first), in 64 bits on every architecture. False
// when the file cannot be found or examined.
bool sizeOfPath(const char* path, std::int64_t* size) noexcept;
bool sizeOfStream(std::FILE* stream, std::int64_t* size) noexcept;

}  // namespace vexao

#endif
