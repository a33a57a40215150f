#include "tools/decode/stream_parser.h"

#include <cstdio>
#include <cstring>

#include "tools/decode/line_codes.h"

namespace vexao::decode {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kOpenParenthesis = 0x28;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::size_t kFrameBytes = 5;  // ESC, '(', letter, 16-bit length
constexpr unsigned kMaxSkip = 32767;

std::string hexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string letterText(std::uint8_t value) {
    if (value >= 0x21 && value < 0x7F) return "'" + std::string(1, static_cast<char>(value)) + "' (" + hexByte(value) + ")";
    return hexByte(value);
}

}  // namespace

int planeIndex(char letter) {
    const char* found = letter == '\0' ? nullptr : std::strchr(kPlaneLetters, letter);
    return found ? static_cast<int>(found - kPlaneLetters) : -1;
}

const char* commandName(CommandKind kind) {
    switch (kind) {
        case CommandKind::RasterSkip: return "raster skip";
        case CommandKind::FormFeed: return "form feed";
        case CommandKind::ColourData: return "colour data";
        case CommandKind::CarriageReturn: return "carriage return";
        case CommandKind::MultiRasterStart: return "multi-raster start";
        case CommandKind::BandHeight: return "band height";
        case CommandKind::PlaneList: return "plane list";
        case CommandKind::BandBlock: return "band block";
    }
    return "?";
}

std::string commandCode(CommandKind kind) {
    switch (kind) {
        case CommandKind::RasterSkip:
        case CommandKind::FormFeed: return "ESC ( e";
        case CommandKind::ColourData: return "ESC ( A";
        case CommandKind::CarriageReturn: return "0D";
        case CommandKind::MultiRasterStart: return "ESC ( I";
        case CommandKind::BandHeight: return "ESC ( J";
        case CommandKind::PlaneList: return "ESC ( L";
        case CommandKind::BandBlock: return "ESC ( F";
    }
    return "?";
}

std::string describeParameters(const Command& command) {
    switch (command.kind) {
        case CommandKind::RasterSkip:
            return std::to_string(command.value) + (command.countsBands ? " band" : " line") +
                   (command.value == 1 ? "" : "s");
        case CommandKind::FormFeed: return "end of page";
        case CommandKind::ColourData:
            return std::string("plane ") + command.plane + ", " + std::to_string(command.dataLength) + " bytes";
        case CommandKind::CarriageReturn: return "";
        case CommandKind::MultiRasterStart: return std::to_string(command.value);
        case CommandKind::BandHeight: return std::to_string(command.value) + " lines per band";
        case CommandKind::PlaneList: return command.planes;
        case CommandKind::BandBlock: {
            std::string text = std::to_string(command.dataLength) + " bytes, " +
                               std::to_string(command.lineLengths.size()) + " lines:";
            for (std::size_t length : command.lineLengths) text += " " + std::to_string(length);
            return text;
        }
    }
    return "";
}

