#include "printer-app/drivers.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "printer-app/file_devices.h"
#include "printer-app/job_settings.h"
#include "printer-app/raster_job.h"

namespace vexao::printer_app {
namespace {

using vexao::models::Model;

// Margins in hundredths of a millimetre, from points.
int pointsToHundredthsOfMm(int points) { return points * 2540 / 72; }

pappl_media_col_t mediaCol(const char* pwgName) {
    pappl_media_col_t media{};
    std::snprintf(media.size_name, sizeof media.size_name, "%s", pwgName);
    if (const pwg_media_t* size = pwgMediaForPWG(pwgName)) {
        media.size_width = size->width;
        media.size_length = size->length;
    }
    int margin = pointsToHundredthsOfMm(vexao::models::common().marginPoints);
    media.bottom_margin = media.top_margin = media.left_margin = media.right_margin = margin;
    std::snprintf(media.source, sizeof media.source, "main");
    std::snprintf(media.type, sizeof media.type, "stationery");
    return media;
}

void fillMedia(pappl_pr_driver_data_t& data) {
    const auto& common = vexao::models::common();
    data.num_media = static_cast<int>(common.media.size());
    for (int i = 0; i < data.num_media; ++i) data.media[i] = common.media[static_cast<std::size_t>(i)].pwgName;
    data.media_default = mediaCol(common.media[static_cast<std::size_t>(common.defaultMedia)].pwgName);
    data.media_ready[0] = data.media_default;
    data.num_source = 1;
    data.source[0] = "main";
    data.num_type = 1;
    data.type[0] = "stationery";
    data.left_right = data.bottom_top = pointsToHundredthsOfMm(common.marginPoints);
}

// The resolutions the model's qualities print at, lowest first, and the
// default quality's as the default. PAPPL renders a picture of print-quality
// draft at the first, normal at the middle one and high at the last: the
// table's qualities are laid out so that each lands on its own.
void fillResolutions(pappl_pr_driver_data_t& data, const Model& model) {
    std::vector<int> resolutions = vexao::models::resolutions(model);
    data.num_resolution = static_cast<int>(resolutions.size());
    for (int i = 0; i < data.num_resolution; ++i)
        data.x_resolution[i] = data.y_resolution[i] = resolutions[static_cast<std::size_t>(i)];
    data.x_default = data.y_default = vexao::models::defaultQuality(model).resolution;
}

// Grey raster prints with black ink, colour raster with the four inks, and
// with light inks too where the job asks and the quality's mode has six planes.
void fillColour(pappl_pr_driver_data_t& data, const Model& model) {
    data.color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_COLOR;
    const auto& common = vexao::models::common();
    bool defaultGrey = common.colourModels[static_cast<std::size_t>(common.defaultColourModel)].singlePlane;
    data.color_default = defaultGrey ? PAPPL_COLOR_MODE_MONOCHROME : PAPPL_COLOR_MODE_COLOR;
    // Raster lines reach the driver as the client sent them, with their page
    // header, so every type the conversion reads is offered; pictures become
    // sGray or sRGB.
    data.raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_BLACK_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8 |
                        PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_CMYK_8;
    data.quality_default = static_cast<ipp_quality_t>(vexao::models::defaultQuality(model).ippQuality);
    data.content_default = PAPPL_CONTENT_AUTO;
    data.scaling_default = PAPPL_SCALING_AUTO;
}

void fillDevice(pappl_pr_driver_data_t& data, const Model& model) {
    std::snprintf(data.make_and_model, sizeof data.make_and_model, "%s", model.name);
    data.ppm = data.ppm_color = vexao::models::common().pagesPerMinute;
    data.kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO;
    data.orient_default = IPP_ORIENT_PORTRAIT;
    data.sides_supported = data.sides_default = PAPPL_SIDES_ONE_SIDED;
    data.duplex = PAPPL_DUPLEX_NONE;
    data.finishings = PAPPL_FINISHINGS_NONE;
    data.has_supplies = true;
    // The printer has no light or speaker: Identify-Printer shows its message
    // in the log.
    data.identify_supported = data.identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data.identify_cb = identifyPrinter;
    data.num_vendor = 0;
    data.vendor[data.num_vendor++] = kLightInksAttribute;
}

void fillCallbacks(pappl_pr_driver_data_t& data) {
    data.rstartjob_cb = startRasterJob;
    data.rstartpage_cb = startRasterPage;
    data.rwriteline_cb = writeRasterLine;
    data.rendpage_cb = endRasterPage;
    data.rendjob_cb = endRasterJob;
}

// Attributes that PAPPL leaves to the driver, and the vendor ones.
ipp_t* driverAttributes() {
    ipp_t* attributes = ippNew();
    static const char* const overrides[] = {"document-number", "pages"};
    ippAddStrings(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, overrides);
    ippAddBoolean(attributes, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");

    std::string name = kLightInksAttribute;
    ippAddBoolean(attributes, IPP_TAG_PRINTER, (name + "-default").c_str(), 0);
    ippAddBoolean(attributes, IPP_TAG_PRINTER, (name + "-supported").c_str(), 1);
    return attributes;
}

}  // namespace

int driverCount() { return static_cast<int>(vexao::models::models().size()); }

namespace {

// The driver names, in the table's order.
const std::vector<std::string>& driverNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const Model& model : vexao::models::models()) list.push_back(vexao::models::driverName(model));
        return list;
    }();
    return names;
}

}  // namespace

