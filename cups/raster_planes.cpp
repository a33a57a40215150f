#include "cups/raster_planes.h"

#include <algorithm>

#include "output/mode_selection_internal.h"

namespace vexao::cups {
namespace {

// Raster colours in the library's plane order "KYMCmc".
const int kPlanesOfK[] = {0};
const int kPlanesOfCmyk[] = {3, 2, 1, 0};
const int kPlanesOfKcmycm[] = {0, 3, 2, 1, 5, 4};
// The separation hands out the six inks in plane order already.
const int kPlanesOfSixInks[] = {0, 1, 2, 3, 4, 5};

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
        case CUPS_CSPACE_K: layout.colours = 1, planes = kPlanesOfK; break;
        case CUPS_CSPACE_CMYK: layout.colours = 4, planes = kPlanesOfCmyk; break;
        case CUPS_CSPACE_KCMYcm: layout.colours = 6, planes = kPlanesOfKcmycm; break;
        default: return reason = "unsupported colour space " + std::to_string(header.cupsColorSpace), false;
    }
    std::copy(planes, planes + layout.colours, layout.planeOf);
    layout.lightInks = layout.colours == 4 && header.cupsInteger[4] == 1;
    if (header.cupsBitsPerColor != 1 && header.cupsBitsPerColor != 8)
        return reason = "unsupported bits per colour " + std::to_string(header.cupsBitsPerColor), false;
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
    PrintSettings settings;
    settings.modelCode = modelCode;
    settings.params.modelCode = settings.modelCode;
    settings.params.variantCode = static_cast<std::int16_t>(header.cupsInteger[0]);
    settings.params.rasterMode = static_cast<std::int16_t>(header.cupsInteger[1]);
    settings.params.halfBandFlag = header.cupsInteger[2] == 8 ? 1 : 0;
    settings.params.singlePlane = header.cupsInteger[3] == 1 ? 1 : 0;
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
    for (int c = 0; c < layout.colours; ++c)
        if (layout.planeOf[c] >= settings.planeCount) {
            reason = std::to_string(layout.colours) + " colours do not fit a mode of " +
                     std::to_string(settings.planeCount) + " plane" + (settings.planeCount == 1 ? "" : "s");
            return false;
        }
    return true;
}

LineConverter::LineConverter(const RasterLayout& layout, const PrintSettings& settings)
    : layout_(layout),
      bitsPerPixel_(settings.bitsPerPixel),
      separateLightInks_(layout.lightInks && settings.planeCount >= 6),
      inks_(separateLightInks_ ? 6 : layout.colours),
      coverage_(static_cast<std::size_t>(layout.width) * inks_),
      levels_(layout.width) {
    const int* planes = separateLightInks_ ? kPlanesOfSixInks : layout.planeOf;
    std::copy(planes, planes + inks_, planeOfInk_);
    for (int ink = 0; ink < inks_; ++ink) halftoners_.emplace_back(layout.width, bitsPerPixel_ == 1 ? 2 : 5);
}

std::uint8_t LineConverter::sample(const std::uint8_t* line, int colour, int x) const {
    unsigned perColour = (static_cast<unsigned>(layout_.width) * layout_.bitsPerColour + 7) / 8;
    if (layout_.order == CUPS_ORDER_BANDED) line += perColour * colour;
    if (layout_.order == CUPS_ORDER_CHUNKED) {
        unsigned index = static_cast<unsigned>(x) * layout_.colours + colour;
        if (layout_.bitsPerColour == 8) return line[index];
        return (line[index / 8] >> (7 - index % 8) & 1) ? 255 : 0;
    }
    if (layout_.bitsPerColour == 8) return line[x];
    return (line[x / 8] >> (7 - x % 8) & 1) ? 255 : 0;
}

void LineConverter::separate(const std::uint8_t* rasterLine) {
    std::size_t width = static_cast<std::size_t>(layout_.width);
    auto lineOf = [&](int colour) {
        // The filter regroups planar pages: each colour's line follows the last.
        return layout_.order == CUPS_ORDER_PLANAR ? rasterLine + layout_.bytesPerLine * colour : rasterLine;
    };
    if (!separateLightInks_) {
        for (int c = 0; c < layout_.colours; ++c)
            for (int x = 0; x < layout_.width; ++x) coverage_[width * c + x] = sample(lineOf(c), c, x);
        return;
    }
    std::uint8_t cmyk[4], sixInks[6];
    for (int x = 0; x < layout_.width; ++x) {
        for (int c = 0; c < 4; ++c) cmyk[c] = sample(lineOf(c), c, x);
        vexao::imaging::separateLightInks(cmyk, sixInks);
        for (int ink = 0; ink < 6; ++ink) coverage_[width * ink + x] = sixInks[ink];
    }
}

void LineConverter::convert(const std::uint8_t* rasterLine, std::vector<vexao::tools::PlaneLine>& planes) {
    separate(rasterLine);
    int topLevel = bitsPerPixel_ == 1 ? 1 : 4;
    for (int ink = 0; ink < inks_; ++ink) {
        const std::uint8_t* coverage = coverage_.data() + static_cast<std::size_t>(layout_.width) * ink;
        // 1-bit raster, separated or not, holds only 0 and 255.
        if (layout_.bitsPerColour == 8) {
            halftoners_[ink].line(coverage, levels_.data());
        } else {
            for (int x = 0; x < layout_.width; ++x) levels_[x] = coverage[x] ? static_cast<std::uint8_t>(topLevel) : 0;
        }
        vexao::tools::PlaneLine& plane = planes[planeOfInk_[ink]];
        plane.bytes = vexao::imaging::packLevels(levels_.data(), layout_.width, bitsPerPixel_);
        plane.pixelWidth = static_cast<std::int16_t>(layout_.width);
    }
}

}  // namespace vexao::cups
