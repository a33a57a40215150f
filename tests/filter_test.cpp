// The CUPS filter run as CUPS runs it: raster in, printer stream out, with
// the PPD named by $PPD.
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "cups/spill_buffer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tone_blocks.h"
#include "tools/decode/page_decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Raster {
    cups_cspace_t space;
    int bits;
    cups_order_t order;
    int width = 64, height = 40;
    int rasterMode = 0;  // cupsInteger1
    bool singlePlane = false;  // cupsInteger3
    bool lightInks = false;    // cupsInteger4
    // A chunked pixel for the upper half; empty sets every bit.
    Bytes inkPixel = {};
    int dpi = 0;  // 0: the resolution that the raster mode's quality prints at
};

// Draft (raster mode 20) prints at 300 dpi, the five-level qualities at 600.
int printedDpi(int rasterMode) { return rasterMode == 20 ? 300 : 600; }

int colours(cups_cspace_t space) { return space == CUPS_CSPACE_K ? 1 : space == CUPS_CSPACE_CMYK ? 4 : 6; }

cups_page_header2_t headerFor(const Raster& raster) {
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsWidth = raster.width;
    header.cupsHeight = raster.height;
    header.cupsColorSpace = raster.space;
    header.cupsBitsPerColor = raster.bits;
    header.cupsColorOrder = raster.order;
    int n = colours(raster.space);
    header.cupsNumColors = n;
    header.cupsBitsPerPixel = raster.order == CUPS_ORDER_CHUNKED ? raster.bits * n : raster.bits;
    unsigned perColour = (raster.width * raster.bits + 7) / 8;
    header.cupsBytesPerLine = raster.order == CUPS_ORDER_CHUNKED ? (raster.width * raster.bits * n + 7) / 8
                              : raster.order == CUPS_ORDER_BANDED ? perColour * n
                                                                  : perColour;
    header.HWResolution[0] = header.HWResolution[1] = raster.dpi != 0 ? raster.dpi : printedDpi(raster.rasterMode);
    header.NumCopies = 1;
    header.cupsInteger[1] = raster.rasterMode;
    header.cupsInteger[3] = raster.singlePlane;
    header.cupsInteger[4] = raster.lightInks;
    return header;
}

// Every colour full on (or the ink pixel) in the upper half of the page, off below.
void writePage(cups_raster_t* out, const Raster& raster, int lines = -1, unsigned copies = 1) {
    cups_page_header2_t header = headerFor(raster);
    header.NumCopies = copies;
    cupsRasterWriteHeader2(out, &header);
    int rows = raster.order == CUPS_ORDER_PLANAR ? raster.height * colours(raster.space) : raster.height;
    Bytes ink(header.cupsBytesPerLine, 0xFF), blank(header.cupsBytesPerLine, 0);
    for (std::size_t at = 0; !raster.inkPixel.empty() && at < ink.size(); ++at)
        ink[at] = raster.inkPixel[at % raster.inkPixel.size()];
    for (int y = 0; y < (lines < 0 ? rows : lines); ++y)
        cupsRasterWritePixels(out, (y % raster.height) < raster.height / 2 ? ink.data() : blank.data(),
                              header.cupsBytesPerLine);
}

// Memory is limited and measured in the plain build only: the sanitizers
// reserve terabytes of address space and hold on to freed memory.
#ifdef VEXAO_SANITIZED
constexpr bool kMemoryIsMeasured = false;
#else
constexpr bool kMemoryIsMeasured = true;
#endif

struct FilterRun {
    int status = -1;
    Bytes stream;
    std::string messages;
    long peakKilobytes = 0;  // the filter's largest resident set
    double seconds = 0;
};

