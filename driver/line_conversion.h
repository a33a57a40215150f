// The one way from raster lines to the library's planes, for every front end:
// each colour's line becomes 0..255 ink coverage (1-bit colours as 0 or 255,
// grey light inverted, RGB separated), is scaled by whole factors to the
// resolution the printer prints at, has its cyan and magenta split into dark
// and light ink where the page is printed with six inks, and is halftoned.
#ifndef VEXAO_DRIVER_LINE_CONVERSION_H
#define VEXAO_DRIVER_LINE_CONVERSION_H

#include <cstdint>
#include <string>
#include <vector>

#include "driver/dither.h"
#include "driver/mode_options.h"
#include "driver/print_job.h"

namespace vexao::driver {

// How a line holds its colours: pixel by pixel, colour by colour within the
// line, or one colour's whole page after another's (the line then holds every
// colour's line, one after the other).
enum class ColourOrder { chunked, banded, planar };

// What one raster page holds, and how its colours are inked.
struct RasterLayout {
    int width = 0, height = 0;
    int colours = 0;        // 1 (K or grey), 3 (RGB), 4 (CMYK) or 6 (KCMYcm)
    int bitsPerColour = 0;  // 1 or 8
    ColourOrder order = ColourOrder::chunked;
    unsigned bytesPerLine = 0;  // of one colour's line when planar
    // Light, not ink: grey and RGB raster, where 255 is white paper. RGB is
    // separated into inks; its light inks come from the separation.
    bool additive = false;
    int inks = 0;            // inks the colours print with: 4 for RGB (1 when blackOnly), else the colours
    int planeOf[6] = {};     // library plane of each of those inks
    bool lightInks = false;  // colour raster to be printed with six inks where the mode has them
    bool blackOnly = false;  // RGB raster printed with black ink alone
    int xDpi = 0, yDpi = 0;  // the raster's resolution
};

// The layout of 8-bit chunked RGB pictures, `width` x `height` at `dpi`,
// printed with `inks` inks (1, 4 or 6).
RasterLayout rgbLayout(int width, int height, int dpi, int inks);

// Sets the inks and planes that `colours` colours of `layout` print with:
// `additive` grey (1) or RGB (3), else K (1), CMYK (4) or KCMYcm (6).
void assignInks(RasterLayout& layout, int colours, bool additive);

// The most printed lines a page may make.
constexpr int kMaxPrintedLines = 200000;

// How a raster's resolution becomes the printed one along one axis: each
// pixel repeated `up` times, or `down` pixels averaged into one.
struct AxisScale {
    int up = 1, down = 1;
    // Pixels printed for `pixels` raster pixels.
    std::int64_t printed(std::int64_t pixels) const { return (pixels * up + down - 1) / down; }
};

// The scale from `rasterDpi` to `printDpi`: false when neither divides the
// other, or the factor is above kMaxScale.
constexpr int kMaxScale = 16;
bool scaleBetween(int rasterDpi, int printDpi, AxisScale& scale);

// Why the page cannot be printed in `settings`' mode, or empty: a
// resolution that scales by no whole factor, more inks than the mode's
// planes, or printed lines wider than the mode takes.
std::string pageProblem(const RasterLayout& layout, const PrintSettings& settings);

// Turns one page's raster lines into the library's planes. Raster lines go in
// with add(); each makes up to as many printed lines as the vertical scale
// repeats it, or one every `down` lines, which next() hands out in order.
class LineConverter {
public:
    // The page must have passed pageProblem().
    LineConverter(const RasterLayout& layout, const PrintSettings& settings);
    // Takes the next raster line; planar lines hold each colour's line after
    // the last. Call only when ready() is false.
    void add(const std::uint8_t* rasterLine);
    // Averages what the last raster lines hold when the page ends inside a
    // group of lines that scale down into one.
    void endPage();
    // Whether a printed line is waiting for next().
    bool ready() const { return pendingLines_ > 0; }
    // Halftones the next printed line into `planes`, which holds an entry for
    // every plane of the mode; planes without ink are left empty.
    void next(std::vector<PlaneLine>& planes);

    // Printed lines and width of the whole page.
    int printedHeight() const { return printedHeight_; }
    int printedWidth() const { return printedWidth_; }
    // How many planes each line fills: the raster's inks, and the light inks
    // when they are split here.
    int inks() const { return inks_; }
    // The raster lines taken so far.
    int rasterLines() const { return rasterLines_; }

private:
    void spread(const std::uint8_t* rasterLine);
    void separate(const std::uint8_t* rasterLine);
    // Scales every ink's coverage across into the accumulated row.
    void accumulate();
    // Turns the accumulated row into the row that next() halftones.
    void finishRow(int linesInRow);
    // Splits the cyan and magenta of a printed row into dark and light ink,
    // where CMYK raster is printed with light inks.
    void splitLightInks(std::uint8_t* row);
    std::uint8_t* coverageOf(int ink) { return coverage_.data() + static_cast<std::size_t>(layout_.width) * ink; }

    RasterLayout layout_;
    AxisScale horizontal_, vertical_;
    int printedWidth_ = 0, printedHeight_ = 0;
    int inks_;
    int planeOfInk_[6] = {};
    std::vector<Dither> dithers_;
    bool unscaled_ = false;  // printed as it is: the coverage is the printed row, and no sums are kept
    std::vector<std::uint8_t> coverage_;  // one raster-width line per ink
    std::vector<std::uint32_t> sums_;     // one printed-width line per ink, summed over the lines of a row
    std::vector<std::uint8_t> row_;       // one printed-width line per ink, ready to halftone
    int linesInSums_ = 0;
    bool sumsBlank_ = true, rowBlank_ = true;
    int pendingLines_ = 0;  // printed lines that row_ still makes
    int rasterLines_ = 0;
    int printedLine_ = 0;
};

}  // namespace vexao::driver

#endif
