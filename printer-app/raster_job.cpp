#include "printer-app/raster_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/capture_stream.h"
#include "driver/line_conversion.h"
#include "driver/model_table.h"
#include "driver/print_job.h"
#include "driver/raster_header.h"
#include "printer-app/drivers.h"
#include "printer-app/job_settings.h"
#include "printer-app/page_header_tap.h"

namespace vexao::printer_app {
namespace {

using vexao::models::Model;

// The library serves one caller at a time, and PAPPL prints each printer's
// jobs on a thread of their own. Each call into the library holds this lock
// and nothing else does: jobs on several printers interleave call by call,
// and what a call produces goes to the device after the lock is released,
// so that a slow device holds up its own job alone.
std::mutex libraryInUse;

// Runs one library call with the library to itself.
template <typename Call>
auto withLibrary(Call call) {
    std::lock_guard<std::mutex> library(libraryInUse);
    return call();
}

// What one library call writes, gathered to be sent to the device once the
// library is free again. It holds no device: PAPPL hands each callback the
// device to use, and may close it between jobs. It can keep a copy of all it
// sends, for the job's further copies.
class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput() {
        if (copy_ >= 0) close(copy_);
    }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    std::FILE* file() const { return stream_.file(); }
    // Keeps a copy of everything sent from now on in `descriptor`, a file
    // open for reading and writing that the stream closes.
    void keepCopy(int descriptor) { copy_ = descriptor; }
    // Sends what was gathered, and keeps its copy. False when the device or
    // the copy cannot take it.
    bool sendTo(pappl_device_t* device) {
        bool sent = pending_.empty() || (addPendingToCopy() && sendAll(device, pending_.data(), pending_.size()));
        pending_.clear();
        return sent;
    }
    // Sends the copy once more. False when it cannot be read or sent.
    bool sendCopyTo(pappl_device_t* device) const {
        if (copy_ < 0 || lseek(copy_, 0, SEEK_SET) != 0) return false;
        std::vector<char> block(kBlock);
        for (ssize_t got; (got = read(copy_, block.data(), block.size())) != 0;)
            if (got < 0 || !sendAll(device, block.data(), static_cast<std::size_t>(got))) return false;
        return true;
    }

private:
    static constexpr std::size_t kBlock = 64 * 1024;

    static bool sendAll(pappl_device_t* device, const char* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            ssize_t written = papplDeviceWrite(device, data + done, size - done);
            if (written <= 0) return false;
            done += static_cast<std::size_t>(written);
        }
        return true;
    }

    bool addPendingToCopy() const {
        return copy_ < 0 || ::write(copy_, pending_.data(), pending_.size()) == static_cast<ssize_t>(pending_.size());
    }

    std::vector<char> pending_;
    int copy_ = -1;
    vexao::driver::CaptureStream stream_{[this](const char* data, std::size_t size) {
        pending_.insert(pending_.end(), data, data + size);
        return true;
    }};
};

// What a job keeps between callbacks. A printer prints one job at a time
// (job_gate.cpp).
struct RasterJob {
    explicit RasterJob(const Model& printerModel) : model(printerModel) {}

    PendingOutput output;
    const Model& model;
    std::unique_ptr<vexao::driver::PrintJob> printer;
    vexao::driver::PrintSettings settings;
    vexao::driver::RasterLayout layout;
    std::unique_ptr<vexao::driver::LineConverter> converter;
    std::vector<vexao::driver::PlaneLine> planes;
    int linesPrinted = 0;  // of the current page
    int copiesToRepeat = 0;  // further copies that the driver sends, from the kept copy
    unsigned pagesSent = 0;
    bool rasterDocument = false;   // PWG or Apple raster, whose pages bring their own header
    bool pageSeen = false;
    bool pageOpen = false;         // the library has started a page that has not had its form feed
};

