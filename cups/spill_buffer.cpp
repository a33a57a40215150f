#include "cups/spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vexao::cups {

namespace {

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace

SpillBuffer::SpillBuffer(std::uint64_t memoryBound) : inMemory_(memoryBound / kChunk * kChunk) {}

SpillBuffer::~SpillBuffer() {
    if (file_ >= 0) close(file_);
}

bool SpillBuffer::append(const void* bytes, std::size_t length) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    std::uint64_t roomInMemory = size_ < inMemory_ ? inMemory_ - size_ : 0;
    auto toMemory = static_cast<std::size_t>(std::min<std::uint64_t>(length, roomInMemory));
    appendToMemory(from, toMemory);
    return toMemory == length || appendToFile(from + toMemory, length - toMemory);
}

void SpillBuffer::appendToMemory(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        auto chunk = static_cast<std::size_t>(size_ / kChunk), offset = static_cast<std::size_t>(size_ % kChunk);
        if (chunk == chunks_.size()) chunks_.push_back(std::make_unique<std::uint8_t[]>(kChunk));
        std::size_t piece = std::min(length - done, kChunk - offset);
        std::memcpy(chunks_[chunk].get() + offset, bytes + done, piece);
        size_ += piece;
        done += piece;
    }
}

bool SpillBuffer::openFile() {
    std::string path = temporaryFolder() + "/rastertovexao-XXXXXX";
    file_ = mkostemp(path.data(), O_CLOEXEC);
    if (file_ < 0)
        return error_ = "cannot make a temporary file in " + temporaryFolder() + ": " + std::strerror(errno), false;
    unlink(path.c_str());
    return true;
}

bool SpillBuffer::appendToFile(const std::uint8_t* bytes, std::size_t length) {
    if (file_ < 0 && !openFile()) return false;
    for (std::size_t done = 0; done < length;) {
        ssize_t written = pwrite(file_, bytes + done, length - done, static_cast<off_t>(size_ - inMemory_));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            return error_ = std::string("cannot write the temporary file: ") + std::strerror(errno), false;
        done += static_cast<std::size_t>(written);
        size_ += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool SpillBuffer::read(std::uint64_t offset, void* to, std::size_t length) {
    auto* into = static_cast<std::uint8_t*>(to);
    if (offset > size_ || length > size_ - offset) return error_ = "a read past the end of the buffer", false;
    while (length > 0 && offset < inMemory_) {
        std::size_t within = static_cast<std::size_t>(offset % kChunk);
        std::size_t piece = std::min(length, kChunk - within);
        std::memcpy(into, chunks_[static_cast<std::size_t>(offset / kChunk)].get() + within, piece);
        into += piece;
        offset += piece;
        length -= piece;
    }
    return length == 0 || readFile(offset - inMemory_, into, length);
}

bool SpillBuffer::readFile(std::uint64_t offset, std::uint8_t* to, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        ssize_t got = pread(file_, to + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return error_ = std::string("cannot read the temporary file: ") + std::strerror(errno), false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool SpillBuffer::writeTo(std::FILE* out) {
    std::vector<std::uint8_t> piece(std::min<std::uint64_t>(size_, kChunk));
    for (std::uint64_t at = 0; at < size_; at += piece.size()) {
        std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size_ - at));
        if (!read(at, piece.data(), length)) return false;
        if (std::fwrite(piece.data(), 1, length, out) != length)
            return error_ = std::string("cannot write the printer stream: ") + std::strerror(errno), false;
    }
    return true;
}

void SpillBuffer::clear() {
    size_ = 0;
    // Gives the disk space back; the file itself serves the next use.
    if (file_ >= 0 && ftruncate(file_, 0) != 0) {
        close(file_);
        file_ = -1;
    }
}

}  // namespace vexao::cups
