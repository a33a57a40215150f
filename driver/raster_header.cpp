#include "driver/raster_header.h"

#include "driver/model_table.h"

namespace vexao::driver {
namespace {

unsigned expectedBytesPerLine(const RasterLayout& layout) {
    unsigned perColour = (static_cast<unsigned>(layout.width) * layout.bitsPerColour + 7) / 8;
    if (layout.order == ColourOrder::chunked)
        return (static_cast<unsigned>(layout.width) * layout.bitsPerColour * layout.colours + 7) / 8;
    return layout.order == ColourOrder::banded ? perColour * layout.colours : perColour;
}

// Sets the colours of the header's colour space; false for one the driver
// does not print. Device grey and RGB are printed as sGray and sRGB are.
bool readColourSpace(const cups_page_header2_t& header, RasterLayout& layout, std::string& reason) {
    switch (header.cupsColorSpace) {
        case CUPS_CSPACE_K: assignInks(layout, 1, false); break;
        case CUPS_CSPACE_CMYK: assignInks(layout, 4, false); break;
        case CUPS_CSPACE_KCMYcm: assignInks(layout, 6, false); break;
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_SW: assignInks(layout, 1, true); break;
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB: assignInks(layout, 3, true); break;
        default: return reason = "unsupported colour space " + std::to_string(header.cupsColorSpace), false;
    }
    return true;
}

}  // namespace

bool readLayout(const cups_page_header2_t& header, RasterLayout& layout, std::string& reason) {
    if (!readColourSpace(header, layout, reason)) return false;
    layout.lightInks = layout.colours == 4 && header.cupsInteger[4] == 1;
    if (header.cupsBitsPerColor != 1 && header.cupsBitsPerColor != 8)
        return reason = "unsupported bits per colour " + std::to_string(header.cupsBitsPerColor), false;
    if (layout.additive && (header.cupsBitsPerColor != 8 || header.cupsColorOrder != CUPS_ORDER_CHUNKED))
        return reason = "grey and RGB raster must be 8-bit and chunked", false;
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
    if (header.HWResolution[0] < 1 || header.HWResolution[0] > 100000 || header.HWResolution[1] < 1 ||
        header.HWResolution[1] > 100000)
        return reason = "resolution " + std::to_string(header.HWResolution[0]) + "x" +
                        std::to_string(header.HWResolution[1]) + " is outside 1..100000 dpi",
               false;
    layout.width = static_cast<int>(header.cupsWidth);
    layout.height = static_cast<int>(header.cupsHeight);
    layout.bitsPerColour = static_cast<int>(header.cupsBitsPerColor);
    layout.order = header.cupsColorOrder == CUPS_ORDER_CHUNKED  ? ColourOrder::chunked
                   : header.cupsColorOrder == CUPS_ORDER_BANDED ? ColourOrder::banded
                                                                : ColourOrder::planar;
    layout.bytesPerLine = header.cupsBytesPerLine;
    layout.xDpi = static_cast<int>(header.HWResolution[0]);
    layout.yDpi = static_cast<int>(header.HWResolution[1]);
    if (layout.bytesPerLine != expectedBytesPerLine(layout))
        return reason = "cupsBytesPerLine " + std::to_string(layout.bytesPerLine) + " does not match the page", false;
    return true;
}

PrintSettings readSettings(const cups_page_header2_t& header, std::int16_t modelCode) {
    ModeOptions options;
    options.modelCode = modelCode;
    options.variantCode = static_cast<std::int16_t>(header.cupsInteger[0]);
    options.rasterMode = static_cast<std::int16_t>(header.cupsInteger[1]);
    options.singlePlane = header.cupsInteger[3] == 1;
    options.resolution = static_cast<int>(header.HWResolution[1]);
    if (const vexao::models::Model* model = vexao::models::modelWithCode(modelCode))
        if (const vexao::models::Quality* quality = vexao::models::qualityWithCodes(*model, options.variantCode, options.rasterMode))
            options.resolution = quality->resolution;
    return settingsFor(options);
}

}  // namespace vexao::driver
