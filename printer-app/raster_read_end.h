// The end of a raster document that PAPPL reads from a client.
//
// When a page's pixels cannot be read, PAPPL 1.3 goes on reading the page's
// remaining lines to discard them, and then the next page's header. Once a
// chunked request body has ended, each such read waits for more data that
// never comes, and the printer stays held until the client gives up. The
// application therefore sees PAPPL's pixel reads: it defines libcups's
// cupsRasterReadPixels and cupsRasterClose, which the dynamic linker binds
// PAPPL's calls to, and once a read of a document fails, every later read of
// it fails at once.
#ifndef VEXAO_PRINTER_APP_RASTER_READ_END_H
#define VEXAO_PRINTER_APP_RASTER_READ_END_H

#include <cups/raster.h>

namespace vexao::printer_app {

// Whether a read of `raster` failed on the calling thread since it was opened.
bool rasterReadEnded(const cups_raster_t* raster);

}  // namespace vexao::printer_app

#endif
