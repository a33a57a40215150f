// Pictures as the host program and the CUPS filter read them: RGB, 8 bits a
// channel, rows top to bottom.
#ifndef VEXAO_TOOLS_IMAGING_IMAGE_H
#define VEXAO_TOOLS_IMAGING_IMAGE_H

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

// A plane line holds at most 32767 bytes, so no page may be wider than this
// at four bits a pixel; taller pages than kMaxHeight are refused as absurd.
constexpr int kMaxWidth = 32767;
constexpr int kMaxHeight = 100000;

// Reads a PNG (any colour type and depth; alpha is composed over white) or a
// PNM (P1 to P6, plain or binary, maxval up to 65535). Returns false and says
// why in `error` for a file that cannot be read or is malformed.
bool readImage(const std::string& path, RgbImage& image, std::string& error);

}  // namespace vexao::imaging

#endif
