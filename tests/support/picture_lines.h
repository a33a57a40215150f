// A picture's printed lines, as the host program makes them: separated into
// `inks` inks and halftoned in `mode`, at one dot a pixel.
#ifndef VEXAO_TESTS_SUPPORT_PICTURE_LINES_H
#define VEXAO_TESTS_SUPPORT_PICTURE_LINES_H

#include <functional>
#include <vector>

#include "driver/line_conversion.h"
#include "tools/print/image.h"

namespace vexao_test {

inline void forEachPrintedLine(const vexao::imaging::RgbImage& image, const vexao::driver::ResolvedMode& mode, int inks,
                               const std::function<void(int y, std::vector<vexao::driver::PlaneLine>&)>& take) {
    vexao::driver::PrintSettings settings;
    settings.mode = mode;
    settings.resolution = 300;
    vexao::driver::LineConverter converter(vexao::driver::rgbLayout(image.width, image.height, 300, inks), settings);
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    for (int y = 0; y < image.height; ++y) {
        converter.add(image.row(y));
        converter.next(planes);
        take(y, planes);
    }
}

}  // namespace vexao_test

#endif
