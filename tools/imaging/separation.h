// From RGB to ink: colour separation, the split of cyan and magenta into
// dark and light ink, and whole pictures turned into halftoned planes line by
// line.
#ifndef VEXAO_TOOLS_IMAGING_SEPARATION_H
#define VEXAO_TOOLS_IMAGING_SEPARATION_H

#include <cstdint>
#include <vector>

#include "tools/imaging/dither.h"
#include "tools/imaging/image.h"

namespace vexao::imaging {

// The ink sets, in the library's plane order ("KYMCmc").
enum class InkSet { Black = 1, FourInks = 4, SixInks = 6 };

// Ink coverage 0..255 of each plane for a line of `width` RGB pixels:
// coverage[p] receives plane p's line. Grey goes to black ink by under-colour
// removal; with six inks, light magenta and light cyan carry the lighter
// tones and the dark inks take over above mid coverage.
void separateLine(const std::uint8_t* rgb, int width, InkSet inks, std::uint8_t* const* coverage);

// The same for one pixel, coverage[p] for plane p.
void separatePixel(const std::uint8_t* rgb, InkSet inks, std::uint8_t* coverage);

// Shares one ink's coverage line between its dark and its light ink, as the
// six-ink separation does for cyan and magenta: `ink` holds the coverage and
// keeps the dark ink's part, `light` receives the light ink's.
void splitLightInk(std::uint8_t* ink, std::uint8_t* light, int width);

// The colours of a line of 8-bit chunked pixels (1, 4 or 6 colours a pixel),
// one line each: lines[c] receives colour c.
void deinterleave(const std::uint8_t* pixels, int colours, int width, std::uint8_t* const* lines);

// Turns a picture into the planes of each line, streaming.
class PageSeparator {
public:
    PageSeparator(const RgbImage& image, InkSet inks, int bitsPerPixel);
    int planes() const { return static_cast<int>(inks_); }
    // The packed bytes of each plane of the next line, top to bottom, into
    // `packed` (resized to the planes, each to its packed length).
    void nextLine(std::vector<std::vector<std::uint8_t>>& packed);

private:
    const RgbImage& image_;
    InkSet inks_;
    int y_ = 0;
    std::vector<Dither> dithers_;
    std::vector<std::uint8_t> coverage_;  // one line per plane
};

// The built-in test page: a ramp for each ink, hairlines at several angles,
// blocks of text-like marks, and blank bands between them. A size outside
// the cap (checkImageSize) throws std::length_error.
RgbImage testPage(int width, int height);

}  // namespace vexao::imaging

#endif
