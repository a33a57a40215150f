// An output file that appears only when it is complete: it is written under a
// temporary name beside its final path and renamed into place by commit(), so
// a tool that fails midway leaves no partial file, and an older file of that
// name stays as it was. Devices and pipes (/dev/null, a FIFO) are written
// directly, since they cannot be replaced.
#ifndef VEXAO_DRIVER_STAGED_FILE_H
#define VEXAO_DRIVER_STAGED_FILE_H

#include <cstdio>
#include <string>

namespace vexao::driver {

class StagedFile {
public:
    // Opens the file to write; on failure stream() is null and error() names the
    // path and the reason.
    explicit StagedFile(const std::string& path);
    // Removes the temporary file unless commit() succeeded.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    std::FILE* stream() const { return stream_; }
    const std::string& error() const { return error_; }

    // Flushes and closes the file and puts it in place. Returns false, with
    // the temporary file removed and error() set, when any step fails.
    bool commit();

private:
    // Creates the temporary file beside target_.
    bool stage();
    void discard();

    std::string path_;
    std::string target_;     // the file that commit() replaces
    std::string temporary_;  // empty when written directly
    std::string error_;
    std::FILE* stream_ = nullptr;
};

}  // namespace vexao::driver

#endif
