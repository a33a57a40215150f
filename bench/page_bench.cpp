// Line production and whole pages through the library, next to the bandwidth
// limits of the same bytes: a scan for a byte that never occurs (memchr) and
// a copy (memcpy).
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "bench/raster_pages.h"
#include "output/output_api.h"

namespace vexao_bench {
namespace {

// Pages are expensive to build, so each is built once and shared.
RasterPage& page(Content content, PlaneFormat format) {
    static std::map<std::pair<int, int>, std::unique_ptr<RasterPage>> pages;
    auto& slot = pages[{static_cast<int>(content), format.planes}];
    if (!slot) slot = std::make_unique<RasterPage>(content, format);
    return *slot;
}

// A record configured for one page format, driven as a host drives it: the
// chunks of every call are read (summed) and then completed.
class Printer {
public:
    Printer(PlaneFormat format, bool multiRaster) : params_(pageParams(format, multiRaster)) {
        if (OutputOpen(&work_) != VEXAO_INTERFACE_VERSION || OutputInitTwo(&work_, &params_, params_.modelCode) != 0)
            failed_ = true;
    }
    ~Printer() { OutputClose(&work_); }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    bool failed() const { return failed_; }
    void line(RasterInput input) {
        OutputDesc* descriptor = nullptr;
        std::int32_t result = OutputProduce(&work_, &input, &descriptor);
        take(result, descriptor);
    }
    void endPage() {
        OutputDesc* descriptor = nullptr;
        std::int32_t result = OutputFormFeed(&work_, &descriptor);
        take(result, descriptor);
        OutputInitPart(&work_, &params_);
    }
    std::int64_t bytesSent() const { return bytesSent_; }

private:
    void take(std::int32_t result, const OutputDesc* descriptor) {
        if (result != 0) failed_ = true;
        for (int i = 0; result == 0 && i < descriptor->count; ++i) bytesSent_ += descriptor->chunks[i].len;
        OutputComplete(&work_);
    }

    OutputParams params_;
    MasterWork* work_ = nullptr;
    std::int64_t bytesSent_ = 0;
    bool failed_ = false;
};

void reportBytes(benchmark::State& state, std::int64_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytesPerIteration);
}

// The scan limit: memchr over every plane of one line for a byte value that
// is not there, so it reads all of them.
void memchrLine(benchmark::State& state, Content content, PlaneFormat format) {
    RasterPage& raster = page(content, format);
    for (auto _ : state)
        for (int k = 0; k < raster.planes(); ++k)
            benchmark::DoNotOptimize(std::memchr(raster.plane(0, k), 0xEE, raster.lineBytes()));
    reportBytes(state, static_cast<std::int64_t>(raster.planes()) * raster.lineBytes());
}

// The copy limit: memcpy of every plane line of a page, into a second pool.
void memcpyPage(benchmark::State& state, PlaneFormat format) {
    RasterPage& raster = page(Content::DensePhoto, format);
    std::vector<std::uint8_t> copy(static_cast<std::size_t>(raster.poolLines()) * raster.planes() * raster.lineBytes());
    for (auto _ : state) {
        for (int line = 0; line < kPageLines; ++line)
            for (int k = 0; k < raster.planes(); ++k) {
                std::size_t slot = (static_cast<std::size_t>(line % raster.poolLines()) * raster.planes() + k);
                std::memcpy(copy.data() + slot * raster.lineBytes(), raster.plane(line, k), raster.lineBytes());
            }
        benchmark::ClobberMemory();
    }
    reportBytes(state, raster.pageBytes());
}

// One OutputProduce call (and its OutputComplete) for each line of a page in
// turn; the form feed at the end of each page is part of the measure.
void produceLine(benchmark::State& state, Content content, PlaneFormat format, bool multiRaster) {
    RasterPage& raster = page(content, format);
    Printer printer(format, multiRaster);
    int line = 0;
    for (auto _ : state) {
        printer.line(raster.input(line));
        if (++line == kPageLines) {
            printer.endPage();
            line = 0;
        }
    }
    if (printer.failed()) state.SkipWithError("the library refused a line");
    reportBytes(state, static_cast<std::int64_t>(raster.planes()) * raster.lineBytes());
}

// A line with no ink at all, and one with a single mark in the middle of the
// black plane, handed in again and again: the same bytes as memchr reads.
void produceBlankLine(benchmark::State& state, PlaneFormat format, bool oneMark) {
    RasterPage& raster = page(Content::Blank, format);
    std::vector<std::uint8_t> marked(raster.plane(0, 0), raster.plane(0, 0) + raster.lineBytes());
    if (oneMark) marked[marked.size() / 2] = 0x40;
    Printer printer(format, false);
    int line = 0;
    for (auto _ : state) {
        RasterInput input = raster.input(0);
        input.lineNumber = line++;
        input.plane[0].data = marked.data();
        printer.line(input);
    }
    if (printer.failed()) state.SkipWithError("the library refused a line");
    reportBytes(state, static_cast<std::int64_t>(raster.planes()) * raster.lineBytes());
}

void wholePage(benchmark::State& state, Content content, PlaneFormat format, bool multiRaster) {
    RasterPage& raster = page(content, format);
    Printer printer(format, multiRaster);
    for (auto _ : state) {
        for (int line = 0; line < kPageLines; ++line) printer.line(raster.input(line));
        printer.endPage();
    }
    if (printer.failed()) state.SkipWithError("the library refused a line");
    state.counters["stream_MB"] = static_cast<double>(printer.bytesSent()) / state.iterations() / 1e6;
    reportBytes(state, raster.pageBytes());
}

void registerFormat(PlaneFormat format) {
    using benchmark::RegisterBenchmark;
    std::string f = format.name;
    RegisterBenchmark(("baseline_memchr/line/" + f).c_str(), memchrLine, Content::Blank, format);
    RegisterBenchmark(("baseline_memcpy/page/" + f).c_str(), memcpyPage, format)->Unit(benchmark::kMillisecond);
    RegisterBenchmark(("produce/blank_line/" + f).c_str(), produceBlankLine, format, false);
    RegisterBenchmark(("produce/near_blank_line/" + f).c_str(), produceBlankLine, format, true);
    for (bool multi : {false, true}) {
        std::string mode = multi ? "multi" : "normal";
        RegisterBenchmark(("produce/photo_line/" + f + "/" + mode).c_str(), produceLine, Content::DensePhoto, format,
                          multi);
        for (Content content : {Content::SparseText, Content::DensePhoto, Content::Blank})
            RegisterBenchmark(("page/" + f + "/" + mode + "/" + contentName(content)).c_str(), wholePage, content,
                              format, multi)
                ->Unit(benchmark::kMillisecond);
    }
}

const bool registered = [] {
    registerFormat(kSixPlanesFourBits);
    registerFormat(kFourPlanesOneBit);
    return true;
}();

}  // namespace
}  // namespace vexao_bench
