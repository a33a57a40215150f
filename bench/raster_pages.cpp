#include "bench/raster_pages.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "driver/line_conversion.h"
#include "driver/mode_options.h"
#include "tools/print/image.h"

namespace vexao_bench {
namespace {

constexpr int kTextRowPitch = 100;  // lines from one text row to the next
constexpr int kGlyphLines = 30;     // lines of a row that carry marks
constexpr int kMargin = 300;        // pixels of blank paper at each side
constexpr int kGlyphWidth = 36;     // pixels

int poolLinesFor(Content content) { return content == Content::DensePhoto ? 256 : 2 * kTextRowPitch; }

}  // namespace

const char* contentName(Content content) {
    switch (content) {
        case Content::SparseText: return "text";
        case Content::DensePhoto: return "photo";
        case Content::Blank: return "blank";
    }
    return "?";
}

RasterPage::RasterPage(Content content, PlaneFormat format)
    : format_(format),
      lineBytes_(kPageWidth * format.bitsPerPixel / 8),
      poolLines_(poolLinesFor(content)),
      pool_(static_cast<std::size_t>(poolLines_) * format.planes * lineBytes_, 0) {
    if (content == Content::SparseText) fillText();
    if (content == Content::DensePhoto) fillPhoto();
}

// Words of glyph-sized marks in the black plane (plane 0): each glyph byte
// carries ink with a fixed chance, like the strokes of small print.
void RasterPage::fillText() {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> wordGlyphs(3, 9), inkChance(0, 99), anyByte(1, 255);
    const int pixelsPerByte = 8 / format_.bitsPerPixel;
    for (int row = 0; row < poolLines_ / kTextRowPitch; ++row) {
        for (int x = kMargin; x < kPageWidth - kMargin;) {
            int wordEnd = std::min(x + wordGlyphs(random) * kGlyphWidth, kPageWidth - kMargin);
            for (int y = 0; y < kGlyphLines; ++y) {
                std::uint8_t* black = plane(row * kTextRowPitch + 20 + y, 0);
                for (int byte = x / pixelsPerByte; byte < wordEnd / pixelsPerByte; ++byte) {
                    if (inkChance(random) >= 35) continue;
                    black[byte] = format_.bitsPerPixel == 1 ? static_cast<std::uint8_t>(anyByte(random)) : 0x44;
                }
            }
            x = wordEnd + kGlyphWidth;
        }
    }
}

// A smooth picture with some grain, separated into the inks of the format
// and halftoned, as the host program prints photographs.
void RasterPage::fillPhoto() {
    vexao::imaging::RgbImage image;
    image.width = kPageWidth;
    image.height = poolLines_;
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    std::mt19937 random(5);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* rgb = image.row(y);
        for (int x = 0; x < image.width; ++x) {
            double u = x / 700.0, v = y / 90.0;
            double channel[3] = {128 + 110 * std::sin(u + v), 128 + 110 * std::sin(1.7 * u - v + 1),
                                 128 + 110 * std::cos(0.6 * u + 0.5 * v)};
            for (int c = 0; c < 3; ++c)
                rgb[3 * x + c] = static_cast<std::uint8_t>(std::clamp(channel[c] + grain(random), 0.0, 255.0));
        }
    }
    vexao::driver::PrintSettings settings;  // line by line, at the picture's own resolution
    settings.mode.bitsPerPixel = format_.bitsPerPixel;
    settings.resolution = 600;
    vexao::driver::LineConverter converter(
        vexao::driver::rgbLayout(image.width, image.height, settings.resolution, format_.planes == 6 ? 6 : 4), settings);
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    for (int y = 0; y < poolLines_; ++y) {
        converter.add(image.row(y));
        converter.next(planes);
        for (int k = 0; k < format_.planes; ++k) std::copy(planes[k].bytes.begin(), planes[k].bytes.end(), plane(y, k));
    }
}

RasterInput RasterPage::input(int line) {
    RasterInput input{};
    input.lineNumber = line;
    for (int k = 0; k < format_.planes; ++k) {
        input.plane[k].data = plane(line, k);
        input.plane[k].pixelWidth = kPageWidth;
    }
    return input;
}

// Four-bit lines are five-level pixels, which the level-packing modes take;
// one-bit lines go to the plain one-bit modes.
OutputParams pageParams(PlaneFormat format, bool multiRaster) {
    vexao::driver::ModeOptions options;
    bool fourBits = format.bitsPerPixel == 4;
    options.modelCode = multiRaster ? 'e' : 'I';
    options.variantCode = fourBits && !multiRaster ? 1 : 0;
    options.rasterMode = fourBits ? (multiRaster ? 5 : 0) : 20;
    return vexao::driver::toOutputParams(options);
}

}  // namespace vexao_bench
