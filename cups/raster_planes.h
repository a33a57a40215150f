// What a CUPS raster page means for the printer library: which print mode
// its header selects, and how its colours become the library's planes.
#ifndef VEXAO_CUPS_RASTER_PLANES_H
#define VEXAO_CUPS_RASTER_PLANES_H

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/output_api.h"
#include "tools/host/print_job.h"
#include "tools/imaging/dither.h"

namespace vexao::cups {

// The page's layout, checked against what the raster header claims.
struct RasterLayout {
    int width = 0, height = 0;
    int colours = 0;          // 1 (K or sGray), 3 (sRGB), 4 (CMYK) or 6 (KCMYcm)
    int bitsPerColour = 0;    // 1 or 8
    cups_order_t order = CUPS_ORDER_CHUNKED;
    unsigned bytesPerLine = 0;
    // Light, not ink: sGray and sRGB raster, where 255 is white paper. sRGB
    // is separated into inks; its light inks come from the separation.
    bool additive = false;
    int inks = 0;             // inks the raster's colours print with: 4 for sRGB, else the colours
    int planeOf[6] = {};      // library plane of each of those inks
    bool lightInks = false;   // colour raster to be printed with six inks where the mode has them
};

// The print settings: the model code from the PPD's cupsModelNumber, and the
// variant, raster mode, band height and single plane that the PPD's options
// put in the header's cupsInteger[0..3].
struct PrintSettings {
    OutputParams params{};
    std::int16_t modelCode = 0;
    int bandLines = 0, planeCount = 0, bitsPerPixel = 4;
};

// Reads the layout; false with a reason for a raster this filter cannot print.
// cupsInteger4 1 asks for CMYK raster to be printed with light inks: the
// renderer has no six-ink colour space, so the filter separates them.
bool readLayout(const cups_page_header2_t& header, RasterLayout& layout, std::string& reason);

PrintSettings readSettings(const cups_page_header2_t& header, std::int16_t modelCode);

// The settings of a parameter block, with what the library's mode table
// makes of it; params.modelCode names the model.
PrintSettings settingsFor(const OutputParams& params);

// Whether two pages' settings configure the library the same way.
bool sameMode(const PrintSettings& a, const PrintSettings& b);

// Whether the raster's colours fit the mode's planes.
bool coloursFitMode(const RasterLayout& layout, const PrintSettings& settings, std::string& reason);

// Turns raster lines into library planes: each colour's line becomes 0..255
// coverage (1-bit colours as 0 or 255, sGray inverted, sRGB separated) and
// is halftoned. Colour raster with light inks is separated into six inks
// when the mode has six planes, and printed with four otherwise. One
// converter serves one page.
class LineConverter {
public:
    LineConverter(const RasterLayout& layout, const PrintSettings& settings);
    // The next line of the page; planar lines hold each colour's line after
    // the last.
    void convert(const std::uint8_t* rasterLine, std::vector<vexao::tools::PlaneLine>& planes);
    // How many planes each line fills: the raster's inks, and the light inks
    // when they are separated here.
    int inks() const { return inks_; }

private:
    // Fills the first colours' lines of coverage_.
    void spread(const std::uint8_t* rasterLine);
    // Fills every ink's line of coverage_ from sGray or sRGB.
    void separate(const std::uint8_t* rasterLine);
    std::uint8_t* coverageOf(int ink) { return coverage_.data() + static_cast<std::size_t>(layout_.width) * ink; }

    RasterLayout layout_;
    int inks_;             // raster colours, and the two light inks when they are separated here
    int planeOfInk_[6] = {};
    std::vector<vexao::imaging::Dither> dithers_;
    std::vector<std::uint8_t> coverage_;  // one line per ink
    int y_ = 0;
};

}  // namespace vexao::cups

#endif
