#include "tools/pageview/page_images.h"

#include <algorithm>
#include <cstdio>

#include "tools/pageview/png_file.h"

namespace vexao::inspect {
namespace {

using decode::kPlaneCount;
using decode::Page;

// How much of red, green and blue each ink takes away at full coverage, in
// the order of the plane letters "KYMCmcy": the light inks take half.
constexpr float kAbsorption[kPlaneCount][3] = {
    {1, 1, 1}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0.5f, 0}, {0.5f, 0, 0}, {0, 0, 0.5f},
};

constexpr int kLevels = 4;

std::uint8_t levelCoverage(int level) {
    return static_cast<std::uint8_t>((std::min(level, kLevels) * 255 + kLevels / 2) / kLevels);
}

void fillPlaneRow(const Page& page, int plane, int pixels, int y, std::uint8_t* row) {
    inkCoverage(page.planes[plane].row(y), page.width, page.bitsPerPixel, pixels, row);
    for (int x = 0; x < pixels; ++x) row[x] = static_cast<std::uint8_t>(255 - row[x]);
}

// Scratch rows of the preview, allocated before libpng runs: its C frames
// must not see an exception.
struct PreviewScratch {
    explicit PreviewScratch(int pixels) : coverage(static_cast<std::size_t>(pixels)), light(coverage.size() * 3) {}
    std::vector<std::uint8_t> coverage;
    std::vector<float> light;  // share of red, green and blue that the inks leave
};

void fillPreviewRow(const Page& page, int pixels, int y, std::uint8_t* row, PreviewScratch& scratch) {
    std::vector<float>& light = scratch.light;
    std::vector<std::uint8_t>& coverage = scratch.coverage;
    std::fill(light.begin(), light.end(), 1.0f);
    for (int plane = 0; plane < kPlaneCount; ++plane) {
        if (!page.planes[plane].hasData()) continue;
        inkCoverage(page.planes[plane].row(y), page.width, page.bitsPerPixel, pixels, coverage.data());
        for (int x = 0; x < pixels; ++x)
            for (int channel = 0; channel < 3; ++channel)
                light[3 * x + channel] *= 1.0f - kAbsorption[plane][channel] * coverage[x] / 255.0f;
    }
    for (std::size_t i = 0; i < light.size(); ++i) row[i] = static_cast<std::uint8_t>(light[i] * 255.0f + 0.5f);
}

}  // namespace

int imageWidth(const Page& page, const ImageOptions& options) {
    if (options.width > 0) return options.width;
    return page.width * (page.bitsPerPixel == 1 ? 8 : 2);
}

void inkCoverage(const std::uint8_t* row, int rowBytes, int bitsPerPixel, int pixels, std::uint8_t* coverage) {
    int pixelsPerByte = bitsPerPixel == 1 ? 8 : 2;
    for (int x = 0; x < pixels; ++x) {
        int byteIndex = x / pixelsPerByte;
        if (byteIndex >= rowBytes) {
            coverage[x] = 0;
            continue;
        }
        int slot = x % pixelsPerByte;
        if (bitsPerPixel == 1)
            coverage[x] = (row[byteIndex] >> (7 - slot) & 1) ? 255 : 0;
        else
            coverage[x] = levelCoverage(slot == 0 ? row[byteIndex] >> 4 : row[byteIndex] & 0x0F);
    }
}

std::string imageName(int pageNumber, const std::string& part) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", pageNumber);
    return std::string("page-") + number + "-" + part + ".png";
}

bool writePageImages(const Page& page, const ImageOptions& options, std::vector<std::string>& written,
                     std::string& error) {
    int pixels = imageWidth(page, options);
    if (pixels <= 0 || page.height <= 0) return true;
    PngImage image;
    image.width = pixels;
    image.height = page.height;
    image.resolution = options.resolution;
    for (int plane = 0; plane < kPlaneCount; ++plane) {
        if (!page.planes[plane].hasData()) continue;
        image.fillRow = [&page, plane, pixels](int y, std::uint8_t* row) { fillPlaneRow(page, plane, pixels, y, row); };
        std::string path = options.folder + "/" + imageName(page.number, std::string(1, decode::kPlaneLetters[plane]));
        if (!writePng(path, image, error)) return false;
        written.push_back(path);
    }
    PreviewScratch scratch(pixels);
    image.colour = PngColour::Rgb;
    image.fillRow = [&page, pixels, &scratch](int y, std::uint8_t* row) { fillPreviewRow(page, pixels, y, row, scratch); };
    std::string path = options.folder + "/" + imageName(page.number, "preview");
    if (!writePng(path, image, error)) return false;
    written.push_back(path);
    return true;
}

}  // namespace vexao::inspect
