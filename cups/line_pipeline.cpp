#include "cups/line_pipeline.h"

#include <algorithm>

namespace vexao::cups {

LinePipeline::LinePipeline(int lines, std::function<bool(int, Planes&)> convert)
    : convert_(std::move(convert)), slots_(kDepth), lines_(lines), thread_(&LinePipeline::run, this, lines) {}

LinePipeline::~LinePipeline() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// Each side sleeps only for a batch of lines, not for every line, so that
// the two threads seldom wake each other.
void LinePipeline::run(int lines) {
    for (int line = 0; line < lines; ++line) {
        {
            // A slot is free once the caller has taken a later line.
            std::unique_lock<std::mutex> lock(mutex_);
            if (line >= taken_ + kDepth) {
                converterWaits_ = true;
                changed_.wait(lock, [&] { return stopping_ || line + kBatch <= taken_ + kDepth; });
                converterWaits_ = false;
            }
            if (stopping_) return;
        }
        bool converted = convert_(line, slots_[line % kDepth]);
        std::lock_guard<std::mutex> lock(mutex_);
        if (converted) converted_ = line + 1;
        else failed_ = true;
        if (!converted || converted_ >= callerWants_) changed_.notify_all();
        if (!converted) return;
    }
}

LinePipeline::Planes* LinePipeline::take(int line) {
    std::unique_lock<std::mutex> lock(mutex_);
    taken_ = line;
    if (converterWaits_) changed_.notify_all();
    if (converted_ <= line && !failed_) {
        callerWants_ = std::min(line + kBatch, lines_);
        changed_.wait(lock, [&] { return converted_ >= callerWants_ || failed_; });
    }
    return converted_ > line ? &slots_[line % kDepth] : nullptr;
}

}  // namespace vexao::cups
