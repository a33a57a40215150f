// The tools as a user runs them: the size cap of the host program, its option
// errors, and output files that appear whole or not at all.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/mode_args.h"
#include "tests/support/picture_files.h"
#include "tests/support/picture_lines.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tool_run.h"
#include "tools/decode/page_decoder.h"
#include "tools/print/image.h"
#include "driver/separation.h"

namespace {

namespace fs = std::filesystem;
using vexao_test::runTool;
using vexao_test::ToolRun;
using Bytes = std::vector<std::uint8_t>;

const std::string kPrint = VEXAO_PRINT_PATH;
const std::string kInspect = VEXAO_INSPECT_PATH;
const std::string kRsrc = VEXAO_RSRC_PATH;

// A folder of its own for every test; what a tool leaves there is checked.
class ToolFolder : public vexao_test::TempFolderTest {
protected:
    // The names in the folder (or in one of its subfolders), sorted.
    std::vector<std::string> names(const std::string& subfolder = "") const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(subfolder.empty() ? folder : path(subfolder)))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
};

// A shell prefix under which no file may grow past `bytes`; writing more
// fails with an error instead of ending the program.
std::string fileSizeLimit(int bytes) { return "ulimit -f " + std::to_string(bytes / 512) + "; trap '' XFSZ; "; }

// Random pixels: the halftoned planes hardly compress, the worst case for
// the printer's buffers.
std::vector<std::uint8_t> noise(int width, int height) {
    std::mt19937 random(static_cast<unsigned>(width));
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (std::uint8_t& sample : rgb) sample = static_cast<std::uint8_t>(random());
    return rgb;
}

using PrintSizeCap = ToolFolder;

