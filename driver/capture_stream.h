// A stdio stream whose bytes go straight to a function of its owner's. The
// host job writes the printer stream to a FILE; front ends that must hold
// the bytes before they send them (a whole page, or what one library call
// made) hand it one of these.
#ifndef VEXAO_DRIVER_CAPTURE_STREAM_H
#define VEXAO_DRIVER_CAPTURE_STREAM_H

#include <cstddef>
#include <cstdio>
#include <functional>

namespace vexao::driver {

class CaptureStream {
public:
    // Takes `size` bytes; false when they cannot be kept, which fails the write.
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    explicit CaptureStream(Sink sink);
    ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // The stream, unbuffered: every write reaches the sink before it returns.
    // Null when no stream could be made.
    std::FILE* file() const { return file_; }

private:
    static ssize_t write(void* cookie, const char* data, std::size_t size);

    Sink sink_;
    std::FILE* file_;
};

}  // namespace vexao::driver

#endif
