// rastertovexao: the CUPS filter for printers driven through libvexao105.
//
//   rastertovexao job user title copies options [file]
//
// CUPS raster comes from the file or standard input; the printer stream goes
// to standard output. Each page is kept and written only once it is
// complete, so a malformed raster never leaves a partial page behind.
// SIGTERM cancels the job after the current page has been closed.
//
// Memory stays within 256 MB whatever a raster header claims. A page's
// printer stream keeps its first 64 MB in memory, and a planar page its
// colours' first 128 MB (it sends all lines of one colour before the next);
// past that both go on in temporary files in $TMPDIR, unlinked as soon as
// they are made. Lines, halftoning and the library take a few MB more.
//
// The printer has no copies command, so the PPDs say cupsManualCopies True:
// CUPS's own filters repeat and collate the pages before rendering, and every
// page that arrives here is sent once. The copies in argv[4] and the raster's
// NumCopies are therefore not used.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <cups/ppd.h>

#include "cups/line_pipeline.h"
#include "cups/spill_buffer.h"
#include "driver/capture_stream.h"
#include "driver/line_conversion.h"
#include "driver/print_job.h"
#include "driver/raster_header.h"

namespace {

volatile std::sig_atomic_t canceled = 0;

void cancelJob(int) { canceled = 1; }

constexpr std::uint64_t kPageStreamInMemory = std::uint64_t{64} << 20;
constexpr std::uint64_t kPlanarColoursInMemory = std::uint64_t{128} << 20;

// A page's printer stream, kept until the page is whole.
class PageBuffer {
public:
    std::FILE* file() { return stream_.file(); }
    // Sends what the page holds so far and starts afresh.
    bool flushTo(std::FILE* out) {
        bool written = bytes_.writeTo(out);
        bytes_.clear();
        return written && std::fflush(out) == 0;
    }
    void discard() { bytes_.clear(); }
    // Why the page could not be kept, when it could not.
    const std::string& problem() const { return bytes_.error(); }

private:
    vexao::cups::SpillBuffer bytes_{kPageStreamInMemory};
    vexao::driver::CaptureStream stream_{[this](const char* data, std::size_t size) { return bytes_.append(data, size); }};
};

// The model code of the PPD named by $PPD (its cupsModelNumber), or -1.
int modelOfPpd() {
    const char* path = std::getenv("PPD");
    if (path == nullptr) return -1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // PPD files are how CUPS 2 still describes such printers.
    ppd_file_t* ppd = ppdOpenFile(path);
    int model = ppd != nullptr ? ppd->model_number : -1;
    ppdClose(ppd);
#pragma GCC diagnostic pop
    return model;
}

struct Job {
    std::int16_t modelCode;
    cups_raster_t* raster;
    PageBuffer page;
    std::unique_ptr<vexao::driver::PrintJob> printer;
    vexao::driver::PrintSettings settings;
    int pages = 0;
};

// Reads one raster line. A planar page sends every line of its first colour,
// then of the next: the lines of all colours but the last are kept, and each
// line of the last colour is joined with them as it comes.
class LineReader {
public:
    LineReader(cups_raster_t* raster, const vexao::driver::RasterLayout& layout)
        : raster_(raster), layout_(layout), keptColours_(layout.order == vexao::driver::ColourOrder::planar ? layout.colours - 1 : 0) {
        line_.resize(layout.bytesPerLine * static_cast<std::size_t>(keptColours_ + 1));
    }

    // The line, or null when the raster ends early or the kept colours
    // cannot be kept; problem() then says which.
    const std::uint8_t* next(int y) {
        if (y == 0 && !keepColours()) return nullptr;
        for (int colour = 0; colour < keptColours_; ++colour)
            if (!kept_.read(keptOffset(colour, y), lineOf(colour), layout_.bytesPerLine)) return nullptr;
        return readPixels(lineOf(keptColours_)) ? line_.data() : nullptr;
    }
    const std::string& problem() const { return kept_.error(); }

private:
    bool keepColours() {
        std::uint64_t lines = std::uint64_t{static_cast<unsigned>(layout_.height)} * static_cast<unsigned>(keptColours_);
        for (std::uint64_t kept = 0; kept < lines; ++kept)
            if (!readPixels(line_.data()) || !kept_.append(line_.data(), layout_.bytesPerLine)) return false;
        return true;
    }
    bool readPixels(std::uint8_t* to) {
        return cupsRasterReadPixels(raster_, to, layout_.bytesPerLine) == layout_.bytesPerLine;
    }
    // readLayout caps the page at 32767 x 100000 pixels of 6 colours, so
    // these 64-bit products stay far from overflowing.
    std::uint64_t keptOffset(int colour, int y) const {
        return (std::uint64_t{static_cast<unsigned>(colour)} * static_cast<unsigned>(layout_.height) +
                static_cast<unsigned>(y)) *
               layout_.bytesPerLine;
    }
    std::uint8_t* lineOf(int colour) {
        return line_.data() + std::size_t{layout_.bytesPerLine} * static_cast<unsigned>(colour);
    }

