// The printer models and their settings, in one table: the PPDs' driver
// information is written from it at build time (cups/make_drv.cpp), the
// printer application's drivers are made from it at run time, and the filter
// reads the resolution of a page's quality from it, so the front ends never
// disagree on models, options, modes or resolutions.
#ifndef VEXAO_DRIVER_MODEL_TABLE_H
#define VEXAO_DRIVER_MODEL_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "driver/mode_options.h"

namespace vexao::models {

// Light cyan and light magenta carry a third of their dark ink's density:
// a dot of light ink prints a third of the tone of a dark one.
constexpr int kLightInkDilution = 3;

// A print quality: what the host puts in the parameter block for it.
struct Quality {
    const char* name;   // the PPD choice, "Draft"
    const char* text;   // its label, "Draft (one bit a pixel)"
    int ippQuality;     // the IPP print-quality it serves: 3 draft, 4 normal, 5 high
    std::int16_t variant, rasterMode;
    int resolution;     // dots per inch, across and down, that the printer lays its dots at
};

// What the raster holds and how it is inked.
struct ColourModel {
    const char* name;   // the PPD choice, "CMYK"
    const char* text;
    int cupsColorSpace; // the colour space a CUPS renderer is asked for
    bool singlePlane;   // black ink alone
    bool lightInks;     // cyan and magenta split into dark and light ink
};

struct Media {
    const char* ppdName;  // "A4"
    const char* pwgName;  // "iso_a4_210x297mm"
};

struct Model {
    const char* name;        // the make and model, "Vexao 105 Line"
    const char* fileName;    // the PPD's file name, which also names the driver without ".ppd"
    char code;               // the model code handed to OutputInitTwo, also the PPD's cupsModelNumber
    const char* deviceId;    // the IEEE-1284 device ID the printer reports
    std::vector<Quality> qualities;
    int defaultQuality;      // index into qualities
};

// Settings every model shares.
struct Common {
    const char* manufacturer;
    std::vector<Media> media;
    int defaultMedia;
    std::vector<ColourModel> colourModels;
    int defaultColourModel;
    int marginPoints;              // unprintable edge on every side, 1/72 inch
    int pagesPerMinute;
};

const Common& common();
const std::vector<Model>& models();

// Whether the model's quality prints in a mode with the six planes that light
// inks need, as the library's mode table decides.
bool hasSixPlanes(const Model& model, const Quality& quality);

// The resolutions the model prints at, lowest first, each once.
std::vector<int> resolutions(const Model& model);
const Quality& defaultQuality(const Model& model);

// The model's quality for an IPP print-quality: the one that serves it, else
// the best below it, else the model's lowest.
const Quality& qualityFor(const Model& model, int ippQuality);

// The model with this model code, and its quality with this variant and
// raster mode; null when the table has none.
const Model* modelWithCode(int code);
const Quality* qualityWithCodes(const Model& model, int variant, int rasterMode);

// The settings that print the model's quality, with black ink alone when
// `blackOnly`: the parameter block, its mode, and the resolution.
vexao::driver::PrintSettings settingsFor(const Model& model, const Quality& quality, bool blackOnly);

// The file name without ".ppd": the printer application's driver name.
std::string driverName(const Model& model);

}  // namespace vexao::models

#endif
