// The page layer of the printer-stream decoder: undoes the line codes and
// the skips and puts every line at its raster position, one page at a time.
#ifndef VEXAO_TOOLS_DECODE_PAGE_DECODER_H
#define VEXAO_TOOLS_DECODE_PAGE_DECODER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/decode/decode_error.h"
#include "tools/decode/stream_parser.h"

namespace vexao::decode {

// What the stream does not say about itself, and the limits beyond which a
// stream is refused as malformed.
struct DecodeOptions {
    int bitsPerPixel = 4;      // 1 or 4; carried into each page for whoever draws it
    bool levelPacked = false;  // lines were level-packed before PackBits
    long long maxPageLines = 1000000;
    std::size_t maxLineBytes = 32767;
    // Bytes of raster that one decoded page may hold once its lines are padded
    // to the page's width.
    std::size_t maxPageBytes = std::size_t{512} << 20;
};

// One plane of a page: the lines that were sent, each padded to the page's
// width once the page is finished. Lines never sent read as zeros.
class PlaneRaster {
public:
    bool hasData() const { return !lines_.empty(); }
    std::size_t sentLines() const { return lines_.size(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // `width()` bytes of raster line `line` (0 <= line < height()).
    const std::uint8_t* row(int line) const;

    // Lines come in nondecreasing order; a line sent again replaces the
    // earlier one.
    void store(int line, std::vector<std::uint8_t> bytes);
    // Pads every line to `width` bytes and fixes the raster's size.
    void finish(int width, int height);

private:
    struct Line {
        int number;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Line> lines_;
    std::vector<std::uint8_t> zeros_;
    int width_ = 0;
    int height_ = 0;
};

struct Page {
    int number = 0;               // 1 for the first page of the stream
    std::size_t streamOffset = 0; // its first byte
    std::size_t streamEnd = 0;    // the byte after its form feed
    std::size_t commandCount = 0; // carriage returns included
    bool multiRaster = false;
    int bandLines = 0;            // multi-raster pages: lines per band
    int bitsPerPixel = 4;
    bool levelPacked = false;
    // Bytes per line, the same for every plane: the widest line of the page,
    // counted up to its last non-zero byte.
    int width = 0;
    // Raster lines the page covers: down to the last line reached by a skip
    // or a line of data (in multi-raster pages, to the end of that band).
    int height = 0;
    std::array<PlaneRaster, kPlaneCount> planes;  // indexed like kPlaneLetters
};

class PageDecoder {
public:
    // The bytes must outlive the decoder.
    PageDecoder(const std::uint8_t* bytes, std::size_t size, const DecodeOptions& options = {});

    // Decodes the next page, up to and including its form feed. Returns false
    // at the end of the stream and on a malformed stream; failed() tells the
    // two apart. A stream that ends inside a page is malformed.
    bool nextPage(Page& page);

    bool failed() const { return failed_; }
    const DecodeError& error() const { return error_; }
    std::size_t commandCount() const { return commandCount_; }

private:
    bool decodePage(Page& page);

    StreamParser parser_;
    DecodeOptions options_;
    const std::uint8_t* bytes_;
    std::size_t commandCount_ = 0;
    int pagesDone_ = 0;
    bool failed_ = false;
    DecodeError error_;
};

// Decodes a whole stream. On a malformed stream returns false, fills `error`
// and keeps in `pages` the pages that were complete before it.
bool decodeStream(const std::uint8_t* bytes, std::size_t size, const DecodeOptions& options,
                  std::vector<Page>& pages, DecodeError& error);

}  // namespace vexao::decode

#endif
