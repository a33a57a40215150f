#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/picture_files.h"
#include "tests/support/picture_lines.h"
#include "tests/support/temp_folder.h"
#include "tools/print/image.h"
#include "tools/print/test_page.h"
#include "driver/separation.h"

namespace {

using vexao::driver::InkSet;
using vexao::imaging::RgbImage;

class Pictures : public vexao_test::TempFolderTest {
protected:

    // A PNG of the given colour type and depth; rows past the given ones are
    // cut off.
    std::string writePng(const std::string& name, int width, int height, int colourType, int depth,
                         const std::vector<std::uint8_t>& rows, const std::vector<png_color>& palette = {}) {
        std::string path = folder + "/" + name;
        vexao_test::writePngFile(path, width, height, colourType, depth, rows, palette);
        return path;
    }
};

std::vector<std::uint8_t> pixel(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

TEST_F(Pictures, PngOfEveryKindBecomesRgb) {
    RgbImage image;
    std::string error;
    ASSERT_TRUE(vexao::imaging::readImage(writePng("rgb.png", 2, 1, PNG_COLOR_TYPE_RGB, 8, {10, 20, 30, 40, 50, 60}),
                                          image, error)) << error;
    EXPECT_EQ(pixel(image, 1, 0), (std::vector<std::uint8_t>{40, 50, 60}));

    ASSERT_TRUE(vexao::imaging::readImage(writePng("grey16.png", 1, 1, PNG_COLOR_TYPE_GRAY, 16, {0x80, 0x00}), image,
                                          error)) << error;
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<std::uint8_t>{128, 128, 128}));

    // Fully transparent black shows the white paper.
    ASSERT_TRUE(vexao::imaging::readImage(writePng("alpha.png", 1, 1, PNG_COLOR_TYPE_RGBA, 8, {0, 0, 0, 0}), image,
                                          error)) << error;
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<std::uint8_t>{255, 255, 255}));

    ASSERT_TRUE(vexao::imaging::readImage(
        writePng("palette.png", 2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {{1, 2, 3}, {200, 100, 50}}), image, error))
        << error;
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<std::uint8_t>{200, 100, 50}));
}

TEST_F(Pictures, PnmPlainAndBinary) {
    RgbImage image;
    std::string error;
    ASSERT_TRUE(vexao::imaging::readImage(write("a.pbm", "P1\n# comment\n3 1\n101\n"), image, error)) << error;
    EXPECT_EQ(pixel(image, 0, 0)[0], 0);
    EXPECT_EQ(pixel(image, 1, 0)[0], 255);

    ASSERT_TRUE(vexao::imaging::readImage(write("b.pgm", "P2 2 1 10 0 10"), image, error)) << error;
    EXPECT_EQ(pixel(image, 1, 0)[1], 255);

    ASSERT_TRUE(vexao::imaging::readImage(write("c.ppm", std::string("P6 1 1 65535\n\xFF\xFF\x00\x00\x80\x00", 20)),
                                          image, error)) << error;
    EXPECT_EQ(pixel(image, 0, 0), (std::vector<std::uint8_t>{255, 0, 127}));

    ASSERT_TRUE(vexao::imaging::readImage(write("d.pbm", std::string("P4 9 1\n\x80\x80", 9)), image, error)) << error;
    EXPECT_EQ(pixel(image, 0, 0)[0], 0);
    EXPECT_EQ(pixel(image, 8, 0)[0], 0);
    EXPECT_EQ(pixel(image, 4, 0)[0], 255);
}

