#include "tools/printer-app/page_header_tap.h"

#include <dlfcn.h>

namespace vexao::printer_app {
namespace {

thread_local bool headerRead = false;
thread_local cups_page_header2_t lastHeader;

using ReadHeader = unsigned (*)(cups_raster_t*, cups_page_header2_t*);

ReadHeader libcupsReadHeader() {
    static const ReadHeader next = reinterpret_cast<ReadHeader>(dlsym(RTLD_NEXT, "cupsRasterReadHeader2"));
    return next;
}

}  // namespace

const cups_page_header2_t* lastPageHeaderRead() { return headerRead ? &lastHeader : nullptr; }

bool pageHeadersTapped() {
    // The executable's own definition is the one every library is bound to.
    return dlsym(RTLD_DEFAULT, "cupsRasterReadHeader2") == reinterpret_cast<void*>(&cupsRasterReadHeader2) &&
           libcupsReadHeader() != nullptr;
}

}  // namespace vexao::printer_app

// Exported from the executable, so that it takes the place of libcups's.
extern "C" __attribute__((visibility("default"))) unsigned cupsRasterReadHeader2(cups_raster_t* raster,
                                                                                 cups_page_header2_t* header) {
    using namespace vexao::printer_app;
    ReadHeader next = libcupsReadHeader();
    if (next == nullptr || next(raster, header) == 0) return 0;
    lastHeader = *header;
    headerRead = true;
    return 1;
}
