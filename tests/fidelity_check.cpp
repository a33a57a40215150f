// Measures how faithfully a printed stream reproduces the pages it was made
// from. Each page of the stream is decoded into its ink planes and compared
// with Ghostscript's contone rendering of the same page (a TIFF: CMYK for
// colour pages, grey for grey ones) in cells of 1 mm, ink by ink.
//
//   vexao_fidelity_check MODE-OPTIONS --colour-model Gray|CMYK|KCMYcm
//                        --page PAPER=REFERENCE.tif [--page ...] STREAM
//
// One --page for each page of the stream, in order; PAPER is A4 or Letter.
// The mode options are the inspector's; --resolution is the one the mode
// prints at. A page passes when, for each ink:
//   - the mean absolute difference of coverage (0..1) over the cells that
//     carry ink in either image is below 0.05;
//   - the correlation of the two over those cells is above 0.95;
//   - no shift of the printed cells by up to three cells each way matches
//     the reference better than none;
// and when its ink spans the paper to within 1 mm: the pages carry marks in
// their four corners, so the ink's extent in dots at the mode's resolution
// is the size of the sheet.
//
// Light inks count at a third of their dark ink's density: cyan coverage is
// dark cyan plus a third of light cyan, and the same for magenta. A grey page
// prints with black ink alone, four-ink colour without light inks, and photo
// colour with them where the mode has the six planes.
//
// Prints the figures of every page and ink, then each fault; exits 0 when
// every page passes, 1 when one does not, 2 on bad usage or unreadable input.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/mode_options.h"
#include "tools/decode/page_decoder.h"
#include "tools/pageview/page_images.h"

namespace {

using vexao::decode::kPlaneCount;
using vexao::decode::Page;

// Planes in the order of the stream's plane letters "KYMCmcy".
constexpr int kBlackPlane = 0, kYellowPlane = 1, kMagentaPlane = 2, kCyanPlane = 3, kLightMagentaPlane = 4,
              kLightCyanPlane = 5;

constexpr double kMaxMeanDifference = 0.05;
constexpr double kMinCorrelation = 0.95;
constexpr int kShiftSearch = 3;      // cells each way
constexpr double kSizeTolerance = 1.0;  // millimetres

// The inks compared, in the order of a CMYK reference's samples.
enum Ink { kCyan, kMagenta, kYellow, kBlack, kInkCount };
constexpr char kInkNames[] = "CMYK";

struct Paper {
    const char* name;
    double width, height;  // millimetres
};
constexpr Paper kPapers[] = {{"A4", 210.0, 297.0}, {"Letter", 215.9, 279.4}};

// Mean coverage (0..1) of each 1 mm cell of a sheet of `width` x `height`
// pixels at `dpi`, in a grid of `across` x `down` cells; pixels past the
// grid are left out.
class CellGrid {
public:
    CellGrid(int width, int height, int dpi, int across, int down)
        : across_(across), down_(down), dpi_(dpi), columnCell_(static_cast<std::size_t>(std::max(width, 0))),
          sum_(cellCount()), pixels_(cellCount()) {
        for (int x = 0; x < width; ++x) columnCell_[static_cast<std::size_t>(x)] = cellOf(x, dpi);
        for (int y = 0; y < height && cellOf(y, dpi) < down; ++y)
            for (int x = 0; x < width && columnCell_[static_cast<std::size_t>(x)] < across; ++x)
                ++pixels_[static_cast<std::size_t>(cellOf(y, dpi)) * across + columnCell_[static_cast<std::size_t>(x)]];
    }

