// vexao-modes: configures a work record for each mode family, as a host does
// (open, configure, close), and prints the mode that the settings select.
#include <cstdio>
#include <cstring>

#include "driver/mode_options.h"
#include "output/mode_selection_internal.h"
#include "output/output_api.h"

namespace {

struct Family {
    const char* description;
    char model;
    short variant, rasterMode, singlePlane, halfBand;
};

const Family kFamilies[] = {
    {"line model, one bit", 'I', 20, 20, 0, 0},
    {"line model, five levels", 'J', 0, 0, 0, 0},
    {"banded, six planes", 'e', 0, 0, 0, 0},
    {"banded, six planes, five levels", 'j', 0, 0, 0, 0},
    {"banded, four planes, five levels", 'k', 18, 10, 0, 0},
    {"banded, four planes, one bit", 'f', 0, 20, 0, 0},
    {"banded, single plane", 'l', 0, 20, 1, 0},
    {"banded, eight-line bands", 'i', 1, 0, 0, 1},
    {"unknown model", 'X', 0, 0, 0, 0},
};

int showFamily(const Family& family) {
    MasterWork* work = nullptr;
    if (OutputOpen(&work) != VEXAO_INTERFACE_VERSION) {
        std::fprintf(stderr, "vexao-modes: cannot open a work record: out of memory\n");
        OutputClose(&work);
        return 1;
    }
    vexao::driver::ModeOptions options;
    options.modelCode = family.model;
    options.variantCode = family.variant;
    options.rasterMode = family.rasterMode;
    options.singlePlane = family.singlePlane != 0;
    options.bandHeight = family.halfBand != 0 ? 8 : 0;
    OutputParams params = vexao::driver::toOutputParams(options);
    int result = OutputInitTwo(&work, &params, family.model);
    if (result != 0) {
        std::fprintf(stderr, "vexao-modes: set-up for model '%c' failed with %d (out of memory)\n", family.model,
                     result);
        OutputClose(&work);
        return 1;
    }
    OutputClose(&work);
    vexao::OutputMode mode = vexao::selectOutputMode(params, params);
    int planes = mode.bandLines ? mode.planeCount : VEXAO_MAX_PLANES;
    std::printf("  '%c' variant %3d raster %2d  %-34s %-13s %d plane%s  %d bit%s  %s\n", family.model,
                family.variant, family.rasterMode, family.description,
                mode.bandLines ? (mode.bandLines == 8 ? "8-line bands" : "16-line bands") : "line by line",
                planes, planes == 1 ? " " : "s", mode.bitsPerPixel, mode.bitsPerPixel == 1 ? " " : "s",
                mode.usePack83 ? "level packing" : "no packing");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fprintf(help ? stdout : stderr,
                     "usage: vexao-modes\n"
                     "Configures libvexao105 for each printer mode family and prints the mode it\n"
                     "selects: line by line or in bands, planes, bits per pixel, level packing.\n");
        return help ? 0 : 2;
    }
    std::printf("Modes selected by libvexao105:\n");
    int failures = 0;
    for (const Family& family : kFamilies) failures += showFamily(family);
    return failures == 0 ? 0 : 1;
}
