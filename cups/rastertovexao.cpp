// rastertovexao: the CUPS filter for printers driven through libvexao105.
//
//   rastertovexao job user title copies options [file]
//
// CUPS raster comes from the file or standard input; the printer stream goes
// to standard output. Each page is built in memory and written only once it
// is complete, so a malformed raster never leaves a partial page behind.
// SIGTERM cancels the job after the current page has been closed.
//
// The printer has no copies command, so the PPDs say cupsManualCopies True:
// CUPS's own filters repeat and collate the pages before rendering, and every
// page that arrives here is sent once. The copies in argv[4] and the raster's
// NumCopies are therefore not used.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <cups/ppd.h>

#include "cups/line_pipeline.h"
#include "cups/raster_planes.h"
#include "tools/host/print_job.h"

namespace {

volatile std::sig_atomic_t canceled = 0;

void cancelJob(int) { canceled = 1; }

// A page's printer stream, kept until the page is whole, in chunks that are
// never moved and serve the next page again.
class PageBuffer {
public:
    PageBuffer() : file_(fopencookie(this, "w", {nullptr, &PageBuffer::append, nullptr, nullptr})) {}
    ~PageBuffer() {
        if (file_ != nullptr) std::fclose(file_);
    }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    std::FILE* file() { return file_; }
    // Sends what the page holds so far and starts afresh.
    bool flushTo(std::FILE* out) {
        bool written = std::fflush(file_) == 0;
        for (std::size_t at = 0; written && at < size_; at += kChunk) {
            std::size_t length = std::min(kChunk, size_ - at);
            written = std::fwrite(chunks_[at / kChunk].get(), 1, length, out) == length;
        }
        size_ = 0;
        return written && std::fflush(out) == 0;
    }
    void discard() {
        std::fflush(file_);
        size_ = 0;
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;

    static ssize_t append(void* cookie, const char* data, std::size_t length) {
        auto& buffer = *static_cast<PageBuffer*>(cookie);
        for (std::size_t done = 0; done < length;) {
            std::size_t chunk = buffer.size_ / kChunk, offset = buffer.size_ % kChunk;
            if (chunk == buffer.chunks_.size()) buffer.chunks_.push_back(std::make_unique<char[]>(kChunk));
            std::size_t piece = std::min(length - done, kChunk - offset);
            std::memcpy(buffer.chunks_[chunk].get() + offset, data + done, piece);
            buffer.size_ += piece;
            done += piece;
        }
        return static_cast<ssize_t>(length);
    }

    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t size_ = 0;
    std::FILE* file_;
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
    std::unique_ptr<vexao::tools::PrintJob> printer;
    vexao::cups::PrintSettings settings;
    int pages = 0;
};

// Reads one raster line; planar pages are read whole first and regrouped.
class LineReader {
public:
    LineReader(cups_raster_t* raster, const vexao::cups::RasterLayout& layout) : raster_(raster), layout_(layout) {
        unsigned colours = layout.order == CUPS_ORDER_PLANAR ? static_cast<unsigned>(layout.colours) : 1;
        line_.resize(static_cast<std::size_t>(layout.bytesPerLine) * colours);
    }

    const std::uint8_t* next(int y) {
        if (layout_.order != CUPS_ORDER_PLANAR) {
            if (cupsRasterReadPixels(raster_, line_.data(), layout_.bytesPerLine) != layout_.bytesPerLine) return nullptr;
            return line_.data();
        }
        if (y == 0 && !readPlanarPage()) return nullptr;
        std::size_t planeBytes = static_cast<std::size_t>(layout_.bytesPerLine) * layout_.height;
        for (int c = 0; c < layout_.colours; ++c)
            std::copy_n(page_.data() + planeBytes * c + static_cast<std::size_t>(layout_.bytesPerLine) * y,
                        layout_.bytesPerLine, line_.data() + static_cast<std::size_t>(layout_.bytesPerLine) * c);
        return line_.data();
    }

private:
    bool readPlanarPage() {
        page_.resize(static_cast<std::size_t>(layout_.bytesPerLine) * layout_.height * layout_.colours);
        for (std::size_t at = 0; at < page_.size(); at += layout_.bytesPerLine)
            if (cupsRasterReadPixels(raster_, page_.data() + at, layout_.bytesPerLine) != layout_.bytesPerLine)
                return false;
        return true;
    }

    cups_raster_t* raster_;
    vexao::cups::RasterLayout layout_;
    std::vector<std::uint8_t> line_, page_;
};

// Configures a fresh work record for `settings`; the library selects a mode
// only when a record is configured.
bool startJob(Job& job, const vexao::cups::PrintSettings& settings) {
    job.printer.reset();  // one record at a time: the library serves one caller
    job.settings = settings;
    job.printer = std::make_unique<vexao::tools::PrintJob>(settings.params, settings.modelCode, job.page.file());
    if (!job.printer->ok()) std::fprintf(stderr, "ERROR: %s\n", job.printer->error().c_str());
    return job.printer->ok();
}

// Prints one page; returns false when the job must stop with an error.
bool printPage(Job& job, const cups_page_header2_t& header) {
    vexao::cups::RasterLayout layout;
    std::string reason;
    if (!vexao::cups::readLayout(header, layout, reason)) return std::fprintf(stderr, "ERROR: %s\n", reason.c_str()), false;
    vexao::cups::PrintSettings settings = vexao::cups::readSettings(header, job.modelCode);
    // Each page is printed with its own header's settings.
    if ((!job.printer || !vexao::cups::sameMode(settings, job.settings)) && !startJob(job, settings)) return false;
    if (!vexao::cups::coloursFitMode(layout, job.settings, reason))
        return std::fprintf(stderr, "ERROR: %s\n", reason.c_str()), false;

    vexao::cups::LineConverter converter(layout, job.settings);
    LineReader reader(job.raster, layout);
    vexao::cups::LinePipeline pipeline(layout.height, [&](int y, vexao::cups::LinePipeline::Planes& planes) {
        const std::uint8_t* line = reader.next(y);
        if (line == nullptr) return false;
        planes.resize(VEXAO_MAX_PLANES);
        converter.convert(line, planes);
        return true;
    });
    job.printer->startPage();
    for (int y = 0; y < layout.height && !canceled; ++y) {
        vexao::cups::LinePipeline::Planes* planes = pipeline.take(y);
        if (planes == nullptr) {
            job.page.discard();
            return std::fprintf(stderr, "ERROR: the raster ends inside page %d\n", job.pages + 1), false;
        }
        if (!job.printer->line(y, *planes)) break;
        if (y % 512 == 0)
            std::fprintf(stderr, "ATTR: job-media-progress=%d\n", static_cast<int>(100LL * y / layout.height));
    }
    if (job.printer->ok()) job.printer->endPage();
    if (!job.printer->ok()) {
        job.page.discard();
        return std::fprintf(stderr, "ERROR: page %d: %s\n", job.pages + 1, job.printer->error().c_str()), false;
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
                   "Turns CUPS raster into the printer stream of libvexao105 printers.\n",
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
