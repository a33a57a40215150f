// Picture files for the tests of the readers and the host program.
#ifndef VEXAO_TESTS_PICTURE_FILES_H
#define VEXAO_TESTS_PICTURE_FILES_H

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vexao_test {

// Writes a PNG with libpng. When `rows` holds fewer rows than `height`, the
// file ends after them with the compressed data flushed so far and the end
// chunk, as a cut-off copy of a larger picture would; libpng keeps back the
// last 8 KB of compressed data, so the given rows must compress to more.
inline void writePngFile(const std::string& path, int width, int height, int colourType, int depth,
                         const std::vector<std::uint8_t>& rows, const std::vector<png_color>& palette = {}) {
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    std::size_t rowBytes = png_get_rowbytes(png, info);
    for (std::size_t at = 0; at + rowBytes <= rows.size(); at += rowBytes)
        png_write_row(png, const_cast<png_bytep>(rows.data() + at));
    if (rows.size() / rowBytes < static_cast<std::size_t>(height)) png_write_flush(png);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// Writes a binary PPM of RGB pixels.
inline void writePpmFile(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::ofstream out(path, std::ios::binary);
    out << "P6 " << width << " " << height << " 255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
}

}  // namespace vexao_test

#endif
