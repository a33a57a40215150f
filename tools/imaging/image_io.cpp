#include <png.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "tools/imaging/image.h"

namespace vexao::imaging {
namespace {

bool sizeIsSane(long width, long height, std::string& error) {
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight) {
        error = "image size " + std::to_string(width) + " x " + std::to_string(height) + " is outside 1..32767 x 1..100000";
        return false;
    }
    return true;
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void pngError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool readPng(std::FILE* file, RgbImage& image, std::string& error) {
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, pngError, pngWarning);
    if (reader.png == nullptr || (reader.info = png_create_info_struct(reader.png)) == nullptr) {
        error = "out of memory";
        return false;
    }
    // Nothing below the jump point may own memory: libpng leaves by longjmp.
    if (setjmp(png_jmpbuf(reader.png))) {
        error = "malformed PNG: " + error;
        return false;
    }
    png_init_io(reader.png, file);
    png_read_info(reader.png, reader.info);
    png_uint_32 width = png_get_image_width(reader.png, reader.info);
    png_uint_32 height = png_get_image_height(reader.png, reader.info);
    if (!sizeIsSane(static_cast<long>(width), static_cast<long>(height), error)) return false;
    // Everything becomes 8-bit RGB; alpha is blended over white below.
    png_set_expand(reader.png);
    png_set_strip_16(reader.png);
    png_set_gray_to_rgb(reader.png);
    png_color_16 white{0, 255, 255, 255, 255};
    png_set_background(reader.png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    int passes = png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    if (png_get_rowbytes(reader.png, reader.info) != width * 3) {
        error = "unsupported PNG layout";
        return false;
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(reader.png, image.row(static_cast<int>(y)), nullptr);
    png_read_end(reader.png, nullptr);
    return true;
}

// Reads the PNM header's numbers, skipping white space and comments.
class PnmScanner {
public:
    explicit PnmScanner(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    bool number(long& value) {
        skipSpace();
        if (at_ >= bytes_.size() || !std::isdigit(bytes_[at_])) return false;
        value = 0;
        while (at_ < bytes_.size() && std::isdigit(bytes_[at_])) {
            value = value * 10 + (bytes_[at_++] - '0');
            if (value > 1 << 24) return false;
        }
        return true;
    }
    // Plain P1 bits may stand without spaces between them.
    bool bit(long& value) {
        skipSpace();
        if (at_ >= bytes_.size() || (bytes_[at_] != '0' && bytes_[at_] != '1')) return false;
        value = bytes_[at_++] - '0';
        return true;
    }
    // The single white-space byte that ends a binary header.
    bool endHeader() {
        if (at_ >= bytes_.size() || !std::isspace(bytes_[at_])) return false;
        ++at_;
        return true;
    }
    std::size_t position() const { return at_; }
    void skip(std::size_t count) { at_ += count; }

private:
    void skipSpace() {
        while (at_ < bytes_.size() && (std::isspace(bytes_[at_]) || bytes_[at_] == '#')) {
            if (bytes_[at_] == '#') {
                while (at_ < bytes_.size() && bytes_[at_] != '\n') ++at_;
            } else {
                ++at_;
            }
        }
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 2;
};

struct PnmFormat {
    int kind;          // 1 to 6
    int channels;      // 1 or 3
    bool binary;
    bool bitmap;       // P1 and P4: 1 is black
};

// One sample, scaled to 0..255.
bool pnmSample(const std::vector<std::uint8_t>& bytes, PnmScanner& scan, const PnmFormat& format, long maxValue,
               std::uint8_t& sample) {
    long value = 0;
    if (format.binary) {
        int width = maxValue > 255 ? 2 : 1;
        if (scan.position() + width > bytes.size()) return false;
        value = bytes[scan.position()];
        if (width == 2) value = value << 8 | bytes[scan.position() + 1];
        scan.skip(width);
    } else if (!(format.bitmap ? scan.bit(value) : scan.number(value))) {
        return false;
    }
    if (value > maxValue) return false;
    sample = static_cast<std::uint8_t>(value * 255 / maxValue);
    return true;
}

bool readPnmPixels(const std::vector<std::uint8_t>& bytes, PnmScanner& scan, const PnmFormat& format, long maxValue,
                   RgbImage& image) {
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* out = image.row(y);
        for (int x = 0; x < image.width; ++x, out += 3) {
            if (format.kind == 4) {
                std::size_t at = scan.position() + static_cast<std::size_t>(x / 8);
                if (at >= bytes.size()) return false;
                bool black = bytes[at] >> (7 - x % 8) & 1;
                out[0] = out[1] = out[2] = black ? 0 : 255;
                continue;
            }
            for (int c = 0; c < format.channels; ++c)
                if (!pnmSample(bytes, scan, format, maxValue, out[c])) return false;
            if (format.channels == 1) out[1] = out[2] = out[0];
            if (format.bitmap) out[0] = out[1] = out[2] = out[0] ? 0 : 255;
        }
        if (format.kind == 4) scan.skip(static_cast<std::size_t>(image.width + 7) / 8);
    }
    return true;
}

bool readPnm(const std::vector<std::uint8_t>& bytes, RgbImage& image, std::string& error) {
    int kind = bytes[1] - '0';
    PnmFormat format{kind, kind == 3 || kind == 6 ? 3 : 1, kind >= 4, kind == 1 || kind == 4};
    PnmScanner scan(bytes);
    long width = 0, height = 0, maxValue = 1;
    if (!scan.number(width) || !scan.number(height) || (!format.bitmap && !scan.number(maxValue)))
        return error = "malformed PNM header", false;
    if (!sizeIsSane(width, height, error)) return false;
    if (maxValue < 1 || maxValue > 65535) return error = "PNM maxval must be 1..65535", false;
    if (format.binary && !scan.endHeader()) return error = "malformed PNM header", false;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
    if (!readPnmPixels(bytes, scan, format, maxValue, image)) return error = "PNM pixel data is truncated or bad", false;
    return true;
}

}  // namespace

bool readImage(const std::string& path, RgbImage& image, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return error = "cannot open " + path, false;
    std::uint8_t signature[8] = {};
    std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
    if (got == 8 && png_sig_cmp(signature, 0, 8) == 0) {
        std::rewind(file.get());
        return readPng(file.get(), image, error);
    }
    if (got >= 2 && signature[0] == 'P' && signature[1] >= '1' && signature[1] <= '6') {
        std::ifstream stream(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        return readPnm(bytes, image, error);
    }
    error = path + " is neither PNG nor PNM";
    return false;
}

}  // namespace vexao::imaging
