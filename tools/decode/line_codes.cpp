#include "tools/decode/line_codes.h"

#include <array>
#include <cstdio>

#include "compress/compress_api.h"

namespace vexao::decode {

std::string describe(const DecodeError& error) {
    char where[48];
    std::snprintf(where, sizeof where, "byte %zu (0x%zx): ", error.offset, error.offset);
    return where + error.message;
}

namespace {

// Offset just past the PackBits run whose count byte is at `at`: a literal
// group of count + 1 bytes, or a repeat run of one byte.
std::size_t runEnd(std::uint8_t count, std::size_t at) {
    return count < kLineEnd ? at + 2 + count : at + 2;
}

bool failAt(DecodeError& error, std::size_t offset, std::string message) {
    error = {offset, std::move(message)};
    return false;
}

std::string byteText(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

constexpr int kNoPair = -1;

// Pair code (0..31) -> the byte of two pixels that the level table gives it,
// or kNoPair for the codes the table never yields.
std::array<int, 32> buildPairInverse() {
    std::array<int, 32> inverse;
    inverse.fill(kNoPair);
    for (int first = 0; first <= 4; ++first)
        for (int second = 0; second <= 4; ++second) {
            int index = 16 * first + second;
            inverse[tblqzo73l[index] >> 3] = index;
        }
    return inverse;
}

}  // namespace

bool findLineEnd(const std::uint8_t* bytes, std::size_t begin, std::size_t limit, std::size_t& lineEnd,
                 DecodeError& error) {
    std::size_t at = begin;
    while (at < limit) {
        if (bytes[at] == kLineEnd) {
            lineEnd = at;
            return true;
        }
        std::size_t next = runEnd(bytes[at], at);
        if (next > limit)
            return failAt(error, at, "PackBits run " + byteText(bytes[at]) + " runs past the end of the band block");
        at = next;
    }
    return failAt(error, begin, "band block ends inside this line: its length does not match its lines");
}

bool unpackBits(const std::uint8_t* bytes, std::size_t begin, std::size_t end, std::size_t maxBytes,
                std::vector<std::uint8_t>& out, DecodeError& error) {
    std::size_t at = begin;
    while (at < end) {
        std::uint8_t count = bytes[at];
        if (count == kLineEnd) return failAt(error, at, "PackBits count byte 0x80 inside line data");
        std::size_t next = runEnd(count, at);
        if (next > end)
            return failAt(error, at, "PackBits run " + byteText(count) + " runs past the end of its line");
        std::size_t produced = count < kLineEnd ? count + 1u : 257u - count;
        if (out.size() + produced > maxBytes)
            return failAt(error, at, "line decodes to more than " + std::to_string(maxBytes) + " bytes");
        if (count < kLineEnd)
            out.insert(out.end(), bytes + at + 1, bytes + next);
        else
            out.insert(out.end(), produced, bytes[at + 1]);
        at = next;
    }
    return true;
}

bool unpackLevels(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& out,
                  std::size_t& badIndex) {
    static const std::array<int, 32> kPairInverse = buildPairInverse();
    out.clear();
    out.reserve(packed.size() / 2 * 3 + 2);
    for (std::size_t i = 0; i < packed.size(); ++i) {
        int pair = kPairInverse[packed[i] >> 3];
        if (pair == kNoPair) {
            badIndex = i;
            return false;
        }
        int third = packed[i] & 7;
        if (i % 2 == 0) {
            // Pixels a.hi, a.lo and b.hi.
            out.push_back(static_cast<std::uint8_t>(pair));
            out.push_back(static_cast<std::uint8_t>(third << 4));
        } else {
            // Pixels b.lo, c.hi and c.lo.
            out.back() = static_cast<std::uint8_t>(out.back() | pair >> 4);
            out.push_back(static_cast<std::uint8_t>((pair & 0x0F) << 4 | third));
        }
    }
    return true;
}

}  // namespace vexao::decode
