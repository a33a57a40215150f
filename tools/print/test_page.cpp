#include "tools/print/test_page.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vexao::imaging {
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
