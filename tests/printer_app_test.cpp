// The printer application's choices on the model table, and the raster
// conversion of the sGray and sRGB lines that PAPPL hands its drivers.
#include <gtest/gtest.h>

#include <cups/raster.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "cups/model_table.h"
#include "cups/raster_planes.h"
#include "tools/printer-app/job_settings.h"

namespace {

using vexao::models::Model;
using vexao::printer_app::JobChoices;

const Model& modelNamed(const char* name) {
    for (const Model& model : vexao::models::models())
        if (std::string(model.name) == name) return model;
    throw std::invalid_argument(name);
}

// The PPD constraints and the drivers' light inks both rest on this.
TEST(ModelTable, LightInksNeedTheBandedModelsPhotoQualityAndAnyLineQuality) {
    const Model& band = modelNamed("Vexao 105 Band");
    for (const auto& quality : band.qualities)
        EXPECT_EQ(vexao::models::hasSixPlanes(band, quality), std::string(quality.name) == "Photo") << quality.name;
    const Model& line = modelNamed("Vexao 105 Line");
    for (const auto& quality : line.qualities) EXPECT_TRUE(vexao::models::hasSixPlanes(line, quality)) << quality.name;
}

TEST(JobSettings, PrintQualityTakesTheModelsQualityOrTheBestBelowIt) {
    const Model& band = modelNamed("Vexao 105 Band");
    EXPECT_STREQ(vexao::printer_app::qualityFor(band, IPP_QUALITY_DRAFT).name, "Draft");
    EXPECT_STREQ(vexao::printer_app::qualityFor(band, IPP_QUALITY_NORMAL).name, "Normal");
    EXPECT_STREQ(vexao::printer_app::qualityFor(band, IPP_QUALITY_HIGH).name, "Photo");
    const Model& line = modelNamed("Vexao 105 Line");
    EXPECT_STREQ(vexao::printer_app::qualityFor(line, IPP_QUALITY_HIGH).name, "Normal");
    EXPECT_STREQ(vexao::printer_app::qualityFor(line, 0).name, "Draft");  // below every quality: the lowest
}

TEST(JobSettings, ParametersCarryTheQualityBandHeightAndBlackInk) {
    const Model& band = modelNamed("Vexao 105 Band");
    JobChoices choices;
    choices.ippQuality = IPP_QUALITY_HIGH;
    choices.bandHeight = 8;
    choices.blackOnly = true;
    OutputParams params = vexao::printer_app::paramsFor(band, choices);
    EXPECT_EQ(params.modelCode, 'e');
    EXPECT_EQ(params.rasterMode, 5);
    EXPECT_EQ(params.halfBandFlag, 1);
    EXPECT_EQ(params.singlePlane, 1);

    choices.bandHeight = 12;  // not a band height: the model's default, 16 lines
    EXPECT_EQ(vexao::printer_app::paramsFor(band, choices).halfBandFlag, 0);
    choices.bandHeight = 8;   // line-by-line models have no bands
    EXPECT_EQ(vexao::printer_app::paramsFor(modelNamed("Vexao 105 Line"), choices).halfBandFlag, 0);
}

TEST(JobSettings, DeviceIdsNameTheirModelWhateverTheKeysAndCase) {
    using vexao::printer_app::modelOfDeviceId;
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:105 Band;CMD:VEXAO105;"), &modelNamed("Vexao 105 Band"));
    EXPECT_EQ(modelOfDeviceId("manufacturer:VEXAO;model:105 line;"), &modelNamed("Vexao 105 Line"));
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;MDL:106 Band;"), nullptr);
    EXPECT_EQ(modelOfDeviceId("MFG:Vexao;"), nullptr);
    EXPECT_EQ(modelOfDeviceId(";;:;MDL:;MFG"), nullptr);
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105-band"), &modelNamed("Vexao 105 Band"));
    EXPECT_EQ(vexao::printer_app::modelOfDriver("vexao105"), nullptr);
}

// A one-line page of `width` pixels in sGray or sRGB, as PAPPL describes it.
cups_page_header2_t additiveHeader(cups_cspace_t space, int width) {
    cups_page_header2_t header{};
    header.cupsColorSpace = space;
    header.cupsBitsPerColor = 8;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsWidth = static_cast<unsigned>(width);
    header.cupsHeight = 1;
    header.cupsBytesPerLine = static_cast<unsigned>(width * (space == CUPS_CSPACE_SW ? 1 : 3));
    return header;
}

// The planes that carry ink when `line` is converted for model 'e' in
// raster mode `rasterMode`, as plane letters in the library's order.
std::string inkedPlanes(const cups_page_header2_t& header, const std::vector<std::uint8_t>& line, int rasterMode,
                        bool lightInks = false) {
    vexao::cups::RasterLayout layout;
    std::string reason;
    if (!vexao::cups::readLayout(header, layout, reason)) return "refused: " + reason;
    layout.lightInks = lightInks;
    OutputParams params{};
    params.modelCode = 'e';
    params.rasterMode = static_cast<std::int16_t>(rasterMode);
    params.singlePlane = layout.inks == 1 ? 1 : 0;
    vexao::cups::PrintSettings settings = vexao::cups::settingsFor(params);
    if (!vexao::cups::coloursFitMode(layout, settings, reason)) return "refused: " + reason;
    vexao::cups::LineConverter converter(layout, settings);
    std::vector<vexao::tools::PlaneLine> planes(VEXAO_MAX_PLANES);
    converter.convert(line.data(), planes);
    std::string inked;
    for (std::size_t plane = 0; plane < planes.size(); ++plane)
        if (std::any_of(planes[plane].bytes.begin(), planes[plane].bytes.end(), [](std::uint8_t b) { return b != 0; }))
            inked += "KYMCmc"[plane];
    return inked;
}

TEST(AdditiveRaster, WhiteIsBlankPaperAndSGrayDarknessIsBlackInk) {
    auto header = additiveHeader(CUPS_CSPACE_SW, 64);
    EXPECT_EQ(inkedPlanes(header, std::vector<std::uint8_t>(64, 255), 15), "");
    EXPECT_EQ(inkedPlanes(header, std::vector<std::uint8_t>(64, 0), 15), "K");
    std::vector<std::uint8_t> rgbWhite(64 * 3, 255);
    EXPECT_EQ(inkedPlanes(additiveHeader(CUPS_CSPACE_SRGB, 64), rgbWhite, 15), "");
}

TEST(AdditiveRaster, SRgbSeparatesIntoInksAndLightInksWhereTheModeHasSix) {
    auto header = additiveHeader(CUPS_CSPACE_SRGB, 64);
    std::vector<std::uint8_t> cyan, lightCyan;
    for (int x = 0; x < 64; ++x) {
        cyan.insert(cyan.end(), {0, 255, 255});
        lightCyan.insert(lightCyan.end(), {190, 255, 255});
    }
    EXPECT_EQ(inkedPlanes(header, cyan, 15), "C");
    EXPECT_EQ(inkedPlanes(header, lightCyan, 5, true), "c");     // raster mode 5 has six planes
    EXPECT_EQ(inkedPlanes(header, lightCyan, 15, true), "C");    // raster mode 15 has four
}

TEST(AdditiveRaster, RefusesWhatItCannotReadOrPrint) {
    auto header = additiveHeader(CUPS_CSPACE_SRGB, 64);
    header.cupsBitsPerColor = 16;
    EXPECT_EQ(inkedPlanes(header, {}, 15).rfind("refused", 0), 0u);
    header = additiveHeader(CUPS_CSPACE_SRGB, 64);
    header.cupsBytesPerLine = 64;  // an sGray line's length for an sRGB page
    EXPECT_EQ(inkedPlanes(header, {}, 15).rfind("refused", 0), 0u);
    // Colour raster does not fit a single-plane mode.
    header = additiveHeader(CUPS_CSPACE_SRGB, 64);
    vexao::cups::RasterLayout layout;
    std::string reason;
    ASSERT_TRUE(vexao::cups::readLayout(header, layout, reason));
    OutputParams params{};
    params.modelCode = 'e';
    params.rasterMode = 15;
    params.singlePlane = 1;
    EXPECT_FALSE(vexao::cups::coloursFitMode(layout, vexao::cups::settingsFor(params), reason));
}

}  // namespace
