// Random files through the picture readers (PNG and PNM), then separation and
// halftoning for an ink set and pixel depth that the input's size picks.
// Whatever the header claims, the readers must refuse the file or give a
// picture within the cap whose pixels fill its buffer exactly, and every
// packed line must have the mode's length and levels.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/print/image.h"
#include "driver/line_conversion.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The real width and height caps, with a pixel budget small enough that each
// run stays quick; the readers check all three the same way.
vexao::imaging::ImageLimits fuzzLimits() {
    vexao::imaging::ImageLimits limits;
    limits.maxPixels = 1 << 16;
    return limits;
}

void checkLines(const vexao::imaging::RgbImage& image, int inks, int bitsPerPixel) {
    vexao::driver::PrintSettings settings;  // line by line, at the picture's own resolution
    settings.mode.bitsPerPixel = bitsPerPixel;
    settings.resolution = 300;
    vexao::driver::LineConverter converter(vexao::driver::rgbLayout(image.width, image.height, 300, inks), settings);
    std::size_t lineBytes = (static_cast<std::size_t>(image.width) * bitsPerPixel + 7) / 8;
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    for (int y = 0; y < image.height; ++y) {
        converter.add(image.row(y));
        require(converter.ready());
        converter.next(planes);
        for (int ink = 0; ink < inks; ++ink) {
            const std::vector<std::uint8_t>& plane = planes[static_cast<std::size_t>(ink)].bytes;
            require(plane.empty() || plane.size() == lineBytes);
            if (bitsPerPixel == 4)
                for (std::uint8_t byte : plane) require((byte >> 4) <= 4 && (byte & 15) <= 4);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vexao::imaging::RgbImage image;
    std::string error;
    vexao::imaging::ImageLimits limits = fuzzLimits();
    if (!vexao::imaging::decodeImage(data, size, image, error, limits)) {
        require(!error.empty() && image.pixels.empty());
        return 0;
    }
    require(image.width >= 1 && image.width <= limits.maxWidth && image.height >= 1 &&
            image.height <= limits.maxHeight);
    require(image.pixels.size() == static_cast<std::size_t>(image.width) * image.height * 3);
    static const int kInkSets[] = {1, 4, 6};
    checkLines(image, kInkSets[size % 3], size / 3 % 2 == 0 ? 1 : 4);
    return 0;
}
