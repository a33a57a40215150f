// Bytes kept in memory up to a bound, and past it in a temporary file that
// is unlinked as soon as it is made, so that the filter's memory stays
// bounded whatever the size of a page, and nothing is left behind on disk
// when the filter ends, however it ends.
#ifndef VEXAO_CUPS_SPILL_BUFFER_H
#define VEXAO_CUPS_SPILL_BUFFER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexao::cups {

class SpillBuffer {
public:
    // Keeps up to `memoryBound` bytes in memory (whole chunks of 1 MB); the
    // temporary file goes into $TMPDIR, or /tmp.
    explicit SpillBuffer(std::uint64_t memoryBound);
    ~SpillBuffer();
    SpillBuffer(const SpillBuffer&) = delete;
    SpillBuffer& operator=(const SpillBuffer&) = delete;

    // Each returns false when the temporary file cannot be made, written or
    // read; error() then says why, until the next failure.
    bool append(const void* bytes, std::size_t length);
    bool read(std::uint64_t offset, void* to, std::size_t length);
    bool writeTo(std::FILE* out);

    // Empties the buffer; memory chunks are kept for the next use.
    void clear();
    std::uint64_t size() const { return size_; }
    const std::string& error() const { return error_; }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;

    void appendToMemory(const std::uint8_t* bytes, std::size_t length);
    bool appendToFile(const std::uint8_t* bytes, std::size_t length);
    bool readFile(std::uint64_t offset, std::uint8_t* to, std::size_t length);
    bool openFile();

    std::uint64_t inMemory_;  // the bytes that memory holds at most: whole chunks
    std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
    std::uint64_t size_ = 0;
    int file_ = -1;
    std::string error_;
};

}  // namespace vexao::cups

#endif