TEST_F(Pictures, MalformedFilesAreRefusedWithAReason) {
    const std::pair<const char*, std::string> bad[] = {
        {"truncated.ppm", "P6 4 4 255\n\x01\x02"}, {"header.ppm", "P3 2 x 255"},
        {"huge.pgm", "P5 40000 10 255\n"},         {"maxval.pgm", "P2 1 1 70000 5"},
        {"value.pgm", "P2 1 1 10 11"},             {"other.txt", "hello"},
        {"png.png", "\x89PNG\r\n\x1a\n garbage"},
    };
    for (const auto& [name, bytes] : bad) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(vexao::imaging::readImage(write(name, bytes), image, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    RgbImage image;
    std::string error;
    EXPECT_FALSE(vexao::imaging::readImage(folder + "/missing.png", image, error));
}

TEST(SizeCap, AdmitsEachLimitExactlyAndRefusesBeyondWithoutOverflow) {
    using vexao::imaging::checkImageSize;
    using vexao::imaging::kMaxHeight;
    using vexao::imaging::kMaxPixels;
    using vexao::imaging::kMaxWidth;
    std::string error;
    EXPECT_TRUE(checkImageSize(kMaxWidth, kMaxPixels / kMaxWidth, error)) << error;
    EXPECT_TRUE(checkImageSize(kMaxPixels / kMaxHeight, kMaxHeight, error)) << error;
    EXPECT_TRUE(checkImageSize(16384, 16384, error)) << "exactly the pixel cap: " << error;
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    const std::pair<std::int64_t, std::int64_t> refused[] = {
        {kMaxWidth + 1, 1}, {1, kMaxHeight + 1}, {16384, 16385}, {32767, 44000},
        {0, 1},             {1, -1},             {huge, huge},   {kMaxWidth, huge},
    };
    for (const auto& [width, height] : refused) {
        error.clear();
        EXPECT_FALSE(checkImageSize(width, height, error)) << width << " x " << height;
        EXPECT_NE(error.find("size cap"), std::string::npos) << error;
    }
}

// A hostile or cut-off header must not make the reader allocate what it
// claims: the size cap comes first, then the data that is really there.
TEST_F(Pictures, OversizedHeadersAreRefusedBeforeThePictureIsAllocated) {
    // White rows of a page whose RGB byte count wraps 32 bits, and enough of
    // them to run past a buffer allocated with the wrapped count.
    std::vector<std::uint8_t> whiteRows(std::size_t{32767} * 400, 255);
    // Half a picture that hardly compresses, so its rows reach the file.
    std::vector<std::uint8_t> scatteredRows(256 * 128);
    std::minstd_rand random;
    for (std::uint8_t& sample : scatteredRows) sample = static_cast<std::uint8_t>(random() >> 8);
    const std::pair<std::string, std::string> refused[] = {
        {writePng("wide.png", 32767, 44000, PNG_COLOR_TYPE_GRAY, 8, whiteRows), "size cap"},
        {write("wide.ppm", "P6 32768 1 255\n"), "size cap"},
        {write("over.pgm", "P5 16384 16385 255\n"), "size cap"},
        {write("at-cap.pgm", "P5 16384 16384 255\n"), "truncated"},
        {write("at-cap.pbm", "P1 16384 16384 0 1"), "truncated"},
        {writePng("cut.png", 256, 256, PNG_COLOR_TYPE_GRAY, 8, scatteredRows), "malformed PNG"},
    };
    for (const auto& [path, reason] : refused) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(vexao::imaging::readImage(path, image, error)) << path;
        EXPECT_NE(error.find(reason), std::string::npos) << path << ": " << error;
        EXPECT_TRUE(image.pixels.empty()) << path;
    }
}

std::vector<std::uint8_t> separated(std::uint8_t r, std::uint8_t g, std::uint8_t b, InkSet inks) {
    std::uint8_t rgb[3] = {r, g, b}, coverage[6] = {};
    vexao::driver::separatePixel(rgb, inks, coverage);
    return std::vector<std::uint8_t>(coverage, coverage + static_cast<int>(inks));
}

TEST(Separation, PaperInksNothingAndGreyGoesToBlack) {
    for (InkSet inks : {InkSet::Black, InkSet::FourInks, InkSet::SixInks}) {
        for (std::uint8_t c : separated(255, 255, 255, inks)) EXPECT_EQ(c, 0);
        std::vector<std::uint8_t> black = separated(0, 0, 0, inks);
        EXPECT_EQ(black[0], 255);
        for (std::size_t p = 1; p < black.size(); ++p) EXPECT_EQ(black[p], 0);
    }
    EXPECT_EQ(separated(0, 255, 255, InkSet::FourInks), (std::vector<std::uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(separated(0, 255, 255, InkSet::SixInks), (std::vector<std::uint8_t>{0, 0, 0, 255, 0, 0}));
    std::vector<std::uint8_t> lightCyan = separated(200, 255, 255, InkSet::SixInks);
    EXPECT_EQ(lightCyan[3], 0);
    EXPECT_GT(lightCyan[5], 0);
    int previous = -1;
    for (int grey = 255; grey >= 0; grey -= 5) {
        int black = separated(grey, grey, grey, InkSet::Black)[0];
        EXPECT_GE(black, previous);
        previous = black;
    }
}

TEST(TestPage, HasBlankBandsAndInkForEveryPlane) {
    RgbImage page = vexao::imaging::testPage(400, 566);
    auto rowIsBlank = [&](int y) {
        for (int i = 0; i < page.width * 3; ++i)
            if (page.row(y)[i] != 255) return false;
        return true;
    };
    EXPECT_TRUE(rowIsBlank(0));
    EXPECT_TRUE(rowIsBlank(page.height - 1));
    EXPECT_FALSE(rowIsBlank(page.height / 5));
    std::vector<bool> inked(6, false);
    vexao_test::forEachPrintedLine(page, {}, 6, [&](int, std::vector<vexao::driver::PlaneLine>& planes) {
        for (int p = 0; p < 6; ++p)
            for (std::uint8_t byte : planes[p].bytes) inked[p] = inked[p] || byte != 0;
    });
    for (int p = 0; p < 6; ++p) EXPECT_TRUE(inked[p]) << "plane " << p;
}

TEST(TestPage, OverTheSizeCapIsRefusedNotWrapped) {
    EXPECT_THROW(vexao::imaging::testPage(33080, 46760), std::length_error);
    EXPECT_THROW(vexao::imaging::testPage(16000, 17000), std::length_error);
}

}  // namespace
