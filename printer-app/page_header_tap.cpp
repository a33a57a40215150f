#include "printer-app/page_header_tap.h"

#include "printer-app/library_override.h"
#include "printer-app/raster_read_end.h"

namespace vexao::printer_app {
namespace {

thread_local bool headerRead = false;
thread_local cups_page_header2_t lastHeader;

using ReadHeader = unsigned (*)(cups_raster_t*, cups_page_header2_t*);

ReadHeader libcupsReadHeader() {
    static const ReadHeader next = libraryDefinition<ReadHeader>("cupsRasterReadHeader2");
    return next;
}

}  // namespace

const cups_page_header2_t* lastPageHeaderRead() { return headerRead ? &lastHeader : nullptr; }

}  // namespace vexao::printer_app

VEXAO_OVERRIDES_LIBRARY unsigned cupsRasterReadHeader2(cups_raster_t* raster, cups_page_header2_t* header) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    ReadHeader next = libcupsReadHeader();
    if (next == nullptr || rasterReadEnded(raster) || next(raster, header) == 0) return 0;
    lastHeader = *header;
    headerRead = true;
    return 1;
}
