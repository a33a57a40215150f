// Every architecture writes the same printer stream for the same input: the
// i386 drop-in, x86-64 and arm64, on every instruction-set path. The streams
// of fixed documents and pages are compared with digests taken once; a
// difference on any build names the document and its new digest.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/support/document.h"
#include "driver/mode_options.h"
#include "driver/print_job.h"
#include "tests/support/picture_lines.h"
#include "tools/print/test_page.h"

namespace {

using vexao_test::Bytes;

// FNV-1a, 64 bits: enough to tell streams apart, and the same everywhere.
std::uint64_t digest(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3u;
    return hash;
}

std::string hex(std::uint64_t value) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

struct Golden {
    const char* name;
    std::uint64_t digest;
};

// Raster straight into the library, in every mode family.
const Golden kDocuments[] = {
    {"normal_one_bit", 0x3348f5755e8c20f1},
    {"normal_levels", 0x1c3da0bf266b3a46},
    {"bands16_one_plane", 0x12d0b143ae3fe5e9},
    {"bands16_one_plane_levels", 0x48c1da25f2ae494a},
    {"bands16_four_planes", 0xb59146047de7b28c},
    {"bands16_four_planes_levels", 0x10446afc50b06343},
    {"bands16_six_planes", 0xd8080e99d0ab4591},
    {"bands16_six_planes_levels", 0x05ebc499108a7e63},
    {"bands8_one_plane", 0x195cf3f45eb9874f},
    {"bands8_four_planes_levels", 0x91ee5b7fa11c5450},
    {"bands8_six_planes", 0x2da85fa0618307b3},
    {"bands8_six_planes_levels", 0x874ace77c234a186},
};

TEST(SameBytes, DocumentsInEveryModeFamily) {
    const auto& families = vexao_test::allFamilies();
    ASSERT_EQ(std::size(kDocuments), families.size());
    for (std::size_t i = 0; i < families.size(); ++i) {
        const vexao_test::Family& family = families[i];
        std::vector<vexao_test::Page> pages = {vexao_test::randomPage(family, 21, 80, 500),
                                               vexao_test::densePage(family, 22, 40, 900)};
        pages[1].handInBlankLines = false;
        Bytes stream = vexao_test::driveDocument(family, pages).stream;
        EXPECT_STREQ(family.name, kDocuments[i].name);
        EXPECT_EQ(hex(digest(stream)), hex(kDocuments[i].digest)) << family.name;
    }
}

// A picture with smooth gradients, hard edges and noise, as a photograph and
// a chart would have.
vexao::imaging::RgbImage picture(int width, int height) {
    vexao::imaging::RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(99);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.row(y) + 3 * x;
            bool block = (x / 40 + y / 40) % 3 == 0;
            pixel[0] = static_cast<std::uint8_t>(block ? 30 : x * 255 / width);
            pixel[1] = static_cast<std::uint8_t>(block ? 200 : y * 255 / height);
            pixel[2] = static_cast<std::uint8_t>((x + y) % 256 ^ (random() & 15));
        }
    return image;
}

// The stream of one page printed through the host program's own path.
Bytes printed(const vexao::imaging::RgbImage& image, char model, std::int16_t rasterMode) {
    vexao::driver::ModeOptions options;
    options.modelCode = model;
    options.rasterMode = rasterMode;
    std::string error;
    vexao::driver::ResolvedMode mode;
    EXPECT_TRUE(vexao::driver::resolveMode(options, mode, error)) << error;

    char* memory = nullptr;
    std::size_t size = 0;
    std::FILE* printer = open_memstream(&memory, &size);
    {
        vexao::driver::PrintJob job(vexao::driver::toOutputParams(options), options.modelCode, printer);
        int inks = mode.bandLines != 0 ? mode.planeCount : 4;
        vexao_test::forEachPrintedLine(image, mode, inks, [&](int y, std::vector<vexao::driver::PlaneLine>& lines) {
            if (job.ok()) job.line(y, lines);
        });
        job.endPage();
        EXPECT_TRUE(job.ok()) << job.error();
    }
    std::fclose(printer);
    Bytes stream(memory, memory + size);
    std::free(memory);
    return stream;
}

struct PrintedPage {
    const char* name;
    char model;
    std::int16_t rasterMode;
    bool testPage;
    std::uint64_t digest;
};

// Separation and halftoning run on the build's own processor too, in vector
// code where it has some, so their arithmetic must not depend on it either.
const PrintedPage kPages[] = {
    {"test page, line by line, one bit", 'I', 20, true, 0x48548b03b81c2265},
    {"test page, line by line, five levels", 'J', 0, true, 0x82b843d5995689dc},
    {"test page, 16-line bands, six inks", 'e', 0, true, 0xe8ab92fd403d5d80},
    {"picture, 16-line bands, four inks at one bit", 'l', 20, false, 0x68087386aa5c2a9d},
    {"picture, 16-line bands, six inks at five levels", 'j', 0, false, 0xedc39e34cf2ff6ee},
};

TEST(SameBytes, TheTestPageAndAPictureThroughTheHostProgramsPath) {
    vexao::imaging::RgbImage testPage = vexao::imaging::testPage(827, 1169);  // A4 at 100 dpi
    vexao::imaging::RgbImage photo = picture(640, 480);
    for (const PrintedPage& page : kPages) {
        Bytes stream = printed(page.testPage ? testPage : photo, page.model, page.rasterMode);
        EXPECT_EQ(hex(digest(stream)), hex(page.digest)) << page.name;
    }
}

}  // namespace
