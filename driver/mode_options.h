// Command-line options that name a print mode the way a host configures the
// library (model code and settings), and what that mode means for the raster:
// band height, planes, bits per pixel, level packing. The library's own mode
// table decides; --bits and --level-packing override it for streams whose
// settings are unknown.
#ifndef VEXAO_DRIVER_MODE_OPTIONS_H
#define VEXAO_DRIVER_MODE_OPTIONS_H

#include <cstdint>
#include <string>

#include "output/output_api.h"

namespace vexao::driver {

struct ModeOptions {
    std::int16_t modelCode = 0;  // 0 selects normal mode, 4 bits per pixel, no packing
    std::int16_t variantCode = 0;
    std::int16_t rasterMode = 0;
    int bandHeight = 0;   // 8 or 16 for the banded models; 0 follows the resolution
    bool singlePlane = false;
    int resolution = 0;   // dots per inch; 0 when not given
    int bits = 0;         // --bits: 1 or 4; 0 takes the mode table's
    int levelPacking = -1;  // --level-packing 1, --no-level-packing 0; -1 takes the mode table's
};

struct ResolvedMode {
    int bandLines = 0;   // 0 for normal mode
    int planeCount = 0;  // planes per band; 0 in normal mode
    int bitsPerPixel = 4;
    bool levelPacked = false;
};

enum class OptionResult { NotMine, Taken, Invalid };

// Reads the mode option at argv[index] and, for options with a value, the
// value after it; on Taken, `index` is left on the last argument consumed.
// On Invalid, `error` says why.
OptionResult takeModeOption(int argc, char** argv, int& index, ModeOptions& options, std::string& error);

// The parameter block a host passes to OutputInitTwo for these options (the
// model code goes in too, as OutputInitTwo's third argument does): every
// front end builds its block here. The resolution goes in bandHeightCode.
OutputParams toOutputParams(const ModeOptions& options);

// The mode the options select, with --bits and --level-packing applied.
// --bits 1 turns level packing off unless --level-packing asks for it, which
// is refused: level packing needs 4-bit pixels.
bool resolveMode(const ModeOptions& options, ResolvedMode& mode, std::string& error);

// The widest raster line, in pixels, that the library takes in this mode
// whatever the line holds, for `planes` planes on a page of `pageHeight`
// lines. Normal mode hands out a line's skips and colour data commands as one
// output of at most 32767 bytes; multi-raster mode keeps each compressed row
// in a band slot of about 4 KB. Never more than 32767, the most pixels a
// plane line can declare.
int widestLine(const ResolvedMode& mode, int planes, int pageHeight);

// The planes a line of the mode may fill: the band's planes, or all seven
// line by line.
int planesTaken(const ResolvedMode& mode);

// A print mode as a front end prints pages in it.
struct PrintSettings {
    OutputParams params{};
    std::int16_t modelCode = 0;
    ResolvedMode mode;
    int resolution = 0;  // dots per inch that the printer lays the page at
};

// The settings of `options`, as the library's mode table resolves them.
PrintSettings settingsFor(const ModeOptions& options);

// Whether two pages' settings configure the library the same way.
bool sameMode(const PrintSettings& a, const PrintSettings& b);

// Help text for the options above, one option a line, indented by two.
extern const char kModeOptionsHelp[];

}  // namespace vexao::driver

#endif
