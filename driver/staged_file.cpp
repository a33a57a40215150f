#include "driver/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace vexao::driver {

StagedFile::StagedFile(const std::string& path) : path_(path) {
    struct stat existing {};
    bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        stream_ = std::fopen(path.c_str(), "wb");
        if (stream_ == nullptr) error_ = path + ": " + std::strerror(errno);
        return;
    }
    // A symbolic link stays a link: the file it leads to is the one replaced.
    char resolved[PATH_MAX];
    target_ = exists && ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    // A replaced file keeps its permissions; a new one gets those fopen gives.
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~mask;
    if (!stage() || ::fchmod(fileno(stream_), mode) != 0) {
        error_ = path + ": " + std::strerror(errno);
        discard();
    }
}

StagedFile::~StagedFile() { discard(); }

bool StagedFile::stage() {
    std::string pattern = target_ + ".XXXXXX";
    int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0) return false;
    temporary_ = pattern;
    stream_ = ::fdopen(descriptor, "wb");
    if (stream_ == nullptr) ::close(descriptor);
    return stream_ != nullptr;
}

void StagedFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    temporary_.clear();
}

bool StagedFile::commit() {
    if (stream_ == nullptr) return false;
    bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (written && closed && (temporary_.empty() || std::rename(temporary_.c_str(), target_.c_str()) == 0)) {
        temporary_.clear();
        return true;
    }
    error_ = path_ + ": " + std::strerror(errno);
    discard();
    return false;
}

}  // namespace vexao::driver
