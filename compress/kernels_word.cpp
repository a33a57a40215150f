// The byte kernels four bytes at a time, in general registers: every
// processor runs them, and they are the only ones on processors other than
// x86.
#include "compress/kernel_loops.h"

namespace {

constexpr std::uint32_t kEveryByte = 0x01010101u;
constexpr std::uint32_t kEveryHighBit = 0x80808080u;

std::uint32_t load(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Bytes are little-endian in a word, so the lowest set bit marks the first.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read as little-endian");
std::int32_t firstMarked(std::uint32_t marks) { return __builtin_ctz(marks) >> 3; }
std::int32_t lastMarked(std::uint32_t marks) { return (31 - __builtin_clz(marks)) >> 3; }

// The high bit of each zero byte of `word`. Bytes above a zero byte may be
// marked wrongly, so only the lowest mark can be trusted.
std::uint32_t lowestZeroByteMark(std::uint32_t word) { return (word - kEveryByte) & ~word & kEveryHighBit; }

struct WordLanes {
    static constexpr std::int32_t kWidth = 4;

    static std::int32_t firstDifferent(const std::uint8_t* p, std::uint8_t value) {
        std::uint32_t differences = load(p) ^ (value * kEveryByte);
        return differences == 0 ? kWidth : firstMarked(differences);
    }
    static std::int32_t firstTriple(const std::uint8_t* p) {
        std::uint32_t middle = load(p + 1);
        std::uint32_t marks = lowestZeroByteMark((load(p) ^ middle) | (middle ^ load(p + 2)));
        return marks == 0 ? kWidth : firstMarked(marks);
    }
    static std::int32_t firstNonZero(const std::uint8_t* p) {
        std::uint32_t word = load(p);
        return word == 0 ? kWidth : firstMarked(word);
    }
    static std::int32_t lastNonZero(const std::uint8_t* p) {
        std::uint32_t word = load(p);
        return word == 0 ? -1 : lastMarked(word);
    }
    static void copy(std::uint8_t* to, const std::uint8_t* from) { std::memcpy(to, from, kWidth); }
    static bool anyNonZero4(const std::uint8_t* p) { return (load(p) | load(p + 4) | load(p + 8) | load(p + 12)) != 0; }
};

}  // namespace

namespace vexao {

extern const ByteKernels kWordKernels = kernelsOf<WordLanes>(packLevelGroupsOneByOne);

}  // namespace vexao