RasterJob* stateOf(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// Ends the job with `reason` and a message that says what went wrong.
bool refuse(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
    papplJobSetMessage(job, "%s", message.c_str());
    papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
    return false;
}

// Monochrome and bi-level print colour raster with black ink alone.
bool wantsBlackOnly(const pappl_pr_options_t& options) {
    return (options.print_color_mode & (PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL)) != 0;
}

bool wantsLightInks(const pappl_pr_options_t& options) {
    const char* lightInks = cupsGetOption(kLightInksAttribute, options.num_vendor, options.vendor);
    return lightInks != nullptr && std::strcmp(lightInks, "true") == 0;
}

// Sends what the last library calls produced to the device the callback was
// handed; a failed device ends the job.
bool send(pappl_job_t* job, RasterJob& state, pappl_device_t* device) {
    if (state.output.sendTo(device)) return true;
    return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Cannot write to the printer.");
}

// Sends what is gathered and makes the device write what it buffers.
bool flush(pappl_job_t* job, RasterJob& state, pappl_device_t* device) {
    if (!send(job, state, device)) return false;
    papplDeviceFlush(device);
    return true;
}

// Starts the page in the library: a fresh work record when the page's
// settings differ from the last page's, since the library selects a mode
// only when a record is configured.
bool startLibraryPage(RasterJob& state, const vexao::driver::PrintSettings& settings) {
    return withLibrary([&] {
        if (state.printer && vexao::driver::sameMode(settings, state.settings)) return state.printer->startPage();
        state.printer.reset();  // one record at a time
        state.settings = settings;
        state.printer =
            std::make_unique<vexao::driver::PrintJob>(settings.params, settings.modelCode, state.output.file());
        return state.printer->ok();
    });
}

// Ends the started page with its form feed, whatever went wrong inside it,
// so that the printer is left at the top of a sheet.
bool endLibraryPage(pappl_job_t* job, RasterJob& state, pappl_device_t* device, unsigned page) {
    state.pageOpen = false;
    bool ended = withLibrary([&] { return state.printer->endPage(); });
    if (!flush(job, state, device)) return false;
    if (!ended)
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": " + state.printer->error() + ".");
    return true;
}

// Releases the work record; what the library sends at its end goes to the
// device while it is still open.
bool closeLibrary(pappl_job_t* job, RasterJob& state, pappl_device_t* device) {
    withLibrary([&] { state.printer.reset(); });
    return flush(job, state, device);
}

// A raster page is printed as its own header describes it. PAPPL gives a
// 1-bit page the job's header in the options; with the page's header there,
// PAPPL also reads and hands over the page's lines as they are.
bool takePageHeader(const RasterJob& state, pappl_pr_options_t& options) {
    if (!state.rasterDocument) return true;
    const cups_page_header2_t* pageHeader = lastPageHeaderRead();
    if (pageHeader == nullptr) return false;
    options.header = *pageHeader;
    return true;
}

// PAPPL repeats pictures for their copies itself; PWG and Apple raster come
// once, and the printer has no copies command, so the driver keeps what it
// sends in a spool file and sends it again.
bool keepCopies(pappl_job_t* job, const pappl_pr_options_t& options, RasterJob& state) {
    if (!state.rasterDocument || options.copies <= 1) return true;
    char name[1024];
    int descriptor = papplJobOpenFile(job, name, sizeof name, nullptr, "prn", "w");
    if (descriptor < 0) return false;
    close(descriptor);
    descriptor = open(name, O_RDWR | O_CLOEXEC);
    unlink(name);
    if (descriptor < 0) return false;
    state.output.keepCopy(descriptor);
    state.copiesToRepeat = options.copies - 1;
    return true;
}

// Sends the further copies, collated, unless the job is canceled.
bool sendCopies(pappl_job_t* job, RasterJob& state, pappl_device_t* device) {
    for (int copy = 0; copy < state.copiesToRepeat && !papplJobIsCanceled(job); ++copy) {
        if (!state.output.sendCopyTo(device))
            return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Cannot send copy " + std::to_string(copy + 2) + ".");
        papplJobSetImpressionsCompleted(job, static_cast<int>(state.pagesSent));
    }
    return true;
}

}  // namespace

bool isRasterDocument(pappl_job_t* job) {
    const char* format = papplJobGetFormat(job);
    return format != nullptr && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
}

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    if (data.extension == nullptr) return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "The printer has no model.");
    auto state = std::make_unique<RasterJob>(*static_cast<const Model*>(data.extension));
    if (state->output.file() == nullptr)
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "No memory for the printer stream.");
    state->rasterDocument = isRasterDocument(job);
    if (!keepCopies(job, *options, *state))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Cannot keep the job's stream for its copies.");
    papplJobSetData(job, state.release());
    return true;
}

bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    if (stateOf(job) == nullptr) return false;
    RasterJob& state = *stateOf(job);
    state.converter.reset();  // until this page proves printable
    state.pageSeen = true;
    // PAPPL starts each copy of a picture as a page: a canceled job sends no further page.
    if (papplJobIsCanceled(job)) return false;
    if (!takePageHeader(state, *options))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": its header is missing.");
    std::string reason;
    vexao::driver::RasterLayout layout;
    if (!vexao::driver::readLayout(options->header, layout, reason))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "Page " + std::to_string(page) + ": " + reason + ".");
    if (layout.additive && layout.colours == 3 && wantsBlackOnly(*options)) {
        layout.blackOnly = true;
        vexao::driver::assignInks(layout, layout.colours, layout.additive);
    }
    layout.lightInks = layout.inks == 4 && wantsLightInks(*options);
    const vexao::models::Quality& quality = vexao::models::qualityFor(state.model, options->print_quality);
    vexao::driver::PrintSettings settings = vexao::models::settingsFor(state.model, quality, layout.inks == 1);
    if (std::string problem = vexao::driver::pageProblem(layout, settings); !problem.empty())
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "Page " + std::to_string(page) + ": " + problem + ".");
    if (!startLibraryPage(state, settings))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": " + state.printer->error() + ".");
    state.pageOpen = true;
    state.layout = layout;
    state.converter = std::make_unique<vexao::driver::LineConverter>(layout, settings);
    state.planes.assign(VEXAO_MAX_PLANES, {});
    state.linesPrinted = 0;
    return true;
}

namespace {

// Hands the library every printed line that the raster lines so far make,
// and sends what it makes of them.
bool printReadyLines(pappl_job_t* job, RasterJob& state, pappl_device_t* device) {
    while (state.converter->ready()) {
        state.converter->next(state.planes);
        bool taken = withLibrary([&] { return state.printer->line(state.linesPrinted, state.planes); });
        if (!send(job, state, device)) return false;
        if (!taken)
            return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM,
                          "Line " + std::to_string(state.linesPrinted) + ": " + state.printer->error() + ".");
        ++state.linesPrinted;
    }
    return true;
}

}  // namespace

bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned, const unsigned char* line) {
    if (stateOf(job) == nullptr) return false;
    RasterJob& state = *stateOf(job);
    // A refused page or a failed line was reported once already; PAPPL may
    // go on to the page's end.
    if (!state.converter || !state.printer->ok()) return false;
    // The page of a canceled job ends where it is, with its form feed.
    if (papplJobIsCanceled(job) || state.converter->rasterLines() >= state.layout.height) return true;
    state.converter->add(line);
    return printReadyLines(job, state, device);
}

bool endRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned page) {
    if (stateOf(job) == nullptr) return false;
    RasterJob& state = *stateOf(job);
    if (!state.pageOpen) return false;  // the page was refused, and said why
    bool whole = state.converter->rasterLines() == state.layout.height;
    if (whole && state.printer->ok() && !papplJobIsCanceled(job)) {
        state.converter->endPage();
        printReadyLines(job, state, device);
    }
    bool lineFailed = !state.printer->ok();
    if (!endLibraryPage(job, state, device, page) || lineFailed) return false;
    if (!papplJobIsCanceled(job) && !whole)
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR,
                      "The document ends inside page " + std::to_string(page) + ", after line " +
                          std::to_string(state.converter->rasterLines()) + " of " +
                          std::to_string(state.layout.height) + ".");
    ++state.pagesSent;
    return true;
}

bool endRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    std::unique_ptr<RasterJob> state(stateOf(job));
    papplJobSetData(job, nullptr);
    if (!state) return false;
    // PAPPL leaves a page without its end when a line fails in a picture.
    bool pageEnded = !state->pageOpen || endLibraryPage(job, *state, device, state->pagesSent + 1);
    bool closed = closeLibrary(job, *state, device);
    // PAPPL ends a raster it cannot read before the first page without
    // saying why to the client.
    if (!state->pageSeen && !papplJobIsCanceled(job))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The document holds no page that can be read.");
    return pageEnded && closed && sendCopies(job, *state, device) && flush(job, *state, device);
}

void identifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message != nullptr ? message : "(no message)");
}

}  // namespace vexao::printer_app
