#include "driver/model_table.h"

#include <algorithm>

namespace vexao::models {

// CUPS raster colour spaces (cups/raster.h), named here so that the table
// needs no CUPS header.
constexpr int kCupsK = 3, kCupsCmyk = 6;

const Common& common() {
    static const Common table{
        "Vexao",
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

// Draft prints one bit a pixel at 300 dpi; the five-level qualities print at
// 600. On the banded model the library makes 8-line bands at 300 dpi and
// 16-line bands at 600, the same height of paper.
const std::vector<Model>& models() {
    static const std::vector<Model> table{
        {"Vexao 105 Line",
         "vexao105-line.ppd",
         'I',
         "MFG:Vexao;MDL:105 Line;CMD:VEXAO105;",
         {{"Draft", "Draft (one bit a pixel, 300 dpi)", 3, 20, 20, 300},
          {"Normal", "Normal (five levels, 600 dpi)", 4, 0, 0, 600}},
         1},
        {"Vexao 105 Band",
         "vexao105-band.ppd",
         'e',
         "MFG:Vexao;MDL:105 Band;CMD:VEXAO105;",
         {{"Draft", "Draft (one bit a pixel, 300 dpi)", 3, 0, 20, 300},
          {"Normal", "Normal (five levels, 600 dpi)", 4, 0, 15, 600},
          {"Photo", "Photo (five levels, six inks, 600 dpi)", 5, 0, 5, 600}},
         1},
    };
    return table;
}

vexao::driver::PrintSettings settingsFor(const Model& model, const Quality& quality, bool blackOnly) {
    vexao::driver::ModeOptions options;
    options.modelCode = model.code;
    options.variantCode = quality.variant;
    options.rasterMode = quality.rasterMode;
    options.resolution = quality.resolution;
    options.singlePlane = blackOnly;
    return vexao::driver::settingsFor(options);
}

bool hasSixPlanes(const Model& model, const Quality& quality) {
    return vexao::driver::planesTaken(settingsFor(model, quality, false).mode) >= 6;
}

std::vector<int> resolutions(const Model& model) {
    std::vector<int> list;
    for (const Quality& quality : model.qualities) list.push_back(quality.resolution);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

const Quality& defaultQuality(const Model& model) {
    return model.qualities[static_cast<std::size_t>(model.defaultQuality)];
}

const Quality& qualityFor(const Model& model, int ippQuality) {
    const Quality* chosen = nullptr;
    for (const Quality& quality : model.qualities)
        if (quality.ippQuality <= ippQuality && (chosen == nullptr || quality.ippQuality > chosen->ippQuality))
            chosen = &quality;
    if (chosen != nullptr) return *chosen;
    for (const Quality& quality : model.qualities)
        if (chosen == nullptr || quality.ippQuality < chosen->ippQuality) chosen = &quality;
    return *chosen;
}

const Model* modelWithCode(int code) {
    for (const Model& model : models())
        if (model.code == code) return &model;
    return nullptr;
}

const Quality* qualityWithCodes(const Model& model, int variant, int rasterMode) {
    for (const Quality& quality : model.qualities)
        if (quality.variant == variant && quality.rasterMode == rasterMode) return &quality;
    return nullptr;
}

std::string driverName(const Model& model) {
    std::string name = model.fileName;
    return name.substr(0, name.rfind(".ppd"));
}

}  // namespace vexao::models