class Filter : public vexao_test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        spillFolder = path("spill");
        std::filesystem::create_directory(spillFolder);
    }

    // Runs the filter on what `feed` writes into its standard input, with
    // its temporary files in spillFolder and its address space limited to
    // addressSpaceLimit bytes when that is set.
    FilterRun run(const std::function<void(int fd, pid_t filter)>& feed, const char* copies = "1") {
        std::string out = folder + "/out", err = folder + "/err";
        int input[2];
        EXPECT_EQ(pipe(input), 0);
        auto started = std::chrono::steady_clock::now();
        pid_t child = fork();
        if (child == 0) {
            dup2(input[0], 0);
            close(input[1]);
            int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            setenv("PPD", VEXAO_BAND_PPD, 1);
            setenv("TMPDIR", spillFolder.c_str(), 1);
            rlimit limit{addressSpaceLimit, addressSpaceLimit};
            if (kMemoryIsMeasured && addressSpaceLimit != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
            execl(VEXAO_FILTER, "rastertovexao", "1", "user", "title", copies, "", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        // A filter that stops early closes its end; writing on must not kill the test.
        signal(SIGPIPE, SIG_IGN);
        feed(input[1], child);
        close(input[1]);
        FilterRun result;
        rusage usage{};
        wait4(child, &result.status, 0, &usage);
        result.peakKilobytes = usage.ru_maxrss;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::ifstream o(out, std::ios::binary);
        result.stream.assign(std::istreambuf_iterator<char>(o), std::istreambuf_iterator<char>());
        result.messages = messages();
        return result;
    }

    FilterRun print(const std::vector<Raster>& pages) {
        return run([&](int fd, pid_t) {
            cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
            for (const Raster& page : pages) writePage(out, page);
            cupsRasterClose(out);
        });
    }

    std::string messages() const {
        std::ifstream e(folder + "/err");
        return std::string(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    }

    // The filter's largest resident set must stay below `megabytes`.
    void expectPeakBelow(const FilterRun& result, long megabytes) {
        if (!kMemoryIsMeasured) return;
        EXPECT_LT(result.peakKilobytes, megabytes * 1024);
        RecordProperty("peak_kilobytes", std::to_string(result.peakKilobytes));
    }

    std::string spillFolder;
    rlim_t addressSpaceLimit = 0;
};

vexao::decode::DecodeOptions decodeOptions(int bitsPerPixel, bool levelPacked) {
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = bitsPerPixel;
    options.levelPacked = levelPacked;
    return options;
}

std::vector<vexao::decode::Page> decode(const Bytes& stream, int bitsPerPixel, bool levelPacked) {
    std::vector<vexao::decode::Page> pages;
    vexao::decode::DecodeError error;
    EXPECT_TRUE(vexao::decode::decodeStream(stream.data(), stream.size(), decodeOptions(bitsPerPixel, levelPacked),
                                            pages, error))
        << vexao::decode::describe(error);
    return pages;
}

// Decodes one page after another, each with its own options.
std::vector<vexao::decode::Page> decodeEach(const Bytes& stream, const std::vector<vexao::decode::DecodeOptions>& options) {
    std::vector<vexao::decode::Page> pages;
    std::size_t offset = 0;
    for (const vexao::decode::DecodeOptions& pageOptions : options) {
        vexao::decode::PageDecoder decoder(stream.data() + offset, stream.size() - offset, pageOptions);
        vexao::decode::Page page;
        if (!decoder.nextPage(page)) {
            ADD_FAILURE() << "page " << pages.size() + 1 << ": " << vexao::decode::describe(decoder.error());
            break;
        }
        offset += page.streamEnd;
        pages.push_back(std::move(page));
    }
    EXPECT_EQ(offset, stream.size()) << "bytes after the last page";
    return pages;
}

bool succeeded(const FilterRun& run) { return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0; }

TEST_F(Filter, EveryColourSpaceDepthAndOrderPrintsItsInks) {
    struct Case {
        Raster raster;
        int bits;
        bool packed;
        std::vector<int> planes;  // the library planes that must carry ink
    };
    const Case cases[] = {
        {{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 20}, 1, false, {0}},
        {{CUPS_CSPACE_K, 1, CUPS_ORDER_CHUNKED, 64, 40, 15}, 4, true, {0}},
        {{CUPS_CSPACE_CMYK, 8, CUPS_ORDER_CHUNKED, 64, 40, 15}, 4, true, {0, 1, 2, 3}},
        {{CUPS_CSPACE_CMYK, 1, CUPS_ORDER_BANDED, 64, 40, 20}, 1, false, {0, 1, 2, 3}},
        {{CUPS_CSPACE_KCMYcm, 8, CUPS_ORDER_PLANAR, 64, 40, 5}, 4, true, {0, 1, 2, 3, 4, 5}},
        {{CUPS_CSPACE_KCMYcm, 1, CUPS_ORDER_CHUNKED, 61, 40, 5}, 4, true, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        FilterRun result = print({c.raster, c.raster});
        ASSERT_TRUE(succeeded(result)) << result.messages << " space " << c.raster.space << " order " << c.raster.order;
        EXPECT_NE(result.messages.find("PAGE: 2 1"), std::string::npos) << result.messages;
        std::vector<vexao::decode::Page> pages = decode(result.stream, c.bits, c.packed);
        ASSERT_EQ(pages.size(), 2u);
        for (int plane : c.planes) {
            ASSERT_TRUE(pages[0].planes[plane].hasData()) << "plane " << plane << " space " << c.raster.space;
            EXPECT_LE(pages[0].planes[plane].height(), c.raster.height / 2 + 16) << "ink only in the upper half";
        }
    }
}

// The planes of `page` that carry ink.
std::vector<int> inkedPlanes(const vexao::decode::Page& page) {
    std::vector<int> planes;
    for (int plane = 0; plane < vexao::decode::kPlaneCount; ++plane)
        if (page.planes[plane].hasData()) planes.push_back(plane);
    return planes;
}

// Bands keep their height on paper: 8 lines at the draft quality's 300 dpi,
// 16 at the five-level qualities' 600.
TEST_F(Filter, EachPageIsPrintedWithItsOwnSettings) {
    Raster greyDraft{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 20};
    greyDraft.singlePlane = true;
    Raster colourNormal{CUPS_CSPACE_CMYK, 8, CUPS_ORDER_CHUNKED, 48, 40, 15};
    FilterRun result = print({greyDraft, colourNormal});
    ASSERT_TRUE(succeeded(result)) << result.messages;
    std::vector<vexao::decode::Page> pages = decodeEach(result.stream, {decodeOptions(1, false), decodeOptions(4, true)});
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].bandLines, 8);
    EXPECT_EQ(inkedPlanes(pages[0]), (std::vector<int>{0}));
    EXPECT_EQ(pages[0].planes[0].row(0)[0], 0xFF) << "eight full pixels at one bit";
    EXPECT_EQ(pages[1].bandLines, 16);
    EXPECT_EQ(inkedPlanes(pages[1]), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(pages[1].planes[3].width(), 24) << "48 pixels at four bits";
    EXPECT_EQ(pages[1].planes[3].row(0)[0], 0x44) << "two pixels at the top level";
}

// The printer lays dots at the pitch of its mode, so a page at another
// resolution is scaled by a whole factor, and one that scales by none is
// refused rather than printed at its pixel size.
TEST_F(Filter, PagesPrintAtTheirQualitysResolution) {
    Raster normalAt300{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 15};
    normalAt300.dpi = 300;
    Raster draftAt600{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 20};
    draftAt600.dpi = 600;
    FilterRun result = print({normalAt300, draftAt600});
    ASSERT_TRUE(succeeded(result)) << result.messages;
    std::vector<vexao::decode::Page> pages = decodeEach(result.stream, {decodeOptions(4, true), decodeOptions(1, false)});
    ASSERT_EQ(pages.size(), 2u);
    auto inkedRows = [](const vexao::decode::PlaneRaster& plane) {
        int rows = 0;
        for (int y = 0; y < plane.height(); ++y)
            rows += std::any_of(plane.row(y), plane.row(y) + plane.width(), [](std::uint8_t b) { return b != 0; });
        return rows;
    };
    EXPECT_EQ(pages[0].planes[0].width(), 64) << "128 dots at four bits";
    EXPECT_EQ(inkedRows(pages[0].planes[0]), 40) << "the upper 20 lines, twice";
    EXPECT_EQ(pages[1].planes[0].width(), 4) << "32 dots at one bit";
    EXPECT_EQ(inkedRows(pages[1].planes[0]), 10);

    Raster at72{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 15};
    at72.dpi = 72;
    FilterRun refused = print({at72});
    EXPECT_FALSE(succeeded(refused));
    EXPECT_NE(refused.messages.find("ERROR: page 1: it is at 72x72 dpi, which scales by no whole factor to the 600 dpi"),
              std::string::npos)
        << refused.messages;
    EXPECT_TRUE(refused.stream.empty());
}

TEST_F(Filter, EveryPageIsSentOnceAndCountedOnce) {
    // CUPS's filters make the copies: the filter gets them as pages, while
    // argv[4] and NumCopies still name the job's copies.
    Raster page{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 20};
    FilterRun result = run(
        [&](int fd, pid_t) {
            cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
            for (int copy = 0; copy < 2; ++copy) writePage(out, page, -1, 2);
            cupsRasterClose(out);
        },
        "2");
    ASSERT_TRUE(succeeded(result)) << result.messages;
    EXPECT_EQ(decode(result.stream, 1, false).size(), 2u);
    EXPECT_NE(result.messages.find("PAGE: 1 1\n"), std::string::npos) << result.messages;
    EXPECT_NE(result.messages.find("PAGE: 2 1\n"), std::string::npos) << result.messages;
    EXPECT_EQ(result.messages.find("PAGE: 3"), std::string::npos) << result.messages;
}

TEST_F(Filter, LightInksAreSeparatedFromCmykWhereTheModeHasSixPlanes) {
    struct Case {
        int rasterMode;
        Bytes cmyk;
        std::vector<int> planes;  // KYMCmc
    };
    const Case cases[] = {
        {5, {77, 0, 0, 0}, {5}},               // light cyan alone
        {5, {0, 77, 0, 0}, {4}},               // light magenta alone
        {5, {255, 0, 0, 0}, {3}},              // full cyan is dark ink alone
        {5, {200, 0, 60, 255}, {0, 1, 3, 5}},  // both cyans, yellow and black
        {15, {77, 0, 0, 0}, {3}},              // four planes: cyan ink
    };
    for (const Case& c : cases) {
        Raster raster{CUPS_CSPACE_CMYK, 8, CUPS_ORDER_CHUNKED, 64, 40, c.rasterMode};
        raster.lightInks = true;
        raster.inkPixel = c.cmyk;
        FilterRun result = print({raster});
        ASSERT_TRUE(succeeded(result)) << result.messages;
        std::vector<vexao::decode::Page> pages = decode(result.stream, 4, true);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(inkedPlanes(pages[0]), c.planes) << "raster mode " << c.rasterMode << " cyan " << int{c.cmyk[0]};
    }
}

// Tone reproduction: all 256 tones of one colour, each a block of 64 x 64
// pixels, printed through the filter and decoded. The mean density of every
// block rises with the tone and stays within 3% of it, at one bit a pixel,
// at five levels, and with light inks, where cyan and magenta print as their
// dark ink plus a third of their light ink; for grey and each ink of CMYK.
TEST_F(Filter, EveryToneOfEveryInkPrintsItsCoverage) {
    struct Depth {
        int rasterMode, bitsPerPixel;
        bool lightInks;
    };
    for (Depth depth : {Depth{20, 1, false}, Depth{15, 4, false}, Depth{5, 4, true}}) {
        for (int colour = depth.lightInks ? 0 : -1; colour < 4; ++colour) {  // -1: grey raster; else that colour of CMYK
            Raster raster{colour < 0 ? CUPS_CSPACE_K : CUPS_CSPACE_CMYK, 8, CUPS_ORDER_CHUNKED,
                          vexao_test::kTonePageSide, vexao_test::kTonePageSide, depth.rasterMode};
            raster.lightInks = depth.lightInks;
            int colours = colour < 0 ? 1 : 4;
            FilterRun result = run([&](int fd, pid_t) {
                cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
                cups_page_header2_t header = headerFor(raster);
                cupsRasterWriteHeader2(out, &header);
                Bytes line(header.cupsBytesPerLine);
                for (int y = 0; y < raster.height; ++y) {
                    for (int x = 0; x < raster.width; ++x)
                        for (int c = 0; c < colours; ++c)
                            line[x * colours + c] = c == std::max(colour, 0) ? vexao_test::toneAt(x, y) : 0;
                    cupsRasterWritePixels(out, line.data(), header.cupsBytesPerLine);
                }
                cupsRasterClose(out);
            });
            ASSERT_TRUE(succeeded(result)) << result.messages;
            std::vector<vexao::decode::Page> pages = decode(result.stream, depth.bitsPerPixel, depth.bitsPerPixel == 4);
            ASSERT_EQ(pages.size(), 1u);
            const int planeOfColour[] = {3, 2, 1, 0}, lightPlaneOfColour[] = {5, 4, -1, -1};
            const vexao::decode::PlaneRaster& plane = pages[0].planes[colour < 0 ? 0 : planeOfColour[colour]];
            int lightPlane = colour < 0 || !depth.lightInks ? -1 : lightPlaneOfColour[colour];
            vexao_test::ToneReport tones = vexao_test::measureTones(
                plane, lightPlane < 0 ? nullptr : &pages[0].planes[lightPlane], depth.bitsPerPixel);
            double worst = tones.worst;
            std::string name = std::to_string(depth.bitsPerPixel) + "bit" + (depth.lightInks ? "_light_inks" : "") +
                               "_colour" + std::to_string(colour);
            EXPECT_EQ(tones.falls, -1) << name << ": a tone prints lighter than the one below it";
            EXPECT_LE(worst, 0.03) << name << ", worst at tone " << tones.worstTone;
            RecordProperty("worst_deviation_" + name, std::to_string(worst));
        }
    }
}

TEST_F(Filter, UnsupportedOrMalformedRasterGivesAnErrorAndNoPartialPage) {
    FilterRun lab = print({{CUPS_CSPACE_CIELab, 8, CUPS_ORDER_CHUNKED}});
    EXPECT_FALSE(succeeded(lab));
    EXPECT_NE(lab.messages.find("ERROR: page 1: unsupported colour space"), std::string::npos) << lab.messages;
    EXPECT_TRUE(lab.stream.empty());

    FilterRun tooManyInks = print({{CUPS_CSPACE_KCMYcm, 8, CUPS_ORDER_CHUNKED, 64, 40, 15}});
    EXPECT_FALSE(succeeded(tooManyInks));
    EXPECT_NE(tooManyInks.messages.find("do not fit"), std::string::npos) << tooManyInks.messages;

    Raster page{CUPS_CSPACE_CMYK, 8, CUPS_ORDER_CHUNKED, 64, 40, 15};
    FilterRun truncated = run([&](int fd, pid_t) {
        cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        writePage(out, page);
        writePage(out, page, 10);  // the second page stops after ten lines
        cupsRasterClose(out);
    });
    EXPECT_FALSE(succeeded(truncated));
    EXPECT_NE(truncated.messages.find("ERROR: the raster ends inside page 2"), std::string::npos) << truncated.messages;
    EXPECT_EQ(decode(truncated.stream, 4, true).size(), 1u) << "only the whole first page went out";

    FilterRun empty = run([](int fd, pid_t) {
        cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        cupsRasterClose(out);
    });
    EXPECT_FALSE(succeeded(empty));
    EXPECT_NE(empty.messages.find("ERROR: no pages found"), std::string::npos);
}

TEST_F(Filter, TermSignalEndsTheCurrentPageCleanlyAndStops) {
    Raster page{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 400, 20};
    FilterRun canceled = run([&](int fd, pid_t filter) {
        cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        writePage(out, page);
        writePage(out, page, 100);
        // Once page 1 is out and page 2 has reported its progress, the filter waits inside page 2.
        auto insidePage2 = [&] {
            std::string said = messages();
            std::size_t page1 = said.find("PAGE: 1 ");
            return page1 != std::string::npos && said.find("job-media-progress=0", page1) != std::string::npos;
        };
        for (int tries = 0; tries < 1000 && !insidePage2(); ++tries) usleep(10000);
        kill(filter, SIGTERM);
        usleep(100000);
        Bytes line(64, 0xFF);
        cupsRasterWritePixels(out, line.data(), 64);  // one more line wakes it up
        cupsRasterClose(out);
    });
    EXPECT_TRUE(succeeded(canceled)) << canceled.messages;
    std::vector<vexao::decode::Page> pages = decode(canceled.stream, 1, false);
    ASSERT_EQ(pages.size(), 2u) << "the page under way is closed with its form feed";
    EXPECT_LT(pages[1].height, 200);
    EXPECT_NE(canceled.messages.find("canceled"), std::string::npos);
}

constexpr rlim_t kMegabyte = 1 << 20;

TEST_F(Filter, APlanarHeaderThatClaimsGigabytesFailsAtOnceWithinAMemoryLimit) {
    // 9000 x 100000 pixels of six 8-bit colours would be 5.4 GB, in lines
    // that the mode takes; no line follows the header.
    addressSpaceLimit = 512 * kMegabyte;
    Raster hostile{CUPS_CSPACE_KCMYcm, 8, CUPS_ORDER_PLANAR, 9000, 100000, 5};
    FilterRun result = run([&](int fd, pid_t) {
        cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        writePage(out, hostile, 0);
        cupsRasterClose(out);
    });
    ASSERT_TRUE(WIFEXITED(result.status)) << "the filter must stop by itself, not crash";
    EXPECT_EQ(WEXITSTATUS(result.status), 1);
    EXPECT_NE(result.messages.find("ERROR: the raster ends inside page 1"), std::string::npos) << result.messages;
    EXPECT_TRUE(result.stream.empty());
    EXPECT_LT(result.seconds, 10);
    expectPeakBelow(result, 64);
}

// The 8-bit tone of colour `colour` at pixel (x, y).
using Tone = std::function<std::uint8_t(int colour, int x, int y)>;

class Tones : public Filter {
protected:
    // Prints one 8-bit page of the given tones, in the raster's colour order.
    FilterRun print(const Raster& raster, const Tone& tone) {
        return run([&](int fd, pid_t) {
            cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
            cups_page_header2_t header = headerFor(raster);
            cupsRasterWriteHeader2(out, &header);
            int count = colours(raster.space);
            bool planar = raster.order == CUPS_ORDER_PLANAR;
            Bytes line(header.cupsBytesPerLine);
            for (int plane = 0; plane < (planar ? count : 1); ++plane)
                for (int y = 0; y < raster.height; ++y) {
                    for (int x = 0; x < raster.width; ++x)
                        for (int colour = 0; colour < (planar ? 1 : count); ++colour)
                            line[x * (planar ? 1 : count) + colour] = tone(planar ? plane : colour, x, y);
                    cupsRasterWritePixels(out, line.data(), header.cupsBytesPerLine);
                }
            cupsRasterClose(out);
        });
    }
};

Raster inOrder(Raster raster, cups_order_t order) {
    raster.order = order;
    return raster;
}

TEST_F(Tones, APlanarPagePrintsTheBytesOfItsChunkedTwin) {
    Tone gradient = [](int colour, int x, int y) { return static_cast<std::uint8_t>(x * 4 + y * 8 + colour * 40); };
    for (cups_cspace_t space : {CUPS_CSPACE_K, CUPS_CSPACE_CMYK, CUPS_CSPACE_KCMYcm}) {
        Raster chunked{space, 8, CUPS_ORDER_CHUNKED, 64, 40, 5};
        FilterRun twin = print(chunked, gradient), planar = print(inOrder(chunked, CUPS_ORDER_PLANAR), gradient);
        ASSERT_TRUE(succeeded(planar)) << planar.messages;
        EXPECT_FALSE(planar.stream.empty());
        EXPECT_EQ(planar.stream, twin.stream) << "colour space " << space;
    }
}

// Six colours of 12000 x 3200 pixels, 230 MB: the five kept until the last
// arrives take 192 MB, past the 128 MB kept in memory.
TEST_F(Tones, APlanarPagePastTheMemoryBoundPrintsWithinIt) {
    Tone stripes = [](int colour, int, int y) {
        return (y / 16 + colour) % 3 == 0 ? std::uint8_t{255} : std::uint8_t{0};
    };
    Raster chunked{CUPS_CSPACE_KCMYcm, 8, CUPS_ORDER_CHUNKED, 12000, 3200, 5};
    addressSpaceLimit = 512 * kMegabyte;
    FilterRun planar = print(inOrder(chunked, CUPS_ORDER_PLANAR), stripes);
    ASSERT_TRUE(succeeded(planar)) << planar.messages;
    expectPeakBelow(planar, 256);
    EXPECT_TRUE(std::filesystem::is_empty(spillFolder)) << "the temporary file is unlinked";
    addressSpaceLimit = 0;
    FilterRun twin = print(chunked, stripes);
    EXPECT_EQ(planar.stream, twin.stream);
}

// A 1-bit page of 32000 x 17000 pixels that PackBits cannot shorten (no
// byte repeats the one before) makes a 68 MB stream, past the 64 MB that a
// page keeps in memory; the page after it must follow it whole.
TEST_F(Filter, APageStreamPastItsMemoryBoundComesOutWhole) {
    Raster large{CUPS_CSPACE_K, 1, CUPS_ORDER_CHUNKED, 32000, 17000, 20};
    Raster small{CUPS_CSPACE_K, 8, CUPS_ORDER_CHUNKED, 64, 40, 20};
    auto lineOf = [&](int y) {
        Bytes line(large.width / 8);
        for (std::size_t at = 0; at < line.size(); ++at) line[at] = static_cast<std::uint8_t>(at * 37 + y * 11);
        return line;
    };
    addressSpaceLimit = 512 * kMegabyte;
    FilterRun result = run([&](int fd, pid_t) {
        cups_raster_t* out = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
        cups_page_header2_t header = headerFor(large);
        cupsRasterWriteHeader2(out, &header);
        for (int y = 0; y < large.height; ++y) cupsRasterWritePixels(out, lineOf(y).data(), header.cupsBytesPerLine);
        writePage(out, small);
        cupsRasterClose(out);
    });
    ASSERT_TRUE(succeeded(result)) << result.messages;
    EXPECT_GT(result.stream.size(), 64 * kMegabyte);
    expectPeakBelow(result, 256);
    std::vector<vexao::decode::Page> pages = decode(result.stream, 1, false);
    ASSERT_EQ(pages.size(), 2u);
    const vexao::decode::PlaneRaster& black = pages[0].planes[0];
    ASSERT_GE(black.height(), large.height) << "the last band is sent whole";
    for (int y : {0, 8191, large.height - 1}) {
        Bytes expected = lineOf(y);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), black.row(y))) << "line " << y;
    }
    EXPECT_TRUE(pages[1].planes[0].hasData());
}

