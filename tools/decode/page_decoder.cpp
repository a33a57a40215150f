#include "tools/decode/page_decoder.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <utility>

#include "tools/decode/line_codes.h"

namespace vexao::decode {

const std::uint8_t* PlaneRaster::row(int line) const {
    auto found = std::lower_bound(lines_.begin(), lines_.end(), line,
                                  [](const Line& stored, int wanted) { return stored.number < wanted; });
    return found != lines_.end() && found->number == line ? found->bytes.data() : zeros_.data();
}

void PlaneRaster::store(int line, std::vector<std::uint8_t> bytes) {
    if (!lines_.empty() && lines_.back().number == line)
        lines_.back().bytes = std::move(bytes);
    else
        lines_.push_back({line, std::move(bytes)});
}

void PlaneRaster::finish(int width, int height) {
    width_ = width;
    height_ = height;
    zeros_.assign(static_cast<std::size_t>(width) + 1, 0);  // +1: row() of an empty raster is still a valid pointer
    for (Line& line : lines_) line.bytes.resize(static_cast<std::size_t>(width), 0);
}

namespace {

void trimTrailingZeros(std::vector<std::uint8_t>& line) {
    while (!line.empty() && line.back() == 0) line.pop_back();
}

// Applies the commands of one page to the page, checking that they come in
// an order that places every line somewhere definite.
class PageBuilder {
public:
    PageBuilder(Page& page, const std::uint8_t* bytes, const DecodeOptions& options)
        : page_(page),
          bytes_(bytes),
          options_(options),
          maxLines_(std::min<long long>(options.maxPageLines, INT_MAX)) {}

    bool apply(const Command& command, DecodeError& error);
    void finish();

private:
    bool fail(DecodeError& error, std::size_t offset, std::string message) {
        error = {offset, std::move(message)};
        return false;
    }
    bool applyHeader(const Command& command, DecodeError& error);
    bool applySkip(const Command& command, DecodeError& error);
    bool applyColourData(const Command& command, DecodeError& error);
    bool applyPlaneList(const Command& command, DecodeError& error);
    bool applyBandBlock(const Command& command, DecodeError& error);
    bool requireBandHeight(const Command& command, DecodeError& error);
    bool requireBandBoundary(const Command& command, DecodeError& error);
    bool decodeLine(std::size_t begin, std::size_t end, std::vector<std::uint8_t>& line, DecodeError& error);
    bool storeLine(int plane, long long lineNumber, std::vector<std::uint8_t> line, std::size_t offset,
                   DecodeError& error);