    cups_raster_t* raster_;
    vexao::driver::RasterLayout layout_;
    int keptColours_;
    vexao::cups::SpillBuffer kept_{kPlanarColoursInMemory};
    std::vector<std::uint8_t> line_;
};

// Configures a fresh work record for `settings`; the library selects a mode
// only when a record is configured.
bool startJob(Job& job, const vexao::driver::PrintSettings& settings) {
    job.printer.reset();  // one record at a time: the library serves one caller
    job.settings = settings;
    job.printer = std::make_unique<vexao::driver::PrintJob>(settings.params, settings.modelCode, job.page.file());
    if (!job.printer->ok()) std::fprintf(stderr, "ERROR: %s\n", job.printer->error().c_str());
    return job.printer->ok();
}

// Why the page cannot be printed, or empty.
std::string pageProblem(const cups_page_header2_t& header, const vexao::driver::PrintSettings& settings,
                        vexao::driver::RasterLayout& layout) {
    std::string reason;
    if (!vexao::driver::readLayout(header, layout, reason)) return reason;
    return vexao::driver::pageProblem(layout, settings);
}

// Makes the next printed line from as many raster lines as it takes.
bool convertLine(vexao::driver::LineConverter& converter, LineReader& reader, int height,
                 vexao::cups::LinePipeline::Planes& planes) {
    while (!converter.ready()) {
        if (converter.rasterLines() == height) {
            converter.endPage();
            if (!converter.ready()) return false;
            break;
        }
        const std::uint8_t* line = reader.next(converter.rasterLines());
        if (line == nullptr) return false;
        converter.add(line);
    }
    planes.resize(VEXAO_MAX_PLANES);
    converter.next(planes);
    return true;
}

// Prints one page; returns false when the job must stop with an error.
bool printPage(Job& job, const cups_page_header2_t& header) {
    vexao::driver::PrintSettings settings = vexao::driver::readSettings(header, job.modelCode);
    vexao::driver::RasterLayout layout;
    if (std::string problem = pageProblem(header, settings, layout); !problem.empty())
        return std::fprintf(stderr, "ERROR: page %d: %s\n", job.pages + 1, problem.c_str()), false;
    // Each page is printed with its own header's settings.
    if ((!job.printer || !vexao::driver::sameMode(settings, job.settings)) && !startJob(job, settings)) return false;

    vexao::driver::LineConverter converter(layout, settings);
    LineReader reader(job.raster, layout);
    int lines = converter.printedHeight();
    vexao::cups::LinePipeline pipeline(lines, [&](int, vexao::cups::LinePipeline::Planes& planes) {
        return convertLine(converter, reader, layout.height, planes);
    });
    job.printer->startPage();
    for (int y = 0; y < lines && !canceled; ++y) {
        vexao::cups::LinePipeline::Planes* planes = pipeline.take(y);
        if (planes == nullptr) {
            job.page.discard();
            if (!reader.problem().empty())
                return std::fprintf(stderr, "ERROR: page %d: %s\n", job.pages + 1, reader.problem().c_str()), false;
            return std::fprintf(stderr, "ERROR: the raster ends inside page %d\n", job.pages + 1), false;
        }
        if (!job.printer->line(y, *planes)) break;
        if (y % 512 == 0) std::fprintf(stderr, "ATTR: job-media-progress=%d\n", static_cast<int>(100LL * y / lines));
    }
    if (job.printer->ok()) job.printer->endPage();
    if (!job.printer->ok()) {
        job.page.discard();
        const std::string& why = job.page.problem().empty() ? job.printer->error() : job.page.problem();
        return std::fprintf(stderr, "ERROR: page %d: %s\n", job.pages + 1, why.c_str()), false;
    }
    if (!job.page.flushTo(stdout)) return std::fprintf(stderr, "ERROR: cannot write the printer stream\n"), false;
    ++job.pages;
    std::fprintf(stderr, "PAGE: %d 1\n", job.pages);
    std::fprintf(stderr, "INFO: printed page %d%s\n", job.pages, canceled ? " (job canceled)" : "");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: rastertovexao job user title copies options [file]\n"
                   "Turns CUPS raster into the printer stream of libvexao105 printers.\n"
                   "Uses at most 256 MB of memory; larger pages go on in temporary files in $TMPDIR.\n",
                   stderr);
        return 1;
    }
    std::setbuf(stderr, nullptr);
    std::signal(SIGTERM, cancelJob);
    int input = argc == 7 ? open(argv[6], O_RDONLY) : 0;
    if (input < 0) return std::fprintf(stderr, "ERROR: cannot open %s\n", argv[6]), 1;

    int model = modelOfPpd();
    if (model < 0) return std::fputs("ERROR: no PPD with a cupsModelNumber names the printer model\n", stderr), 1;
    Job job{static_cast<std::int16_t>(model), cupsRasterOpen(input, CUPS_RASTER_READ), {}, nullptr, {}, 0};
    bool good = job.raster != nullptr;
    cups_page_header2_t header;
    while (good && !canceled && cupsRasterReadHeader2(job.raster, &header)) good = printPage(job, header);
    if (job.raster != nullptr) cupsRasterClose(job.raster);
    if (input != 0) close(input);
    if (good && job.pages == 0 && !canceled) {
        std::fputs("ERROR: no pages found\n", stderr);
        good = false;
    }
    job.printer.reset();
    return good ? 0 : 1;
}
