// A print job driven through libvexao105 exactly as a host must drive it:
// open, configure, and per page the lines (each followed by sending its
// chunks and OutputComplete), the form feed, and at the end the release.
// The host program and the CUPS filter share it.
#ifndef VEXAO_TOOLS_HOST_PRINT_JOB_H
#define VEXAO_TOOLS_HOST_PRINT_JOB_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/output_api.h"

namespace vexao::tools {

// The meaning of a library result, for messages.
std::string describeResult(std::int32_t result);

// One plane of one raster line: packed bytes as the library reads them, and
// the pixel width they hold. An empty plane is absent from the line.
struct PlaneLine {
    std::vector<std::uint8_t> bytes;
    std::int16_t pixelWidth = 0;
};

class PrintJob {
public:
    // Opens and configures a record for `params` and model `modelCode`; the
    // printer stream goes to `printer`. On failure, ok() is false and error()
    // says why.
    PrintJob(const OutputParams& params, std::int16_t modelCode, std::FILE* printer);
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Starts a page; the first page needs no call.
    bool startPage();
    // Hands in raster line `lineNumber` of the current page. `planes` may hold
    // fewer entries than the mode's planes; the library may clear up to two
    // bytes before a plane's first ink, so they are passed by reference.
    bool line(std::int32_t lineNumber, std::vector<PlaneLine>& planes);
    // Ends the page with the form feed.
    bool endPage();

    std::uint64_t bytesSent() const { return bytesSent_; }
    int pagesEnded() const { return pagesEnded_; }

private:
    bool send(std::int32_t result, const OutputDesc* descriptor, const char* call);

    MasterWork* work_ = nullptr;
    OutputParams params_;
    std::FILE* printer_;
    std::string error_;
    std::uint64_t bytesSent_ = 0;
    int pagesEnded_ = 0;
    bool pageOpen_ = true;
};

}  // namespace vexao::tools

#endif
