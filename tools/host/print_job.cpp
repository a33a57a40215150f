#include "tools/host/print_job.h"

namespace vexao::tools {

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
    OutputComplete(&work_);
    OutputClose(&work_);
}

bool PrintJob::send(std::int32_t result, const OutputDesc* descriptor, const char* call) {
    if (result == 0 && descriptor != nullptr) {
        for (int i = 0; i < descriptor->count; ++i) {
            const Chunk& chunk = descriptor->chunks[i];
            if (std::fwrite(chunk.ptr, 1, static_cast<std::size_t>(chunk.len), printer_) !=
                static_cast<std::size_t>(chunk.len)) {
                error_ = "cannot write the printer stream";
                break;
            }
            bytesSent_ += static_cast<std::uint64_t>(chunk.len);
        }
    }
    OutputComplete(&work_);
    if (result != 0) error_ = std::string(call) + ": " + describeResult(result);
    return ok();
}

bool PrintJob::startPage() {
    if (!ok()) return false;
    if (!pageOpen_) OutputInitPart(&work_, &params_);
    pageOpen_ = true;
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
    std::int32_t result = OutputProduce(&work_, &input, &descriptor);
    return send(result, descriptor, "OutputProduce");
}

bool PrintJob::endPage() {
    if (!ok()) return false;
    OutputDesc* descriptor = nullptr;
    std::int32_t result = OutputFormFeed(&work_, &descriptor);
    pageOpen_ = false;
    if (!send(result, descriptor, "OutputFormFeed")) return false;
    ++pagesEnded_;
    return true;
}

}  // namespace vexao::tools
