// Tables in little-endian resource files: lookup, load and write-back.
//
// Numbers are assembled from their little-endian bytes, which reads right on
// a host of either byte order. Every position and count read from the file is
// checked against the file's size before it is used, so a corrupt or hostile
// file can only yield -138: nothing is read or written outside a block, and
// nothing larger than the file is allocated.

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "toolbox/file_size_internal.h"
#include "toolbox/resource_api.h"
#include "toolbox/toolbox_api.h"

namespace {

constexpr std::int32_t kEntrySize = 12;

std::int32_t littleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::int16_t littleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
}

bool readWordAt(LibraryFile* file, std::int32_t position, std::int32_t* value) {
    std::uint8_t bytes[4];
    if (MyFileSeek(file, position) != 0 || MyFileRead(file, bytes, 4) != 0) return false;
    *value = littleEndian32(bytes);
    return true;
}

// The size of the open file, or -1.
std::int32_t streamSize(LibraryFile* file) {
    std::int64_t size = 0;
    if (file->stream == nullptr || !vexao::sizeOfStream(file->stream, &size)) return -1;
    return size > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(size);
}

// Whether `count` items of `size` bytes fit in the file from `position` on.
bool fitsInFile(std::int32_t position, std::int32_t count, std::int32_t size, std::int32_t fileSize) {
    return position >= 0 && count >= 0 && position <= fileSize && count <= (fileSize - position) / size;
}

// The data position of the first entry with the wanted type key and
// identifier, or -1.
std::int32_t scanEntries(const std::uint8_t* entries, std::int32_t count, const ResourceRec& resource) {
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = entries + i * kEntrySize;
        if (littleEndian32(entry) == resource.resType && littleEndian16(entry + 4) == resource.resId)
            return littleEndian32(entry + 8);
    }
    return -1;
}

// Finds the table: returns its length and leaves the stream at its first data
// byte (`dataStart`), or returns -138 or -108.
std::int32_t findResource(LibraryFile* file, const ResourceRec& resource, std::int32_t* dataStart) {
    std::int32_t fileSize = streamSize(file);
    std::int32_t indexPos, entryCount;
    if (fileSize < 0 || !readWordAt(file, resource.resType, &indexPos) || !fitsInFile(indexPos, 1, 4, fileSize) ||
        !readWordAt(file, indexPos, &entryCount) || !fitsInFile(indexPos + 4, entryCount, kEntrySize, fileSize) ||
        entryCount == 0)
        return VEXAO_FILE_ERROR;

    auto* entries = static_cast<std::uint8_t*>(MyNewPtr(static_cast<std::uint32_t>(entryCount) * kEntrySize));
    if (entries == nullptr) return VEXAO_OUT_OF_MEMORY;
    bool read = MyFileRead(file, entries, entryCount * kEntrySize) == 0;
    std::int32_t dataPos = read ? scanEntries(entries, entryCount, resource) : -1;
    MyDisposePtr(entries);

    std::int32_t length;
    if (!fitsInFile(dataPos, 1, 4, fileSize) || !readWordAt(file, dataPos, &length) ||
        !fitsInFile(dataPos + 4, length, 1, fileSize))
        return VEXAO_FILE_ERROR;
    *dataStart = dataPos + 4;
    return length;
}

}  // namespace

int16_t MyLoadLockResource2(LibraryFile* file, ResourceRec* resource) noexcept {
    std::int32_t dataStart;
    std::int32_t length = findResource(file, *resource, &dataStart);
    if (length < 0) return static_cast<std::int16_t>(length);
    if (static_cast<std::int16_t>(MyNewPH(static_cast<std::uint32_t>(length), &resource->dataHandle)) != 0)
        return VEXAO_OUT_OF_MEMORY;
    resource->dataPtr = resource->dataHandle.block;
    if (MyFileRead(file, resource->dataPtr, length) != 0) return VEXAO_FILE_ERROR;
    if (SwapBinaryDataCheck() == 1) SwapBinaryData(resource->dataPtr, length, resource->elemSize);
    resource->dataLen = length;
    return 0;
}

void MyUnlockFreeResource2(ResourceRec* resource) noexcept {
    MyDisposePH(&resource->dataHandle);
    resource->dataPtr = nullptr;
}

int16_t MyWriteTable(LibraryFile* file, ResourceRec* resource, int32_t length) noexcept {
    std::int32_t dataStart;
    std::int32_t stored = findResource(file, *resource, &dataStart);
    if (stored < 0 || stored != length || (length > 0 && resource->dataPtr == nullptr)) return VEXAO_FILE_ERROR;
    // The stream has just read the length word; it must be positioned again
    // before it may write, and so the data lands exactly at its first byte.
    if (MyFileSeek(file, dataStart) != 0) return VEXAO_FILE_ERROR;
    if (SwapBinaryDataCheck() == 1) SwapBinaryData(resource->dataPtr, length, resource->elemSize);
    if (MyFileWrite(file, resource->dataPtr, length) != 0 || std::fflush(file->stream) != 0) return VEXAO_FILE_ERROR;
    return 0;
}

int32_t SwapBinaryDataCheck(void) noexcept {
    const std::uint16_t probe = 0x1234;
    std::uint8_t bytes[2];
    std::memcpy(bytes, &probe, sizeof bytes);
    return bytes[0] * 256 + bytes[1] == 0x1234 ? 1 : 0;
}

void SwapBinaryData(void* data, int32_t length, int16_t unit) noexcept {
    if (unit != 2 && unit != 4) return;
    auto* bytes = static_cast<std::uint8_t*>(data);
    for (std::int32_t i = 0, units = length / unit; i < units; ++i) {
        std::uint8_t* first = bytes + i * unit;
        for (int low = 0, high = unit - 1; low < high; ++low, --high) {
            std::uint8_t swapped = first[low];
            first[low] = first[high];
            first[high] = swapped;
        }
    }
}