    Page& page_;
    const std::uint8_t* bytes_;
    const DecodeOptions& options_;
    long long maxLines_;
    bool awaitingBandHeight_ = false;
    // Normal pages: the current raster line. Multi-raster pages: the index of
    // the current band.
    long long position_ = 0;
    bool moved_ = false;  // a skip or a line of data was seen
    std::string planeList_;
    std::size_t blocksInBand_ = 0;
    std::size_t storedLines_ = 0;
};

bool PageBuilder::apply(const Command& command, DecodeError& error) {
    ++page_.commandCount;
    if (awaitingBandHeight_ && command.kind != CommandKind::BandHeight)
        return fail(error, command.offset, "multi-raster start is not followed by a band height (ESC ( J)");
    switch (command.kind) {
        case CommandKind::MultiRasterStart:
        case CommandKind::BandHeight: return applyHeader(command, error);
        case CommandKind::RasterSkip: return applySkip(command, error);
        case CommandKind::FormFeed: return !page_.multiRaster || requireBandBoundary(command, error);
        case CommandKind::ColourData: return applyColourData(command, error);
        case CommandKind::CarriageReturn: return true;
        case CommandKind::PlaneList: return applyPlaneList(command, error);
        case CommandKind::BandBlock: return applyBandBlock(command, error);
    }
    return true;
}

bool PageBuilder::applyHeader(const Command& command, DecodeError& error) {
    if (command.kind == CommandKind::MultiRasterStart) {
        if (page_.commandCount != 1)
            return fail(error, command.offset, "multi-raster start inside a page: it must be the page's first command");
        page_.multiRaster = true;
        awaitingBandHeight_ = true;
        return true;
    }
    if (!awaitingBandHeight_)
        return fail(error, command.offset, "band height without a multi-raster start (ESC ( I) directly before it");
    awaitingBandHeight_ = false;
    page_.bandLines = static_cast<int>(command.value);
    return true;
}

bool PageBuilder::applySkip(const Command& command, DecodeError& error) {
    moved_ = true;
    position_ += command.value;
    if (!page_.multiRaster) {
        if (position_ >= maxLines_)
            return fail(error, command.offset, "skip moves to line " + std::to_string(position_) +
                                                   ", past the limit of " + std::to_string(maxLines_) + " lines");
        return true;
    }
    if (!requireBandHeight(command, error) || !requireBandBoundary(command, error)) return false;
    if (position_ * page_.bandLines > maxLines_)
        return fail(error, command.offset, "skip moves to band " + std::to_string(position_) +
                                               ", past the limit of " + std::to_string(maxLines_) + " lines");
    return true;
}

bool PageBuilder::applyColourData(const Command& command, DecodeError& error) {
    if (page_.multiRaster) return fail(error, command.offset, "colour data inside a multi-raster page");
    moved_ = true;
    std::vector<std::uint8_t> line;
    return decodeLine(command.dataOffset, command.dataOffset + command.dataLength, line, error) &&
           storeLine(planeIndex(command.plane), position_, std::move(line), command.dataOffset, error);
}

bool PageBuilder::applyPlaneList(const Command& command, DecodeError& error) {
    if (!page_.multiRaster || page_.bandLines == 0)
        return fail(error, command.offset, "plane list before any band height (ESC ( J)");
    if (!requireBandBoundary(command, error)) return false;
    planeList_ = command.planes;
    return true;
}

bool PageBuilder::applyBandBlock(const Command& command, DecodeError& error) {
    if (!requireBandHeight(command, error)) return false;
    if (planeList_.empty()) return fail(error, command.offset, "band block before any plane list (ESC ( L)");
    if (command.lineLengths.size() != static_cast<std::size_t>(page_.bandLines))
        return fail(error, command.offset,
                    "band block of " + std::to_string(command.lineLengths.size()) + " lines in bands of " +
                        std::to_string(page_.bandLines));
    if ((position_ + 1) * page_.bandLines > maxLines_)
        return fail(error, command.offset, "band " + std::to_string(position_) + " ends past the limit of " +
                                               std::to_string(maxLines_) + " lines");
    moved_ = true;
    int plane = planeIndex(planeList_[blocksInBand_]);
    long long firstLine = position_ * page_.bandLines;
    std::size_t lineStart = command.dataOffset;
    std::vector<std::uint8_t> line;
    for (std::size_t i = 0; i < command.lineLengths.size(); ++i) {
        std::size_t lineEnd = lineStart + command.lineLengths[i];
        if (!decodeLine(lineStart, lineEnd, line, error) ||
            !storeLine(plane, firstLine + static_cast<long long>(i), std::move(line), lineStart, error))
            return false;
        lineStart = lineEnd + 1;  // past the line end
    }
    if (++blocksInBand_ == planeList_.size()) {
        blocksInBand_ = 0;
        ++position_;
    }
    return true;
}

bool PageBuilder::requireBandHeight(const Command& command, DecodeError& error) {
    if (page_.multiRaster && page_.bandLines != 0) return true;
    return fail(error, command.offset,
                std::string(commandName(command.kind)) + " before any band height (ESC ( J)");
}

// Band blocks come in sets, one per plane of the last plane list; other
// commands may only come between sets.
bool PageBuilder::requireBandBoundary(const Command& command, DecodeError& error) {
    if (blocksInBand_ == 0) return true;
    return fail(error, command.offset,
                std::string(commandName(command.kind)) + " inside a band: " + std::to_string(blocksInBand_) +
                    " of its " + std::to_string(planeList_.size()) + " band blocks were sent");
}

bool PageBuilder::decodeLine(std::size_t begin, std::size_t end, std::vector<std::uint8_t>& line,
                             DecodeError& error) {
    line.clear();
    if (!options_.levelPacked) {
        if (!unpackBits(bytes_, begin, end, options_.maxLineBytes, line, error)) return false;
    } else {
        std::vector<std::uint8_t> packed;
        if (!unpackBits(bytes_, begin, end, options_.maxLineBytes, packed, error)) return false;
        std::size_t badIndex = 0;
        if (!unpackLevels(packed, line, badIndex))
            return fail(error, begin,
                        "decoded byte " + std::to_string(badIndex) + " of this line holds a pair code that level " +
                            "packing never writes (is the stream level-packed?)");
    }
    trimTrailingZeros(line);
    if (line.size() > options_.maxLineBytes)
        return fail(error, begin, "line decodes to " + std::to_string(line.size()) + " bytes, more than " +
                                      std::to_string(options_.maxLineBytes));
    return true;
}

bool PageBuilder::storeLine(int plane, long long lineNumber, std::vector<std::uint8_t> line, std::size_t offset,
                            DecodeError& error) {
    if (line.empty()) return true;
    page_.width = std::max(page_.width, static_cast<int>(line.size()));
    PlaneRaster& raster = page_.planes[static_cast<std::size_t>(plane)];
    std::size_t before = raster.sentLines();
    raster.store(static_cast<int>(lineNumber), std::move(line));
    storedLines_ += raster.sentLines() - before;
    if (static_cast<unsigned long long>(storedLines_) * static_cast<unsigned>(page_.width) > options_.maxPageBytes)
        return fail(error, offset, "decoded page would hold more than " + std::to_string(options_.maxPageBytes) +
                                       " bytes of raster");
    return true;
}

void PageBuilder::finish() {
    if (page_.multiRaster)
        page_.height = static_cast<int>(position_ * page_.bandLines);
    else
        page_.height = moved_ ? static_cast<int>(position_ + 1) : 0;
    for (PlaneRaster& raster : page_.planes) raster.finish(page_.width, page_.height);
}

}  // namespace

PageDecoder::PageDecoder(const std::uint8_t* bytes, std::size_t size, const DecodeOptions& options)
    : parser_(bytes, size), options_(options), bytes_(bytes) {}

bool PageDecoder::nextPage(Page& page) {
    if (failed_) return false;
    try {
        return decodePage(page);
    } catch (const std::bad_alloc&) {
        failed_ = true;
        error_ = {parser_.offset(), "out of memory while decoding page " + std::to_string(pagesDone_ + 1)};
        return false;
    }
}

bool PageDecoder::decodePage(Page& page) {
    page = Page{};
    page.number = pagesDone_ + 1;
    page.streamOffset = parser_.offset();
    page.bitsPerPixel = options_.bitsPerPixel;
    page.levelPacked = options_.levelPacked;
    PageBuilder builder(page, bytes_, options_);
    Command command;
    while (parser_.next(command)) {
        ++commandCount_;
        if (!builder.apply(command, error_)) {
            failed_ = true;
            return false;
        }
        if (command.kind == CommandKind::FormFeed) {
            builder.finish();
            page.streamEnd = parser_.offset();
            ++pagesDone_;
            return true;
        }
    }
    if (parser_.failed()) {
        failed_ = true;
        error_ = parser_.error();
    } else if (page.commandCount > 0) {
        failed_ = true;
        error_ = {parser_.offset(), "stream ends inside page " + std::to_string(page.number) + " (from byte " +
                                        std::to_string(page.streamOffset) + ") without a form feed"};
    }
    return false;
}

bool decodeStream(const std::uint8_t* bytes, std::size_t size, const DecodeOptions& options,
                  std::vector<Page>& pages, DecodeError& error) {
    PageDecoder decoder(bytes, size, options);
    Page page;
    while (decoder.nextPage(page)) pages.push_back(std::move(page));
    if (!decoder.failed()) return true;
    error = decoder.error();
    return false;
}

}  // namespace vexao::decode
