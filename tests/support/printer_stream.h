// Printer streams assembled by hand, command by command, for tests of the
// stream decoder.
#ifndef VEXAO_TESTS_PRINTER_STREAM_H
#define VEXAO_TESTS_PRINTER_STREAM_H

#include <cstdint>
#include <string>
#include <vector>

namespace vexao_test {

using Bytes = std::vector<std::uint8_t>;

class PrinterStream {
public:
    PrinterStream& raw(const Bytes& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    PrinterStream& command(char letter, const Bytes& parameters) {
        raw({0x1B, 0x28, static_cast<std::uint8_t>(letter), static_cast<std::uint8_t>(parameters.size() & 0xFF),
             static_cast<std::uint8_t>(parameters.size() >> 8)});
        return raw(parameters);
    }
    PrinterStream& skip(unsigned count) {
        return command('e', {static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count & 0xFF)});
    }
    PrinterStream& formFeed() { return skip(0); }
    // Colour data with its carriage return; `code` is the compressed line.
    PrinterStream& colour(char plane, const Bytes& code) {
        Bytes parameters{static_cast<std::uint8_t>(plane)};
        parameters.insert(parameters.end(), code.begin(), code.end());
        command('A', parameters);
        return raw({0x0D});
    }
    PrinterStream& multiRasterHeader(std::uint8_t bandLines) {
        command('I', {1});
        return command('J', {bandLines});
    }
    PrinterStream& planeList(const std::string& letters) { return command('L', Bytes(letters.begin(), letters.end())); }
    // A band block of the given compressed lines, each ended by 0x80.
    PrinterStream& bandBlock(const std::vector<Bytes>& lines) {
        Bytes parameters;
        for (const Bytes& line : lines) {
            parameters.insert(parameters.end(), line.begin(), line.end());
            parameters.push_back(0x80);
        }
        return command('F', parameters);
    }

    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

}  // namespace vexao_test

#endif
