#include "driver/capture_stream.h"

#include <utility>

namespace vexao::driver {

CaptureStream::CaptureStream(Sink sink)
    : sink_(std::move(sink)), file_(fopencookie(this, "w", {nullptr, &CaptureStream::write, nullptr, nullptr})) {
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
}

CaptureStream::~CaptureStream() {
    if (file_ != nullptr) std::fclose(file_);
}

ssize_t CaptureStream::write(void* cookie, const char* data, std::size_t size) {
    return static_cast<CaptureStream*>(cookie)->sink_(data, size) ? static_cast<ssize_t>(size) : -1;
}

}  // namespace vexao::driver
