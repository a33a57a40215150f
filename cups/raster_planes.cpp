#include "cups/raster_planes.h"

#include <algorithm>
#include <cstring>

#include "output/mode_selection_internal.h"
#include "tools/imaging/separation.h"

namespace vexao::cups {
namespace {

// Raster colours in the library's plane order "KYMCmc".
const int kPlanesOfK[] = {0};
const int kPlanesOfCmyk[] = {3, 2, 1, 0};
const int kPlanesOfKcmycm[] = {0, 3, 2, 1, 5, 4};
// sRGB is separated into the inks in plane order.
const int kPlanesOfSeparatedRgb[] = {0, 1, 2, 3};

unsigned expectedBytesPerLine(const RasterLayout& layout) {
    unsigned perColour = (static_cast<unsigned>(layout.width) * layout.bitsPerColour + 7) / 8;
    if (layout.order == CUPS_ORDER_CHUNKED)
        return (static_cast<unsigned>(layout.width) * layout.bitsPerColour * layout.colours + 7) / 8;
    return layout.order == CUPS_ORDER_BANDED ? perColour * layout.colours : perColour;
}

}  // namespace

bool readLayout(const cups_page_header2_t& header, RasterLayout& layout, std::string& reason) {
    const int* planes = nullptr;
    switch (header.cupsColorSpace) {
        case CUPS_CSPACE_K: layout.colours = layout.inks = 1, planes = kPlanesOfK; break;
        case CUPS_CSPACE_CMYK: layout.colours = layout.inks = 4, planes = kPlanesOfCmyk; break;
        case CUPS_CSPACE_KCMYcm: layout.colours = layout.inks = 6, planes = kPlanesOfKcmycm; break;
        case CUPS_CSPACE_SW: layout.colours = layout.inks = 1, planes = kPlanesOfK, layout.additive = true; break;
        case CUPS_CSPACE_SRGB:
            layout.colours = 3, layout.inks = 4, planes = kPlanesOfSeparatedRgb, layout.additive = true;
            break;
        default: return reason = "unsupported colour space " + std::to_string(header.cupsColorSpace), false;
    }
    std::copy(planes, planes + layout.inks, layout.planeOf);
    layout.lightInks = layout.colours == 4 && header.cupsInteger[4] == 1;
    if (header.cupsBitsPerColor != 1 && header.cupsBitsPerColor != 8)
        return reason = "unsupported bits per colour " + std::to_string(header.cupsBitsPerColor), false;
    if (layout.additive && (header.cupsBitsPerColor != 8 || header.cupsColorOrder != CUPS_ORDER_CHUNKED))
        return reason = "sGray and sRGB raster must be 8-bit and chunked", false;
    if (header.cupsColorOrder > CUPS_ORDER_PLANAR) return reason = "unsupported colour order", false;
    // A planar page comes one colour after another, as many as cupsNumColors says.
    if (header.cupsColorOrder == CUPS_ORDER_PLANAR && header.cupsNumColors != static_cast<unsigned>(layout.colours))
        return reason = "a planar page of " + std::to_string(header.cupsNumColors) + " colours in a space of " +
                        std::to_string(layout.colours),
               false;
    if (header.cupsWidth < 1 || header.cupsWidth > 32767 || header.cupsHeight < 1 || header.cupsHeight > 100000)
        return reason = "page size " + std::to_string(header.cupsWidth) + " x " + std::to_string(header.cupsHeight) +
                        " is outside 1..32767 x 1..100000",
               false;
    layout.width = static_cast<int>(header.cupsWidth);
    layout.height = static_cast<int>(header.cupsHeight);
    layout.bitsPerColour = static_cast<int>(header.cupsBitsPerColor);
    layout.order = header.cupsColorOrder;
    layout.bytesPerLine = header.cupsBytesPerLine;
    if (layout.bytesPerLine != expectedBytesPerLine(layout))
        return reason = "cupsBytesPerLine " + std::to_string(layout.bytesPerLine) + " does not match the page", false;
    return true;
}

PrintSettings readSettings(const cups_page_header2_t& header, std::int16_t modelCode) {
    OutputParams params{};
    params.modelCode = modelCode;
    params.variantCode = static_cast<std::int16_t>(header.cupsInteger[0]);
    params.rasterMode = static_cast<std::int16_t>(header.cupsInteger[1]);
    params.halfBandFlag = header.cupsInteger[2] == 8 ? 1 : 0;
    params.singlePlane = header.cupsInteger[3] == 1 ? 1 : 0;
    return settingsFor(params);
}

PrintSettings settingsFor(const OutputParams& params) {
    PrintSettings settings;
    settings.params = params;
    settings.modelCode = params.modelCode;
    vexao::OutputMode mode = vexao::selectOutputMode(settings.params, settings.params);
    settings.bandLines = mode.bandLines;
    settings.planeCount = mode.bandLines != 0 ? mode.planeCount : VEXAO_MAX_PLANES;
    settings.bitsPerPixel = mode.bitsPerPixel;
    return settings;
}

bool sameMode(const PrintSettings& a, const PrintSettings& b) {
    return a.modelCode == b.modelCode && a.params.variantCode == b.params.variantCode &&
           a.params.rasterMode == b.params.rasterMode && a.params.halfBandFlag == b.params.halfBandFlag &&
           a.params.singlePlane == b.params.singlePlane;
}

bool coloursFitMode(const RasterLayout& layout, const PrintSettings& settings, std::string& reason) {
    for (int c = 0; c < layout.inks; ++c)
        if (layout.planeOf[c] >= settings.planeCount) {
            reason = std::to_string(layout.inks) + " inks do not fit a mode of " +
                     std::to_string(settings.planeCount) + " plane" + (settings.planeCount == 1 ? "" : "s");
            return false;
        }
    return true;
}

namespace {

// Light magenta and light cyan, split from the raster's magenta and cyan.
constexpr int kLightMagentaPlane = 4, kLightCyanPlane = 5;
constexpr int kRasterCyan = 0, kRasterMagenta = 1;

// Bit `index` of a 1-bit line, the first in the high bit, as coverage 0 or 255.
std::uint8_t bitAsCoverage(const std::uint8_t* bits, std::size_t index) {
    return (bits[index / 8] >> (7 - index % 8) & 1) ? 255 : 0;
}

// Whether a raster line is blank paper: all zero ink, or all white light.
bool isBlankPaper(const std::uint8_t* line, std::size_t size, bool additive) {
    if (!additive) return vexao::imaging::isBlank(line, size);
    return size == 0 || (line[0] == 0xFF && std::memcmp(line, line + 1, size - 1) == 0);
}

}  // namespace

LineConverter::LineConverter(const RasterLayout& layout, const PrintSettings& settings)
    : layout_(layout),
      inks_(layout.lightInks && settings.planeCount >= 6 ? 6 : layout.inks),
      coverage_(static_cast<std::size_t>(layout.width) * inks_) {
    std::copy(layout.planeOf, layout.planeOf + layout.inks, planeOfInk_);
    if (inks_ > layout.inks) {
        planeOfInk_[layout.inks] = kLightMagentaPlane;
        planeOfInk_[layout.inks + 1] = kLightCyanPlane;
    }
    for (int ink = 0; ink < inks_; ++ink)
        dithers_.emplace_back(layout.width, settings.bitsPerPixel == 1 ? 2 : 5, planeOfInk_[ink]);
}

void LineConverter::spread(const std::uint8_t* rasterLine) {
    std::size_t width = static_cast<std::size_t>(layout_.width);
    std::size_t perColour = (width * layout_.bitsPerColour + 7) / 8;
    for (int c = 0; c < layout_.colours; ++c) {
        const std::uint8_t* line = rasterLine;  // where colour c's samples start, and their stride
        if (layout_.order == CUPS_ORDER_BANDED) line += perColour * c;
        if (layout_.order == CUPS_ORDER_PLANAR) line += static_cast<std::size_t>(layout_.bytesPerLine) * c;
        bool chunked = layout_.order == CUPS_ORDER_CHUNKED;
        if (layout_.bitsPerColour == 8 && !chunked) std::copy_n(line, width, coverageOf(c));
        if (layout_.bitsPerColour == 1)
            for (std::size_t x = 0; x < width; ++x)
                coverageOf(c)[x] = bitAsCoverage(line, chunked ? x * layout_.colours + c : x);
    }
    if (layout_.bitsPerColour == 8 && layout_.order == CUPS_ORDER_CHUNKED) {
        std::uint8_t* lines[6];
        for (int c = 0; c < layout_.colours; ++c) lines[c] = coverageOf(c);
        vexao::imaging::deinterleave(rasterLine, layout_.colours, layout_.width, lines);
    }
}

void LineConverter::separate(const std::uint8_t* rasterLine) {
    if (layout_.colours == 1) {  // sGray: ink is the light missing
        std::uint8_t* black = coverageOf(0);
        for (int x = 0; x < layout_.width; ++x) black[x] = static_cast<std::uint8_t>(255 - rasterLine[x]);
        return;
    }
    // sRGB inks are in plane order, light inks included.
    std::uint8_t* planes[6];
    for (int ink = 0; ink < inks_; ++ink) planes[ink] = coverageOf(ink);
    vexao::imaging::separateLine(rasterLine, layout_.width,
                                 inks_ == 6 ? vexao::imaging::InkSet::SixInks : vexao::imaging::InkSet::FourInks, planes);
}

void LineConverter::convert(const std::uint8_t* rasterLine, std::vector<vexao::tools::PlaneLine>& planes) {
    std::size_t rasterBytes = static_cast<std::size_t>(layout_.bytesPerLine) *
                              (layout_.order == CUPS_ORDER_PLANAR ? layout_.colours : 1);
    if (isBlankPaper(rasterLine, rasterBytes, layout_.additive)) {  // blank paper: planes without ink are left out
        for (int ink = 0; ink < inks_; ++ink) planes[planeOfInk_[ink]].bytes.clear();
        ++y_;
        return;
    }
    if (layout_.additive) separate(rasterLine);
    else spread(rasterLine);
    if (inks_ > layout_.inks && !layout_.additive) {
        vexao::imaging::splitLightInk(coverageOf(kRasterMagenta), coverageOf(layout_.inks), layout_.width);
        vexao::imaging::splitLightInk(coverageOf(kRasterCyan), coverageOf(layout_.inks + 1), layout_.width);
    }
    for (int ink = 0; ink < inks_; ++ink) {
        vexao::tools::PlaneLine& plane = planes[planeOfInk_[ink]];
        plane.bytes.resize(static_cast<std::size_t>(dithers_[ink].packedBytes()));
        dithers_[ink].line(y_, coverageOf(ink), plane.bytes.data());
        plane.pixelWidth = static_cast<std::int16_t>(layout_.width);
    }
    ++y_;
}

}  // namespace vexao::cups
