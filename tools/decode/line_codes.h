// The two codes that raster line data goes through: PackBits, and the level
// packing of five-level pixels (two packed bytes for every three bytes of
// 4-bit pixels).
#ifndef VEXAO_TOOLS_DECODE_LINE_CODES_H
#define VEXAO_TOOLS_DECODE_LINE_CODES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/decode/decode_error.h"

namespace vexao::decode {

// Band blocks end each line with this byte, which PackBits never writes as a
// count byte.
constexpr std::uint8_t kLineEnd = 0x80;

// Walks the PackBits runs of one band-block line that starts at `begin` and
// sets `lineEnd` to the offset of its line-end byte. Fails when a run passes
// `limit` or no line end comes before it. Offsets are those of `bytes`.
bool findLineEnd(const std::uint8_t* bytes, std::size_t begin, std::size_t limit, std::size_t& lineEnd,
                 DecodeError& error);

// Undoes PackBits on bytes[begin, end) and appends the result to `out`.
// Fails on a run that passes `end`, on the count byte 0x80, and when the
// result would exceed `maxBytes`.
bool unpackBits(const std::uint8_t* bytes, std::size_t begin, std::size_t end, std::size_t maxBytes,
                std::vector<std::uint8_t>& out, DecodeError& error);

// Undoes level packing: every two packed bytes give three bytes of 4-bit
// pixels, a trailing odd byte gives one byte and the high nibble of the next.
// Fails on a pair code that the packing never writes and sets `badIndex` to
// the index of that packed byte.
bool unpackLevels(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& out,
                  std::size_t& badIndex);

}  // namespace vexao::decode

#endif
