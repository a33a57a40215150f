// Pictures as the host program reads them: RGB, 8 bits a
// channel, rows top to bottom.
#ifndef VEXAO_TOOLS_PRINT_IMAGE_H
#define VEXAO_TOOLS_PRINT_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexao::imaging {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 3

    const std::uint8_t* row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width * 3; }
    std::uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width * 3; }
};

// The size cap on pictures. The library takes a plane line's pixel count as a
// signed 16-bit number, so no picture is wider than kMaxWidth; taller pictures
// than kMaxHeight are absurd; and kMaxPixels keeps a picture in memory below
// 768 MiB (3 bytes a pixel), which still holds A4, Letter and Legal pages at
// 1200 dpi. Sizes are checked in 64-bit arithmetic before anything is
// allocated, so within the cap width * height * 3 fits a 32-bit size_t.
constexpr int kMaxWidth = 32767;
constexpr int kMaxHeight = 100000;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

struct ImageLimits {
    int maxWidth = kMaxWidth;
    int maxHeight = kMaxHeight;
    std::int64_t maxPixels = kMaxPixels;
};

// True when a picture of width x height pixels is within `limits` (and at
// least 1 x 1); otherwise `error` names the size and the cap.
bool checkImageSize(std::int64_t width, std::int64_t height, std::string& error, const ImageLimits& limits = {});

// Reads a PNG (any colour type and depth; alpha is composed over white) or a
// PNM (P1 to P6, plain or binary, maxval up to 65535). Returns false and says
// why in `error` for a file that cannot be read, is malformed, or is over the
// size cap; the readers never throw.
bool readImage(const std::string& path, RgbImage& image, std::string& error, const ImageLimits& limits = {});

// The same for a picture already in memory.
bool decodeImage(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error,
                 const ImageLimits& limits = {});

}  // namespace vexao::imaging

#endif
