#include <gtest/gtest.h>

#include <vector>

#include "compress/compress_api.h"
#include "tools/decode/line_codes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vexao::decode::DecodeError;

Bytes repeated(std::uint8_t value, int count) { return Bytes(static_cast<std::size_t>(count), value); }

Bytes unpack(const Bytes& code) {
    Bytes out;
    DecodeError error;
    EXPECT_TRUE(vexao::decode::unpackBits(code.data(), 0, code.size(), 32767, out, error)) << error.message;
    return out;
}

TEST(UnpackBits, UndoesLiteralGroupsRepeatRunsAndZeroRuns) {
    Bytes distinct, distinctCode{0x7F};
    for (int value = 1; value <= 0x81; ++value) distinct.push_back(static_cast<std::uint8_t>(value));
    distinctCode.insert(distinctCode.end(), distinct.begin(), distinct.begin() + 128);
    distinctCode.insert(distinctCode.end(), {0x00, 0x81});
    struct Case {
        Bytes code, line;
    } cases[] = {
        {{0x00, 0x41}, {0x41}},
        {{0xFF, 0x41}, {0x41, 0x41}},
        {{0x00, 0x41, 0xFE, 0x42, 0x00, 0x43}, {0x41, 0x42, 0x42, 0x42, 0x43}},
        {{0x03, 0x41, 0x42, 0x42, 0x43}, {0x41, 0x42, 0x42, 0x43}},
        {{0x81, 0x41, 0x00, 0x41}, repeated(0x41, 129)},
        {{0x81, 0x41, 0x81, 0x41, 0x00, 0x41}, repeated(0x41, 257)},
        {distinctCode, distinct},
        {{0x81, 0x00, 0x81, 0x00, 0xD5, 0x00}, repeated(0x00, 300)},
        {{}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(unpack(c.code), c.line);
}

TEST(UnpackBits, ReportsStreamOffsetsOfFaults) {
    Bytes stream = {0xAA, 0xAA, 0x00, 0x41, 0x02, 0x41};  // the line is bytes 2..5
    Bytes out;
    DecodeError error;
    EXPECT_FALSE(vexao::decode::unpackBits(stream.data(), 2, stream.size(), 100, out, error));
    EXPECT_EQ(error.offset, 4u);
    out.clear();
    Bytes longRun = {0x81, 0x00, 0x81, 0x00};
    EXPECT_FALSE(vexao::decode::unpackBits(longRun.data(), 0, longRun.size(), 200, out, error));
    EXPECT_EQ(error.offset, 2u);
}

TEST(FindLineEnd, StopsAtTheLineEndAndNotAtARepeatedByte80) {
    // The repeat run FE 80 carries 0x80 as data; the line ends at offset 4.
    Bytes block = {0xFE, 0x80, 0x00, 0x01, 0x80, 0x80};
    std::size_t lineEnd = 0;
    DecodeError error;
    ASSERT_TRUE(vexao::decode::findLineEnd(block.data(), 0, block.size(), lineEnd, error));
    EXPECT_EQ(lineEnd, 4u);
    ASSERT_TRUE(vexao::decode::findLineEnd(block.data(), 5, block.size(), lineEnd, error));
    EXPECT_EQ(lineEnd, 5u);
}

// Level packing of one line as the data model describes it: whole groups of
// three bytes become two, a last partial group drops its trailing zero bytes.
Bytes packLevels(const Bytes& line) {
    auto pair = [](int index) { return tblqzo73l[index & 0xFF]; };
    Bytes packed;
    std::size_t whole = line.size() / 3 * 3;
    for (std::size_t i = 0; i < whole; i += 3) {
        std::uint8_t a = line[i], b = line[i + 1], c = line[i + 2];
        packed.push_back(static_cast<std::uint8_t>(pair(a) | (b >> 4 & 7)));
        packed.push_back(static_cast<std::uint8_t>(pair(16 * (b & 7) + (c >> 4 & 7)) | (c & 7)));
    }
    std::size_t left = line.size() - whole;
    if (left == 1 && line[whole] != 0) packed.push_back(pair(line[whole]));
    if (left == 2 && (line[whole] | line[whole + 1]) != 0) {
        std::uint8_t a = line[whole], b = line[whole + 1];
        packed.push_back(static_cast<std::uint8_t>(pair(a) | (b >> 4 & 7)));
        if (pair(16 * (b & 7)) != 0) packed.push_back(pair(16 * (b & 7)));
    }
    return packed;
}

Bytes withoutTrailingZeros(Bytes line) {
    while (!line.empty() && line.back() == 0) line.pop_back();
    return line;
}

Bytes unpackLevelsTrimmed(const Bytes& packed) {
    Bytes line;
    std::size_t badIndex = 0;
    EXPECT_TRUE(vexao::decode::unpackLevels(packed, line, badIndex)) << "bad byte " << badIndex;
    return withoutTrailingZeros(line);
}

TEST(UnpackLevels, InvertsThePackedExamples) {
    struct Case {
        Bytes packed, line;
    } cases[] = {
        {{0x33, 0xA0}, {0x12, 0x34, 0x40}},
        {{0xA4, 0xA4}, {0x44, 0x44, 0x44}},
        {{0x00, 0x00, 0x08, 0x43, 0x80}, {0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x40}},
        {{0x38}, {0x13}},
        {{0x48, 0x60}, {0x21, 0x03}},
        {{0x4B}, {0x21, 0x30}},
        {{0x00, 0x20}, {0x00, 0x01}},
        {{0x01}, {0x00, 0x10}},
    };
    for (const Case& c : cases) EXPECT_EQ(unpackLevelsTrimmed(c.packed), c.line);
}

// Every line of one, two and three bytes of pixels 0..4 (all lengths mod 3),
// and longer lines that end in every pair of bytes: packing then unpacking
// gives the line back, up to trailing zero bytes, which packing drops.
TEST(UnpackLevels, RoundTripsEveryPixelValueAndLengthThroughTheTable) {
    Bytes values;
    for (int first = 0; first <= 4; ++first)
        for (int second = 0; second <= 4; ++second) values.push_back(static_cast<std::uint8_t>(16 * first + second));
    std::vector<Bytes> lines;
    for (std::uint8_t a : values) {
        lines.push_back({a});
        for (std::uint8_t b : values) {
            lines.push_back({a, b});
            lines.push_back({0x41, 0x23, 0x04, a, b});
            lines.push_back({0x41, 0x23, 0x04, 0x30, a, b});
            for (std::uint8_t c : values) lines.push_back({a, b, c});
        }
    }
    for (const Bytes& line : lines) ASSERT_EQ(unpackLevelsTrimmed(packLevels(line)), withoutTrailingZeros(line));
}

TEST(UnpackLevels, RefusesPairCodesThatPackingNeverWrites) {
    for (int code : {21, 22, 23, 28, 29, 30, 31}) {
        Bytes packed = {0x08, static_cast<std::uint8_t>(code << 3 | 1)};
        Bytes line;
        std::size_t badIndex = 9;
        EXPECT_FALSE(vexao::decode::unpackLevels(packed, line, badIndex)) << code;
        EXPECT_EQ(badIndex, 1u);
    }
}

}  // namespace