TEST_F(PrintSizeCap, OversizedPicturesAndTestPagesAreRefusedWithAMessageAndNoFile) {
    // A white page of 32767 x 44000 pixels: its RGB byte count wraps 32 bits.
    vexao_test::writePngFile(path("wide.png"), 32767, 44000, PNG_COLOR_TYPE_GRAY, 8,
                             std::vector<std::uint8_t>(std::size_t{32767} * 400, 255));
    ToolRun run = runTool(kPrint + " -q -o " + path("out.prn") + " " + path("wide.png"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.errors.find("32767 x 44000 is outside the size cap"), std::string::npos) << run.errors;

    // At 4000 dpi the test page is 33080 pixels wide; at 2000 dpi it fits a
    // line but not the pixel cap.
    for (const char* resolution : {"4000", "2000"}) {
        run = runTool(kPrint + " --test-page --resolution " + resolution + " -o " + path("out.prn"));
        EXPECT_EQ(run.exitCode, 2) << resolution;
        EXPECT_NE(run.errors.find("size cap"), std::string::npos) << run.errors;
    }
    EXPECT_EQ(names(), std::vector<std::string>{"wide.png"});
}

// For each kind of mode, a page of random pixels as wide as the mode takes
// prints and decodes back to exactly the planes handed in; a pixel more is
// refused before anything is printed.
TEST_F(PrintSizeCap, TheWidestLineOfEachModePrintsExactlyAndOneMoreIsRefused) {
    struct Case {
        std::vector<std::string> mode;
        vexao::driver::InkSet inks;
    };
    const Case cases[] = {
        {{"--inks", "kymcmc"}, vexao::driver::InkSet::SixInks},
        {{"--model", "e", "--raster-mode", "0"}, vexao::driver::InkSet::SixInks},
        {{"--model", "e", "--raster-mode", "5", "--band-height", "8"}, vexao::driver::InkSet::SixInks},
        {{"--model", "I", "--variant", "20", "--raster-mode", "20"}, vexao::driver::InkSet::FourInks},
    };
    const int height = 20;
    for (const Case& test : cases) {
        std::vector<std::string> modeArgs(test.mode.begin(), test.mode.end());
        if (modeArgs[0] == "--inks") modeArgs.clear();
        modeArgs.insert(modeArgs.end(), {"--resolution", "300"});  // the host program's default
        vexao::driver::ResolvedMode mode = vexao_test::resolve(modeArgs);
        int widest = vexao::driver::widestLine(mode, static_cast<int>(test.inks), height);
        std::string arguments;
        for (const std::string& argument : test.mode) arguments += " " + argument;
        SCOPED_TRACE(arguments + ": " + std::to_string(widest) + " pixels");
        ASSERT_GE(widest, 4961) << "an A4 page at 600 dpi must fit";

        vexao_test::writePpmFile(path("widest.ppm"), widest, height, noise(widest, height));
        ToolRun run = runTool(kPrint + arguments + " -q -o " + path("widest.prn") + " " + path("widest.ppm"));
        ASSERT_EQ(run.exitCode, 0) << run.errors;

        vexao::imaging::RgbImage image;
        std::string error;
        ASSERT_TRUE(vexao::imaging::readImage(path("widest.ppm"), image, error)) << error;
        Bytes stream = read("widest.prn");
        vexao::decode::DecodeOptions options;
        options.bitsPerPixel = mode.bitsPerPixel;
        options.levelPacked = mode.levelPacked;
        std::vector<vexao::decode::Page> pages;
        vexao::decode::DecodeError decodeError;
        ASSERT_TRUE(vexao::decode::decodeStream(stream.data(), stream.size(), options, pages, decodeError));
        ASSERT_EQ(pages.size(), 1u);
        int inks = static_cast<int>(test.inks);
        vexao_test::forEachPrintedLine(image, mode, inks, [&](int y, std::vector<vexao::driver::PlaneLine>& planes) {
            for (int k = 0; k < inks; ++k) {
                const vexao::decode::PlaneRaster& printed = pages[0].planes[k];
                const std::vector<std::uint8_t>& sent = planes[k].bytes;
                ASSERT_TRUE(printed.hasData() && y < printed.height() && printed.width() >= static_cast<int>(sent.size()));
                ASSERT_TRUE(std::equal(sent.begin(), sent.end(), printed.row(y))) << "line " << y << " plane " << k;
            }
        });

        vexao_test::writePpmFile(path("wider.ppm"), widest + 1, height, noise(widest + 1, height));
        run = runTool(kPrint + arguments + " -q -o " + path("wider.prn") + " " + path("wider.ppm"));
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_NE(run.errors.find(widest < vexao::imaging::kMaxWidth ? "at most " + std::to_string(widest) + " pixels"
                                                                      : std::string("size cap")),
                  std::string::npos)
            << run.errors;
        EXPECT_FALSE(fs::exists(path("wider.prn")));
    }
}

TEST(PrintOptions, AnOptionLeftWithoutItsValueIsNamed) {
    for (const char* option : {"-o", "--output", "--inks"}) {
        ToolRun run = runTool(kPrint + " --test-page " + option);
        EXPECT_EQ(run.exitCode, 2) << option;
        EXPECT_NE(run.errors.find(std::string(option) + " needs a value"), std::string::npos) << run.errors;
    }
}

using PartialOutput = ToolFolder;

TEST_F(PartialOutput, ThePrinterStreamAppearsOnlyWhenWholeAndAnOlderFileSurvivesAFailure) {
    vexao_test::writePpmFile(path("page.ppm"), 40, 30, noise(40, 30));
    std::string print = kPrint + " -q " + path("page.ppm");
    ASSERT_EQ(runTool(print + " > " + path("streamed.prn")).exitCode, 0);
    ASSERT_EQ(runTool(print + " -o " + path("written.prn")).exitCode, 0);
    EXPECT_EQ(read("written.prn"), read("streamed.prn"));
    ASSERT_EQ(runTool(print + " -o /dev/null").exitCode, 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // The second picture is missing: the first page was already written.
    write("older.prn", "older");
    EXPECT_EQ(runTool(print + " " + path("missing.ppm") + " -o " + path("older.prn")).exitCode, 3);
    EXPECT_EQ(runTool(print + " " + path("missing.ppm") + " -o " + path("new.prn")).exitCode, 3);
    // The stream outgrows what the file may hold.
    std::string testPage = kPrint + " -q --test-page --resolution 100 -o " + path("big.prn");
    EXPECT_EQ(runTool(fileSizeLimit(1024) + testPage).exitCode, 4);
    EXPECT_EQ(read("older.prn"), (Bytes{'o', 'l', 'd', 'e', 'r'}));
    EXPECT_EQ(names(), (std::vector<std::string>{"older.prn", "page.ppm", "streamed.prn", "written.prn"}));
}

TEST_F(PartialOutput, TheInspectorLeavesNoTruncatedImage) {
    ASSERT_EQ(runTool(kPrint + " -q --test-page --resolution 100 -o " + path("page.prn")).exitCode, 0);
    ToolRun run = runTool(fileSizeLimit(2048) + kInspect + " --out " + path("images") + " " + path("page.prn") +
                          " > /dev/null");
    EXPECT_EQ(run.exitCode, 5) << run.errors;
    EXPECT_TRUE(names("images").empty());
}

TEST_F(PartialOutput, TheResourceToolWritesWholeFilesOnly) {
    write("table.bin", std::string(8192, 'x'));
    std::string create = kRsrc + " create " + path("made.rsrc") + " 4:1:" + path("table.bin");
    EXPECT_EQ(runTool(fileSizeLimit(4096) + create).exitCode, 4);
    EXPECT_FALSE(fs::exists(path("made.rsrc")));
    ASSERT_EQ(runTool(create).exitCode, 0);
    std::string extract = kRsrc + " extract " + path("made.rsrc") + " 4 1 " + path("out.bin");
    EXPECT_EQ(runTool(fileSizeLimit(4096) + extract).exitCode, 4);
    EXPECT_EQ(names(), (std::vector<std::string>{"made.rsrc", "table.bin"}));
}

}  // namespace
