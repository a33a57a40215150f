// The byte loops that take most of the time: the scan for ink, PackBits and
// level packing. They come in one set per instruction set, chosen at run time
// by what the processor can do; every set writes exactly the same bytes and
// differs only in speed.
#ifndef VEXAO_COMPRESS_KERNELS_INTERNAL_H
#define VEXAO_COMPRESS_KERNELS_INTERNAL_H

#include <cstdint>

namespace vexao {

// Word: four bytes at a time in general registers, on any i686.
// Sse2, Avx2: 16 and 32 bytes at a time in vector registers.
enum class SimdPath { Word, Sse2, Avx2 };
constexpr SimdPath kEverySimdPath[] = {SimdPath::Word, SimdPath::Sse2, SimdPath::Avx2};

struct ByteKernels {
    // Index of the first non-zero byte of bytes[0..n), or n when there is none.
    std::int32_t (*firstNonZero)(const std::uint8_t* bytes, std::int32_t n);
    // Index of the last non-zero byte of bytes[0..n), or -1 when there is none.
    std::int32_t (*lastNonZero)(const std::uint8_t* bytes, std::int32_t n);
    // PackBits of input[0..n) (n in 0..32767) into at most `capacity` bytes;
    // the length, or -1 when it does not fit. packBits writes nothing past
    // the length it returns; packBitsIntoRoom may use the rest of the
    // capacity as scratch.
    std::int32_t (*packBits)(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                             std::int32_t n);
    std::int32_t (*packBitsIntoRoom)(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                                     std::int32_t n);
    // Level packing of `groups` whole groups of three bytes into two bytes each,
    // through the 256-entry pair table.
    void (*packLevelGroups)(std::uint8_t* output, const std::uint8_t* input, std::int32_t groups,
                            const std::uint8_t* table);
};

// Whether this processor (and its operating system) can run the path.
bool cpuRuns(SimdPath path) noexcept;
// The set of a path; only call it for a path the processor runs.
const ByteKernels& kernelsFor(SimdPath path) noexcept;
// The fastest set this processor runs.
const ByteKernels& fastestKernels() noexcept;

}  // namespace vexao

#endif
