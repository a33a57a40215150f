// Tone reproduction on a decoded page: 256 tones of one ink, each a block of
// 64 x 64 dots in rows of 16 (tone t at column t % 16, row t / 16), and how
// far the printed density of each block is from its tone.
#ifndef VEXAO_TESTS_SUPPORT_TONE_BLOCKS_H
#define VEXAO_TESTS_SUPPORT_TONE_BLOCKS_H

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "driver/model_table.h"
#include "tools/decode/page_decoder.h"

namespace vexao_test {

constexpr int kToneBlock = 64, kTonesPerRow = 16;
constexpr int kTonePageSide = kToneBlock * kTonesPerRow;  // dots

// The tone of the block that dot (x, y) lies in.
inline std::uint8_t toneAt(int x, int y) {
    return static_cast<std::uint8_t>((y / kToneBlock) * kTonesPerRow + x / kToneBlock);
}

// The mean coverage, 0..1, of the block at (left, top) in `plane`: one bit a
// pixel, or five levels at four bits.
inline double blockCoverage(const vexao::decode::PlaneRaster& plane, int left, int top, int bitsPerPixel) {
    if (!plane.hasData()) return 0;
    long sum = 0;
    for (int y = top; y < top + kToneBlock && y < plane.height(); ++y)
        for (int x = left; x < left + kToneBlock; ++x) {
            int bit = x * bitsPerPixel;
            std::uint8_t byte = bit / 8 < plane.width() ? plane.row(y)[bit / 8] : 0;
            sum += bitsPerPixel == 1 ? byte >> (7 - bit % 8) & 1 : (bit % 8 == 0 ? byte >> 4 : byte & 15);
        }
    return static_cast<double>(sum) / (kToneBlock * kToneBlock) / (bitsPerPixel == 1 ? 1 : 4);
}

struct ToneReport {
    double worst = 0;    // largest |density - tone| over the tones, tones as 0..1
    int worstTone = 0;
    int falls = -1;      // a tone that prints lighter than the one below it, or -1
};

// The density of each tone block printed with `dark` ink and, when given,
// `light` ink at its dilution.
inline ToneReport measureTones(const vexao::decode::PlaneRaster& dark, const vexao::decode::PlaneRaster* light,
                               int bitsPerPixel) {
    ToneReport report;
    double previous = -1;
    for (int tone = 0; tone < 256; ++tone) {
        int left = tone % kTonesPerRow * kToneBlock, top = tone / kTonesPerRow * kToneBlock;
        double density = blockCoverage(dark, left, top, bitsPerPixel);
        if (light != nullptr) density += blockCoverage(*light, left, top, bitsPerPixel) / vexao::models::kLightInkDilution;
        double off = std::abs(density - tone / 255.0);
        if (off > report.worst) report.worst = off, report.worstTone = tone;
        // Halftoning over a block is exact to a few dots; a fall beyond that is real.
        if (density < previous - 0.005 && report.falls < 0) report.falls = tone;
        previous = density;
    }
    return report;
}

}  // namespace vexao_test

#endif
