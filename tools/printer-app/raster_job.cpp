#include "tools/printer-app/raster_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cups/raster_planes.h"
#include "tools/common/decimal.h"
#include "tools/host/print_job.h"
#include "tools/printer-app/drivers.h"
#include "tools/printer-app/job_settings.h"
#include "tools/printer-app/page_header_tap.h"

namespace vexao::printer_app {
namespace {

using vexao::models::Model;

// The library serves one caller at a time, and PAPPL prints each printer's
// jobs on a thread of their own: one job at a time holds the library, from
// its start to its end.
std::mutex libraryInUse;

// A stdio stream onto the device, so that PrintJob writes the library's
// chunks to the printer as it does to a file. It can keep a copy of all it
// sends, for the job's further copies.
class DeviceStream {
public:
    explicit DeviceStream(pappl_device_t* device)
        : device_(device), file_(fopencookie(this, "w", {nullptr, &DeviceStream::write, nullptr, nullptr})) {
        if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOFBF, kBuffer);
    }
    ~DeviceStream() {
        if (file_ != nullptr) std::fclose(file_);
        if (copy_ >= 0) close(copy_);
    }
    DeviceStream(const DeviceStream&) = delete;
    DeviceStream& operator=(const DeviceStream&) = delete;

    std::FILE* file() const { return file_; }
    // Keeps a copy of everything sent from now on in `descriptor`, a file
    // open for reading and writing that the stream closes.
    void keepCopy(int descriptor) { copy_ = descriptor; }
    // Sends the copy once more. False when it cannot be read or sent.
    bool sendCopy() {
        if (copy_ < 0 || lseek(copy_, 0, SEEK_SET) != 0) return false;
        std::vector<char> block(kBuffer);
        for (ssize_t got; (got = read(copy_, block.data(), block.size())) != 0;)
            if (got < 0 || !sendAll(device_, block.data(), static_cast<std::size_t>(got))) return false;
        return true;
    }

private:
    static constexpr std::size_t kBuffer = 64 * 1024;

    static bool sendAll(pappl_device_t* device, const char* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            ssize_t written = papplDeviceWrite(device, data + done, size - done);
            if (written <= 0) return false;
            done += static_cast<std::size_t>(written);
        }
        return true;
    }

    static ssize_t write(void* cookie, const char* data, std::size_t size) {
        auto& stream = *static_cast<DeviceStream*>(cookie);
        if (!sendAll(stream.device_, data, size)) return -1;
        if (stream.copy_ >= 0 && ::write(stream.copy_, data, size) != static_cast<ssize_t>(size)) return -1;
        return static_cast<ssize_t>(size);
    }

    pappl_device_t* device_;
    int copy_ = -1;
    std::FILE* file_;
};

// What a job keeps between callbacks. The library's turn is taken first and
// given back last, after the work record is closed.
struct RasterJob {
    RasterJob(pappl_device_t* device, const Model& printerModel)
        : turn(libraryInUse), stream(device), model(printerModel) {}

    std::unique_lock<std::mutex> turn;
    DeviceStream stream;
    const Model& model;
    std::unique_ptr<vexao::tools::PrintJob> printer;
    vexao::cups::PrintSettings settings;
    vexao::cups::RasterLayout layout;
    std::unique_ptr<vexao::cups::LineConverter> converter;
    std::vector<vexao::tools::PlaneLine> planes;
    unsigned linesDone = 0;  // of the current page
    int copiesToRepeat = 0;  // further copies that the driver sends, from the kept copy
    unsigned pagesSent = 0;
    bool rasterDocument = false;   // PWG or Apple raster, whose pages bring their own header
    bool pageSeen = false;
};

