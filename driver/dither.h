// Halftoning: ink coverage 0..255 a pixel in, the printer's levels out, packed
// as the library reads them.
//
// Each pixel is compared with a blue-noise threshold mask that tiles the
// page, so every pixel is decided on its own: there is no state from one
// pixel or line to the next, a blank stretch costs a glance, and the work
// runs many pixels at a time. Over any whole tile the mean level is the
// requested tone, and more coverage never prints fewer dots.
#ifndef VEXAO_DRIVER_DITHER_H
#define VEXAO_DRIVER_DITHER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexao::driver {

// Whether `size` bytes of coverage (or of any raster) are all zero: blank
// paper, which needs no halftoning.
bool isBlank(const std::uint8_t* bytes, std::size_t size);

class Dither {
public:
    // `levels` is 2 (one bit a pixel) or 5 (four bits a pixel, levels 0..4).
    // Each ink reads the mask at an offset of its own, so that the inks do
    // not print dot on dot.
    Dither(int width, int levels, int ink);

    // Bytes of one packed line: eight pixels a byte at 2 levels, leftmost in
    // the high bit; two a byte at 5 levels, leftmost in the high nibble.
    int packedBytes() const { return (width_ * bitsPerPixel_ + 7) / 8; }

    // Halftones line `y` of a page, `width` coverage bytes, into packedBytes()
    // bytes.
    void line(int y, const std::uint8_t* coverage, std::uint8_t* packed) const;

private:
    int width_;
    int steps_;         // levels - 1
    int bitsPerPixel_;  // 1 or 4
    // For each mask row, steps_ rows of 64 thresholds: a pixel's level is the
    // number of its thresholds that its coverage exceeds.
    std::vector<std::uint8_t> thresholds_;
};

}  // namespace vexao::driver

#endif
