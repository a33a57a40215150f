// The halftoning: tones, packing, partial blocks and inks apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/dither.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vexao::driver::Dither;

// The level of pixel `x` of a packed line.
int levelAt(const Bytes& packed, int x, int levels) {
    if (levels == 2) return packed[x / 8] >> (7 - x % 8) & 1;
    return x % 2 == 0 ? packed[x / 2] >> 4 : packed[x / 2] & 15;
}

// Mean level, as coverage 0..1, over one whole 64 x 64 tile of the mask.
double tileCoverage(const Dither& dither, int levels, std::uint8_t tone) {
    Bytes line(64, tone), packed(static_cast<std::size_t>(dither.packedBytes()));
    long sum = 0;
    for (int y = 0; y < 64; ++y) {
        dither.line(y, line.data(), packed.data());
        for (int x = 0; x < 64; ++x) sum += levelAt(packed, x, levels);
    }
    return static_cast<double>(sum) / (64 * 64) / (levels - 1);
}

TEST(Dither, EveryToneCoversWhatItAsksForAndMoreNeverPrintsLess) {
    for (int levels : {2, 5}) {
        for (int ink = 0; ink < 6; ++ink) {
            Dither dither(64, levels, ink);
            double previous = 0;
            for (int tone = 0; tone < 256; ++tone) {
                double coverage = tileCoverage(dither, levels, static_cast<std::uint8_t>(tone));
                EXPECT_NEAR(coverage, tone / 255.0, 1.0 / 4096 + 1e-9) << levels << " levels, tone " << tone;
                EXPECT_GE(coverage, previous);
                previous = coverage;
            }
        }
    }
}

// A pixel's level depends only on its tone and place, so a tone's dots are
// also the next tone's dots.
TEST(Dither, ADarkerToneKeepsEveryDotOfALighterOne) {
    Dither dither(64, 5, 2);
    Bytes lighter(64, 90), darker(64, 91), a(32), b(32);
    for (int y = 0; y < 64; ++y) {
        dither.line(y, lighter.data(), a.data());
        dither.line(y, darker.data(), b.data());
        for (int x = 0; x < 64; ++x) EXPECT_LE(levelAt(a, x, 5), levelAt(b, x, 5)) << x << "," << y;
    }
}

TEST(Dither, PacksLeftmostFirstAndWritesNothingPastTheLine) {
    Bytes coverage = {255, 0, 0, 0, 0, 0, 0, 255, 255};
    Bytes bits(2 + 8, 0xEE);
    Dither(9, 2, 0).line(0, coverage.data(), bits.data());
    EXPECT_EQ(Bytes(bits.begin(), bits.begin() + 2), (Bytes{0x81, 0x80}));
    EXPECT_EQ(bits[2], 0xEE);
    Bytes nibbles(2 + 8, 0xEE);
    Bytes three = {255, 0, 255};
    Dither(3, 5, 0).line(0, three.data(), nibbles.data());
    EXPECT_EQ(Bytes(nibbles.begin(), nibbles.begin() + 2), (Bytes{0x40, 0x40}));
    EXPECT_EQ(nibbles[2], 0xEE);
}

// Lines of any width, blank stretches among them: every block gives the same
// levels as the same pixels in a line of whole blocks.
TEST(Dither, PartialBlocksAndBlankStretchesAgreeWithWholeLines) {
    for (int levels : {2, 5}) {
        Bytes wide(256);
        for (int x = 0; x < 256; ++x) wide[x] = x % 100 < 30 ? 0 : static_cast<std::uint8_t>(x * 7);
        Dither whole(256, levels, 1);
        Bytes expected(static_cast<std::size_t>(whole.packedBytes()));
        whole.line(5, wide.data(), expected.data());
        for (int width : {1, 7, 63, 64, 65, 130, 255}) {
            Dither part(width, levels, 1);
            Bytes packed(static_cast<std::size_t>(part.packedBytes()));
            part.line(5, wide.data(), packed.data());
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(levelAt(packed, x, levels), levelAt(expected, x, levels)) << "width " << width << " x " << x;
        }
    }
}

// Inks read the mask at offsets of their own: at a quarter coverage each,
// two inks share about a quarter of their dots, as independent patterns do,
// not all of them.
TEST(Dither, InksDoNotPrintDotOnDot) {
    Dither first(64, 2, 0), second(64, 2, 3);
    Bytes tone(64, 64), a(8), b(8);
    int both = 0, dots = 0;
    for (int y = 0; y < 64; ++y) {
        first.line(y, tone.data(), a.data());
        second.line(y, tone.data(), b.data());
        for (int x = 0; x < 64; ++x) {
            dots += levelAt(a, x, 2);
            both += levelAt(a, x, 2) & levelAt(b, x, 2);
        }
    }
    EXPECT_LT(both, dots / 2);
}

TEST(Dither, RefusesOtherLevelsAndEmptyLines) {
    EXPECT_THROW(Dither(10, 3, 0), std::invalid_argument);
    EXPECT_THROW(Dither(0, 2, 0), std::invalid_argument);
}

}  // namespace
