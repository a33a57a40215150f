#include "tools/imaging/separation.h"

#include "tools/imaging/vector_clones.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vexao::imaging {
namespace {

// Light inks carry a third of the dark ink's density: up to this coverage the
// tone is printed with light ink alone, above it the dark ink takes over.
constexpr int kLightInkLimit = 128;

}  // namespace

// Up to kLightInkLimit light ink alone rises to full, tone * 255 / 128;
// above it the dark ink takes over, (tone - 128) * 255 / 127, which is twice
// the excess plus one at full tone. Whole bytes and shifts, for the vectoriser.
VEXAO_VECTOR_CLONES
void splitLightInk(std::uint8_t* ink, std::uint8_t* light, int width) {
    static_assert(kLightInkLimit == 128, "the arithmetic below divides by 128 and by 127");
    for (int x = 0; x < width; ++x) {
        unsigned tone = ink[x];
        unsigned dark = tone > 128 ? 2 * (tone - 128) + (tone == 255) : 0;
        ink[x] = static_cast<std::uint8_t>(dark);
        light[x] = static_cast<std::uint8_t>(tone > 128 ? 255 - dark : (tone * 255) >> 7);
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

PageSeparator::PageSeparator(const RgbImage& image, InkSet inks, int bitsPerPixel)
    : image_(image), inks_(inks), coverage_(static_cast<std::size_t>(image.width) * static_cast<int>(inks)) {
    for (int p = 0; p < planes(); ++p) dithers_.emplace_back(image.width, bitsPerPixel == 1 ? 2 : 5, p);
}

void PageSeparator::nextLine(std::vector<std::vector<std::uint8_t>>& packed) {
    std::size_t width = static_cast<std::size_t>(image_.width);
    std::uint8_t* lines[6];
    for (int p = 0; p < planes(); ++p) lines[p] = coverage_.data() + width * p;
    separateLine(image_.row(y_), image_.width, inks_, lines);
    packed.resize(static_cast<std::size_t>(planes()));
    for (int p = 0; p < planes(); ++p) {
        packed[p].resize(static_cast<std::size_t>(dithers_[p].packedBytes()));
        dithers_[p].line(y_, lines[p], packed[p].data());
    }
    ++y_;
}

namespace {

void fillRect(RgbImage& image, int x0, int y0, int x1, int y1, const std::uint8_t* rgb) {
    for (int y = std::max(0, y0); y < std::min(image.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(image.width, x1); ++x) std::copy(rgb, rgb + 3, image.row(y) + 3 * x);
}

void drawRamps(RgbImage& image, int top, int bottom) {
    const std::uint8_t inks[4][3] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0}};
    int stripe = (bottom - top) / 4;
    for (int i = 0; i < 4; ++i)
        for (int y = top + i * stripe; y < top + (i + 1) * stripe - stripe / 8; ++y)
            for (int x = 0; x < image.width; ++x) {
                int amount = x * 255 / std::max(1, image.width - 1);
                std::uint8_t* out = image.row(y) + 3 * x;
                for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(255 - (255 - inks[i][c]) * amount / 255);
            }
}

// cos(i * pi / 16) for i = 0..8, in units of 1/65536. Whole numbers draw the
// same hairlines on every processor, where sin and cos need not round alike.
constexpr std::int32_t kCosineSixteenths[] = {65536, 64277, 60547, 54491, 46341, 36410, 25080, 12785, 0};

void drawHairlines(RgbImage& image, int top, int bottom) {
    const std::uint8_t black[3] = {0, 0, 0};
    int height = bottom - top;
    for (int i = 0; i < 8; ++i) {
        std::int64_t cosine = kCosineSixteenths[i], sine = kCosineSixteenths[8 - i];
        for (int t = 0; t < image.width; ++t) {
            int x = static_cast<int>(t * cosine >> 16);
            int y = top + static_cast<int>(t * sine >> 16) + i * height / 16;
            if (y >= bottom) break;
            fillRect(image, x, y, x + 1, y + 1, black);
        }
    }
}

void drawTextBlocks(RgbImage& image, int top, int bottom) {
    const std::uint8_t ink[3] = {30, 30, 60};
    int lineHeight = std::max(4, image.width / 60);
    unsigned state = 12345;
    for (int y = top; y + lineHeight <= bottom; y += lineHeight * 2) {
        for (int x = image.width / 20; x < image.width - image.width / 20;) {
            state = state * 1103515245 + 12345;
            int word = lineHeight * (2 + static_cast<int>(state >> 16) % 6);
            fillRect(image, x, y, std::min(x + word, image.width - image.width / 20), y + lineHeight, ink);
            x += word + lineHeight;
        }
    }
}

}  // namespace

RgbImage testPage(int width, int height) {
    std::string error;
    if (!checkImageSize(width, height, error)) throw std::length_error("test page: " + error);
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(width) * height * 3, 255);
    // Bands of content between blank bands, so skips show up in the stream.
    drawRamps(image, height / 20, height * 7 / 20);
    drawHairlines(image, height * 8 / 20, height * 12 / 20);
    drawTextBlocks(image, height * 13 / 20, height * 18 / 20);
    return image;
}

}  // namespace vexao::imaging
