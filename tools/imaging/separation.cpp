#include "tools/imaging/separation.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vexao::imaging {
namespace {

// Light inks carry a third of the dark ink's density: below this coverage the
// tone is printed with light ink alone.
constexpr int kLightInkLimit = 128;

void splitLightInk(int coverage, std::uint8_t& dark, std::uint8_t& light) {
    if (coverage <= kLightInkLimit) {
        light = static_cast<std::uint8_t>(coverage * 255 / kLightInkLimit);
        dark = 0;
    } else {
        int over = coverage - kLightInkLimit;
        dark = static_cast<std::uint8_t>(over * 255 / (255 - kLightInkLimit));
        light = static_cast<std::uint8_t>(255 - dark);
    }
}

}  // namespace

void separatePixel(const std::uint8_t* rgb, InkSet inks, std::uint8_t* coverage) {
    if (inks == InkSet::Black) {
        int luminance = (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2]) / 1000;
        coverage[0] = static_cast<std::uint8_t>(255 - luminance);
        return;
    }
    int cyan = 255 - rgb[0], magenta = 255 - rgb[1], yellow = 255 - rgb[2];
    int black = std::min({cyan, magenta, yellow});  // full under-colour removal
    const std::uint8_t cmyk[4] = {static_cast<std::uint8_t>(cyan - black), static_cast<std::uint8_t>(magenta - black),
                                  static_cast<std::uint8_t>(yellow - black), static_cast<std::uint8_t>(black)};
    if (inks == InkSet::SixInks) return separateLightInks(cmyk, coverage);
    coverage[0] = cmyk[3];
    coverage[1] = cmyk[2];
    coverage[2] = cmyk[1];
    coverage[3] = cmyk[0];
}

void separateLightInks(const std::uint8_t* cmyk, std::uint8_t* coverage) {
    coverage[0] = cmyk[3];
    coverage[1] = cmyk[2];
    splitLightInk(cmyk[1], coverage[2], coverage[4]);
    splitLightInk(cmyk[0], coverage[3], coverage[5]);
}

Halftoner::Halftoner(int width, int levels)
    : width_(width), levels_(levels), current_(width + 2, 0), next_(width + 2, 0) {}

void Halftoner::line(const std::uint8_t* coverage, std::uint8_t* levelsOut) {
    // Errors are kept in sixteenths; index x + 1 leaves a guard cell each side.
    const int step = 255 * 16 / (levels_ - 1);
    std::fill(next_.begin(), next_.end(), 0);
    int direction = leftToRight_ ? 1 : -1;
    for (int i = 0; i < width_; ++i) {
        int x = leftToRight_ ? i : width_ - 1 - i;
        int value = coverage[x] * 16 + current_[x + 1] / 16;
        int level = std::clamp((value + step / 2) / step, 0, levels_ - 1);
        levelsOut[x] = static_cast<std::uint8_t>(level);
        int error = value - level * step;
        current_[x + 1 + direction] += error * 7;
        next_[x + 1 - direction] += error * 3;
        next_[x + 1] += error * 5;
        next_[x + 1 + direction] += error;
    }
    std::swap(current_, next_);
    leftToRight_ = !leftToRight_;
}

std::vector<std::uint8_t> packLevels(const std::uint8_t* levels, int width, int bitsPerPixel) {
    int perByte = 8 / bitsPerPixel;
    std::vector<std::uint8_t> bytes((width + perByte - 1) / perByte, 0);
    for (int x = 0; x < width; ++x) {
        int shift = 8 - bitsPerPixel * (x % perByte + 1);
        bytes[x / perByte] |= static_cast<std::uint8_t>(levels[x] << shift);
    }
    return bytes;
}

PageSeparator::PageSeparator(const RgbImage& image, InkSet inks, int bitsPerPixel)
    : image_(image), inks_(inks), bitsPerPixel_(bitsPerPixel) {
    for (int p = 0; p < planes(); ++p) halftoners_.emplace_back(image.width, bitsPerPixel == 1 ? 2 : 5);
}

std::vector<std::vector<std::uint8_t>> PageSeparator::nextLine() {
    int width = image_.width;
    std::vector<std::vector<std::uint8_t>> coverage(planes(), std::vector<std::uint8_t>(width));
    const std::uint8_t* rgb = image_.row(y_++);
    std::uint8_t pixel[6];
    for (int x = 0; x < width; ++x, rgb += 3) {
        separatePixel(rgb, inks_, pixel);
        for (int p = 0; p < planes(); ++p) coverage[p][x] = pixel[p];
    }
    std::vector<std::vector<std::uint8_t>> packed(planes());
    std::vector<std::uint8_t> levels(width);
    for (int p = 0; p < planes(); ++p) {
        halftoners_[p].line(coverage[p].data(), levels.data());
        packed[p] = packLevels(levels.data(), width, bitsPerPixel_);
    }
    return packed;
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