pappl_pr_driver_t* drivers() {
    static std::vector<pappl_pr_driver_t> list = [] {
        std::vector<pappl_pr_driver_t> entries;
        for (std::size_t i = 0; i < driverNames().size(); ++i) {
            const Model& model = vexao::models::models()[i];
            entries.push_back({driverNames()[i].c_str(), model.name, model.deviceId, const_cast<Model*>(&model)});
        }
        return entries;
    }();
    return list.data();
}

bool fillDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char*,
                pappl_pr_driver_data_t* data, ipp_t** attributes, void*) {
    if (!deviceUsable(deviceUri)) return false;
    const Model* model = modelOfDriver(driverName != nullptr ? driverName : "");
    if (model == nullptr) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "No driver named \"%s\".", driverName ? driverName : "");
        return false;
    }
    data->extension = const_cast<Model*>(model);
    fillCallbacks(*data);
    fillDevice(*data, *model);
    fillColour(*data, *model);
    fillResolutions(*data, *model);
    fillMedia(*data);
    *attributes = driverAttributes();
    return true;
}

const char* driverForDevice(const char*, const char*, const char* deviceId, void*) {
    const Model* model = modelOfDeviceId(deviceId != nullptr ? deviceId : "");
    if (model == nullptr) return nullptr;
    return driverNames()[static_cast<std::size_t>(model - vexao::models::models().data())].c_str();
}

namespace {

// The printer reports no levels: each ink is there, its level unknown.
void reportInks(pappl_printer_t* printer) {
    static const struct {
        pappl_supply_color_t colour;
        const char* name;
    } inks[] = {{PAPPL_SUPPLY_COLOR_BLACK, "Black Ink"},         {PAPPL_SUPPLY_COLOR_CYAN, "Cyan Ink"},
                {PAPPL_SUPPLY_COLOR_MAGENTA, "Magenta Ink"},     {PAPPL_SUPPLY_COLOR_YELLOW, "Yellow Ink"},
                {PAPPL_SUPPLY_COLOR_LIGHT_CYAN, "Light Cyan Ink"}, {PAPPL_SUPPLY_COLOR_LIGHT_MAGENTA, "Light Magenta Ink"}};
    pappl_supply_t supplies[6]{};
    for (std::size_t i = 0; i < 6; ++i) {
        supplies[i].color = inks[i].colour;
        std::snprintf(supplies[i].description, sizeof supplies[i].description, "%s", inks[i].name);
        supplies[i].is_consumed = true;
        supplies[i].level = -1;
        supplies[i].type = PAPPL_SUPPLY_TYPE_INK;
    }
    papplPrinterSetSupplies(printer, 6, supplies);
}

// PAPPL 1.3 advertises the printers it has when the server starts, but not
// one added while it runs; setting the name again advertises that one.
void advertiseIfRunning(pappl_printer_t* printer) {
    if (!papplSystemIsRunning(papplPrinterGetSystem(printer))) return;
    char name[256];
    if (papplPrinterGetDNSSDName(printer, name, sizeof name) != nullptr) papplPrinterSetDNSSDName(printer, name);
}

}  // namespace

void printerCreated(pappl_printer_t* printer, void*) {
    reportInks(printer);
    advertiseIfRunning(printer);
}

}  // namespace vexao::printer_app
