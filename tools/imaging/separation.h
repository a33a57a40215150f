// From RGB to ink: colour separation, error-diffusion halftoning and the
// packing of halftoned lines into the bytes the printer library reads.
#ifndef VEXAO_TOOLS_IMAGING_SEPARATION_H
#define VEXAO_TOOLS_IMAGING_SEPARATION_H

#include <cstdint>
#include <vector>

#include "tools/imaging/image.h"

namespace vexao::imaging {

// The ink sets, in the library's plane order ("KYMCmc").
enum class InkSet { Black = 1, FourInks = 4, SixInks = 6 };

// Ink coverage 0..255 of each plane for one RGB pixel. Grey goes to black ink
// by under-colour removal; with six inks, light magenta and light cyan carry
// the lighter tones and the dark inks take over above mid coverage.
void separatePixel(const std::uint8_t* rgb, InkSet inks, std::uint8_t* coverage);

// The six inks' coverage for one pixel already separated into cyan, magenta,
// yellow and black (0..255 each, in that order): black and yellow pass
// through, cyan and magenta are shared between dark and light ink as above.
void separateLightInks(const std::uint8_t* cmyk, std::uint8_t* coverage);

// Error diffusion over one plane, line by line (serpentine), to `levels`
// output levels: 2 gives 0/1, 5 gives 0..4. It keeps one line of error, so
// pages never have to be held twice.
class Halftoner {
public:
    Halftoner(int width, int levels);
    // Turns one line of coverage into levels 0..levels-1.
    void line(const std::uint8_t* coverage, std::uint8_t* levelsOut);

private:
    int width_;
    int levels_;
    bool leftToRight_ = true;
    std::vector<int> current_, next_;
};

// Packs halftoned levels as the library reads them: one bit a pixel, eight
// to a byte with the leftmost in the high bit; or four bits a pixel, two to a
// byte with the leftmost in the high nibble.
std::vector<std::uint8_t> packLevels(const std::uint8_t* levels, int width, int bitsPerPixel);

// Turns a picture into the planes of each line, streaming.
class PageSeparator {
public:
    PageSeparator(const RgbImage& image, InkSet inks, int bitsPerPixel);
    int planes() const { return static_cast<int>(inks_); }
    // Packed plane bytes of the next line, top to bottom.
    std::vector<std::vector<std::uint8_t>> nextLine();

private:
    const RgbImage& image_;
    InkSet inks_;
    int bitsPerPixel_;
    int y_ = 0;
    std::vector<Halftoner> halftoners_;
};

// The built-in test page: a ramp for each ink, hairlines at several angles,
// blocks of text-like marks, and blank bands between them. A size outside
// the cap (checkImageSize) throws std::length_error.
RgbImage testPage(int width, int height);

}  // namespace vexao::imaging

#endif
