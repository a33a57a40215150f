#include "driver/print_job.h"

namespace vexao::driver {

namespace {

// The printer's form-feed command, with which the library ends every page in
// every mode. The job writes it itself when the library refuses to end one.
constexpr std::uint8_t kFormFeedCommand[] = {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};

}  // namespace

std::string describeResult(std::int32_t result) {
    switch (static_cast<std::int16_t>(result)) {
        case 0: return "success";
        case VEXAO_NO_ROOM: return "no room for output (memory ran out, or a line too long for the printer's buffers)";
        case VEXAO_NOT_COMPLETED: return "the previous output was not completed";
        case VEXAO_OPEN_FAILED: return "no memory for a work record";
        default: return "unknown result " + std::to_string(result);
    }
}

PrintJob::PrintJob(const OutputParams& params, std::int16_t modelCode, std::FILE* printer)
    : params_(params), printer_(printer) {
    std::int32_t opened = OutputOpen(&work_);
    if (opened != VEXAO_INTERFACE_VERSION) {
        error_ = "OutputOpen: " + describeResult(opened);
        return;
    }
    std::int32_t configured = OutputInitTwo(&work_, &params_, modelCode);
    if (configured != 0) error_ = "OutputInitTwo: " + describeResult(configured);
}

PrintJob::~PrintJob() {
    if (page_ == Page::begun) feedSheet();
    OutputComplete(&work_);
    OutputClose(&work_);
}

// A refused call left the record as it was, so it is completed and made
// once more: memory freed meanwhile may let it through (the job holds none of
// its own to give back). A second refusal is final: the output has no room
// (a line too long, too many chunks), which no retry cures, or memory is
// still short.
template <typename OutputCall>
std::int32_t PrintJob::callRetryingOnce(OutputCall call) {
    std::int32_t result = call();
    if (static_cast<std::int16_t>(result) != VEXAO_NO_ROOM) return result;
    OutputComplete(&work_);
    return call();
}

void PrintJob::write(const void* bytes, std::size_t length) {
    if (writeFailed_) return;
    writeFailed_ = std::fwrite(bytes, 1, length, printer_) != length;
    if (!writeFailed_) bytesSent_ += length;
}

// Sends the chunks of a granted call and acknowledges them.
void PrintJob::send(const OutputDesc* descriptor) {
    for (int i = 0; descriptor != nullptr && i < descriptor->count; ++i)
        write(descriptor->chunks[i].ptr, static_cast<std::size_t>(descriptor->chunks[i].len));
    OutputComplete(&work_);
}

std::int32_t PrintJob::feedSheet() {
    OutputComplete(&work_);
    OutputDesc* descriptor = nullptr;
    std::int32_t result = callRetryingOnce([&] { return OutputFormFeed(&work_, &descriptor); });
    if (result == 0) {
        send(descriptor);
    } else {
        write(kFormFeedCommand, sizeof kFormFeedCommand);
        OutputComplete(&work_);
    }
    page_ = Page::ended;
    return result;
}

bool PrintJob::startPage() {
    if (!ok()) return false;
    if (page_ == Page::ended) {
        OutputInitPart(&work_, &params_);
        page_ = Page::fresh;
    }
    return true;
}

bool PrintJob::line(std::int32_t lineNumber, std::vector<PlaneLine>& planes) {
    if (!ok()) return false;
    RasterInput input{};
    input.lineNumber = lineNumber;
    for (std::size_t k = 0; k < planes.size() && k < VEXAO_MAX_PLANES; ++k) {
        if (planes[k].bytes.empty()) continue;
        input.plane[k].data = planes[k].bytes.data();
        input.plane[k].pixelWidth = planes[k].pixelWidth;
    }
    OutputDesc* descriptor = nullptr;
    std::int32_t result = callRetryingOnce([&] { return OutputProduce(&work_, &input, &descriptor); });
    page_ = Page::begun;
    if (result != 0) {
        error_ = "OutputProduce: " + describeResult(result);
        feedSheet();  // the page goes no further, but its sheet still ends
        return false;
    }
    send(descriptor);
    return ok();
}

bool PrintJob::endPage() {
    if (!ok()) return false;
    std::int32_t result = feedSheet();
    if (result != 0) error_ = "OutputFormFeed: " + describeResult(result);
    if (!ok()) return false;
    ++pagesEnded_;
    return true;
}

}  // namespace vexao::driver