    int across() const { return across_; }
    int down() const { return down_; }
    // Adds line `y` of coverage (0..255), `weight` times.
    void addLine(int y, const std::uint8_t* coverage, int pixels, double weight = 1.0) {
        int row = cellOf(y, dpi_);
        if (row >= down_) return;
        double* sums = &sum_[static_cast<std::size_t>(row) * across_];
        pixels = std::min(pixels, static_cast<int>(columnCell_.size()));
        for (int x = 0; x < pixels; ++x)
            if (coverage[x] != 0 && columnCell_[static_cast<std::size_t>(x)] < across_)
                sums[columnCell_[static_cast<std::size_t>(x)]] += weight * coverage[x] / 255.0;
    }
    // The cell's mean coverage; 0 outside the grid and for cells without pixels.
    double at(int column, int row) const {
        if (column < 0 || row < 0 || column >= across_ || row >= down_) return 0.0;
        std::size_t i = static_cast<std::size_t>(row) * across_ + column;
        return pixels_[i] == 0 ? 0.0 : sum_[i] / pixels_[i];
    }
    bool hasInk() const {
        return std::any_of(sum_.begin(), sum_.end(), [](double sum) { return sum > 0.0; });
    }

    // The cell that pixel `pixel` falls in at `dpi`: floor(pixel * 25.4 / dpi).
    static int cellOf(int pixel, int dpi) {
        return static_cast<int>(std::int64_t{pixel} * 254 / (std::int64_t{dpi} * 10));
    }

private:
    std::size_t cellCount() const { return static_cast<std::size_t>(across_) * static_cast<std::size_t>(down_); }

    int across_, down_, dpi_;
    std::vector<int> columnCell_;  // the cell column of each pixel
    std::vector<double> sum_;
    std::vector<int> pixels_;
};

// The reference rendering, one grid per ink; a grey reference fills black alone.
struct Reference {
    std::vector<CellGrid> inks;
    bool grey = false;
    int dpi = 0;
    int width = 0, height = 0;  // pixels
    std::string error;
};

Reference readReference(const std::string& path) {
    Reference reference;
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return reference.error = "cannot read " + path, reference;
    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 1, bits = 0, photometric = 0;
    float xResolution = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xResolution);
    reference.dpi = static_cast<int>(std::lround(xResolution));
    reference.width = static_cast<int>(width);
    reference.height = static_cast<int>(height);
    bool cmyk = samples == 4 && photometric == PHOTOMETRIC_SEPARATED;
    reference.grey = samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    if (bits != 8 || (!cmyk && !reference.grey) || reference.dpi <= 0 || width == 0 || height == 0 ||
        width > 32767 || height > 100000) {
        TIFFClose(tiff);
        return reference.error = path + " is not an 8-bit CMYK or grey TIFF of a page with its resolution", reference;
    }
    int across = CellGrid::cellOf(reference.width - 1, reference.dpi) + 1;
    int down = CellGrid::cellOf(reference.height - 1, reference.dpi) + 1;
    reference.inks.assign(kInkCount, CellGrid(reference.width, reference.height, reference.dpi, across, down));
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tiff))), coverage(width);
    for (int y = 0; y < reference.height; ++y) {
        if (TIFFReadScanline(tiff, line.data(), static_cast<std::uint32_t>(y)) < 0) {
            TIFFClose(tiff);
            return reference.error = "cannot read line " + std::to_string(y) + " of " + path, reference;
        }
        for (int ink = 0; ink < (cmyk ? kInkCount : 1); ++ink) {
            // Grey is light: black ink is the light missing.
            for (std::uint32_t x = 0; x < width; ++x) {
                std::uint8_t sample = line[x * samples + (cmyk ? ink : 0)];
                coverage[x] = photometric == PHOTOMETRIC_MINISBLACK ? static_cast<std::uint8_t>(255 - sample) : sample;
            }
            reference.inks[cmyk ? ink : kBlack].addLine(y, coverage.data(), reference.width);
        }
    }
    TIFFClose(tiff);
    return reference;
}

// Where a page's ink lies, in dots.
struct InkExtent {
    int left = -1, top = -1, right = -1, bottom = -1;  // right and bottom: one past the last inked dot
    bool empty() const { return left < 0; }
    void add(int x0, int x1, int y) {
        if (empty()) top = y, left = x0;
        left = std::min(left, x0);
        right = std::max(right, x1);
        bottom = std::max(bottom, y + 1);
    }
};

// The printed page in the reference's cells, with light inks at a third of
// their dark ink, and the extent of its ink.
struct PrintedPage {
    std::vector<CellGrid> inks;
    InkExtent extent;
};

