// Raster pages as a host hands them to the library: A4 at 600 dpi, in the
// plane formats the printers take, with the content of real jobs.
#ifndef VEXAO_BENCH_RASTER_PAGES_H
#define VEXAO_BENCH_RASTER_PAGES_H

#include <cstdint>
#include <vector>

#include "output/output_api.h"

namespace vexao_bench {

constexpr int kPageWidth = 4960;  // pixels: 210 mm at 600 dpi
constexpr int kPageLines = 7016;  // lines: 297 mm at 600 dpi

struct PlaneFormat {
    int planes;
    int bitsPerPixel;
    const char* name;
};
constexpr PlaneFormat kSixPlanesFourBits{6, 4, "6x4bit"};
constexpr PlaneFormat kFourPlanesOneBit{4, 1, "4x1bit"};

enum class Content {
    SparseText,  // black marks on a third of the lines, the rest blank
    DensePhoto,  // a halftoned continuous-tone picture over the whole page
    Blank,
};
const char* contentName(Content content);

// The lines of a page. A page cycles through a pool of distinct lines, so it
// needs a few megabytes instead of a hundred, yet still reads more memory
// than the caches hold.
class RasterPage {
public:
    RasterPage(Content content, PlaneFormat format);

    int planes() const { return format_.planes; }
    int lineBytes() const { return lineBytes_; }
    int poolLines() const { return poolLines_; }
    // Plane `k` of page line `line`.
    std::uint8_t* plane(int line, int k) {
        return pool_.data() + (static_cast<std::size_t>(line % poolLines_) * format_.planes + k) * lineBytes_;
    }
    // Raster input for page line `line`, every plane present and full width.
    RasterInput input(int line);
    // Bytes of raster a whole page hands over.
    std::int64_t pageBytes() const {
        return static_cast<std::int64_t>(kPageLines) * format_.planes * lineBytes_;
    }

private:
    void fillText();
    void fillPhoto();

    PlaneFormat format_;
    int lineBytes_;
    int poolLines_;
    std::vector<std::uint8_t> pool_;
};

// The record settings (model, variant, raster mode) of a mode family that
// takes the format, in normal or in multi-raster mode.
OutputParams pageParams(PlaneFormat format, bool multiRaster);

}  // namespace vexao_bench

#endif
