// vexao-make-drv: writes the driver information that ppdc turns into the
// PPDs, from the model table that the printer application reads too.
//
//   vexao-make-drv OUTPUT.drv
//
// Runs at build time. The file appears only once complete.
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>

#include "driver/model_table.h"
#include "driver/staged_file.h"

namespace {

using vexao::models::ColourModel;
using vexao::models::Model;
using vexao::models::Quality;

// The default choice of a list is marked with a star.
const char* star(bool isDefault) { return isDefault ? "*" : ""; }

void writeHeader(std::ostream& out) {
    const auto& common = vexao::models::common();
    out << "// Driver information for printers driven through libvexao105, written by\n"
           "// vexao-make-drv from driver/model_table.cpp: change the table, not this file.\n"
           "// ppdc turns it into one PPD per model; the filter reads the model code from\n"
           "// the PPD's cupsModelNumber and the settings from the raster header:\n"
           "//   cupsInteger0 variant code, cupsInteger1 raster mode,\n"
           "//   cupsInteger3 single plane,\n"
           "//   cupsInteger4 light inks (1: print the CMYK raster with six inks).\n"
           "// Each quality prints at the resolution of its Resolution choice; the\n"
           "// filter scales pages at another resolution by a whole factor.\n"
           "#include <font.defs>\n#include <media.defs>\n\n"
        << "Manufacturer \"" << common.manufacturer << "\"\n"
        << "Version 1.0\n"
           "Copyright \"Printer driver information for the vexao105 output stage.\"\n"
           "ColorDevice true\n"
           "// The printer cannot make copies: CUPS's filters repeat the pages.\n"
           "ManualCopies true\n"
           "Filter application/vnd.cups-raster 100 rastertovexao\n"
           "// CUPS 1.5 and later read the destination type too.\n"
           "Attribute \"cupsFilter2\" \"\" \"application/vnd.cups-raster application/vnd.vexao105 100 rastertovexao\"\n"
        << "Throughput " << common.pagesPerMinute << "\n";
    int margin = common.marginPoints;
    out << "HWMargins " << margin << ' ' << margin << ' ' << margin << ' ' << margin << "\n"
        << "VariablePaperSize false\n\n";
}

void writeSharedOptions(std::ostream& out) {
    const auto& common = vexao::models::common();
    for (std::size_t i = 0; i < common.media.size(); ++i)
        out << star(static_cast<int>(i) == common.defaultMedia) << "MediaSize " << common.media[i].ppdName << "\n";
    out << "\n// The renderer has no six-ink colour space: photo colour asks for CMYK and\n"
           "// the filter separates the light inks.\n"
           "Option \"ColorModel/Colour Model\" PickOne AnySetup 10\n";
    for (std::size_t i = 0; i < common.colourModels.size(); ++i) {
        const ColourModel& colour = common.colourModels[i];
        out << "  " << star(static_cast<int>(i) == common.defaultColourModel) << "Choice \"" << colour.name << '/'
            << colour.text << "\" \"<</cupsColorSpace " << colour.cupsColorSpace
            << "/cupsColorOrder 0/cupsBitsPerColor 8/cupsInteger3 " << colour.singlePlane << "/cupsInteger4 "
            << colour.lightInks << ">>setpagedevice\"\n";
    }
    out << "\n";
}

void writeModel(std::ostream& out, const Model& model) {
    out << "{\n  ModelName \"" << model.name << "\"\n  ModelNumber " << static_cast<int>(model.code)
        << "\n  PCFileName \"" << model.fileName << "\"\n"
        << "  Option \"VexaoQuality/Print Quality\" PickOne AnySetup 20\n";
    for (std::size_t i = 0; i < model.qualities.size(); ++i) {
        const Quality& quality = model.qualities[i];
        out << "    " << star(static_cast<int>(i) == model.defaultQuality) << "Choice \"" << quality.name << '/'
            << quality.text << "\" \"<</cupsInteger0 " << quality.variant << "/cupsInteger1 " << quality.rasterMode
            << ">>setpagedevice\"\n";
    }
    int defaultDpi = vexao::models::defaultQuality(model).resolution;
    for (int dpi : vexao::models::resolutions(model))
        out << "  " << star(dpi == defaultDpi) << "Resolution - 8 0 0 0 \"" << dpi << "dpi/" << dpi << " DPI\"\n";
    std::ostringstream constraints;
    for (const Quality& quality : model.qualities)
        for (int dpi : vexao::models::resolutions(model))
            if (dpi != quality.resolution)
                constraints << "  UIConstraints \"*VexaoQuality " << quality.name << " *Resolution " << dpi << "dpi\"\n";
    for (const ColourModel& colour : vexao::models::common().colourModels)
        for (const Quality& quality : model.qualities)
            if (colour.lightInks && !vexao::models::hasSixPlanes(model, quality))
                constraints << "  UIConstraints \"*ColorModel " << colour.name << " *VexaoQuality " << quality.name
                            << "\"\n";
    if (!constraints.str().empty())
        out << "  // Each quality prints at one resolution, and light inks need the\n"
               "  // six-plane mode. Dialogs keep these choices apart; CUPS does not check\n"
               "  // constraints when a job comes in, and such a job is scaled to the\n"
               "  // quality's resolution, or prints with four inks.\n"
            << constraints.str();
    out << "}\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("Usage: vexao-make-drv OUTPUT.drv\n"
                  "Writes the driver information that ppdc compiles into the PPDs, from the model table.");
        return 0;
    }
    if (argc != 2) return std::fputs("usage: vexao-make-drv OUTPUT.drv\n", stderr), 2;
    std::ostringstream text;
    writeHeader(text);
    writeSharedOptions(text);
    for (const Model& model : vexao::models::models()) {
        text << "\n";
        writeModel(text, model);
    }
    vexao::driver::StagedFile file(argv[1]);
    std::string bytes = text.str();
    if (file.stream() == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size() ||
        !file.commit()) {
        std::fprintf(stderr, "vexao-make-drv: %s\n", file.error().empty() ? "cannot write" : file.error().c_str());
        return 1;
    }
    return 0;
}
