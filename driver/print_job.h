// A print job driven through libvexao105 exactly as a host must drive it:
// open, configure, and per page the lines (each followed by sending its
// chunks and OutputComplete), the form feed, and at the end the release.
// The host program, the CUPS filter and the printer application share it.
//
// A call that the library refuses with -128 changed nothing, so it is made
// once more; a second refusal is final. Whatever is refused, every page that
// was begun is ended with a form feed, so the printer is never left in the
// middle of a sheet.
#ifndef VEXAO_DRIVER_PRINT_JOB_H
#define VEXAO_DRIVER_PRINT_JOB_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/output_api.h"

namespace vexao::driver {

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

    bool ok() const { return error_.empty() && !writeFailed_; }
    std::string error() const { return writeFailed_ ? "cannot write the printer stream" : error_; }

    // Starts a page; the first page needs no call.
    bool startPage();
    // Hands in raster line `lineNumber` of the current page. `planes` may hold
    // fewer entries than the mode's planes; the library may clear up to two
    // bytes before a plane's first ink, so they are passed by reference. A
    // line that the library refuses ends the page and the job.
    bool line(std::int32_t lineNumber, std::vector<PlaneLine>& planes);
    // Ends the page with the form feed.
    bool endPage();

    std::uint64_t bytesSent() const { return bytesSent_; }
    int pagesEnded() const { return pagesEnded_; }

private:
    // Where the record stands in its page.
    enum class Page { fresh, begun, ended };

    template <typename OutputCall>
    std::int32_t callRetryingOnce(OutputCall call);
    void send(const OutputDesc* descriptor);
    void write(const void* bytes, std::size_t length);
    // Ends the sheet; returns the form feed's result. Allocates nothing
    // outside the library, for the destructor's sake.
    std::int32_t feedSheet();

    MasterWork* work_ = nullptr;
    OutputParams params_;
    std::FILE* printer_;
    std::string error_;  // the library's refusal
    bool writeFailed_ = false;
    std::uint64_t bytesSent_ = 0;
    int pagesEnded_ = 0;
    Page page_ = Page::fresh;
};

}  // namespace vexao::driver

#endif
