// What a host does around the library, for tests: build raster lines, read
// descriptors back into bytes.
#ifndef VEXAO_TESTS_HOST_H
#define VEXAO_TESTS_HOST_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "output/output_api.h"

namespace vexao_test {

using Bytes = std::vector<std::uint8_t>;

// The bytes a descriptor lists, concatenated in order.
inline Bytes sentBytes(const OutputDesc* descriptor) {
    Bytes bytes;
    for (int i = 0; i < descriptor->count; ++i) {
        const Chunk& chunk = descriptor->chunks[i];
        bytes.insert(bytes.end(), chunk.ptr, chunk.ptr + chunk.len);
    }
    return bytes;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A raster line whose planes own their bytes.
class Line {
public:
    explicit Line(std::int32_t lineNumber) { raster.lineNumber = lineNumber; }

    // Plane k gets `bytes`; its pixel width is the bytes' pixels unless given.
    Line& plane(int k, Bytes bytes, int pixelsPerByte, std::optional<std::int16_t> pixelWidth = std::nullopt) {
        data[k] = std::move(bytes);
        RasterPlane& plane = raster.plane[k];
        plane.data = data[k].data();
        plane.pixelWidth = pixelWidth.value_or(static_cast<std::int16_t>(data[k].size() * pixelsPerByte));
        plane.leftBlank = 0;
        plane.rightBlank = 0;
        return *this;
    }

    RasterInput* input() { return &raster; }
    RasterPlane& operator[](int k) { return raster.plane[k]; }
    Bytes& bytes(int k) { return data[k]; }

private:
    RasterInput raster{};
    Bytes data[VEXAO_MAX_PLANES];
};

// A plane line of `size` zero bytes with the given bytes set.
inline Bytes sparse(std::size_t size, std::initializer_list<std::pair<std::size_t, std::uint8_t>> set) {
    Bytes bytes(size, 0);
    for (auto [index, value] : set) bytes[index] = value;
    return bytes;
}

// A one-plane line at one bit a pixel with a single ink byte at its start.
inline Line inkedLine(std::int32_t number, std::uint8_t ink = 0x41) {
    Line line(number);
    line.plane(0, sparse(8, {{0, ink}}), 8);
    return line;
}

// A one-plane line whose PackBits code is exactly `codeLength` bytes: bytes
// that never repeat form literal groups of up to 128, one count byte each.
inline Line lineWithCodeLength(std::int32_t number, int codeLength) {
    int bytes = codeLength - (codeLength + 128) / 129;
    Bytes data(bytes);
    for (int i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(i % 255 + 1);
    Line line(number);
    line.plane(0, data, 8);
    return line;
}

inline Bytes skip(std::uint16_t count) {
    return {0x1B, 0x28, 0x65, 0x02, 0x00, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

inline const Bytes kFormFeed = {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};

}  // namespace vexao_test

#endif
