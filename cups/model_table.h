// The printer models and their settings, in one table: the PPDs' driver
// information is written from it at build time (make_drv.cpp) and the
// printer application's drivers are made from it at run time, so the two
// never disagree on models, options or modes.
#ifndef VEXAO_CUPS_MODEL_TABLE_H
#define VEXAO_CUPS_MODEL_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vexao::models {

// A print quality: what the host puts in the parameter block for it.
struct Quality {
    const char* name;   // the PPD choice, "Draft"
    const char* text;   // its label, "Draft (one bit a pixel)"
    int ippQuality;     // the IPP print-quality it serves: 3 draft, 4 normal, 5 high
    std::int16_t variant, rasterMode;
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
    std::vector<int> bandHeights;  // lines a band, default first; empty for line-by-line models
};

// Settings every model shares.
struct Common {
    const char* manufacturer;
    std::vector<int> resolutions;  // dots per inch, the same across and down
    int defaultResolution;         // index into resolutions
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

// The file name without ".ppd": the printer application's driver name.
std::string driverName(const Model& model);

}  // namespace vexao::models

#endif
