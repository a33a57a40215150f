// The byte kernels 32 bytes at a time in AVX2 registers. This file alone is
// compiled for AVX2; it runs only where the processor and the operating
// system support it.
#include <immintrin.h>

#include "compress/kernel_loops.h"

namespace {

__m256i load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// One bit a byte, the first byte in bit 0.
std::uint32_t zeroBytes(__m256i v) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
}

constexpr std::uint32_t kAllLanes = 0xFFFFFFFFu;

struct Avx2Lanes {
    static constexpr std::int32_t kWidth = 32;

    static std::int32_t firstDifferent(const std::uint8_t* p, std::uint8_t value) {
        auto same = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(load(p), _mm256_set1_epi8(static_cast<char>(value)))));
        return same == kAllLanes ? kWidth : __builtin_ctz(~same);
    }
    static std::int32_t firstTriple(const std::uint8_t* p) {
        __m256i middle = load(p + 1);
        __m256i triples = _mm256_and_si256(_mm256_cmpeq_epi8(load(p), middle), _mm256_cmpeq_epi8(middle, load(p + 2)));
        auto found = static_cast<std::uint32_t>(_mm256_movemask_epi8(triples));
        return found == 0 ? kWidth : __builtin_ctz(found);
    }
    static std::int32_t firstNonZero(const std::uint8_t* p) {
        std::uint32_t inked = ~zeroBytes(load(p));
        return inked == 0 ? kWidth : __builtin_ctz(inked);
    }
    static std::int32_t lastNonZero(const std::uint8_t* p) {
        std::uint32_t inked = ~zeroBytes(load(p));
        return inked == 0 ? -1 : 31 - __builtin_clz(inked);
    }
    static void copy(std::uint8_t* to, const std::uint8_t* from) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), load(from));
    }
    static bool anyNonZero4(const std::uint8_t* p) {
        __m256i front = _mm256_or_si256(load(p), load(p + 32));
        __m256i any = _mm256_or_si256(front, _mm256_or_si256(load(p + 64), load(p + 96)));
        return zeroBytes(any) != kAllLanes;
    }
};

// Level packing works on blocks of 16 groups (48 bytes), one block in each
// 128-bit half of a register, so that every shuffle stays within its half.
constexpr std::int32_t kBlockGroups = 16;
constexpr std::int32_t kBlockBytes = 3 * kBlockGroups;

struct ShuffleMask {
    std::int8_t bytes[16];
};

// Gathers byte `offset` (0..2) of every group of a block from the block's
// 16-byte piece `piece` (0..2); the groups whose byte lies elsewhere get 0.
constexpr ShuffleMask gatherMask(int piece, int offset) {
    ShuffleMask mask{};
    for (int g = 0; g < kBlockGroups; ++g) {
        int at = 3 * g + offset - 16 * piece;
        mask.bytes[g] = static_cast<std::int8_t>(at >= 0 && at < 16 ? at : -128);
    }
    return mask;
}

constexpr ShuffleMask kGather[3][3] = {
    {gatherMask(0, 0), gatherMask(0, 1), gatherMask(0, 2)},
    {gatherMask(1, 0), gatherMask(1, 1), gatherMask(1, 2)},
    {gatherMask(2, 0), gatherMask(2, 1), gatherMask(2, 2)},
};

__m256i broadcast16(const void* bytes) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(bytes)));
}

// Piece `piece` of two consecutive blocks, one in each half.
__m256i loadPieces(const std::uint8_t* blocks, int piece) {
    const std::uint8_t* first = blocks + 16 * piece;
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + kBlockBytes)), 1);
}

// Any pair table, as 16 rows of 16 entries: a row by the index's high
// nibble, an entry by its low one. Rows of zeros add nothing to a lookup and
// are left out.
struct TableRows {
    __m256i entries[16];
    __m256i rowNumber[16];
    int count = 0;

    explicit TableRows(const std::uint8_t* table) {
        for (int row = 0; row < 16; ++row) {
            __m128i entriesOfRow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * row));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(entriesOfRow, _mm_setzero_si128())) == 0xFFFF) continue;
            entries[count] = _mm256_broadcastsi128_si256(entriesOfRow);
            rowNumber[count] = _mm256_set1_epi8(static_cast<char>(row));
            ++count;
        }
    }

    __m256i lookUp(__m256i row, __m256i column) const {
        __m256i found = _mm256_setzero_si256();
        for (int r = 0; r < count; ++r) {
            __m256i inRow = _mm256_cmpeq_epi8(row, rowNumber[r]);
            found = _mm256_or_si256(found, _mm256_and_si256(inRow, _mm256_shuffle_epi8(entries[r], column)));
        }
        return found;
    }
};

// A table that is zero wherever a nibble is above 4, like the printer's,
// holds only 25 codes: they fit two byte shuffles, indexed by 5 * row + column.
constexpr int kLevels = 5;

