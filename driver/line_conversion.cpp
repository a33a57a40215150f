#include "driver/line_conversion.h"

#include <algorithm>
#include <cstring>

#include "driver/separation.h"

namespace vexao::driver {
namespace {

// Colours in the library's plane order "KYMCmc".
const int kPlanesOfK[] = {0};
const int kPlanesOfCmyk[] = {3, 2, 1, 0};
const int kPlanesOfKcmycm[] = {0, 3, 2, 1, 5, 4};
// RGB is separated into the inks in plane order.
const int kPlanesOfSeparatedRgb[] = {0, 1, 2, 3};

// Light magenta and light cyan, split from the magenta and cyan of CMYK raster.
constexpr int kLightMagentaPlane = 4, kLightCyanPlane = 5;
constexpr int kRasterCyan = 0, kRasterMagenta = 1;

// Bit `index` of a 1-bit line, the first in the high bit, as coverage 0 or 255.
std::uint8_t bitAsCoverage(const std::uint8_t* bits, std::size_t index) {
    return (bits[index / 8] >> (7 - index % 8) & 1) ? 255 : 0;
}

// Whether a raster line is blank paper: all zero ink, or all white light.
bool isBlankPaper(const std::uint8_t* line, std::size_t size, bool additive) {
    if (!additive) return isBlank(line, size);
    return size == 0 || (line[0] == 0xFF && std::memcmp(line, line + 1, size - 1) == 0);
}

// Adds a coverage line into a printed line's sums: each pixel `up` times, or
// `down` pixels into one sum (the last sum may take fewer).
void addAcross(const std::uint8_t* coverage, int width, const AxisScale& scale, std::uint32_t* sums) {
    if (scale.up == 1 && scale.down == 1) {
        for (int x = 0; x < width; ++x) sums[x] += coverage[x];
    } else if (scale.up > 1) {
        for (int x = 0; x < width; ++x)
            for (int copy = 0; copy < scale.up; ++copy) sums[x * scale.up + copy] += coverage[x];
    } else {
        for (int x = 0; x < width; ++x) sums[x / scale.down] += coverage[x];
    }
}

}  // namespace

void assignInks(RasterLayout& layout, int colours, bool additive) {
    layout.colours = colours;
    layout.additive = additive;
    const int* planes = kPlanesOfK;
    if (additive && colours == 3) {
        layout.inks = layout.blackOnly ? 1 : 4;
        planes = kPlanesOfSeparatedRgb;
    } else {
        layout.inks = colours;
        planes = colours == 4 ? kPlanesOfCmyk : colours == 6 ? kPlanesOfKcmycm : kPlanesOfK;
    }
    std::copy(planes, planes + layout.inks, layout.planeOf);
}

RasterLayout rgbLayout(int width, int height, int dpi, int inks) {
    RasterLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bitsPerColour = 8;
    layout.bytesPerLine = static_cast<unsigned>(width) * 3;
    layout.blackOnly = inks == 1;
    layout.lightInks = inks == 6;
    layout.xDpi = layout.yDpi = dpi;
    assignInks(layout, 3, true);
    return layout;
}

bool scaleBetween(int rasterDpi, int printDpi, AxisScale& scale) {
    if (rasterDpi <= 0 || printDpi <= 0) return false;
    scale = {};
    if (printDpi % rasterDpi == 0) scale.up = printDpi / rasterDpi;
    else if (rasterDpi % printDpi == 0) scale.down = rasterDpi / printDpi;
    else return false;
    return scale.up <= kMaxScale && scale.down <= kMaxScale;
}

namespace {

int inksPrinted(const RasterLayout& layout, const PrintSettings& settings) {
    return layout.lightInks && layout.inks == 4 && planesTaken(settings.mode) >= 6 ? 6 : layout.inks;
}

}  // namespace

std::string pageProblem(const RasterLayout& layout, const PrintSettings& settings) {
    AxisScale horizontal, vertical;
    if (!scaleBetween(layout.xDpi, settings.resolution, horizontal) ||
        !scaleBetween(layout.yDpi, settings.resolution, vertical))
        return "it is at " + std::to_string(layout.xDpi) + "x" + std::to_string(layout.yDpi) +
               " dpi, which scales by no whole factor to the " + std::to_string(settings.resolution) +
               " dpi that this print quality prints at";
    int planes = planesTaken(settings.mode);
    for (int ink = 0; ink < layout.inks; ++ink)
        if (layout.planeOf[ink] >= planes)
            return std::to_string(layout.inks) + " inks do not fit a mode of " + std::to_string(planes) + " plane" +
                   (planes == 1 ? "" : "s");
    std::int64_t height = vertical.printed(layout.height), width = horizontal.printed(layout.width);
    if (height > kMaxPrintedLines)
        return "it makes " + std::to_string(height) + " printed lines, more than " + std::to_string(kMaxPrintedLines);
    int widest = widestLine(settings.mode, inksPrinted(layout, settings), static_cast<int>(height));
    if (width <= widest) return "";
    std::string scaled = width == layout.width ? "" : ", " + std::to_string(width) + " at the printed resolution";
    return "it is " + std::to_string(layout.width) + " pixels wide" + scaled +
           ", and this print mode takes lines of at most " + std::to_string(widest) + " pixels";
}

LineConverter::LineConverter(const RasterLayout& layout, const PrintSettings& settings)
    : layout_(layout), inks_(inksPrinted(layout, settings)), coverage_(static_cast<std::size_t>(layout.width) * inks_) {
    scaleBetween(layout.xDpi, settings.resolution, horizontal_);
    scaleBetween(layout.yDpi, settings.resolution, vertical_);
    printedWidth_ = static_cast<int>(horizontal_.printed(layout.width));
    printedHeight_ = static_cast<int>(vertical_.printed(layout.height));
    unscaled_ = horizontal_.up == 1 && horizontal_.down == 1 && vertical_.up == 1 && vertical_.down == 1;
    if (!unscaled_) {
        sums_.assign(static_cast<std::size_t>(printedWidth_) * inks_, 0);
        row_.assign(sums_.size(), 0);
    }
    std::copy(layout.planeOf, layout.planeOf + layout.inks, planeOfInk_);
    if (inks_ > layout.inks) {
        planeOfInk_[layout.inks] = kLightMagentaPlane;
        planeOfInk_[layout.inks + 1] = kLightCyanPlane;
    }
    for (int ink = 0; ink < inks_; ++ink)
        dithers_.emplace_back(printedWidth_, settings.mode.bitsPerPixel == 1 ? 2 : 5, planeOfInk_[ink]);
}

void LineConverter::spread(const std::uint8_t* rasterLine) {
    std::size_t width = static_cast<std::size_t>(layout_.width);
    std::size_t perColour = (width * layout_.bitsPerColour + 7) / 8;
    bool chunked = layout_.order == ColourOrder::chunked;
    for (int c = 0; c < layout_.colours; ++c) {
        const std::uint8_t* line = rasterLine;  // where colour c's samples start
        if (layout_.order == ColourOrder::banded) line += perColour * c;
        if (layout_.order == ColourOrder::planar) line += static_cast<std::size_t>(layout_.bytesPerLine) * c;
        if (layout_.bitsPerColour == 8 && !chunked) std::copy_n(line, width, coverageOf(c));
        if (layout_.bitsPerColour == 1)
            for (std::size_t x = 0; x < width; ++x)
                coverageOf(c)[x] = bitAsCoverage(line, chunked ? x * layout_.colours + c : x);
    }
    if (layout_.bitsPerColour == 8 && chunked) {
        std::uint8_t* lines[6];
        for (int c = 0; c < layout_.colours; ++c) lines[c] = coverageOf(c);
        deinterleave(rasterLine, layout_.colours, layout_.width, lines);
    }
}

void LineConverter::separate(const std::uint8_t* rasterLine) {
    if (layout_.colours == 1) {  // grey: ink is the light missing
        std::uint8_t* black = coverageOf(0);
        for (int x = 0; x < layout_.width; ++x) black[x] = static_cast<std::uint8_t>(255 - rasterLine[x]);
        return;
    }
    // RGB inks are in plane order, light inks included.
    std::uint8_t* planes[6];
    for (int ink = 0; ink < inks_; ++ink) planes[ink] = coverageOf(ink);
    separateLine(rasterLine, layout_.width, static_cast<InkSet>(inks_), planes);
}

void LineConverter::accumulate() {
    std::size_t printed = static_cast<std::size_t>(printedWidth_);
    for (int ink = 0; ink < inks_; ++ink) addAcross(coverageOf(ink), layout_.width, horizontal_, sums_.data() + printed * ink);
}

void LineConverter::finishRow(int linesInRow) {
    rowBlank_ = sumsBlank_;
    if (!rowBlank_) {
        // Each sum holds linesInRow lines of `down` pixels (one when scaling
        // up), fewer at the right edge when the width is no multiple of it.
        std::size_t printed = static_cast<std::size_t>(printedWidth_);
        int lastGroup = horizontal_.down == 1 ? 1 : layout_.width - (printedWidth_ - 1) * horizontal_.down;
        for (int ink = 0; ink < inks_; ++ink) {
            const std::uint32_t* sums = sums_.data() + printed * ink;
            std::uint8_t* row = row_.data() + printed * ink;
            std::uint32_t whole = static_cast<std::uint32_t>(linesInRow * horizontal_.down);
            for (std::size_t x = 0; x < printed; ++x) {
                std::uint32_t count = x + 1 == printed ? static_cast<std::uint32_t>(linesInRow * lastGroup) : whole;
                row[x] = static_cast<std::uint8_t>((sums[x] + count / 2) / count);
            }
        }
        splitLightInks(row_.data());
        std::fill(sums_.begin(), sums_.end(), 0);
    }
    sumsBlank_ = true;
    linesInSums_ = 0;
    pendingLines_ = std::min(vertical_.up, printedHeight_ - printedLine_);
}

void LineConverter::splitLightInks(std::uint8_t* row) {
    if (inks_ == layout_.inks || layout_.additive) return;  // only CMYK raster printed with light inks
    std::size_t printed = static_cast<std::size_t>(printedWidth_);
    splitLightInk(row + printed * kRasterMagenta, row + printed * layout_.inks, printedWidth_);
    splitLightInk(row + printed * kRasterCyan, row + printed * (layout_.inks + 1), printedWidth_);
}

void LineConverter::add(const std::uint8_t* rasterLine) {
    ++rasterLines_;
    std::size_t rasterBytes = static_cast<std::size_t>(layout_.bytesPerLine) *
                              (layout_.order == ColourOrder::planar ? layout_.colours : 1);
    bool blank = isBlankPaper(rasterLine, rasterBytes, layout_.additive);
    if (!blank) {
        if (layout_.additive) separate(rasterLine);
        else spread(rasterLine);
    }
    if (unscaled_) {  // the coverage is the printed row
        rowBlank_ = blank;
        if (!blank) splitLightInks(coverage_.data());
        pendingLines_ = 1;
        return;
    }
    if (!blank) {
        accumulate();
        sumsBlank_ = false;
    }
    if (++linesInSums_ == vertical_.down) finishRow(linesInSums_);
}

void LineConverter::endPage() {
    if (linesInSums_ > 0) finishRow(linesInSums_);
}

void LineConverter::next(std::vector<PlaneLine>& planes) {
    std::size_t printed = static_cast<std::size_t>(printedWidth_);
    const std::uint8_t* row = unscaled_ ? coverage_.data() : row_.data();
    for (int ink = 0; ink < inks_; ++ink) {
        PlaneLine& plane = planes[planeOfInk_[ink]];
        if (rowBlank_) {  // blank paper: planes without ink are left out
            plane.bytes.clear();
            continue;
        }
        plane.bytes.resize(static_cast<std::size_t>(dithers_[ink].packedBytes()));
        dithers_[ink].line(printedLine_, row + printed * ink, plane.bytes.data());
        plane.pixelWidth = static_cast<std::int16_t>(printedWidth_);
    }
    --pendingLines_;
    ++printedLine_;
}

}  // namespace vexao::driver
