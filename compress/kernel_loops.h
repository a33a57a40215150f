// The loops of the byte kernels, written once over a "lanes" type that says
// how many bytes one step looks at and how it compares them. Every
// instruction-set file instantiates them with its own lanes type.
//
// Everything here has internal linkage: the files that include it are
// compiled for different instruction sets, and no copy of a function built
// for one may be shared with another. For the same reason this header pulls
// in no C++ library header.
#ifndef VEXAO_COMPRESS_KERNEL_LOOPS_H
#define VEXAO_COMPRESS_KERNEL_LOOPS_H

#include <cstdint>
#include <cstring>

#include "compress/kernels_internal.h"

namespace vexao {

// The sets, one in each kernels_<path>.cpp.
extern const ByteKernels kWordKernels;
extern const ByteKernels kSse2Kernels;
extern const ByteKernels kAvx2Kernels;

}  // namespace vexao

namespace {

// The helpers of a loop are always merged into it: a call for every run
// would cost more than the run's own work.
#define VEXAO_KERNEL_STEP inline __attribute__((always_inline))

// A Lanes type provides, for steps of kWidth bytes:
//   firstDifferent(p, value): index of the first of p[0..kWidth) that is not
//       `value`, or kWidth;
//   firstTriple(p): the first i in [0, kWidth) with p[i] == p[i + 1] ==
//       p[i + 2], or kWidth (reads kWidth + 2 bytes);
//   firstNonZero(p) / lastNonZero(p): index of the first / last non-zero
//       byte of p[0..kWidth), or kWidth / -1;
//   anyNonZero4(p): whether p[0..4 * kWidth) holds a non-zero byte;
//   copy(to, from): copies kWidth bytes.

template <class Lanes>
std::int32_t firstNonZeroByte(const std::uint8_t* bytes, std::int32_t n) {
    constexpr std::int32_t w = Lanes::kWidth;
    std::int32_t i = 0;
    while (i + 4 * w <= n && !Lanes::anyNonZero4(bytes + i)) i += 4 * w;
    for (; i + w <= n; i += w) {
        std::int32_t found = Lanes::firstNonZero(bytes + i);
        if (found < w) return i + found;
    }
    if (i < n && n >= w) {
        // The rest in one lane that overlaps bytes already known to be zero.
        std::int32_t found = Lanes::firstNonZero(bytes + n - w);
        return found < w ? n - w + found : n;
    }
    for (; i < n; ++i)
        if (bytes[i] != 0) return i;
    return n;
}

template <class Lanes>
std::int32_t lastNonZeroByte(const std::uint8_t* bytes, std::int32_t n) {
    constexpr std::int32_t w = Lanes::kWidth;
    std::int32_t end = n;
    while (end >= 4 * w && !Lanes::anyNonZero4(bytes + end - 4 * w)) end -= 4 * w;
    for (; end >= w; end -= w) {
        std::int32_t found = Lanes::lastNonZero(bytes + end - w);
        if (found >= 0) return end - w + found;
    }
    // The rest in one lane that overlaps bytes already known to be zero.
    if (end > 0 && n >= w) return Lanes::lastNonZero(bytes);
    for (; end > 0; --end)
        if (bytes[end - 1] != 0) return end - 1;
    return -1;
}

// Most runs in raster data are short, so the first bytes of a run are looked
// at one by one before the lanes take over.
constexpr std::int32_t kShortRun = 4;

// Length of the run of equal bytes that starts at p[0] (n >= 1 bytes left).
template <class Lanes>
VEXAO_KERNEL_STEP std::int32_t runLength(const std::uint8_t* p, std::int32_t n) {
    constexpr std::int32_t w = Lanes::kWidth;
    const std::uint8_t value = p[0];
    std::int32_t i = 1;
    for (; i < n && i < kShortRun; ++i)
        if (p[i] != value) return i;
    for (; i + w <= n; i += w) {
        std::int32_t different = Lanes::firstDifferent(p + i, value);
        if (different < w) return i + different;
    }
    if (i < n && n >= w) {
        // The rest in one lane that overlaps bytes already known to be equal.
        std::int32_t different = Lanes::firstDifferent(p + n - w, value);
        return different < w ? n - w + different : n;
    }
    while (i < n && p[i] == value) ++i;
    return i;
}

// How many bytes from p[0] are runs of one or two bytes: the first i below
// `limit` that starts three equal bytes, or `limit`. p[0] starts a run and
// `available` (>= limit) bytes may be read.
template <class Lanes>
VEXAO_KERNEL_STEP std::int32_t shortRunsLength(const std::uint8_t* p, std::int32_t limit,
                                               std::int32_t available) {
    constexpr std::int32_t w = Lanes::kWidth;
    std::int32_t i = 0;
    for (; i < limit && i + w + 1 < available; i += w) {
        std::int32_t triple = Lanes::firstTriple(p + i);
        if (triple < w) return i + triple < limit ? i + triple : limit;
    }
    if (i >= limit) return limit;
    if (available >= w + 2) {
        // The last starts in one lane that overlaps starts already checked.
        std::int32_t triple = Lanes::firstTriple(p + available - w - 2);
        std::int32_t at = available - w - 2 + triple;
        return triple < w && at < limit ? at : limit;
    }
    for (; i < limit && i + 2 < available; ++i)
        if (p[i] == p[i + 1] && p[i + 1] == p[i + 2]) return i;
    return limit;
}

// PackBits as the printer reads it. Unlike the textbook encoder, an open
// literal group absorbs a following pair of equal bytes (while its count byte
// is at most 124), so short repeats between literals cost no count byte; a
// pair with no group open is written as a repeat run.
constexpr std::int32_t kLongestRun = 128;
constexpr std::uint8_t kFullGroupCount = 0x7F;
constexpr std::uint8_t kLastCountTakingPair = 124;
constexpr std::uint8_t kLastCountOfPair = kLastCountTakingPair + 2;

// Output with a hard end: every write checks the room first.
struct BoundedOutput {
    std::uint8_t* next;
    std::uint8_t* end;

