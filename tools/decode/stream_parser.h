// The command layer of the printer-stream decoder: walks a stream and yields
// its commands one at a time, with their offsets and parameters.
#ifndef VEXAO_TOOLS_DECODE_STREAM_PARSER_H
#define VEXAO_TOOLS_DECODE_STREAM_PARSER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/decode/decode_error.h"

namespace vexao::decode {

// Plane letters; a plane's index is its position here.
constexpr char kPlaneLetters[] = "KYMCmcy";
constexpr int kPlaneCount = 7;

// The index of a plane letter in kPlaneLetters, or -1.
int planeIndex(char letter);

enum class CommandKind {
    RasterSkip,        // ESC ( e with a count of 1..32767
    FormFeed,          // ESC ( e with a count of 0: ends the page
    ColourData,        // ESC ( A: one compressed line of one plane
    CarriageReturn,    // the byte 0x0D after colour data
    MultiRasterStart,  // ESC ( I
    BandHeight,        // ESC ( J
    PlaneList,         // ESC ( L
    BandBlock,         // ESC ( F: the lines of one plane of one band
};

struct Command {
    CommandKind kind = CommandKind::RasterSkip;
    std::size_t offset = 0;  // first byte of the command
    std::size_t size = 0;    // its bytes, frame included
    // Raster skip: the count; multi-raster start: its parameter; band height:
    // lines per band.
    unsigned value = 0;
    // Raster skip or form feed inside a page that began with multi-raster
    // start, where skips count bands instead of lines.
    bool countsBands = false;
    char plane = 0;  // colour data: the plane letter
    // Colour data: the compressed line. Band block: its lines, each followed
    // by its line-end byte.
    std::size_t dataOffset = 0;
    std::size_t dataLength = 0;
    std::string planes;                    // plane list: its letters
    std::vector<std::size_t> lineLengths;  // band block: compressed bytes of each line, line end excluded
};

// "raster skip", "band block", ...
const char* commandName(CommandKind kind);
// The escape notation of a command ("ESC ( e"), or "0D" for a carriage return.
std::string commandCode(CommandKind kind);
// The parameters in words: "10 lines", "plane K, 4 bytes", ...
std::string describeParameters(const Command& command);

class StreamParser {
public:
    // The bytes must outlive the parser.
    StreamParser(const std::uint8_t* bytes, std::size_t size);

    // Reads the next command. Returns false at the end of the stream and on a
    // malformed stream; failed() tells the two apart. After a failure every
    // further call returns false.
    bool next(Command& command);

    bool failed() const { return failed_; }
    const DecodeError& error() const { return error_; }
    std::size_t offset() const { return at_; }

private:
    bool fail(std::size_t offset, std::string message);
    bool readFramed(Command& command);
    bool readSkip(Command& command, std::size_t length);
    bool readSingleByte(Command& command, std::size_t length);
    bool readColourData(Command& command, std::size_t length);
    bool readPlaneList(Command& command, std::size_t length);
    bool readBandBlock(Command& command, std::size_t length);

    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool afterColourData_ = false;
    bool multiRasterPage_ = false;
    bool failed_ = false;
    DecodeError error_;
};

}  // namespace vexao::decode

#endif
