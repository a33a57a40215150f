// What a CUPS raster page header means for the driver: the page's layout,
// and the print mode that the PPD's options put in it.
#ifndef VEXAO_DRIVER_RASTER_HEADER_H
#define VEXAO_DRIVER_RASTER_HEADER_H

#include <cups/raster.h>

#include <cstdint>
#include <string>

#include "driver/line_conversion.h"

namespace vexao::driver {

// Reads the layout; false with a reason for a raster the driver cannot print.
// cupsInteger4 1 asks for CMYK raster to be printed with light inks: the
// renderer has no six-ink colour space, so the driver separates them.
bool readLayout(const cups_page_header2_t& header, RasterLayout& layout, std::string& reason);

// The settings of a page on the model with `modelCode` (the PPD's
// cupsModelNumber): the variant and raster mode that the PPD's quality puts
// in cupsInteger0 and 1, single plane in cupsInteger3, and the resolution
// that the model table states for that quality. A quality the table does not
// know prints at the page's own resolution.
PrintSettings readSettings(const cups_page_header2_t& header, std::int16_t modelCode);

}  // namespace vexao::driver

#endif
