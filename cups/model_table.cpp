#include "cups/model_table.h"

#include "output/mode_selection_internal.h"

namespace vexao::models {

// CUPS raster colour spaces (cups/raster.h), named here so that the table
// needs no CUPS header.
constexpr int kCupsK = 3, kCupsCmyk = 6;

const Common& common() {
    static const Common table{
        "Vexao",
        {300, 600},
        0,
        {{"Letter", "na_letter_8.5x11in"}, {"A4", "iso_a4_210x297mm"}},
        1,
        // The renderer has no six-ink colour space: photo colour asks for CMYK
        // and the driver separates the light inks.
        {{"Gray", "Grayscale", kCupsK, true, false},
         {"CMYK", "Colour", kCupsCmyk, false, false},
         {"KCMYcm", "Photo Colour (light inks)", kCupsCmyk, false, true}},
        1,
        18,
        4,
    };
    return table;
}

const std::vector<Model>& models() {
    static const std::vector<Model> table{
        {"Vexao 105 Line",
         "vexao105-line.ppd",
         'I',
         "MFG:Vexao;MDL:105 Line;CMD:VEXAO105;",
         {{"Draft", "Draft (one bit a pixel)", 3, 20, 20}, {"Normal", "Normal (five levels)", 4, 0, 0}},
         1,
         {}},
        {"Vexao 105 Band",
         "vexao105-band.ppd",
         'e',
         "MFG:Vexao;MDL:105 Band;CMD:VEXAO105;",
         {{"Draft", "Draft (one bit a pixel)", 3, 0, 20},
          {"Normal", "Normal (five levels)", 4, 0, 15},
          {"Photo", "Photo (five levels, six inks)", 5, 0, 5}},
         1,
         {16, 8}},
    };
    return table;
}

bool hasSixPlanes(const Model& model, const Quality& quality) {
    OutputParams params{};
    params.modelCode = model.code;
    params.variantCode = quality.variant;
    params.rasterMode = quality.rasterMode;
    OutputMode mode = selectOutputMode(params, params);
    // Line-by-line modes send every plane a line holds.
    return mode.bandLines == 0 || mode.planeCount >= 6;
}

std::string driverName(const Model& model) {
    std::string name = model.fileName;
    return name.substr(0, name.rfind(".ppd"));
}

}  // namespace vexao::models