PrintedPage measurePrintedPage(const Page& page, int dpi, const Reference& reference) {
    // The sheet in dots at the print's resolution, cut into the reference's cells.
    int sheetWidth = static_cast<int>(std::lround(static_cast<double>(reference.width) * dpi / reference.dpi));
    int sheetHeight = static_cast<int>(std::lround(static_cast<double>(reference.height) * dpi / reference.dpi));
    const CellGrid& cells = reference.inks[kBlack];
    PrintedPage printed;
    printed.inks.assign(kInkCount, CellGrid(sheetWidth, sheetHeight, dpi, cells.across(), cells.down()));
    struct Share {
        int plane;
        Ink ink;
        double weight;
    };
    static const Share kShares[] = {{kBlackPlane, kBlack, 1.0},          {kYellowPlane, kYellow, 1.0},
                                    {kMagentaPlane, kMagenta, 1.0},      {kCyanPlane, kCyan, 1.0},
                                    {kLightMagentaPlane, kMagenta, 1 / 3.0}, {kLightCyanPlane, kCyan, 1 / 3.0}};
    int pixels = vexao::inspect::imageWidth(page, {});
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(pixels));
    for (int y = 0; y < page.height; ++y) {
        for (const Share& share : kShares) {
            const vexao::decode::PlaneRaster& plane = page.planes[share.plane];
            if (!plane.hasData()) continue;
            const std::uint8_t* row = plane.row(y);
            if (std::all_of(row, row + page.width, [](std::uint8_t byte) { return byte == 0; })) continue;
            vexao::inspect::inkCoverage(row, page.width, page.bitsPerPixel, pixels, coverage.data());
            auto first = std::find_if(coverage.begin(), coverage.end(), [](std::uint8_t c) { return c != 0; });
            if (first == coverage.end()) continue;
            auto last = std::find_if(coverage.rbegin(), coverage.rend(), [](std::uint8_t c) { return c != 0; });
            printed.extent.add(static_cast<int>(first - coverage.begin()), static_cast<int>(coverage.rend() - last), y);
            printed.inks[share.ink].addLine(y, coverage.data(), pixels, share.weight);
        }
    }
    return printed;
}

struct Figures {
    int cells = 0;  // cells that carry ink in either image
    double meanDifference = 0, correlation = 0;
    // Where the printed cells match the reference best, in cells from where
    // they should be: positive to the right and down.
    int shiftX = 0, shiftY = 0;
};

// Pearson's correlation of the pairs; 1 when both sides are flat and equal.
class Correlation {
public:
    void add(double a, double b) {
        ++n_, sa_ += a, sb_ += b, saa_ += a * a, sbb_ += b * b, sab_ += a * b;
    }
    double value() const {
        if (n_ == 0) return 0.0;
        double va = saa_ - sa_ * sa_ / n_, vb = sbb_ - sb_ * sb_ / n_, cov = sab_ - sa_ * sb_ / n_;
        if (va <= 1e-12 || vb <= 1e-12) return va <= 1e-12 && vb <= 1e-12 && std::fabs(sa_ - sb_) < 1e-9 ? 1.0 : 0.0;
        return cov / std::sqrt(va * vb);
    }

private:
    double n_ = 0, sa_ = 0, sb_ = 0, saa_ = 0, sbb_ = 0, sab_ = 0;
};

