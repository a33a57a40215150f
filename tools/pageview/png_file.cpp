#include "tools/pageview/png_file.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "driver/staged_file.h"

namespace vexao::inspect {
namespace {

void recordError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// Everything that libpng can leave by longjmp lives in plain C state here,
// so the jump skips no destructor.
bool encode(std::FILE* file, const PngImage& image, std::uint8_t* row, std::string& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, recordError, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 image.colour == PngColour::Grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.resolution > 0) {
        auto perMetre = static_cast<png_uint_32>(image.resolution / 0.0254 + 0.5);
        png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        image.fillRow(y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const std::string& path, const PngImage& image, std::string& error) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * (image.colour == PngColour::Rgb ? 3 : 1));
    // A failure half-way leaves no truncated PNG behind.
    driver::StagedFile file(path);
    if (file.stream() == nullptr) return error = file.error(), false;
    std::string pngError;
    if (!encode(file.stream(), image, row.data(), pngError)) return error = path + ": " + pngError, false;
    if (!file.commit()) return error = file.error(), false;
    return true;
}

}  // namespace vexao::inspect