RasterJob* stateOf(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// Ends the job with `reason` and a message that says what went wrong.
bool refuse(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
    papplJobSetMessage(job, "%s", message.c_str());
    papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
    return false;
}

// The job's choices from its attributes and the page's raster.
JobChoices choicesOf(const pappl_pr_options_t& options, const vexao::cups::RasterLayout& layout) {
    JobChoices choices;
    choices.ippQuality = options.print_quality;
    const char* bandHeight = cupsGetOption(kBandHeightAttribute, options.num_vendor, options.vendor);
    if (bandHeight != nullptr) vexao::tools::parseDecimal(bandHeight, 8, 16, choices.bandHeight);
    choices.blackOnly = layout.inks == 1;
    return choices;
}

bool wantsLightInks(const pappl_pr_options_t& options) {
    const char* lightInks = cupsGetOption(kLightInksAttribute, options.num_vendor, options.vendor);
    return lightInks != nullptr && std::strcmp(lightInks, "true") == 0;
}

// Opens a fresh work record when the page's settings differ from the last
// page's; the library selects a mode only when a record is configured.
bool configure(RasterJob& state, const vexao::cups::PrintSettings& settings) {
    if (state.printer && vexao::cups::sameMode(settings, state.settings)) return state.printer->startPage();
    state.printer.reset();  // one record at a time
    state.settings = settings;
    state.printer = std::make_unique<vexao::tools::PrintJob>(settings.params, settings.modelCode, state.stream.file());
    return state.printer->ok();
}

// Sends what the stream holds to the printer.
bool flush(RasterJob& state, pappl_device_t* device) {
    bool flushed = std::fflush(state.stream.file()) == 0;
    papplDeviceFlush(device);
    return flushed;
}

bool isRasterDocument(pappl_job_t* job) {
    const char* format = papplJobGetFormat(job);
    return format != nullptr && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
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
    state.stream.keepCopy(descriptor);
    state.copiesToRepeat = options.copies - 1;
    return true;
}

// Sends the further copies, collated, unless the job is canceled.
bool sendCopies(pappl_job_t* job, RasterJob& state) {
    for (int copy = 0; copy < state.copiesToRepeat && !papplJobIsCanceled(job); ++copy) {
        if (!state.stream.sendCopy())
            return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Cannot send copy " + std::to_string(copy + 2) + ".");
        papplJobSetImpressionsCompleted(job, static_cast<int>(state.pagesSent));
    }
    return true;
}

}  // namespace

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    if (data.extension == nullptr) return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "The printer has no model.");
    auto state = std::make_unique<RasterJob>(device, *static_cast<const Model*>(data.extension));
    if (state->stream.file() == nullptr)
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
    if (!takePageHeader(state, *options))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": its header is missing.");
    std::string reason;
    vexao::cups::RasterLayout layout;
    if (!vexao::cups::readLayout(options->header, layout, reason))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "Page " + std::to_string(page) + ": " + reason + ".");
    layout.lightInks = layout.inks == 4 && wantsLightInks(*options);
    vexao::cups::PrintSettings settings = vexao::cups::settingsFor(paramsFor(state.model, choicesOf(*options, layout)));
    if (!configure(state, settings))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": " + state.printer->error() + ".");
    if (!vexao::cups::coloursFitMode(layout, state.settings, reason))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "Page " + std::to_string(page) + ": " + reason + ".");
    state.layout = layout;
    state.converter = std::make_unique<vexao::cups::LineConverter>(layout, state.settings);
    state.planes.assign(VEXAO_MAX_PLANES, {});
    state.linesDone = 0;
    return true;
}

bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line) {
    if (stateOf(job) == nullptr) return false;
    RasterJob& state = *stateOf(job);
    // A refused page or a failed line was reported once already; PAPPL may
    // go on to the page's end.
    if (!state.converter || !state.printer->ok()) return false;
    if (y >= static_cast<unsigned>(state.layout.height)) return true;
    state.converter->convert(line, state.planes);
    if (!state.printer->line(static_cast<std::int32_t>(y), state.planes))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Line " + std::to_string(y) + ": " + state.printer->error() + ".");
    state.linesDone = y + 1;
    return true;
}

// A page always ends with its form feed, a canceled or cut-short one too, so
// that the printer is left at the top of a sheet.
bool endRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned page) {
    if (stateOf(job) == nullptr) return false;
    RasterJob& state = *stateOf(job);
    if (!state.converter || !state.printer->ok()) return false;
    if (!state.printer->endPage() || !flush(state, device))
        return refuse(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, "Page " + std::to_string(page) + ": " + state.printer->error() + ".");
    if (!papplJobIsCanceled(job) && state.linesDone < static_cast<unsigned>(state.layout.height))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR,
                      "The document ends inside page " + std::to_string(page) + ", after line " +
                          std::to_string(state.linesDone) + " of " + std::to_string(state.layout.height) + ".");
    ++state.pagesSent;
    return true;
}

bool endRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    std::unique_ptr<RasterJob> state(stateOf(job));
    papplJobSetData(job, nullptr);
    if (!state) return false;
    // PAPPL ends a raster it cannot read before the first page without
    // saying why to the client.
    if (!state->pageSeen && !papplJobIsCanceled(job))
        return refuse(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "The document holds no page that can be read.");
    bool printed = flush(*state, device) && (!state->printer || state->printer->ok());
    return printed && sendCopies(job, *state) && flush(*state, device);
}

void identifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message != nullptr ? message : "(no message)");
}

}  // namespace vexao::printer_app