class SpillBufferFile : public vexao_test::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        setenv("TMPDIR", folder.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        TempFolderTest::TearDown();
    }

    static Bytes writtenOut(vexao::cups::SpillBuffer& buffer) {
        std::FILE* out = std::tmpfile();
        EXPECT_TRUE(buffer.writeTo(out)) << buffer.error();
        Bytes bytes(static_cast<std::size_t>(std::ftell(out)));
        std::rewind(out);
        EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
        std::fclose(out);
        return bytes;
    }
};

TEST_F(SpillBufferFile, BytesPastTheMemoryBoundComeBackFromAnUnlinkedFile) {
    constexpr std::size_t kBound = 1 << 20;
    vexao::cups::SpillBuffer buffer(kBound);
    Bytes bytes(kBound + kBound / 2);
    for (std::size_t at = 0; at < bytes.size(); ++at) bytes[at] = static_cast<std::uint8_t>(at * 7 + at / 251);
    for (std::size_t at = 0; at < bytes.size(); at += 4099)
        ASSERT_TRUE(buffer.append(bytes.data() + at, std::min<std::size_t>(4099, bytes.size() - at))) << buffer.error();
    EXPECT_EQ(buffer.size(), bytes.size());
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "the file is unlinked once made";

    Bytes across(10000);
    ASSERT_TRUE(buffer.read(kBound - 5000, across.data(), across.size())) << buffer.error();
    EXPECT_TRUE(std::equal(across.begin(), across.end(), bytes.begin() + (kBound - 5000)));
    EXPECT_FALSE(buffer.read(bytes.size() - 10, across.data(), 11)) << "a read past the end";
    EXPECT_EQ(writtenOut(buffer), bytes);

    buffer.clear();
    Bytes next(kBound + 10, 0x5A);
    ASSERT_TRUE(buffer.append(next.data(), next.size()));
    EXPECT_EQ(writtenOut(buffer), next) << "a cleared buffer serves again";
}

TEST_F(SpillBufferFile, AFolderThatCannotHoldTheFileIsNamed) {
    std::string missing = folder + "/missing";
    setenv("TMPDIR", missing.c_str(), 1);
    vexao::cups::SpillBuffer buffer(1 << 20);
    Bytes bytes((1 << 20) + 1);
    EXPECT_FALSE(buffer.append(bytes.data(), bytes.size()));
    EXPECT_NE(buffer.error().find(missing), std::string::npos) << buffer.error();
}

}  // namespace
