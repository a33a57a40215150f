// From RGB to ink: colour separation, and the split of cyan and magenta into
// dark and light ink.
#ifndef VEXAO_DRIVER_SEPARATION_H
#define VEXAO_DRIVER_SEPARATION_H

#include <cstdint>

namespace vexao::driver {

// The ink sets, in the library's plane order ("KYMCmc").
enum class InkSet { Black = 1, FourInks = 4, SixInks = 6 };

// Ink coverage 0..255 of each plane for a line of `width` RGB pixels:
// coverage[p] receives plane p's line. Grey goes to black ink by under-colour
// removal; with six inks, cyan and magenta are split as splitLightInk does.
// With black alone, the ink is the light that the pixel's luminance lacks.
void separateLine(const std::uint8_t* rgb, int width, InkSet inks, std::uint8_t* const* coverage);

// The same for one pixel, coverage[p] for plane p.
void separatePixel(const std::uint8_t* rgb, InkSet inks, std::uint8_t* coverage);

// Shares one ink's coverage line between its dark and its light ink, as the
// six-ink separation does for cyan and magenta: `ink` holds the coverage and
// keeps the dark ink's part, `light` receives the light ink's. The printed
// density, dark plus light at its dilution, equals the coverage.
void splitLightInk(std::uint8_t* ink, std::uint8_t* light, int width);

// The colours of a line of 8-bit chunked pixels (1, 4 or 6 colours a pixel),
// one line each: lines[c] receives colour c.
void deinterleave(const std::uint8_t* pixels, int colours, int width, std::uint8_t* const* lines);

}  // namespace vexao::driver

#endif