StreamParser::StreamParser(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

bool StreamParser::fail(std::size_t offset, std::string message) {
    failed_ = true;
    error_ = {offset, std::move(message)};
    return false;
}

bool StreamParser::next(Command& command) {
    if (failed_ || at_ >= size_) return false;
    command = Command{};
    command.offset = at_;
    if (bytes_[at_] == kCarriageReturn && afterColourData_) {
        afterColourData_ = false;
        command.kind = CommandKind::CarriageReturn;
        command.size = 1;
        ++at_;
        return true;
    }
    afterColourData_ = false;
    if (!readFramed(command)) return false;
    at_ += command.size;
    afterColourData_ = command.kind == CommandKind::ColourData;
    if (command.kind == CommandKind::MultiRasterStart) multiRasterPage_ = true;
    if (command.kind == CommandKind::FormFeed) multiRasterPage_ = false;
    return true;
}

bool StreamParser::readFramed(Command& command) {
    std::size_t at = at_;
    if (bytes_[at] != kEscape)
        return fail(at, "expected a command (ESC, 0x1B), found " + hexByte(bytes_[at]));
    if (size_ - at < kFrameBytes)
        return fail(at, "command cut off: " + std::to_string(size_ - at) + " of its 5 header bytes are present");
    if (bytes_[at + 1] != kOpenParenthesis)
        return fail(at + 1, "expected '(' (0x28) after ESC, found " + hexByte(bytes_[at + 1]));
    std::size_t length = bytes_[at + 3] | static_cast<std::size_t>(bytes_[at + 4]) << 8;
    if (size_ - at - kFrameBytes < length)
        return fail(at, "command cut off: it declares " + std::to_string(length) + " parameter bytes, " +
                            std::to_string(size_ - at - kFrameBytes) + " remain");
    command.size = kFrameBytes + length;
    switch (bytes_[at + 2]) {
        case 'e': return readSkip(command, length);
        case 'A': return readColourData(command, length);
        case 'I':
            command.kind = CommandKind::MultiRasterStart;
            return readSingleByte(command, length);
        case 'J':
            command.kind = CommandKind::BandHeight;
            return readSingleByte(command, length);
        case 'L': return readPlaneList(command, length);
        case 'F': return readBandBlock(command, length);
        default: return fail(at + 2, "unknown command letter " + letterText(bytes_[at + 2]));
    }
}

bool StreamParser::readSkip(Command& command, std::size_t length) {
    if (length != 2)
        return fail(at_ + 3, "raster skip takes 2 parameter bytes, has " + std::to_string(length));
    // The count is big-endian, unlike the length field.
    command.value = static_cast<unsigned>(bytes_[at_ + 5]) << 8 | bytes_[at_ + 6];
    if (command.value > kMaxSkip)
        return fail(at_ + 5, "raster skip of " + std::to_string(command.value) + ", above 32767");
    command.kind = command.value == 0 ? CommandKind::FormFeed : CommandKind::RasterSkip;
    command.countsBands = multiRasterPage_;
    return true;
}

bool StreamParser::readSingleByte(Command& command, std::size_t length) {
    const char* name = commandName(command.kind);
    if (length != 1)
        return fail(at_ + 3, std::string(name) + " takes 1 parameter byte, has " + std::to_string(length));
    command.value = bytes_[at_ + 5];
    if (command.kind == CommandKind::MultiRasterStart && command.value != 1)
        return fail(at_ + 5, "multi-raster start takes the value 1, has " + std::to_string(command.value));
    if (command.kind == CommandKind::BandHeight && command.value == 0)
        return fail(at_ + 5, "band height of 0 lines");
    return true;
}

bool StreamParser::readColourData(Command& command, std::size_t length) {
    if (length == 0) return fail(at_ + 3, "colour data without a plane letter");
    char letter = static_cast<char>(bytes_[at_ + 5]);
    if (planeIndex(letter) < 0)
        return fail(at_ + 5, "plane letter " + letterText(bytes_[at_ + 5]) + " is not one of KYMCmcy");
    command.kind = CommandKind::ColourData;
    command.plane = letter;
    command.dataOffset = at_ + 6;
    command.dataLength = length - 1;
    return true;
}

bool StreamParser::readPlaneList(Command& command, std::size_t length) {
    if (length == 0 || length > static_cast<std::size_t>(kPlaneCount))
        return fail(at_ + 3, "plane list of " + std::to_string(length) + " letters; 1 to 7 are possible");
    command.kind = CommandKind::PlaneList;
    for (std::size_t i = 0; i < length; ++i) {
        std::size_t at = at_ + 5 + i;
        char letter = static_cast<char>(bytes_[at]);
        if (planeIndex(letter) < 0)
            return fail(at, "plane letter " + letterText(bytes_[at]) + " is not one of KYMCmcy");
        if (command.planes.find(letter) != std::string::npos)
            return fail(at, std::string("plane ") + letter + " is listed twice");
        command.planes += letter;
    }
    return true;
}

bool StreamParser::readBandBlock(Command& command, std::size_t length) {
    command.kind = CommandKind::BandBlock;
    command.dataOffset = at_ + 5;
    command.dataLength = length;
    std::size_t end = command.dataOffset + length;
    for (std::size_t line = command.dataOffset; line < end;) {
        std::size_t lineEnd = 0;
        if (!findLineEnd(bytes_, line, end, lineEnd, error_)) {
            failed_ = true;
            return false;
        }
        command.lineLengths.push_back(lineEnd - line);
        line = lineEnd + 1;
    }
    return true;
}

}  // namespace vexao::decode
