// Lines converted on a thread of their own, ahead of the thread that hands
// them to the library: reading and halftoning one line overlaps with the
// library's work on the line before, on two processors. The library still
// receives the lines one by one, in order, from one thread, so the stream is
// the same whatever the timing.
#ifndef VEXAO_CUPS_LINE_PIPELINE_H
#define VEXAO_CUPS_LINE_PIPELINE_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/print_job.h"

namespace vexao::cups {

class LinePipeline {
public:
    using Planes = std::vector<vexao::driver::PlaneLine>;
    // Converts lines 0 to lines - 1 with `convert`, which fills the planes of
    // one line and says whether it could.
    LinePipeline(int lines, std::function<bool(int line, Planes& planes)> convert);
    // Stops converting and waits for the thread.
    ~LinePipeline();
    LinePipeline(const LinePipeline&) = delete;
    LinePipeline& operator=(const LinePipeline&) = delete;

    // The planes of line `line`, taken in order from 0: they stay the
    // caller's until the next take. Null when the line could not be converted.
    Planes* take(int line);

private:
    void run(int lines);

    static constexpr int kDepth = 64;  // lines converted ahead, at most
    static constexpr int kBatch = 16;  // lines that a sleeping side waits for
    std::function<bool(int, Planes&)> convert_;
    std::vector<Planes> slots_;
    int lines_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int converted_ = 0;    // lines ready
    int taken_ = 0;        // the line the caller holds; those before it are free
    int callerWants_ = 0;  // the caller sleeps until this many lines are ready
    bool converterWaits_ = false, failed_ = false, stopping_ = false;
    std::thread thread_;
};

}  // namespace vexao::cups

#endif
