#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "tools/print/image.h"

namespace vexao::imaging {
namespace {

// Only called once the size has passed the cap, so the byte count fits.
void allocate(RgbImage& image, std::int64_t width, std::int64_t height) {
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<std::size_t>(width * height * 3), 0);
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The PNG's bytes, handed to libpng as it asks for them.
struct PngSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

void pngError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

void readPngBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->at) png_error(png, "the file is truncated");
    std::memcpy(out, source->data + source->at, length);
    source->at += length;
}

bool readPng(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error,
             const ImageLimits& limits) {
    PngReader reader;
    PngSource source{data, size};
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
    png_set_read_fn(reader.png, &source, readPngBytes);
    png_read_info(reader.png, reader.info);
    png_uint_32 width = png_get_image_width(reader.png, reader.info);
    png_uint_32 height = png_get_image_height(reader.png, reader.info);
    if (!checkImageSize(width, height, error, limits)) return false;
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
    allocate(image, width, height);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(reader.png, image.row(static_cast<int>(y)), nullptr);
    png_read_end(reader.png, nullptr);
    return true;
}

// Reads the PNM header's numbers, skipping white space and comments, and the
// samples after it.
class PnmScanner {
public:
    PnmScanner(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool number(long& value) {
        skipSpace();
        if (at_ >= size_ || !std::isdigit(data_[at_])) return false;
        value = 0;
        while (at_ < size_ && std::isdigit(data_[at_])) {
            value = value * 10 + (data_[at_++] - '0');
            if (value > 1 << 24) return false;
        }
        return true;
    }
    // Plain P1 bits may stand without spaces between them.
    bool bit(long& value) {
        skipSpace();
        if (at_ >= size_ || (data_[at_] != '0' && data_[at_] != '1')) return false;
        value = data_[at_++] - '0';
        return true;
    }
    // A binary sample of one byte, or of two with the high byte first.
    bool binary(int width, long& value) {
        const std::uint8_t* bytes = take(static_cast<std::size_t>(width));
        if (bytes == nullptr) return false;
        value = width == 2 ? bytes[0] << 8 | bytes[1] : bytes[0];
        return true;
    }
    // The next `count` bytes, or null when the data ends before them.
    const std::uint8_t* take(std::size_t count) {
        if (count > remaining()) return nullptr;
        at_ += count;
        return data_ + at_ - count;
    }
    // The single white-space byte that ends a binary header.
    bool endHeader() {
        if (at_ >= size_ || !std::isspace(data_[at_])) return false;
        ++at_;
        return true;
    }
    std::size_t remaining() const { return size_ - at_; }

private:
    void skipSpace() {
        while (at_ < size_ && (std::isspace(data_[at_]) || data_[at_] == '#')) {
            if (data_[at_] == '#') {
                while (at_ < size_ && data_[at_] != '\n') ++at_;
            } else {
                ++at_;
            }
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 2;
};

struct PnmFormat {
    int kind;          // 1 to 6
    int channels;      // 1 or 3
    bool binary;
    bool bitmap;       // P1 and P4: 1 is black
};

// The fewest bytes that the pixel data of a picture of this size can take, so
// that a header claiming more than the file holds is refused before the
// picture is allocated.
std::int64_t fewestPixelBytes(const PnmFormat& format, std::int64_t width, std::int64_t height, long maxValue) {
    if (format.kind == 4) return (width + 7) / 8 * height;
    std::int64_t samples = width * height * format.channels;
    if (format.binary) return samples * (maxValue > 255 ? 2 : 1);
    // Plain samples take a character each, and numbers a space between them.
    return format.bitmap ? samples : 2 * samples - 1;
}

// One sample, scaled to 0..255.
bool pnmSample(PnmScanner& scan, const PnmFormat& format, long maxValue, std::uint8_t& sample) {
    long value = 0;
    bool read = format.binary ? scan.binary(maxValue > 255 ? 2 : 1, value)
                              : format.bitmap ? scan.bit(value) : scan.number(value);
    if (!read || value > maxValue) return false;
    sample = static_cast<std::uint8_t>(value * 255 / maxValue);
    return true;
}

bool readPnmPixels(PnmScanner& scan, const PnmFormat& format, long maxValue, RgbImage& image) {
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* out = image.row(y);
        if (format.kind == 4) {
            const std::uint8_t* bits = scan.take(static_cast<std::size_t>(image.width + 7) / 8);
            if (bits == nullptr) return false;
            for (int x = 0; x < image.width; ++x, out += 3)
                out[0] = out[1] = out[2] = (bits[x / 8] >> (7 - x % 8) & 1) ? 0 : 255;
            continue;
        }
        for (int x = 0; x < image.width; ++x, out += 3) {
            for (int c = 0; c < format.channels; ++c)
                if (!pnmSample(scan, format, maxValue, out[c])) return false;
            if (format.channels == 1) out[1] = out[2] = out[0];
            if (format.bitmap) out[0] = out[1] = out[2] = out[0] ? 0 : 255;
        }
    }
    return true;
}

bool readPnm(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error,
             const ImageLimits& limits) {
    int kind = data[1] - '0';
    PnmFormat format{kind, kind == 3 || kind == 6 ? 3 : 1, kind >= 4, kind == 1 || kind == 4};
    PnmScanner scan(data, size);
    long width = 0, height = 0, maxValue = 1;
    if (!scan.number(width) || !scan.number(height) || (!format.bitmap && !scan.number(maxValue)))
        return error = "malformed PNM header", false;
    if (!checkImageSize(width, height, error, limits)) return false;
    if (maxValue < 1 || maxValue > 65535) return error = "PNM maxval must be 1..65535", false;
    if (format.binary && !scan.endHeader()) return error = "malformed PNM header", false;
    if (static_cast<std::int64_t>(scan.remaining()) < fewestPixelBytes(format, width, height, maxValue))
        return error = "PNM pixel data is truncated", false;
    allocate(image, width, height);
    if (!readPnmPixels(scan, format, maxValue, image)) return error = "PNM pixel data is truncated or bad", false;
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    std::uint8_t block[65536];
    std::size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, file.get())) > 0)
        bytes.insert(bytes.end(), block, block + count);
    return std::ferror(file.get()) == 0;
}

}  // namespace

