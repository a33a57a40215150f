// The page header PAPPL last read on the calling thread.
//
// PAPPL 1.3 reads the pages of a PWG or Apple raster document itself. It
// hands the driver each 8-bit page with the page's own header, but a 1-bit
// page only with the header it made for the job, so nothing would say how
// wide its lines are. The application therefore sees every header PAPPL
// reads: it defines libcups's cupsRasterReadHeader2, which the dynamic
// linker binds PAPPL's calls to, and records the header before handing it
// back. PAPPL reads a page's header and starts the page on the same thread.
#ifndef VEXAO_PRINTER_APP_PAGE_HEADER_TAP_H
#define VEXAO_PRINTER_APP_PAGE_HEADER_TAP_H

#include <cups/raster.h>

namespace vexao::printer_app {

// The last header read successfully on this thread; null before the first.
const cups_page_header2_t* lastPageHeaderRead();

}  // namespace vexao::printer_app

#endif
