#include "driver/mode_options.h"

#include <cstring>
#include <limits>

#include "command/command_api.h"
#include "compress/compress_api.h"
#include "output/mode_selection_internal.h"
#include "output/output_api.h"
#include "driver/decimal.h"

namespace vexao::driver {

const char kModeOptionsHelp[] =
    "  --model CODE         printer model code: a letter (e, I, ...) or a number (default 0)\n"
    "  --variant N          variant code (default 0)\n"
    "  --raster-mode N      raster mode (default 0)\n"
    "  --band-height 8|16   lines per band for the banded models (default: 8 at\n"
    "                       300 dpi, else 16)\n"
    "  --single-plane       banded models: one plane per band\n"
    "  --resolution DPI     print resolution in dots per inch\n"
    "  --bits 1|4           bits per pixel, overriding what the mode selects\n"
    "  --level-packing      lines are level-packed, overriding the mode\n"
    "  --no-level-packing   lines are not level-packed, overriding the mode\n";

namespace {

// A single non-digit character is a model letter; anything else a number.
bool parseModel(const char* text, std::int16_t& code) {
    if (text[0] != '\0' && text[1] == '\0' && (text[0] < '0' || text[0] > '9')) {
        code = static_cast<unsigned char>(text[0]);
        return true;
    }
    return parseDecimal(text, -32768, 32767, code);
}

// The most bytes one plane line of `pixels` pixels can take once compressed:
// level packing makes two bytes of three, the leading zero bytes become zero
// runs (never more than one byte beyond the zeros) and PackBits codes the rest.
std::int32_t worstCompressedPlane(const ResolvedMode& mode, std::int32_t pixels) {
    std::int32_t bytes = (pixels * mode.bitsPerPixel + 7) / 8;
    if (mode.levelPacked) bytes = (2 * bytes + 2) / 3;
    return VEXAO_PACKBITS_BOUND(bytes) + 1;
}

bool lineAlwaysFits(const ResolvedMode& mode, int planes, int pageHeight, std::int32_t pixels) {
    std::int32_t plane = worstCompressedPlane(mode, pixels);
    if (mode.bandLines != 0) return plane <= VEXAO_MAX_BAND_ROW(mode.bandLines);
    // The skips down to a line come first in its output, at most a page's worth.
    std::int32_t skips = VEXAO_SKIP_COMMAND_LENGTH * ((pageHeight + VEXAO_MAX_SKIP_LINES - 1) / VEXAO_MAX_SKIP_LINES);
    return skips + planes * (VEXAO_COLOR_HEADER_LENGTH + plane + 1) <= VEXAO_MAX_NORMAL_OUTPUT;
}

}  // namespace

int widestLine(const ResolvedMode& mode, int planes, int pageHeight) {
    // The worst case only grows with the width: bisect for the last width that fits.
    int fits = 0, tooWide = std::numeric_limits<std::int16_t>::max() + 1;
    while (tooWide - fits > 1) {
        int middle = fits + (tooWide - fits) / 2;
        (lineAlwaysFits(mode, planes, pageHeight, middle) ? fits : tooWide) = middle;
    }
    return fits;
}

OptionResult takeModeOption(int argc, char** argv, int& index, ModeOptions& options, std::string& error) {
    const char* name = argv[index];
    if (std::strcmp(name, "--single-plane") == 0) {
        options.singlePlane = true;
        return OptionResult::Taken;
    }
    if (std::strcmp(name, "--level-packing") == 0 || std::strcmp(name, "--no-level-packing") == 0) {
        options.levelPacking = name[2] == 'l' ? 1 : 0;
        return OptionResult::Taken;
    }
    static const char* const kValued[] = {"--model", "--variant", "--raster-mode", "--band-height",
                                          "--resolution", "--bits"};
    bool valued = false;
    for (const char* option : kValued) valued = valued || std::strcmp(name, option) == 0;
    if (!valued) return OptionResult::NotMine;
    if (index + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return OptionResult::Invalid;
    }
    const char* text = argv[++index];
    bool good = false;
    if (std::strcmp(name, "--model") == 0) {
        good = parseModel(text, options.modelCode);
    } else if (std::strcmp(name, "--variant") == 0 || std::strcmp(name, "--raster-mode") == 0) {
        good = parseDecimal(text, -32768, 32767, name[2] == 'v' ? options.variantCode : options.rasterMode);
    } else if (std::strcmp(name, "--band-height") == 0) {
        good = parseDecimal(text, 8, 16, options.bandHeight) && (options.bandHeight == 8 || options.bandHeight == 16);
    } else if (std::strcmp(name, "--resolution") == 0) {
        good = parseDecimal(text, 1, 100000, options.resolution);
    } else {
        good = parseDecimal(text, 1, 4, options.bits) && (options.bits == 1 || options.bits == 4);
    }
    if (!good) {
        error = std::string("invalid value for ") + name + ": '" + text + "'";
        return OptionResult::Invalid;
    }
    return OptionResult::Taken;
}

OutputParams toOutputParams(const ModeOptions& options) {
    OutputParams params;
    std::memset(&params, 0, sizeof params);
    params.modelCode = options.modelCode;
    params.variantCode = options.variantCode;
    params.rasterMode = options.rasterMode;
    params.singlePlane = options.singlePlane ? 1 : 0;
    // The host states the page's resolution where the library reads it: 300
    // dpi makes 8-line bands, which cover the same height of paper as 16
    // lines at 600. A band height given outright takes its place.
    if (options.bandHeight == 0 && options.resolution > 0 && options.resolution <= 32767)
        params.bandHeightCode = static_cast<std::int16_t>(options.resolution);
    params.halfBandFlag = options.bandHeight == 8 ? 1 : 0;
    return params;
}

bool resolveMode(const ModeOptions& options, ResolvedMode& mode, std::string& error) {
    OutputParams params = toOutputParams(options);
    OutputMode selected = selectOutputMode(params, params);
    mode.bandLines = selected.bandLines;
    mode.planeCount = selected.planeCount;
    mode.bitsPerPixel = options.bits != 0 ? options.bits : selected.bitsPerPixel;
    if (options.levelPacking >= 0)
        mode.levelPacked = options.levelPacking == 1;
    else
        mode.levelPacked = selected.usePack83 != 0 && mode.bitsPerPixel == 4;
    if (mode.levelPacked && mode.bitsPerPixel != 4) {
        error = "level packing needs 4 bits per pixel";
        return false;
    }
    return true;
}

int planesTaken(const ResolvedMode& mode) { return mode.bandLines != 0 ? mode.planeCount : VEXAO_MAX_PLANES; }

PrintSettings settingsFor(const ModeOptions& options) {
    PrintSettings settings;
    settings.params = toOutputParams(options);
    settings.modelCode = options.modelCode;
    settings.resolution = options.resolution;
    std::string unused;  // fails only for --bits and --level-packing, which front ends leave alone
    resolveMode(options, settings.mode, unused);
    return settings;
}

bool sameMode(const PrintSettings& a, const PrintSettings& b) {
    return a.modelCode == b.modelCode && std::memcmp(&a.params, &b.params, sizeof a.params) == 0;
}

}  // namespace vexao::driver
