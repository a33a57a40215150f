#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/mode_args.h"
#include "tests/support/printer_stream.h"
#include "tests/support/tool_run.h"
#include "driver/mode_options.h"
#include "tools/decode/page_decoder.h"
#include "tools/pageview/page_images.h"

namespace {

namespace fs = std::filesystem;
using vexao::decode::Page;
using vexao_test::Bytes;
using vexao_test::PrinterStream;
using vexao_test::resolve;

struct PngPixels {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> samples;
    std::uint8_t at(int x, int y, int channel = 0) const {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + channel];
    }
};

PngPixels readPng(const fs::path& path) {
    PngPixels pixels;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return pixels;
    }
    bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    pixels.width = static_cast<int>(image.width);
    pixels.height = static_cast<int>(image.height);
    pixels.channels = grey ? 1 : 3;
    pixels.samples.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.samples.data(), 0, nullptr)) << image.message;
    return pixels;
}

class TemporaryFolder {
public:
    TemporaryFolder() : path_(fs::temp_directory_path() / ("vexao-inspect-test-" + std::to_string(getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

Page decodeOnePage(const Bytes& bytes, int bitsPerPixel) {
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = bitsPerPixel;
    std::vector<Page> pages;
    vexao::decode::DecodeError error;
    EXPECT_TRUE(vexao::decode::decodeStream(bytes.data(), bytes.size(), options, pages, error)) << error.message;
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? Page{} : std::move(pages[0]);
}

TEST(PageImages, WritesPlaneAndPreviewImagesThatReadBack) {
    // Line 0: K holds the 4-bit pixels 0 4 1 2; line 1: C holds 7 (counted as 4) and 3.
    Bytes stream = PrinterStream().colour('K', {0x01, 0x04, 0x12}).skip(1).colour('C', {0x00, 0x73}).formFeed().bytes();
    Page page = decodeOnePage(stream, 4);
    TemporaryFolder folder;
    vexao::inspect::ImageOptions options;
    options.folder = folder.path().string();
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(vexao::inspect::writePageImages(page, options, written, error)) << error;
    ASSERT_EQ(written.size(), 3u);

    PngPixels black = readPng(folder.path() / "page-001-K.png");
    ASSERT_EQ(black.width, 4);
    ASSERT_EQ(black.height, 2);
    ASSERT_EQ(black.channels, 1);
    const int expectedK[] = {255, 0, 191, 127};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(black.at(x, 0), expectedK[x]) << x;
    for (int x = 0; x < 4; ++x) EXPECT_EQ(black.at(x, 1), 255) << x;

    PngPixels cyan = readPng(folder.path() / "page-001-C.png");
    EXPECT_EQ(cyan.at(0, 1), 0);
    EXPECT_EQ(cyan.at(1, 1), 64);

    PngPixels preview = readPng(folder.path() / "page-001-preview.png");
    ASSERT_EQ(preview.channels, 3);
    ASSERT_EQ(preview.width, 4);
    EXPECT_EQ(preview.at(0, 0, 0), 255);  // no ink: white
    EXPECT_EQ(preview.at(1, 0, 0), 0);    // full black
    EXPECT_EQ(preview.at(1, 0, 2), 0);
    EXPECT_EQ(preview.at(0, 1, 0), 0);    // full cyan takes red only
    EXPECT_EQ(preview.at(0, 1, 1), 255);
    EXPECT_EQ(preview.at(0, 1, 2), 255);
    EXPECT_FALSE(fs::exists(folder.path() / "page-001-Y.png"));
}

TEST(PageImages, OneBitPixelsAndAFixedWidth) {
    Page page = decodeOnePage(PrinterStream().colour('K', {0x00, 0xA1}).formFeed().bytes(), 1);
    TemporaryFolder folder;
    vexao::inspect::ImageOptions options;
    options.folder = folder.path().string();
    options.width = 10;
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(vexao::inspect::writePageImages(page, options, written, error)) << error;
    PngPixels black = readPng(folder.path() / "page-001-K.png");
    ASSERT_EQ(black.width, 10);
    ASSERT_EQ(black.height, 1);
    const int bits[] = {1, 0, 1, 0, 0, 0, 0, 1, 0, 0};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(black.at(x, 0), bits[x] ? 0 : 255) << x;
}

TEST(ModeOptions, ResolveThroughTheModeTableAndTheOverrides) {
    vexao::driver::ResolvedMode mode = resolve({"--model", "j"});
    EXPECT_EQ(mode.bandLines, 16);
    EXPECT_EQ(mode.planeCount, 6);
    EXPECT_EQ(mode.bitsPerPixel, 4);
    EXPECT_TRUE(mode.levelPacked);
    EXPECT_TRUE(resolve({"--model", "106"}).levelPacked);
    EXPECT_FALSE(resolve({"--model", "e"}).levelPacked);

    mode = resolve({"--model", "I", "--variant", "20", "--raster-mode", "20"});
    EXPECT_EQ(mode.bandLines, 0);
    EXPECT_EQ(mode.bitsPerPixel, 1);
    EXPECT_FALSE(mode.levelPacked);

    mode = resolve({"--model", "e", "--band-height", "8", "--single-plane"});
    EXPECT_EQ(mode.bandLines, 8);
    EXPECT_EQ(mode.planeCount, 1);

    mode = resolve({"--model", "j", "--bits", "1"});
    EXPECT_EQ(mode.bitsPerPixel, 1);
    EXPECT_FALSE(mode.levelPacked);
    EXPECT_TRUE(resolve({"--level-packing"}).levelPacked);
    resolve({"--bits", "1", "--level-packing"}, false);
}

TEST(ModeOptions, RefuseBadValues) {
    for (std::vector<std::string> bad : {std::vector<std::string>{"--band-height", "12"}, {"--bits", "2"},
                                         {"--variant", "x"}, {"--model", "70000"}, {"--resolution", "0"}}) {
        std::vector<char*> argv{const_cast<char*>("tool"), bad[0].data(), bad[1].data()};
        vexao::driver::ModeOptions options;
        std::string error;
        int index = 1;
        EXPECT_EQ(vexao::driver::takeModeOption(3, argv.data(), index, options, error),
                  vexao::driver::OptionResult::Invalid)
            << bad[0] << " " << bad[1];
    }
}

int runInspector(const std::string& arguments) {
    return vexao_test::runTool(std::string(VEXAO_INSPECT_PATH) + " " + arguments + " > /dev/null").exitCode;
}

TEST(Inspector, ExitCodesTellFailuresApart) {
    TemporaryFolder folder;
    fs::path good = folder.path() / "good.prn";
    fs::path bad = folder.path() / "bad.prn";
    Bytes goodBytes = PrinterStream().colour('K', {0x00, 0x01}).formFeed().bytes();
    std::ofstream(good, std::ios::binary).write(reinterpret_cast<const char*>(goodBytes.data()),
                                                static_cast<std::streamsize>(goodBytes.size()));
    std::ofstream(bad, std::ios::binary) << "not a stream";
    fs::path images = folder.path() / "images";

    EXPECT_EQ(runInspector("--help"), 0);
    EXPECT_EQ(runInspector("--out " + images.string() + " " + good.string()), 0);
    EXPECT_TRUE(fs::exists(images / "page-001-K.png"));
    EXPECT_EQ(runInspector("--list - < " + good.string()), 0);
    EXPECT_EQ(runInspector(""), 2);
    EXPECT_EQ(runInspector("--bogus " + good.string()), 2);
    EXPECT_EQ(runInspector((folder.path() / "missing.prn").string()), 3);
    EXPECT_EQ(runInspector("--list " + bad.string()), 4);
    EXPECT_EQ(runInspector("--out " + good.string() + " " + good.string()), 5);
}

}  // namespace