    bool fits(std::int32_t length) const { return end - next >= length; }
};

// The open literal group: where its count byte is, and the count, kept
// here so that it is only ever stored, never read back from the output.
struct LiteralGroup {
    std::uint8_t* countByte = nullptr;
    std::int32_t count = 0;

    bool isOpen() const { return countByte != nullptr; }
    void open(std::uint8_t* at, std::int32_t initialCount) {
        countByte = at;
        count = initialCount;
        *at = static_cast<std::uint8_t>(initialCount);
    }
    void grow(std::int32_t bytes) {
        count += bytes;
        *countByte = static_cast<std::uint8_t>(count);
    }
    void close() { countByte = nullptr; }
};

// Writes `length` (>= 1) copies of `value` as runs of at most 128. A rest of
// one comes out as 00 value, a one-byte literal group that stays open.
VEXAO_KERNEL_STEP bool writeRuns(BoundedOutput& out, std::uint8_t value, std::int32_t length) {
    std::int32_t pieces = (length + kLongestRun - 1) / kLongestRun;
    if (!out.fits(2 * pieces)) return false;
    for (; length > kLongestRun; length -= kLongestRun) {
        *out.next++ = 0x81;
        *out.next++ = value;
    }
    *out.next++ = static_cast<std::uint8_t>(257 - length);
    *out.next++ = value;
    return true;
}

// Copies into the output a lane at a time, a last, overlapping lane taking
// the rest; shorter pieces go as two overlapping moves of a fixed size. The
// C library's copy costs more than it saves on pieces this short.
template <std::int32_t kSize>
void copyOverlapping(std::uint8_t* to, const std::uint8_t* from, std::int32_t count) {
    std::memcpy(to, from, kSize);
    std::memcpy(to + count - kSize, from + count - kSize, kSize);
}

// How PackBits may treat the output past the bytes it returns: left as it
// was, or used as scratch up to the capacity. Line production owns its
// buffers, so it lets short pieces go out as one whole lane.
enum class Room { Exact, Scratch };

// `readable` (>= count) bytes may be read from `bytes`.
template <class Lanes, Room kRoom>
VEXAO_KERNEL_STEP void copyBytes(BoundedOutput& out, const std::uint8_t* bytes, std::int32_t count,
                                 std::int32_t readable) {
    constexpr std::int32_t w = Lanes::kWidth;
    std::uint8_t* to = out.next;
    out.next += count;
    if (kRoom == Room::Scratch && count <= w && readable >= w && out.end - to >= w) {
        Lanes::copy(to, bytes);
    } else if (count >= w) {
        for (std::int32_t i = 0; i + w <= count; i += w) Lanes::copy(to + i, bytes + i);
        Lanes::copy(to + count - w, bytes + count - w);
    } else if (count >= 16) {
        copyOverlapping<16>(to, bytes, count);
    } else if (count >= 8) {
        copyOverlapping<8>(to, bytes, count);
    } else if (count >= 4) {
        copyOverlapping<4>(to, bytes, count);
    } else {
        for (std::int32_t i = 0; i < count; ++i) to[i] = bytes[i];
    }
}

// A pair with a literal group open joins it while the count allows, else it
// opens a new group of its own.
VEXAO_KERNEL_STEP bool appendPair(BoundedOutput& out, LiteralGroup& group, std::uint8_t value) {
    bool joins = group.count <= kLastCountTakingPair;
    if (!out.fits(joins ? 2 : 3)) return false;
    if (joins) {
        group.grow(2);
    } else {
        group.open(out.next++, 0x01);
    }
    *out.next++ = value;
    *out.next++ = value;
    return true;
}

// With a literal group open, every run of one or two bytes before the next
// run of three joins it as it stands, as long as the count stays at most
// 126: no single can then close the group, and every pair still finds its
// count at most 124. So such stretches are copied whole; the runs at a
// group's end go one at a time. Returns the bytes taken, 0 for none.
template <class Lanes, Room kRoom>
VEXAO_KERNEL_STEP std::int32_t joinShortRuns(BoundedOutput& out, LiteralGroup& group, const std::uint8_t* input,
                                             std::int32_t left) {
    std::int32_t room = kLastCountOfPair - group.count;
    // Looking one byte past the room is enough: a run of three that starts
    // in the room's last byte is caught by the pair check below.
    std::int32_t stretch = shortRunsLength<Lanes>(input, left < room + 1 ? left : room + 1, left);
    std::int32_t taken = stretch < room ? stretch : room;
    // A cut inside the stretch must not split a pair.
    if (taken > 0 && taken < stretch && input[taken - 1] == input[taken]) --taken;
    if (taken <= 0 || !out.fits(taken)) return 0;
    copyBytes<Lanes, kRoom>(out, input, taken, left);
    group.grow(taken);
    return taken;
}

template <class Lanes, Room kRoom>
std::int32_t packBitsLoop(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                          std::int32_t n) {
    const std::uint8_t* const end = input + n;
    BoundedOutput out{output, output + (capacity > 0 ? capacity : 0)};
    LiteralGroup group;

    while (input < end) {
        auto left = static_cast<std::int32_t>(end - input);
        if (group.isOpen()) {
            // What stops the stretch (a run of three, or the group's end) is
            // taken by the rules below, one run.
            std::int32_t joined = joinShortRuns<Lanes, kRoom>(out, group, input, left);
            input += joined;
            left -= joined;
            if (left == 0) break;
        }
        const std::uint8_t value = *input;
        std::int32_t length = runLength<Lanes>(input, left);
        input += length;
        if (group.isOpen() && length == 1) {
            if (!out.fits(1)) return -1;
            *out.next++ = value;
            group.grow(1);
            if (group.count == kFullGroupCount) group.close();
            continue;
        }
        if (group.isOpen() && length == 2) {
            if (!appendPair(out, group, value)) return -1;
            continue;
        }
        if (!writeRuns(out, value, length)) return -1;
        // A rest of one after the 128-byte pieces is a one-byte literal group.
        if (length % kLongestRun == 1) {
            group.open(out.next - 2, 0x00);
        } else {
            group.close();
        }
        // A single byte after a repeat run, the common case, opens a group.
        if (!group.isOpen() && end - input >= 2 && input[0] != input[1]) {
            if (!out.fits(2)) return -1;
            group.open(out.next++, 0x00);
            *out.next++ = *input++;
        }
    }
    return static_cast<std::int32_t>(out.next - output);
}

// Level packing: two five-level pixels a byte in, three pixels a byte out.
inline std::uint8_t highPixel(std::uint8_t pixels) { return static_cast<std::uint8_t>(pixels >> 4 & 7); }
inline std::uint8_t lowPixel(std::uint8_t pixels) { return static_cast<std::uint8_t>(pixels & 7); }

// Pixels a.hi and a.lo as a pair code, b.hi as the third pixel.
inline std::uint8_t firstOfGroup(const std::uint8_t* table, std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(table[a] | highPixel(b));
}

// Pixels b.lo and c.hi as a pair code, c.lo as the third pixel.
inline std::uint8_t secondOfGroup(const std::uint8_t* table, std::uint8_t b, std::uint8_t c) {
    return static_cast<std::uint8_t>(table[lowPixel(b) << 4 | highPixel(c)] | lowPixel(c));
}

inline void packLevelGroupsOneByOne(std::uint8_t* output, const std::uint8_t* input, std::int32_t groups,
                                    const std::uint8_t* table) {
    for (std::int32_t g = 0; g < groups; ++g, input += 3) {
        *output++ = firstOfGroup(table, input[0], input[1]);
        *output++ = secondOfGroup(table, input[1], input[2]);
    }
}

template <class Lanes>
constexpr vexao::ByteKernels kernelsOf(void (*packLevelGroups)(std::uint8_t*, const std::uint8_t*, std::int32_t,
                                                               const std::uint8_t*)) {
    return {firstNonZeroByte<Lanes>, lastNonZeroByte<Lanes>, packBitsLoop<Lanes, Room::Exact>,
            packBitsLoop<Lanes, Room::Scratch>, packLevelGroups};
}

#undef VEXAO_KERNEL_STEP

}  // namespace

#endif
