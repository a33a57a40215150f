// The driver layer under every front end: what the model table states, and
// how raster lines become ink planes at the resolution the printer prints.
#include <gtest/gtest.h>

#include <cups/raster.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/model_table.h"
#include "driver/raster_header.h"
#include "driver/separation.h"

namespace {

using vexao::models::Model;
using vexao::models::Quality;

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

TEST(ModelTable, PrintQualityTakesTheModelsQualityOrTheBestBelowIt) {
    const Model& band = modelNamed("Vexao 105 Band");
    EXPECT_STREQ(vexao::models::qualityFor(band, IPP_QUALITY_DRAFT).name, "Draft");
    EXPECT_STREQ(vexao::models::qualityFor(band, IPP_QUALITY_NORMAL).name, "Normal");
    EXPECT_STREQ(vexao::models::qualityFor(band, IPP_QUALITY_HIGH).name, "Photo");
    const Model& line = modelNamed("Vexao 105 Line");
    EXPECT_STREQ(vexao::models::qualityFor(line, IPP_QUALITY_HIGH).name, "Normal");
    EXPECT_STREQ(vexao::models::qualityFor(line, 0).name, "Draft");  // below every quality: the lowest
}

// PAPPL renders pictures of print-quality draft at the first resolution a
// printer offers, normal at the middle one and high at the last; CUPS's
// driverless queue renders documents at the default. Each must be the
// resolution that the quality prints at, or every picture would be scaled.
TEST(ModelTable, EachPrintQualityIsRenderedAtTheResolutionItPrintsAt) {
    for (const Model& model : vexao::models::models()) {
        SCOPED_TRACE(model.name);
        std::vector<int> offered = vexao::models::resolutions(model);
        ASSERT_FALSE(offered.empty());
        EXPECT_TRUE(std::is_sorted(offered.begin(), offered.end()));
        EXPECT_EQ(vexao::models::qualityFor(model, IPP_QUALITY_DRAFT).resolution, offered.front());
        EXPECT_EQ(vexao::models::qualityFor(model, IPP_QUALITY_NORMAL).resolution, offered[offered.size() / 2]);
        EXPECT_EQ(vexao::models::qualityFor(model, IPP_QUALITY_HIGH).resolution, offered.back());
        const Quality& preset = vexao::models::defaultQuality(model);
        EXPECT_EQ(vexao::models::qualityFor(model, preset.ippQuality).resolution, preset.resolution);
    }
}

// The host states the resolution in bandHeightCode: a band covers the same
// height of paper at 300 dpi (8 lines) as at 600 (16).
TEST(ModelTable, BandsKeepTheirHeightOnPaper) {
    const Model& band = modelNamed("Vexao 105 Band");
    for (const Quality& quality : band.qualities) {
        vexao::driver::PrintSettings settings = vexao::models::settingsFor(band, quality, false);
        EXPECT_EQ(settings.params.bandHeightCode, quality.resolution) << quality.name;
        EXPECT_EQ(settings.mode.bandLines * 600 / quality.resolution, 16) << quality.name;
        EXPECT_EQ(settings.resolution, quality.resolution);
    }
    vexao::driver::PrintSettings black = vexao::models::settingsFor(band, band.qualities[1], true);
    EXPECT_EQ(black.params.singlePlane, 1);
    EXPECT_EQ(black.mode.planeCount, 1);
}

// A page of `width` x `height` pixels at `dpi`, as a raster header describes it.
cups_page_header2_t header(cups_cspace_t space, int width, int height = 1, int dpi = 600) {
    cups_page_header2_t page{};
    page.cupsColorSpace = space;
    page.cupsBitsPerColor = 8;
    page.cupsColorOrder = CUPS_ORDER_CHUNKED;
    page.cupsWidth = static_cast<unsigned>(width);
    page.cupsHeight = static_cast<unsigned>(height);
    int colours = space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_RGB ? 3 : space == CUPS_CSPACE_CMYK ? 4 : 1;
    page.cupsBytesPerLine = static_cast<unsigned>(width * colours);
    page.HWResolution[0] = page.HWResolution[1] = static_cast<unsigned>(dpi);
    return page;
}

vexao::driver::PrintSettings bandSettings(const char* quality, bool blackOnly = false) {
    const Model& band = modelNamed("Vexao 105 Band");
    for (const Quality& each : band.qualities)
        if (std::string(each.name) == quality) return vexao::models::settingsFor(band, each, blackOnly);
    throw std::invalid_argument(quality);
}

struct Converted {
    std::string problem;
    int width = 0, height = 0;
    std::vector<std::vector<vexao::driver::PlaneLine>> lines;  // each printed line's planes

