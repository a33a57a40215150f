// Random CUPS raster page headers and lines through the driver layer, as the
// filter and the printer application meet them: the header is read, the page
// checked against a quality of the model table, and its lines converted,
// scaled and halftoned. Whatever the header claims, the page must be refused
// or give exactly the printed lines it announced, each of its printed width
// and at the mode's levels.
#include <cups/raster.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/line_conversion.h"
#include "driver/model_table.h"
#include "driver/raster_header.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Reads fixed-size fields off the front of the input, zero once it runs out.
class Fields {
public:
    Fields(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned next(unsigned bytes) {
        unsigned value = 0;
        for (unsigned i = 0; i < bytes; ++i) value = value << 8 | (at_ < size_ ? data_[at_++] : 0);
        return value;
    }
    const std::uint8_t* rest() const { return data_ + at_; }
    std::size_t restSize() const { return size_ - at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

// Small pages, so that every run stays quick; the caps on what a header may
// claim are the real ones.
constexpr std::int64_t kPrintedDotBudget = 1 << 18;

cups_page_header2_t headerFrom(Fields& fields) {
    static const cups_cspace_t kSpaces[] = {CUPS_CSPACE_K,    CUPS_CSPACE_CMYK, CUPS_CSPACE_KCMYcm, CUPS_CSPACE_W,
                                            CUPS_CSPACE_SW,   CUPS_CSPACE_RGB,  CUPS_CSPACE_SRGB,  CUPS_CSPACE_CIELab};
    static const unsigned kDpis[] = {72, 75, 100, 150, 300, 600, 1200, 2400, 9600, 19200, 1, 0};
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsColorSpace = kSpaces[fields.next(1) % 8];
    header.cupsBitsPerColor = fields.next(1) % 2 == 0 ? 8 : 1;
    header.cupsColorOrder = static_cast<cups_order_t>(fields.next(1) % 4);
    header.cupsWidth = fields.next(2) % 2000;
    header.cupsHeight = fields.next(1) % 64;
    header.cupsNumColors = fields.next(1) % 8;
    header.HWResolution[0] = kDpis[fields.next(1) % 12];
    header.HWResolution[1] = kDpis[fields.next(1) % 12];
    header.cupsInteger[4] = fields.next(1) % 2;
    // A line length that is usually right, sometimes not.
    unsigned colours = fields.next(1) % 7 + 1;
    unsigned perColour = (header.cupsWidth * header.cupsBitsPerColor + 7) / 8;
    header.cupsBytesPerLine = fields.next(1) % 16 == 0 ? fields.next(2)
                              : header.cupsColorOrder == CUPS_ORDER_CHUNKED
                                  ? (header.cupsWidth * header.cupsBitsPerColor * colours + 7) / 8
                              : header.cupsColorOrder == CUPS_ORDER_BANDED ? perColour * colours
                                                                           : perColour;
    return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fields fields(data, size);
    cups_page_header2_t header = headerFrom(fields);
    const auto& models = vexao::models::models();
    const vexao::models::Model& model = models[fields.next(1) % models.size()];
    const vexao::models::Quality& quality = model.qualities[fields.next(1) % model.qualities.size()];
    bool blackOnly = fields.next(1) % 2 == 1;

    vexao::driver::RasterLayout layout;
    std::string reason;
    if (!vexao::driver::readLayout(header, layout, reason)) return require(!reason.empty()), 0;
    vexao::driver::PrintSettings settings = vexao::models::settingsFor(model, quality, blackOnly || layout.inks == 1);
    if (!vexao::driver::pageProblem(layout, settings).empty()) return 0;
    vexao::driver::LineConverter converter(layout, settings);
    if (std::int64_t{converter.printedWidth()} * converter.printedHeight() > kPrintedDotBudget) return 0;

    std::size_t lineBytes = std::size_t{layout.bytesPerLine} *
                            (layout.order == vexao::driver::ColourOrder::planar ? layout.colours : 1);
    std::vector<std::uint8_t> line(lineBytes);
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    std::size_t packed = (static_cast<std::size_t>(converter.printedWidth()) * settings.mode.bitsPerPixel + 7) / 8;
    int printed = 0;
    auto takeReady = [&] {
        while (converter.ready()) {
            converter.next(planes);
            ++printed;
            for (const vexao::driver::PlaneLine& plane : planes) {
                require(plane.bytes.empty() || plane.bytes.size() == packed);
                if (settings.mode.bitsPerPixel == 4)
                    for (std::uint8_t byte : plane.bytes) require((byte >> 4) <= 4 && (byte & 15) <= 4);
            }
        }
    };
    for (int y = 0; y < layout.height; ++y) {
        std::size_t take = std::min(fields.restSize(), lineBytes);
        std::copy_n(fields.rest(), take, line.begin());
        fields.next(static_cast<unsigned>(std::min<std::size_t>(take, 4)));  // lines differ as the input goes on
        converter.add(line.data());
        takeReady();
    }
    converter.endPage();
    takeReady();
    require(printed == converter.printedHeight());
    return 0;
}
