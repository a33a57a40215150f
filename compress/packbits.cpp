// PackBits as the printer reads it. Unlike the textbook encoder, an open
// literal group absorbs a following pair of equal bytes (while its count byte
// is at most 124), so short repeats between literals cost no count byte; a
// pair with no group open is written as a repeat run.
#include "compress/compress_api.h"
#include "compress/packbits_internal.h"

namespace {

constexpr std::int32_t kLongestRun = 128;
constexpr std::uint8_t kFullGroupCount = 0x7F;
constexpr std::uint8_t kLastCountTakingPair = 124;

// Output with a hard end: every write checks the room first.
struct BoundedOutput {
    std::uint8_t* next;
    std::uint8_t* end;

    bool fits(std::int32_t length) const { return end - next >= length; }
};

// Writes `length` (>= 1) copies of `value` as runs of at most 128. A rest of
// one comes out as 00 value, a one-byte literal group that stays open.
bool writeRuns(BoundedOutput& out, std::uint8_t value, std::int32_t length) {
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

}  // namespace

namespace vexao {

std::int32_t packBitsWithin(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                            std::int32_t n) noexcept {
    if (n < 0 || n > kMaxCompressCount) return 0;
    const std::uint8_t* const end = input + n;
    BoundedOutput out{output, output + (capacity > 0 ? capacity : 0)};
    std::uint8_t* groupCount = nullptr;  // count byte of the open literal group

    while (input < end) {
        const std::uint8_t value = *input;
        const std::uint8_t* runEnd = input + 1;
        while (runEnd < end && *runEnd == value) ++runEnd;
        const auto length = static_cast<std::int32_t>(runEnd - input);
        input = runEnd;

        if (groupCount != nullptr && length == 1) {
            if (!out.fits(1)) return -1;
            *out.next++ = value;
            if (++*groupCount == kFullGroupCount) groupCount = nullptr;
            continue;
        }
        if (groupCount != nullptr && length == 2) {
            bool joins = *groupCount <= kLastCountTakingPair;
            if (!out.fits(joins ? 2 : 3)) return -1;
            if (joins) {
                *groupCount += 2;
            } else {
                groupCount = out.next;
                *out.next++ = 0x01;
            }
            *out.next++ = value;
            *out.next++ = value;
            continue;
        }
        if (!writeRuns(out, value, length)) return -1;
        groupCount = length % kLongestRun == 1 ? out.next - 2 : nullptr;
    }
    return static_cast<std::int32_t>(out.next - output);
}

}  // namespace vexao

int32_t packbits(uint8_t* output, const uint8_t* input, int32_t n) noexcept {
    if (n < 0 || n > vexao::kMaxCompressCount) return 0;
    return vexao::packBitsWithin(output, vexao::packBitsBound(n), input, n);
}

int32_t LeftPack(uint8_t* output, int32_t n) noexcept {
    if (n <= 0 || n > vexao::kMaxCompressCount) return 0;
    BoundedOutput out{output, output + 2 * ((n + kLongestRun - 1) / kLongestRun)};
    writeRuns(out, 0x00, n);
    return static_cast<std::int32_t>(out.next - output);
}
