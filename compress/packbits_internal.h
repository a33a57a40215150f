// PackBits with a bound on the output, for callers that write into a buffer
// of fixed size and must refuse a line rather than overrun it.
#ifndef VEXAO_COMPRESS_PACKBITS_INTERNAL_H
#define VEXAO_COMPRESS_PACKBITS_INTERNAL_H

#include <cstdint>

#include "compress/compress_api.h"

namespace vexao {

constexpr std::int32_t kMaxCompressCount = VEXAO_MAX_COMPRESS_COUNT;

// The most bytes PackBits writes for n (0..32767) input bytes, a safe bound.
constexpr std::int32_t packBitsBound(std::int32_t n) { return VEXAO_PACKBITS_BOUND(n); }

// Writes what packbits writes, but never past `capacity` bytes: returns the
// length, or -1 when the code would not fit. Bytes between the length and
// the capacity may be overwritten, so the output buffer must be the
// caller's own. Counts outside 0..32767 give 0.
std::int32_t packBitsWithin(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                            std::int32_t n) noexcept;

}  // namespace vexao

#endif
