#include "driver/separation.h"

#include <algorithm>

#include "driver/model_table.h"
#include "driver/vector_clones.h"

namespace vexao::driver {

// A light dot prints 1/n of a dark one's tone, n = kLightInkDilution. Light
// ink alone prints tones up to 255/n, at n times the tone. Above that, dark
// ink d and light ink 255 - d print d + (255 - d)/n, which is the tone when
// d = (n * tone - 255) / (n - 1): dark ink rises from nothing to full while
// light ink falls from full to nothing. The division by a constant, rounded
// to the nearest, stays in whole numbers for the vectoriser.
VEXAO_VECTOR_CLONES
void splitLightInk(std::uint8_t* ink, std::uint8_t* light, int width) {
    constexpr unsigned n = vexao::models::kLightInkDilution;
    static_assert(n >= 2 && 255 * n < 65536, "the light ink must be lighter than the dark one");
    for (int x = 0; x < width; ++x) {
        unsigned tone = ink[x];
        bool lightAlone = tone * n <= 255;
        unsigned dark = lightAlone ? 0 : (tone * n - 255 + (n - 1) / 2) / (n - 1);
        ink[x] = static_cast<std::uint8_t>(dark);
        light[x] = static_cast<std::uint8_t>(lightAlone ? tone * n : 255 - dark);
    }
}

VEXAO_VECTOR_CLONES
void separateLine(const std::uint8_t* rgb, int width, InkSet inks, std::uint8_t* const* coverage) {
    if (inks == InkSet::Black) {
        for (int x = 0; x < width; ++x) {
            int luminance = (299 * rgb[3 * x] + 587 * rgb[3 * x + 1] + 114 * rgb[3 * x + 2]) / 1000;
            coverage[0][x] = static_cast<std::uint8_t>(255 - luminance);
        }
        return;
    }
    // Planes in the library's order: K, Y, M, C, then light magenta and light cyan.
    std::uint8_t *black = coverage[0], *yellow = coverage[1], *magenta = coverage[2], *cyan = coverage[3];
    for (int x = 0; x < width; ++x) {
        int c = 255 - rgb[3 * x], m = 255 - rgb[3 * x + 1], y = 255 - rgb[3 * x + 2];
        int k = std::min(c, std::min(m, y));  // full under-colour removal
        black[x] = static_cast<std::uint8_t>(k);
        yellow[x] = static_cast<std::uint8_t>(y - k);
        magenta[x] = static_cast<std::uint8_t>(m - k);
        cyan[x] = static_cast<std::uint8_t>(c - k);
    }
    if (inks == InkSet::SixInks) {
        splitLightInk(magenta, coverage[4], width);
        splitLightInk(cyan, coverage[5], width);
    }
}

namespace {

// With the number of colours known, the compiler moves whole vectors of
// pixels at a time.
template <int kColours>
__attribute__((always_inline)) inline void deinterleaveColours(const std::uint8_t* __restrict pixels, int width,
                                                               std::uint8_t* const* lines) {
    std::uint8_t* __restrict out[kColours];
    for (int c = 0; c < kColours; ++c) out[c] = lines[c];
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < kColours; ++c) out[c][x] = pixels[kColours * x + c];
}

}  // namespace

VEXAO_VECTOR_CLONES
void deinterleave(const std::uint8_t* pixels, int colours, int width, std::uint8_t* const* lines) {
    switch (colours) {
        case 1: std::copy_n(pixels, width, lines[0]); break;
        case 4: deinterleaveColours<4>(pixels, width, lines); break;
        default: deinterleaveColours<6>(pixels, width, lines); break;
    }
}

void separatePixel(const std::uint8_t* rgb, InkSet inks, std::uint8_t* coverage) {
    std::uint8_t* planes[6] = {coverage, coverage + 1, coverage + 2, coverage + 3, coverage + 4, coverage + 5};
    separateLine(rgb, 1, inks, planes);
}

}  // namespace vexao::driver