Figures compare(const CellGrid& printed, const CellGrid& reference) {
    Figures figures;
    Correlation inked;
    double differences = 0;
    for (int row = 0; row < reference.down(); ++row)
        for (int column = 0; column < reference.across(); ++column) {
            double p = printed.at(column, row), r = reference.at(column, row);
            if (p <= 0.0 && r <= 0.0) continue;
            ++figures.cells;
            differences += std::fabs(p - r);
            inked.add(p, r);
        }
    figures.meanDifference = figures.cells == 0 ? 0.0 : differences / figures.cells;
    figures.correlation = inked.value();
    // The shift search takes every cell, so that each shift is judged on the same cells.
    double best = -2.0;
    for (int dy = -kShiftSearch; dy <= kShiftSearch; ++dy)
        for (int dx = -kShiftSearch; dx <= kShiftSearch; ++dx) {
            Correlation shifted;
            for (int row = 0; row < reference.down(); ++row)
                for (int column = 0; column < reference.across(); ++column)
                    shifted.add(printed.at(column + dx, row + dy), reference.at(column, row));
            // A tie keeps the smaller shift, searched first from the middle out.
            double value = shifted.value();
            bool closer = std::abs(dx) + std::abs(dy) < std::abs(figures.shiftX) + std::abs(figures.shiftY);
            if (value > best + 1e-9 || (value > best - 1e-9 && closer))
                best = value, figures.shiftX = dx, figures.shiftY = dy;
        }
    return figures;
}

struct Check {
    vexao::driver::ModeOptions modeOptions;
    vexao::driver::ResolvedMode mode;
    std::string colourModel;
    std::vector<std::pair<const Paper*, std::string>> pages;  // paper and reference
    const char* stream = nullptr;
};

std::string format(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Checks one page; prints its figures and appends its faults.
void checkPage(int number, const Page& page, const Paper& paper, const Reference& reference, const Check& check,
               std::vector<std::string>& faults) {
    int dpi = check.modeOptions.resolution;
    std::string where = "page " + std::to_string(number) + " (" + paper.name + ")";
    auto fault = [&](const std::string& what) { faults.push_back(where + ": " + what); };

    PrintedPage printed = measurePrintedPage(page, dpi, reference);

    // The size of the sheet, from where its corner marks were printed.
    if (printed.extent.empty()) {
        fault("no ink at all");
    } else {
        double left = printed.extent.left * 25.4 / dpi, top = printed.extent.top * 25.4 / dpi;
        double width = printed.extent.right * 25.4 / dpi, height = printed.extent.bottom * 25.4 / dpi;
        std::printf("%s: %d x %d dots at %d dpi, ink from %s, %s mm to %s x %s mm\n", where.c_str(),
                    printed.extent.right, printed.extent.bottom, dpi, format(left, 1).c_str(), format(top, 1).c_str(),
                    format(width, 1).c_str(), format(height, 1).c_str());
        if (left > kSizeTolerance || top > kSizeTolerance || std::fabs(width - paper.width) > kSizeTolerance ||
            std::fabs(height - paper.height) > kSizeTolerance)
            fault("the ink spans " + format(left, 1) + ".." + format(width, 1) + " x " + format(top, 1) + ".." +
                  format(height, 1) + " mm, not the " + format(paper.width, 1) + " x " + format(paper.height, 1) +
                  " mm sheet");
    }

    // Which planes may carry ink.
    bool grey = check.colourModel == "Gray";
    bool sixPlanes = check.mode.planeCount == 0 || check.mode.planeCount >= 6;
    bool lightInks = check.colourModel == "KCMYcm" && sixPlanes;
    for (int plane = 0; plane < kPlaneCount; ++plane) {
        bool allowed = plane == kBlackPlane || (!grey && plane <= kCyanPlane) ||
                       (lightInks && (plane == kLightMagentaPlane || plane == kLightCyanPlane));
        if (!allowed && page.planes[plane].hasData())
            fault(std::string("ink on plane ") + vexao::decode::kPlaneLetters[plane] + " in a " + check.colourModel +
                  " page");
    }
    if (lightInks && !page.planes[kLightCyanPlane].hasData() && !page.planes[kLightMagentaPlane].hasData())
        fault("no light ink in a photo colour page");
    if (grey != reference.grey)
        fault("a " + check.colourModel + " page against a " + (reference.grey ? "grey" : "CMYK") + " reference");

    for (int ink = 0; ink < kInkCount; ++ink) {
        if (grey && ink != kBlack) continue;
        const CellGrid &mine = printed.inks[ink], &theirs = reference.inks[ink];
        if (!mine.hasInk() && !theirs.hasInk()) continue;
        Figures figures = compare(mine, theirs);
        std::printf("%s %c: %d inked cells, mean difference %s, correlation %s, best shift %d,%d\n", where.c_str(),
                    kInkNames[ink], figures.cells, format(figures.meanDifference, 4).c_str(),
                    format(figures.correlation, 4).c_str(), figures.shiftX, figures.shiftY);
        std::string inkName = std::string(1, kInkNames[ink]) + ": ";
        if (figures.meanDifference >= kMaxMeanDifference)
            fault(inkName + "mean difference " + format(figures.meanDifference, 4) + " is not below " +
                  format(kMaxMeanDifference, 2));
        if (figures.correlation <= kMinCorrelation)
            fault(inkName + "correlation " + format(figures.correlation, 4) + " is not above " +
                  format(kMinCorrelation, 2));
        if (figures.shiftX != 0 || figures.shiftY != 0)
            fault(inkName + "printed " + std::to_string(figures.shiftX) + " mm across and " +
                  std::to_string(figures.shiftY) + " mm down of where the reference has it");
    }
}

const Paper* paperNamed(const std::string& name) {
    for (const Paper& paper : kPapers)
        if (name == paper.name) return &paper;
    return nullptr;
}

bool readArguments(int argc, char** argv, Check& check, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        vexao::driver::OptionResult taken = vexao::driver::takeModeOption(argc, argv, i, check.modeOptions, error);
        if (taken == vexao::driver::OptionResult::Invalid) return false;
        if (taken == vexao::driver::OptionResult::Taken) continue;
        std::string name = argv[i];
        if (name == "--colour-model" && i + 1 < argc) {
            check.colourModel = argv[++i];
        } else if (name == "--page" && i + 1 < argc) {
            std::string page = argv[++i];
            std::size_t equals = page.find('=');
            const Paper* paper = equals == std::string::npos ? nullptr : paperNamed(page.substr(0, equals));
            if (paper == nullptr) return error = "--page takes A4=FILE or Letter=FILE, not " + page, false;
            check.pages.emplace_back(paper, page.substr(equals + 1));
        } else if (check.stream == nullptr && name[0] != '-') {
            check.stream = argv[i];
        } else {
            return error = "unexpected argument " + name, false;
        }
    }
    bool knownModel = check.colourModel == "Gray" || check.colourModel == "CMYK" || check.colourModel == "KCMYcm";
    if (check.stream == nullptr || check.pages.empty() || check.modeOptions.resolution == 0 || !knownModel)
        return error = "usage: vexao_fidelity_check MODE-OPTIONS --resolution DPI --colour-model Gray|CMYK|KCMYcm "
                       "--page PAPER=REFERENCE.tif... STREAM",
               false;
    return vexao::driver::resolveMode(check.modeOptions, check.mode, error);
}

