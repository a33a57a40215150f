// The byte kernels 16 bytes at a time in SSE2 registers. This file alone is
// compiled for SSE2; it runs only where the processor has it.
#include <emmintrin.h>

#include "compress/kernel_loops.h"

namespace {

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// One bit a byte, the first byte in bit 0.
std::uint32_t zeroBytes(__m128i v) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}

constexpr std::uint32_t kAllLanes = 0xFFFF;

struct Sse2Lanes {
    static constexpr std::int32_t kWidth = 16;

    static std::int32_t firstDifferent(const std::uint8_t* p, std::uint8_t value) {
        auto same = static_cast<std::uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(load(p), _mm_set1_epi8(static_cast<char>(value)))));
        return same == kAllLanes ? kWidth : __builtin_ctz(~same);
    }
    static std::int32_t firstTriple(const std::uint8_t* p) {
        __m128i middle = load(p + 1);
        __m128i triples = _mm_and_si128(_mm_cmpeq_epi8(load(p), middle), _mm_cmpeq_epi8(middle, load(p + 2)));
        auto found = static_cast<std::uint32_t>(_mm_movemask_epi8(triples));
        return found == 0 ? kWidth : __builtin_ctz(found);
    }
    static std::int32_t firstNonZero(const std::uint8_t* p) {
        std::uint32_t inked = zeroBytes(load(p)) ^ kAllLanes;
        return inked == 0 ? kWidth : __builtin_ctz(inked);
    }
    static std::int32_t lastNonZero(const std::uint8_t* p) {
        std::uint32_t inked = zeroBytes(load(p)) ^ kAllLanes;
        return inked == 0 ? -1 : 31 - __builtin_clz(inked);
    }
    static void copy(std::uint8_t* to, const std::uint8_t* from) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), load(from));
    }
    static bool anyNonZero4(const std::uint8_t* p) {
        __m128i any = _mm_or_si128(_mm_or_si128(load(p), load(p + 16)), _mm_or_si128(load(p + 32), load(p + 48)));
        return zeroBytes(any) != kAllLanes;
    }
};

}  // namespace

namespace vexao {

// Without a byte shuffle (SSSE3 and later) table lookups do not vectorise,
// so level packing stays one group at a time here.
extern const ByteKernels kSse2Kernels = kernelsOf<Sse2Lanes>(packLevelGroupsOneByOne);

}  // namespace vexao
