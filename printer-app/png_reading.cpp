// Ending the read of a PNG document cut short.
//
// PAPPL 1.3 reads a PNG document with libpng, and when libpng reports an
// error it jumps to its clean-up, which calls png_read_end. On a document
// cut short that reads past the end once more, reports the same error and
// jumps back to the same clean-up: the job spins for ever, processing, with
// its printer taken and the log filling. This definition takes the place of
// libpng's; called again for the same read after a call that did not return,
// it does nothing, for that call's error has been reported.
#include <png.h>

#include "printer-app/library_override.h"

namespace {

// The read whose png_read_end is running on this thread, if any.
thread_local png_structp endingRead = nullptr;

}  // namespace

VEXAO_OVERRIDES_LIBRARY void png_read_end(png_structp read, png_infop info) {
    VEXAO_TRACE_OVERRIDE();
    using End = void (*)(png_structp, png_infop);
    static const End libpng = vexao::printer_app::libraryDefinition<End>("png_read_end");
    if (read == endingRead || libpng == nullptr) {
        endingRead = nullptr;
        return;
    }
    endingRead = read;
    libpng(read, info);
    endingRead = nullptr;
}
