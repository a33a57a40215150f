#include "driver/dither.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "driver/dither_mask.h"
#include "driver/vector_clones.h"

namespace vexao::driver {
namespace {

constexpr int kBlock = kDitherMaskSize;
constexpr int kRanks = kDitherMaskSize * kDitherMaskSize;

// Where ink `ink` reads the mask: offsets far apart and unrelated to each other.
int columnOffset(int ink) { return ink * 23 % kDitherMaskSize; }
int rowOffset(int ink) { return ink * 41 % kDitherMaskSize; }

// The threshold of step `k` (0-based) of `steps` for a cell of rank `rank`:
// coverage v prints at least k + 1 when v * steps / 255 > k + (rank + 1/2) / 4096.
// The right side is never a whole number, so a byte comparison decides exactly.
std::uint8_t threshold(int k, int steps, int rank) {
    long long scaled = 255LL * (2LL * kRanks * k + 2 * rank + 1);
    return static_cast<std::uint8_t>(scaled / (2LL * kRanks * steps));
}

// The steps of one line are merged into the line's loop, so that the choice
// of the vector copy is made once a line, not once a block.
#define VEXAO_BLOCK_STEP __attribute__((always_inline)) inline

VEXAO_BLOCK_STEP bool blockIsBlank(const std::uint8_t* bytes) {
    std::uint8_t any = 0;
    for (int i = 0; i < kBlock; ++i) any |= bytes[i];
    return any == 0;
}

// A pixel's level is the number of its thresholds that its coverage exceeds.
VEXAO_BLOCK_STEP void levelsOfBlock(const std::uint8_t* coverage, const std::uint8_t* thresholds, int steps,
                                    std::uint8_t* levels) {
    for (int i = 0; i < kBlock; ++i) levels[i] = coverage[i] > thresholds[i];
    for (int k = 1; k < steps; ++k)
        for (int i = 0; i < kBlock; ++i)
            levels[i] = static_cast<std::uint8_t>(levels[i] + (coverage[i] > thresholds[k * kBlock + i]));
}

// Eight pixels of level 0 or 1 become one byte, the first in the high bit.
VEXAO_BLOCK_STEP void packBits(const std::uint8_t* levels, std::uint8_t* packed, int bytes) {
    for (int j = 0; j < bytes; ++j) {
        unsigned byte = 0;
        for (int bit = 0; bit < 8; ++bit) byte |= static_cast<unsigned>(levels[8 * j + bit]) << (7 - bit);
        packed[j] = static_cast<std::uint8_t>(byte);
    }
}

VEXAO_BLOCK_STEP void packNibbles(const std::uint8_t* levels, std::uint8_t* packed, int bytes) {
    for (int j = 0; j < bytes; ++j) packed[j] = static_cast<std::uint8_t>(levels[2 * j] << 4 | levels[2 * j + 1]);
}

VEXAO_VECTOR_CLONES
void ditherLine(const std::uint8_t* coverage, int width, const std::uint8_t* thresholds, int steps, int bitsPerPixel,
                std::uint8_t* packed, std::uint8_t* levels) {
    int blockBytes = kBlock * bitsPerPixel / 8;
    std::uint8_t tail[kBlock];
    for (int x = 0; x < width; x += kBlock, coverage += kBlock, packed += blockBytes) {
        int pixels = std::min(kBlock, width - x);
        const std::uint8_t* block = coverage;
        if (pixels < kBlock) {  // the line's last, partial block: pad it with blank paper
            std::memset(tail, 0, kBlock);
            std::memcpy(tail, coverage, static_cast<std::size_t>(pixels));
            block = tail;
        }
        int bytes = (pixels * bitsPerPixel + 7) / 8;
        if (blockIsBlank(block)) {
            std::memset(packed, 0, static_cast<std::size_t>(bytes));
            continue;
        }
        levelsOfBlock(block, thresholds, steps, levels);
        if (bitsPerPixel == 1) packBits(levels, packed, bytes);
        else packNibbles(levels, packed, bytes);
    }
}

VEXAO_VECTOR_CLONES
bool blank(const std::uint8_t* bytes, std::size_t size) {
    std::size_t at = 0;
    for (; at + kBlock <= size; at += kBlock)  // a block at a time, so that ink ends the search early
        if (!blockIsBlank(bytes + at)) return false;
    for (; at < size; ++at)
        if (bytes[at] != 0) return false;
    return true;
}

}  // namespace

bool isBlank(const std::uint8_t* bytes, std::size_t size) { return blank(bytes, size); }

Dither::Dither(int width, int levels, int ink)
    : width_(width), steps_(levels - 1), bitsPerPixel_(levels == 2 ? 1 : 4) {
    if (width <= 0 || (levels != 2 && levels != 5)) throw std::invalid_argument("dither: bad width or levels");
    thresholds_.resize(static_cast<std::size_t>(kDitherMaskSize) * steps_ * kBlock);
    for (int row = 0; row < kDitherMaskSize; ++row)
        for (int k = 0; k < steps_; ++k)
            for (int column = 0; column < kBlock; ++column) {
                int y = (row + rowOffset(ink)) % kDitherMaskSize, x = (column + columnOffset(ink)) % kDitherMaskSize;
                thresholds_[(static_cast<std::size_t>(row) * steps_ + k) * kBlock + column] =
                    threshold(k, steps_, kDitherMask[y * kDitherMaskSize + x]);
            }
}

void Dither::line(int y, const std::uint8_t* coverage, std::uint8_t* packed) const {
    const std::uint8_t* rowThresholds = thresholds_.data() + static_cast<std::size_t>(y % kDitherMaskSize) * steps_ * kBlock;
    std::uint8_t levels[kBlock];  // a block's levels before packing
    ditherLine(coverage, width_, rowThresholds, steps_, bitsPerPixel_, packed, levels);
}

}  // namespace vexao::driver