    // The planes that carry ink on some line, as letters in the library's order.
    std::string inked() const {
        std::string letters;
        for (std::size_t plane = 0; plane < VEXAO_MAX_PLANES; ++plane)
            for (const auto& line : lines)
                if (std::any_of(line[plane].bytes.begin(), line[plane].bytes.end(), [](std::uint8_t b) { return b != 0; })) {
                    letters += "KYMCmc?"[plane];
                    break;
                }
        return letters;
    }
};

// Converts a page whose every line is `line`, as a front end does.
Converted convert(const cups_page_header2_t& page, const std::vector<std::uint8_t>& line,
                  const vexao::driver::PrintSettings& settings, bool lightInks = false) {
    Converted result;
    vexao::driver::RasterLayout layout;
    if (!vexao::driver::readLayout(page, layout, result.problem)) return result;
    layout.lightInks = lightInks;
    if (settings.params.singlePlane == 1 && layout.colours == 3) {
        layout.blackOnly = true;
        vexao::driver::assignInks(layout, 3, true);
    }
    result.problem = vexao::driver::pageProblem(layout, settings);
    if (!result.problem.empty()) return result;
    vexao::driver::LineConverter converter(layout, settings);
    result.width = converter.printedWidth();
    result.height = converter.printedHeight();
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    auto drain = [&] {
        while (converter.ready()) {
            converter.next(planes);
            result.lines.push_back(planes);
        }
    };
    for (int y = 0; y < layout.height; ++y) {
        converter.add(line.data());
        drain();
    }
    converter.endPage();
    drain();
    return result;
}

TEST(LineConversion, WhiteIsBlankPaperAndGreyDarknessIsBlackInk) {
    auto white = std::vector<std::uint8_t>(64, 255), black = std::vector<std::uint8_t>(64, 0);
    EXPECT_EQ(convert(header(CUPS_CSPACE_SW, 64), white, bandSettings("Normal", true)).inked(), "");
    EXPECT_EQ(convert(header(CUPS_CSPACE_SW, 64), black, bandSettings("Normal", true)).inked(), "K");
    EXPECT_EQ(convert(header(CUPS_CSPACE_SRGB, 64), std::vector<std::uint8_t>(64 * 3, 255), bandSettings("Normal")).inked(), "");
}

// Device grey, which a driverless queue sends as DeviceGray, prints exactly
// as sGray does.
TEST(LineConversion, DeviceGreyPrintsAsSGray) {
    std::vector<std::uint8_t> ramp(256);
    for (int x = 0; x < 256; ++x) ramp[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x);
    Converted device = convert(header(CUPS_CSPACE_W, 256, 4), ramp, bandSettings("Normal", true));
    Converted sgray = convert(header(CUPS_CSPACE_SW, 256, 4), ramp, bandSettings("Normal", true));
    ASSERT_EQ(device.problem, "");
    ASSERT_EQ(device.lines.size(), sgray.lines.size());
    for (std::size_t y = 0; y < device.lines.size(); ++y) EXPECT_EQ(device.lines[y][0].bytes, sgray.lines[y][0].bytes);
    EXPECT_EQ(device.inked(), "K");
}

TEST(LineConversion, RgbSeparatesIntoInksOrBlackAloneAndLightInksWhereTheModeHasSix) {
    std::vector<std::uint8_t> cyan, lightCyan, red;
    for (int x = 0; x < 64; ++x) {
        cyan.insert(cyan.end(), {0, 255, 255});
        lightCyan.insert(lightCyan.end(), {220, 255, 255});
        red.insert(red.end(), {255, 0, 0});
    }
    auto page = header(CUPS_CSPACE_SRGB, 64);
    EXPECT_EQ(convert(page, cyan, bandSettings("Normal")).inked(), "C");
    EXPECT_EQ(convert(page, lightCyan, bandSettings("Photo"), true).inked(), "c");   // six planes
    EXPECT_EQ(convert(page, lightCyan, bandSettings("Normal"), true).inked(), "C");  // four
    EXPECT_EQ(convert(page, red, bandSettings("Normal", true)).inked(), "K") << "monochrome";
    EXPECT_EQ(convert(header(CUPS_CSPACE_RGB, 64), red, bandSettings("Normal")).inked(), "YM") << "device RGB";
}

TEST(LineConversion, PagesAtOtherResolutionsAreScaledByWholeFactorsOrRefused) {
    std::vector<std::uint8_t> grey(100, 0);
    struct Case {
        int dpi;
        const char* quality;
        int width, height;  // printed, for a page of 100 x 30 pixels
    } cases[] = {{600, "Normal", 100, 30}, {300, "Normal", 200, 60}, {100, "Normal", 600, 180},
                 {1200, "Normal", 50, 15}, {600, "Draft", 50, 15},   {150, "Draft", 200, 60}};
    for (const Case& test : cases) {
        SCOPED_TRACE(std::to_string(test.dpi) + " dpi, " + test.quality);
        Converted page = convert(header(CUPS_CSPACE_SW, 100, 30, test.dpi), grey, bandSettings(test.quality, true));
        ASSERT_EQ(page.problem, "");
        EXPECT_EQ(page.width, test.width);
        EXPECT_EQ(page.height, test.height);
        EXPECT_EQ(page.lines.size(), static_cast<std::size_t>(test.height));
    }
    for (int dpi : {72, 450, 19200}) {  // 19200 is 32 times 600: no factor so large
        Converted page = convert(header(CUPS_CSPACE_SW, 100, 30, dpi), grey, bandSettings("Normal", true));
        EXPECT_NE(page.problem.find("scales by no whole factor to the 600 dpi"), std::string::npos) << page.problem;
    }
    Converted wide = convert(header(CUPS_CSPACE_SW, 20000, 1, 300), std::vector<std::uint8_t>(20000, 0),
                             bandSettings("Normal", true));
    EXPECT_NE(wide.problem.find("it is 20000 pixels wide, 40000 at the printed resolution"), std::string::npos)
        << wide.problem;
}

// The mean ink of the printed page's black plane, 0..1, at five levels.
double meanBlack(const Converted& page) {
    double sum = 0;
    for (const auto& line : page.lines)
        for (std::uint8_t byte : line[0].bytes) sum += (byte >> 4) + (byte & 15);
    return sum / 4 / (static_cast<double>(page.width) * page.height);
}

// Scaling keeps the tone: a page halved averages its pixels, the last
// column of an odd width alone, and one doubled repeats them.
TEST(LineConversion, ScalingKeepsTheTone) {
    std::vector<std::uint8_t> stripes(257);
    for (std::size_t x = 0; x < stripes.size(); ++x) stripes[x] = x % 2 == 0 ? 255 : 0;
    stripes.back() = 127;  // the odd column: half black, alone in its group
    Converted halved = convert(header(CUPS_CSPACE_SW, 257, 64, 1200), stripes, bandSettings("Normal", true));
    Converted doubled = convert(header(CUPS_CSPACE_SW, 257, 64, 300), stripes, bandSettings("Normal", true));
    ASSERT_EQ(halved.problem + doubled.problem, "");
    EXPECT_EQ(halved.width, 129);
    EXPECT_NEAR(meanBlack(halved), 0.5, 0.02);
    EXPECT_NEAR(meanBlack(doubled), 128.0 / 257, 0.02);
    // Full black stays full black to the last dot, scaled either way.
    std::vector<std::uint8_t> black(257, 0);
    for (int dpi : {100, 300, 600, 1200, 2400}) {
        Converted page = convert(header(CUPS_CSPACE_SW, 257, 9, dpi), black, bandSettings("Normal", true));
        EXPECT_EQ(meanBlack(page), 1.0) << dpi << " dpi";
    }
}

// Light ink prints a third of the dark ink's density: the tone is light
// ink alone up to a third, then dark ink rising while light ink falls, and
// dark plus a third of light is the tone at every step.
TEST(LightInks, DarkPlusAThirdOfLightIsTheToneAtEveryStep) {
    std::vector<std::uint8_t> dark(256), light(256);
    for (int tone = 0; tone < 256; ++tone) dark[static_cast<std::size_t>(tone)] = static_cast<std::uint8_t>(tone);
    vexao::driver::splitLightInk(dark.data(), light.data(), 256);
    for (int tone = 0; tone < 256; ++tone) {
        SCOPED_TRACE("tone " + std::to_string(tone));
        double printed = dark[static_cast<std::size_t>(tone)] + light[static_cast<std::size_t>(tone)] / 3.0;
        EXPECT_NEAR(printed, tone, 1.0);
        if (tone <= 85) {
            EXPECT_EQ(dark[static_cast<std::size_t>(tone)], 0);
        } else {
            EXPECT_GT(dark[static_cast<std::size_t>(tone)], dark[static_cast<std::size_t>(tone - 1)]);
            EXPECT_LE(light[static_cast<std::size_t>(tone)], light[static_cast<std::size_t>(tone - 1)]);
        }
    }
    EXPECT_EQ(light[85], 255);
    EXPECT_EQ(dark[255], 255);
    EXPECT_EQ(light[255], 0);
}

TEST(LineConversion, RefusesWhatItCannotReadOrPrint) {
    auto page = header(CUPS_CSPACE_SRGB, 64);
    page.cupsBitsPerColor = 16;
    EXPECT_EQ(convert(page, {}, bandSettings("Normal")).problem.rfind("unsupported bits per colour", 0), 0u);
    page = header(CUPS_CSPACE_SRGB, 64);
    page.cupsBytesPerLine = 64;  // a grey line's length for an RGB page
    EXPECT_NE(convert(page, {}, bandSettings("Normal")).problem.find("does not match"), std::string::npos);
    page = header(CUPS_CSPACE_SRGB, 64);
    page.HWResolution[1] = 0;
    EXPECT_NE(convert(page, {}, bandSettings("Normal")).problem.find("resolution"), std::string::npos);
    // CMYK raster does not fit a single-plane mode.
    EXPECT_NE(convert(header(CUPS_CSPACE_CMYK, 64), std::vector<std::uint8_t>(256, 0), bandSettings("Normal", true))
                  .problem.find("do not fit a mode of 1 plane"),
              std::string::npos);
}

}  // namespace
