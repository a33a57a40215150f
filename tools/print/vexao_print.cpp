// vexao-print: prints pictures through libvexao105 as a host driver does, and
// writes the printer stream to a file or to standard output.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/line_conversion.h"
#include "driver/mode_options.h"
#include "driver/print_job.h"
#include "driver/staged_file.h"
#include "tools/print/image.h"
#include "tools/print/test_page.h"

namespace {

using vexao::imaging::RgbImage;
using vexao::driver::ResolvedMode;

enum ExitCode { kOk = 0, kLibraryError = 1, kUsage = 2, kCannotRead = 3, kCannotWrite = 4, kOutOfMemory = 5 };

const char kUsageText[] =
    "usage: vexao-print [options] IMAGE...\n"
    "       vexao-print [options] --test-page\n"
    "\n"
    "Prints PNG or PNM pictures, one page each, through libvexao105 and writes the\n"
    "printer stream. Each picture is separated into the inks that the print mode\n"
    "uses and halftoned to its pixel depth (two levels at one bit a pixel, five\n"
    "levels at four).\n"
    "\n"
    "Print mode (what the printer model and its settings select):\n"
    "%s"
    "\n"
    "Other options:\n"
    "  --test-page          print the built-in test page, A4 at --resolution\n"
    "                       (default 300 dpi), instead of pictures\n"
    "  --inks k|kymc|kymcmc inks for line-by-line modes (default kymc); banded\n"
    "                       modes use the planes the mode selects\n"
    "  -o, --output FILE    write the stream to FILE (default: standard output);\n"
    "                       FILE appears only once the whole stream is written\n"
    "  -q, --quiet          no summary\n"
    "  -h, --help           this text\n"
    "\n"
    "Size cap: a page is at most %d pixels wide, %d high and %lld pixels in\n"
    "all (3 bytes a pixel in memory). It is also no wider than the print mode\n"
    "takes whatever the page holds: each line must fit the printer's buffers\n"
    "uncompressible, which allows 8120 pixels (banded, four bits a pixel, no\n"
    "level packing) up to 32767 (one bit a pixel, or few planes). Larger pictures\n"
    "are refused; the message names the limit.\n"
    "\n"
    "Progress goes to standard error when it is a terminal.\n"
    "exit codes: 0 printed, 1 the library refused, 2 bad usage (a test page over\n"
    "            the size cap included), 3 a picture cannot be read or is over the\n"
    "            size cap, 4 cannot write the stream, 5 out of memory\n";

struct Options {
    vexao::driver::ModeOptions mode;
    std::vector<std::string> images;
    std::string output = "-";
    std::string inks = "kymc";
    bool testPage = false;
    bool quiet = false;
};

int usage(const std::string& problem) {
    std::fprintf(stderr, "vexao-print: %s\n(see vexao-print --help)\n", problem.c_str());
    return kUsage;
}

int failure(int code, const std::string& message) {
    std::fprintf(stderr, "vexao-print: %s\n", message.c_str());
    return code;
}

// Returns -1 when the options are good, else the exit code.
int parseOptions(int argc, char** argv, Options& options) {
    options.mode.resolution = 300;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        vexao::driver::OptionResult taken = vexao::driver::takeModeOption(argc, argv, i, options.mode, error);
        if (taken == vexao::driver::OptionResult::Invalid) return usage(error);
        if (taken == vexao::driver::OptionResult::Taken) continue;
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::printf(kUsageText, vexao::driver::kModeOptionsHelp, vexao::imaging::kMaxWidth,
                        vexao::imaging::kMaxHeight, static_cast<long long>(vexao::imaging::kMaxPixels));
            return kOk;
        }
        if (arg == "--test-page") {
            options.testPage = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "-o" || arg == "--output" || arg == "--inks") {
            if (i + 1 >= argc) return usage(arg + " needs a value");
            (arg == "--inks" ? options.inks : options.output) = argv[++i];
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return usage("unknown option " + arg);
        } else {
            options.images.push_back(arg);
        }
    }
    if (options.testPage == !options.images.empty()) return usage("give pictures, or --test-page");
    if (options.inks != "k" && options.inks != "kymc" && options.inks != "kymcmc")
        return usage("--inks takes k, kymc or kymcmc");
    return -1;
}

int inksFor(const ResolvedMode& mode, const std::string& inks) {
    return mode.bandLines != 0 ? mode.planeCount : inks == "k" ? 1 : inks == "kymc" ? 4 : 6;
}

// What the pages of this run are printed with.
struct Printing {
    vexao::driver::PrintSettings settings;
    int inks = 1;
};

// Empty when a page of this size is within the size cap and the print mode
// takes its lines whatever they hold; otherwise why not.
std::string sizeProblem(std::int64_t width, std::int64_t height, const Printing& printing) {
    std::string error;
    if (!vexao::imaging::checkImageSize(width, height, error)) return error;
    int dpi = printing.settings.resolution;
    return vexao::driver::pageProblem(
        vexao::driver::rgbLayout(static_cast<int>(width), static_cast<int>(height), dpi, printing.inks),
        printing.settings);
}