int usageError(const std::string& what) {
    std::fprintf(stderr, "fidelity check: %s\n", what.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Check check;
    std::string error;
    if (!readArguments(argc, argv, check, error)) return usageError(error);
    std::ifstream file(check.stream, std::ios::binary);
    if (!file) return usageError(std::string("cannot read ") + check.stream);
    std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = check.mode.bitsPerPixel;
    options.levelPacked = check.mode.levelPacked;
    vexao::decode::PageDecoder decoder(stream.data(), stream.size(), options);
    std::vector<std::string> faults;
    std::size_t pages = 0;
    for (Page page; decoder.nextPage(page); page = Page()) {
        if (++pages > check.pages.size()) continue;
        const auto& [paper, path] = check.pages[pages - 1];
        Reference reference = readReference(path);
        if (!reference.error.empty()) return usageError(reference.error);
        checkPage(static_cast<int>(pages), page, *paper, reference, check, faults);
    }
    if (decoder.failed()) faults.push_back("the stream is malformed: " + vexao::decode::describe(decoder.error()));
    if (pages != check.pages.size())
        faults.push_back(std::to_string(pages) + " pages printed where " + std::to_string(check.pages.size()) +
                         " were sent");
    for (const std::string& fault : faults) std::printf("FAULT %s\n", fault.c_str());
    return faults.empty() ? 0 : 1;
}
