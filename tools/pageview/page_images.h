// Pictures of decoded pages: one greyscale image per plane that carries
// data (ink dark on white) and a colour preview that mixes all planes.
#ifndef VEXAO_TOOLS_INSPECT_PAGE_IMAGES_H
#define VEXAO_TOOLS_INSPECT_PAGE_IMAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/decode/page_decoder.h"

namespace vexao::inspect {

struct ImageOptions {
    std::string folder = ".";
    int width = 0;       // pixels; 0 takes the page's widest line
    int resolution = 0;  // dots per inch, stored in the files when not 0
};

// Pixels across the images of `page`.
int imageWidth(const decode::Page& page, const ImageOptions& options);

// Ink coverage, 0 (none) to 255 (full), of pixels 0 to pixels - 1 of one
// plane line of `rowBytes` bytes. 1-bit pixels: the leftmost pixel is the
// high bit. 4-bit pixels: the first pixel is the high nibble, levels 0..4
// shade evenly and higher values count as 4. Pixels past the line are 0.
void inkCoverage(const std::uint8_t* row, int rowBytes, int bitsPerPixel, int pixels, std::uint8_t* coverage);

// "page-001-K.png", "page-001-preview.png".
std::string imageName(int pageNumber, const std::string& part);

// Writes the images of one page into options.folder and appends their paths
// to `written`. A page without lines or width gets no images.
bool writePageImages(const decode::Page& page, const ImageOptions& options, std::vector<std::string>& written,
                     std::string& error);

}  // namespace vexao::inspect

#endif