// The test page is A4, 8.27 x 11.69 inches.
std::int64_t testPageWidth(const Options& options) { return std::int64_t{options.mode.resolution} * 827 / 100; }
std::int64_t testPageHeight(const Options& options) { return std::int64_t{options.mode.resolution} * 1169 / 100; }

bool printPage(vexao::driver::PrintJob& job, const RgbImage& image, const Printing& printing, int pageNumber,
               std::uint64_t& rasterBytes) {
    vexao::driver::LineConverter converter(
        vexao::driver::rgbLayout(image.width, image.height, printing.settings.resolution, printing.inks),
        printing.settings);
    bool progress = isatty(STDERR_FILENO) != 0;
    if (!job.startPage()) return false;
    std::vector<vexao::driver::PlaneLine> planes(VEXAO_MAX_PLANES);
    for (int y = 0; y < image.height; ++y) {
        converter.add(image.row(y));
        converter.next(planes);
        for (const vexao::driver::PlaneLine& plane : planes) rasterBytes += plane.bytes.size();
        if (!job.line(y, planes)) return false;
        if (progress && y % 256 == 0) std::fprintf(stderr, "\rpage %d: line %d of %d", pageNumber, y, image.height);
    }
    if (progress) std::fprintf(stderr, "\rpage %d: %d lines%20s\n", pageNumber, image.height, "");
    return job.endPage();
}

// Reads, checks and prints every page. Returns the exit code.
int printPages(vexao::driver::PrintJob& job, const Options& options, const Printing& printing,
               std::uint64_t& rasterBytes) {
    int pages = options.testPage ? 1 : static_cast<int>(options.images.size());
    for (int page = 0; page < pages; ++page) {
        RgbImage image;
        std::string error;
        if (options.testPage) {
            image = vexao::imaging::testPage(static_cast<int>(testPageWidth(options)),
                                             static_cast<int>(testPageHeight(options)));
        } else if (!vexao::imaging::readImage(options.images[page], image, error)) {
            return failure(kCannotRead, error);
        } else if (std::string problem = sizeProblem(image.width, image.height, printing); !problem.empty()) {
            return failure(kCannotRead, options.images[page] + ": " + problem);
        }
        if (!printPage(job, image, printing, page + 1, rasterBytes)) {
            int code = job.error().rfind("cannot write", 0) == 0 ? kCannotWrite : kLibraryError;
            return failure(code, "page " + std::to_string(page + 1) + ": " + job.error());
        }
    }
    return kOk;
}

void printSummary(const vexao::driver::PrintJob& job, std::uint64_t rasterBytes, double seconds) {
    std::fprintf(stderr, "vexao-print: %d page%s, %llu bytes of stream from %llu bytes of raster (%.1f:1) in %.2f s\n",
                 job.pagesEnded(), job.pagesEnded() == 1 ? "" : "s", static_cast<unsigned long long>(job.bytesSent()),
                 static_cast<unsigned long long>(rasterBytes),
                 job.bytesSent() ? static_cast<double>(rasterBytes) / static_cast<double>(job.bytesSent()) : 0.0,
                 seconds);
}

int run(int argc, char** argv) {
    Options options;
    int parsed = parseOptions(argc, argv, options);
    if (parsed != -1) return parsed;
    Printing printing;
    std::string error;
    printing.settings = vexao::driver::settingsFor(options.mode);
    if (!vexao::driver::resolveMode(options.mode, printing.settings.mode, error)) return usage(error);
    printing.inks = inksFor(printing.settings.mode, options.inks);
    if (options.testPage) {
        std::string problem = sizeProblem(testPageWidth(options), testPageHeight(options), printing);
        if (!problem.empty())
            return usage("--resolution " + std::to_string(options.mode.resolution) + ": the test page is too large: " +
                         problem);
    }

    // A file is written whole or not at all; standard output streams.
    std::optional<vexao::driver::StagedFile> file;
    if (options.output != "-" && !file.emplace(options.output).stream())
        return failure(kCannotWrite, "cannot write " + file->error());
    std::FILE* printer = file ? file->stream() : stdout;

    auto started = std::chrono::steady_clock::now();
    std::uint64_t rasterBytes = 0;
    vexao::driver::PrintJob job(printing.settings.params, options.mode.modelCode, printer);
    if (!job.ok()) return failure(kLibraryError, job.error());
    if (int code = printPages(job, options, printing, rasterBytes); code != kOk) return code;
    if (file ? !file->commit() : std::fflush(stdout) != 0)
        return failure(kCannotWrite, "cannot write " + (file ? file->error() : std::string("the stream")));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet) printSummary(job, rasterBytes, seconds);
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return failure(kOutOfMemory, "out of memory");
    }
}