bool checkImageSize(std::int64_t width, std::int64_t height, std::string& error, const ImageLimits& limits) {
    // Each side is bounded before the product is formed, so it cannot overflow.
    if (width >= 1 && height >= 1 && width <= limits.maxWidth && height <= limits.maxHeight &&
        width * height <= limits.maxPixels)
        return true;
    error = "picture size " + std::to_string(width) + " x " + std::to_string(height) +
            " is outside the size cap: 1 to " + std::to_string(limits.maxWidth) + " pixels wide, 1 to " +
            std::to_string(limits.maxHeight) + " high, at most " + std::to_string(limits.maxPixels) + " in all";
    return false;
}

bool decodeImage(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error,
                 const ImageLimits& limits) {
    bool read = false;
    try {
        if (size >= 8 && png_sig_cmp(data, 0, 8) == 0)
            read = readPng(data, size, image, error, limits);
        else if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6')
            read = readPnm(data, size, image, error, limits);
        else
            error = "neither PNG nor PNM";
    } catch (const std::bad_alloc&) {
        error = "out of memory for the picture";
    }
    if (!read) image = RgbImage{};
    return read;
}

bool readImage(const std::string& path, RgbImage& image, std::string& error, const ImageLimits& limits) {
    std::vector<std::uint8_t> bytes;
    try {
        if (!readFile(path, bytes)) return error = "cannot read " + path + ": " + std::strerror(errno), false;
    } catch (const std::bad_alloc&) {
        return error = path + ": out of memory for the file", false;
    }
    if (decodeImage(bytes.data(), bytes.size(), image, error, limits)) return true;
    error = path + ": " + error;
    return false;
}

}  // namespace vexao::imaging
