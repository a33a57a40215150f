// File access by folder and name.

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "toolbox/file_size_internal.h"
#include "toolbox/resource_api.h"

namespace {

constexpr std::size_t kPathBufferSize = VEXAO_MAX_PATH + 1;
constexpr std::size_t kNameSize = sizeof(LibraryFile::name);

// Builds folder + "/" + name (the name alone for an empty folder) in `path`.
// Returns false, building nothing, when the record's strings cannot make a
// path: a name without its terminator, no folder, or too long a path.
bool buildPath(const LibraryFile& file, char (&path)[kPathBufferSize]) {
    std::size_t nameLength = strnlen(file.name, kNameSize);
    if (nameLength == kNameSize || file.folder == nullptr) return false;
    std::size_t folderLength = std::strlen(file.folder);
    std::size_t separator = folderLength != 0 ? 1 : 0;
    if (folderLength + separator + nameLength > VEXAO_MAX_PATH) return false;
    std::memset(path, 0, sizeof path);
    if (folderLength != 0) {
        MyMemCopy2(path, file.folder);
        MyStrCat(path, "/");
    }
    MyStrCat(path, file.name);
    return true;
}

std::int16_t openWith(LibraryFile* file, const char* mode) {
    char path[kPathBufferSize];
    if (!buildPath(*file, path)) {
        file->stream = nullptr;
        return VEXAO_FILE_ERROR;
    }
    file->stream = std::fopen(path, mode);
    return file->stream != nullptr ? 0 : VEXAO_FILE_ERROR;
}

}  // namespace

int16_t MyLoadLibrary2(LibraryFile* file, int16_t mode) noexcept {
    if (mode != 0 && mode != 1) return VEXAO_FILE_ERROR;
    return openWith(file, mode == 0 ? "r" : "r+");
}

void MyFreeLibrary2(LibraryFile* file) noexcept {
    if (file->stream == nullptr) return;
    std::fclose(file->stream);
    file->stream = nullptr;
}

int16_t MyCreateFile(LibraryFile* file) noexcept {
    std::int16_t result = openWith(file, "w+");
    MyFreeLibrary2(file);
    return result;
}

int32_t MySizeofFile(LibraryFile* file) noexcept {
    char path[kPathBufferSize];
    std::int64_t size = 0;
    // A size beyond 32 bits cannot be told: such a file is not found.
    if (!buildPath(*file, path) || !vexao::sizeOfPath(path, &size) || size > INT32_MAX) return VEXAO_FILE_ERROR;
    return static_cast<std::int32_t>(size);
}

int16_t MyFileRead(LibraryFile* file, void* buffer, int32_t length) noexcept {
    if (file->stream == nullptr || length < 0) return VEXAO_FILE_ERROR;
    std::size_t wanted = static_cast<std::size_t>(length);
    return std::fread(buffer, 1, wanted, file->stream) == wanted ? 0 : VEXAO_FILE_ERROR;
}

int16_t MyFileWrite(LibraryFile* file, const void* data, int32_t length) noexcept {
    if (file->stream == nullptr || length < 0) return VEXAO_FILE_ERROR;
    std::size_t wanted = static_cast<std::size_t>(length);
    return std::fwrite(data, 1, wanted, file->stream) == wanted ? 0 : VEXAO_FILE_ERROR;
}

int16_t MyFileSeek(LibraryFile* file, int32_t offset) noexcept {
    if (file->stream == nullptr) return VEXAO_FILE_ERROR;
    return std::fseek(file->stream, offset, SEEK_SET) == 0 ? 0 : VEXAO_FILE_ERROR;
}

void MyMemCopy2(char* destination, const char* source) noexcept { std::strcpy(destination, source); }

void MyStrCat(char* destination, const char* source) noexcept { std::strcat(destination, source); }