struct LevelCodes {
    __m256i firstCodes, lastCodes;  // codes 0..15 and 16..24

    static bool holdsOnlyLevels(const std::uint8_t* table) {
        for (int row = 0; row < 16; ++row) {
            __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * row));
            auto zeros = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(entries, _mm_setzero_si128())));
            std::uint32_t mustBeZero = row < kLevels ? 0xFFFFu & ~((1u << kLevels) - 1) : 0xFFFFu;
            if ((zeros & mustBeZero) != mustBeZero) return false;
        }
        return true;
    }

    explicit LevelCodes(const std::uint8_t* table) {
        alignas(16) std::uint8_t codes[32] = {};
        for (int row = 0; row < kLevels; ++row)
            for (int column = 0; column < kLevels; ++column) codes[kLevels * row + column] = table[16 * row + column];
        firstCodes = broadcast16(codes);
        lastCodes = broadcast16(codes + 16);
    }

    __m256i lookUp(__m256i row, __m256i column) const {
        const __m256i levels = _mm256_set1_epi8(kLevels);
        __m256i valid = _mm256_and_si256(_mm256_cmpgt_epi8(levels, row), _mm256_cmpgt_epi8(levels, column));
        // 5 * row + column is at most 90, so a byte holds it without sign.
        __m256i code = _mm256_add_epi8(_mm256_add_epi8(_mm256_slli_epi16(row, 2), row), column);
        __m256i inLast = _mm256_cmpgt_epi8(code, _mm256_set1_epi8(15));
        __m256i found =
            _mm256_blendv_epi8(_mm256_shuffle_epi8(firstCodes, code), _mm256_shuffle_epi8(lastCodes, code), inLast);
        return _mm256_and_si256(found, valid);
    }
};

// Byte `offset` of each of the 32 groups of two blocks.
__m256i groupBytes(const __m256i pieces[3], int offset) {
    __m256i gathered = _mm256_shuffle_epi8(pieces[0], broadcast16(kGather[0][offset].bytes));
    gathered = _mm256_or_si256(gathered, _mm256_shuffle_epi8(pieces[1], broadcast16(kGather[1][offset].bytes)));
    return _mm256_or_si256(gathered, _mm256_shuffle_epi8(pieces[2], broadcast16(kGather[2][offset].bytes)));
}

// Two blocks: 96 bytes in, 64 bytes out, the same as firstOfGroup and
// secondOfGroup give for each group.
template <class Table>
void packTwoBlocks(std::uint8_t* output, const std::uint8_t* input, const Table& table) {
    const __m256i pixel = _mm256_set1_epi8(7);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i pieces[3] = {loadPieces(input, 0), loadPieces(input, 1), loadPieces(input, 2)};
    __m256i a = groupBytes(pieces, 0), b = groupBytes(pieces, 1), c = groupBytes(pieces, 2);
    __m256i pairA = table.lookUp(_mm256_and_si256(_mm256_srli_epi16(a, 4), nibble), _mm256_and_si256(a, nibble));
    __m256i pairBC = table.lookUp(_mm256_and_si256(b, pixel), _mm256_and_si256(_mm256_srli_epi16(c, 4), pixel));
    __m256i first = _mm256_or_si256(pairA, _mm256_and_si256(_mm256_srli_epi16(b, 4), pixel));
    __m256i second = _mm256_or_si256(pairBC, _mm256_and_si256(c, pixel));
    __m256i pairsLow = _mm256_unpacklo_epi8(first, second);
    __m256i pairsHigh = _mm256_unpackhi_epi8(first, second);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(output), _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(output + 32), _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x31));
}

// Packs whole pairs of blocks; returns the groups left over.
template <class Table>
std::int32_t packBlocks(std::uint8_t*& output, const std::uint8_t*& input, std::int32_t groups, const Table& table) {
    for (; groups >= 2 * kBlockGroups; groups -= 2 * kBlockGroups) {
        packTwoBlocks(output, input, table);
        input += 2 * kBlockBytes;
        output += 4 * kBlockGroups;
    }
    return groups;
}

void packLevelGroupsVector(std::uint8_t* output, const std::uint8_t* input, std::int32_t groups,
                           const std::uint8_t* table) {
    if (groups >= 2 * kBlockGroups) {
        groups = LevelCodes::holdsOnlyLevels(table) ? packBlocks(output, input, groups, LevelCodes(table))
                                                    : packBlocks(output, input, groups, TableRows(table));
    }
    packLevelGroupsOneByOne(output, input, groups, table);
}

}  // namespace

namespace vexao {

extern const ByteKernels kAvx2Kernels = kernelsOf<Avx2Lanes>(packLevelGroupsVector);

}  // namespace vexao
