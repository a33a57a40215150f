#include "printer-app/raster_read_end.h"

#include "printer-app/library_override.h"

namespace vexao::printer_app {
namespace {

// PAPPL reads a document from its start to its close on one thread.
thread_local const cups_raster_t* endedRaster = nullptr;

using ReadPixels = unsigned (*)(cups_raster_t*, unsigned char*, unsigned);
using Close = void (*)(cups_raster_t*);

}  // namespace

bool rasterReadEnded(const cups_raster_t* raster) { return raster != nullptr && raster == endedRaster; }

}  // namespace vexao::printer_app

VEXAO_OVERRIDES_LIBRARY unsigned cupsRasterReadPixels(cups_raster_t* raster, unsigned char* pixels, unsigned length) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    static const ReadPixels next = libraryDefinition<ReadPixels>("cupsRasterReadPixels");
    if (next == nullptr || rasterReadEnded(raster)) return 0;
    unsigned read = next(raster, pixels, length);
    if (read == 0) endedRaster = raster;
    return read;
}

VEXAO_OVERRIDES_LIBRARY void cupsRasterClose(cups_raster_t* raster) {
    VEXAO_TRACE_OVERRIDE();
    using namespace vexao::printer_app;
    static const Close next = libraryDefinition<Close>("cupsRasterClose");
    if (rasterReadEnded(raster)) endedRaster = nullptr;  // the address may serve the next document
    if (next != nullptr) next(raster);
}
