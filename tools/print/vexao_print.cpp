// vexao-print: prints pictures through libvexao105 as a host driver does, and
// writes the printer stream to a file or to standard output.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/mode_options.h"
#include "tools/host/print_job.h"
#include "tools/imaging/image.h"
#include "tools/imaging/separation.h"

namespace {

enum ExitCode { kOk = 0, kLibraryError = 1, kUsage = 2, kCannotRead = 3, kCannotWrite = 4 };

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
    "  --test-page          print the built-in test page instead of pictures\n"
    "  --inks k|kymc|kymcmc inks for line-by-line modes (default kymc); banded\n"
    "                       modes use the planes the mode selects\n"
    "  -o, --output FILE    write the stream to FILE (default: standard output)\n"
    "  -q, --quiet          no summary\n"
    "  -h, --help           this text\n"
    "\n"
    "Progress goes to standard error when it is a terminal.\n"
    "exit codes: 0 printed, 1 the library refused, 2 bad usage, 3 cannot read a\n"
    "            picture, 4 cannot write the stream\n";

struct Options {
    vexao::tools::ModeOptions mode;
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

// Returns -1 when the options are good, else the exit code.
int parseOptions(int argc, char** argv, Options& options) {
    options.mode.resolution = 300;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        vexao::tools::OptionResult taken = vexao::tools::takeModeOption(argc, argv, i, options.mode, error);
        if (taken == vexao::tools::OptionResult::Invalid) return usage(error);
        if (taken == vexao::tools::OptionResult::Taken) continue;
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::printf(kUsageText, vexao::tools::kModeOptionsHelp);
            return kOk;
        }
        if (arg == "--test-page") options.testPage = true;
        else if (arg == "-q" || arg == "--quiet") options.quiet = true;
        else if ((arg == "-o" || arg == "--output" || arg == "--inks") && i + 1 < argc)
            (arg == "--inks" ? options.inks : options.output) = argv[++i];
        else if (!arg.empty() && arg[0] == '-' && arg != "-") return usage("unknown option " + arg);
        else options.images.push_back(arg);
    }
    if (options.testPage == !options.images.empty()) return usage("give pictures, or --test-page");
    if (options.inks != "k" && options.inks != "kymc" && options.inks != "kymcmc")
        return usage("--inks takes k, kymc or kymcmc");
    return -1;
}

vexao::imaging::InkSet inkSetFor(const vexao::tools::ResolvedMode& mode, const std::string& inks) {
    int planes = mode.bandLines != 0 ? mode.planeCount : inks == "k" ? 1 : inks == "kymc" ? 4 : 6;
    return static_cast<vexao::imaging::InkSet>(planes);
}

bool printPage(vexao::tools::PrintJob& job, const vexao::imaging::RgbImage& image, const vexao::tools::ResolvedMode& mode,
               vexao::imaging::InkSet inks, int pageNumber, std::uint64_t& rasterBytes) {
    vexao::imaging::PageSeparator separator(image, inks, mode.bitsPerPixel);
    bool progress = isatty(STDERR_FILENO) != 0;
    if (!job.startPage()) return false;
    std::vector<vexao::tools::PlaneLine> planes(separator.planes());
    for (int y = 0; y < image.height; ++y) {
        std::vector<std::vector<std::uint8_t>> bytes = separator.nextLine();
        for (int p = 0; p < separator.planes(); ++p) {
            rasterBytes += bytes[p].size();
            planes[p].bytes = std::move(bytes[p]);
            planes[p].pixelWidth = static_cast<std::int16_t>(image.width);
        }
        if (!job.line(y, planes)) return false;
        if (progress && y % 256 == 0) std::fprintf(stderr, "\rpage %d: line %d of %d", pageNumber, y, image.height);
    }
    if (progress) std::fprintf(stderr, "\rpage %d: %d lines%20s\n", pageNumber, image.height, "");
    return job.endPage();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = parseOptions(argc, argv, options);
    if (parsed != -1) return parsed;
    vexao::tools::ResolvedMode mode;
    std::string error;
    if (!vexao::tools::resolveMode(options.mode, mode, error)) return usage(error);

    bool toStdout = options.output == "-";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(toStdout ? nullptr : std::fopen(options.output.c_str(), "wb"),
                                                       std::fclose);
    std::FILE* printer = toStdout ? stdout : file.get();
    if (printer == nullptr) return std::fprintf(stderr, "vexao-print: cannot write %s\n", options.output.c_str()), kCannotWrite;

    auto started = std::chrono::steady_clock::now();
    vexao::tools::PrintJob job(vexao::tools::toOutputParams(options.mode), options.mode.modelCode, printer);
    if (!job.ok()) return std::fprintf(stderr, "vexao-print: %s\n", job.error().c_str()), kLibraryError;
    vexao::imaging::InkSet inks = inkSetFor(mode, options.inks);
    std::uint64_t rasterBytes = 0;
    int pages = options.testPage ? 1 : static_cast<int>(options.images.size());
    for (int page = 0; page < pages; ++page) {
        vexao::imaging::RgbImage image;
        if (options.testPage) {
            image = vexao::imaging::testPage(options.mode.resolution * 827 / 100, options.mode.resolution * 1169 / 100);
        } else if (!vexao::imaging::readImage(options.images[page], image, error)) {
            return std::fprintf(stderr, "vexao-print: %s\n", error.c_str()), kCannotRead;
        }
        if (!printPage(job, image, mode, inks, page + 1, rasterBytes)) {
            std::fprintf(stderr, "vexao-print: page %d: %s\n", page + 1, job.error().c_str());
            return job.error().rfind("cannot write", 0) == 0 ? kCannotWrite : kLibraryError;
        }
    }
    if (std::fflush(printer) != 0) return std::fprintf(stderr, "vexao-print: cannot write the stream\n"), kCannotWrite;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet)
        std::fprintf(stderr, "vexao-print: %d page%s, %llu bytes of stream from %llu bytes of raster (%.1f:1) in %.2f s\n",
                     job.pagesEnded(), job.pagesEnded() == 1 ? "" : "s", static_cast<unsigned long long>(job.bytesSent()),
                     static_cast<unsigned long long>(rasterBytes),
                     job.bytesSent() ? static_cast<double>(rasterBytes) / static_cast<double>(job.bytesSent()) : 0.0,
                     seconds);
    return kOk;
}
