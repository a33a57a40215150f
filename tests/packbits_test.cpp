#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "compress/compress_api.h"
#include "compress/packbits_internal.h"
#include "tests/support/guarded_output.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vexao_test::encodeGuarded;
using vexao_test::GuardedOutput;
using vexao_test::kGuardByte;

constexpr int kMaxCount = VEXAO_MAX_COMPRESS_COUNT;

Bytes repeated(std::uint8_t value, int count) { return Bytes(static_cast<std::size_t>(count), value); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes ascending(int first, int last) {
    Bytes bytes;
    for (int value = first; value <= last; ++value) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

// The pairs first first, first+1 first+1, ..., last last.
Bytes pairs(int first, int last) {
    Bytes bytes;
    for (int value = first; value <= last; ++value) bytes.insert(bytes.end(), 2, static_cast<std::uint8_t>(value));
    return bytes;
}

int worstCaseLength(int n) { return n == 0 ? 0 : n + std::max(1, (n - 1 + 125) / 126); }

GuardedOutput packGuarded(const Bytes& input) {
    int n = static_cast<int>(input.size());
    return encodeGuarded(worstCaseLength(n), [&](std::uint8_t* out) { return packbits(out, input.data(), n); });
}

GuardedOutput leftPackGuarded(int n) {
    return encodeGuarded(2 * ((n + 127) / 128), [&](std::uint8_t* out) { return LeftPack(out, n); });
}

// A plain PackBits decoder. Fails on a truncated stream and on the count
// byte 0x80, which the encoders must never write.
::testing::AssertionResult decodes(const Bytes& stream, Bytes* decoded) {
    decoded->clear();
    std::size_t at = 0;
    while (at < stream.size()) {
        std::uint8_t count = stream[at++];
        if (count == 0x80) return ::testing::AssertionFailure() << "count byte 0x80 at " << at - 1;
        if (count < 0x80) {
            std::size_t literals = count + 1u;
            if (at + literals > stream.size()) return ::testing::AssertionFailure() << "literal group cut short";
            decoded->insert(decoded->end(), stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + literals));
            at += literals;
        } else {
            if (at >= stream.size()) return ::testing::AssertionFailure() << "repeat run cut short";
            decoded->insert(decoded->end(), 257u - count, stream[at++]);
        }
    }
    return ::testing::AssertionSuccess();
}

struct PackExample {
    const char* name;
    Bytes input;
    Bytes output;
};

void PrintTo(const PackExample& example, std::ostream* out) { *out << example.name; }

std::vector<PackExample> packExamples() {
    const Bytes singleThenPairs = concat({{0x00}, pairs(0x01, 0x3F)});
    return {
        {"single", {0x41}, {0x00, 0x41}},
        {"two_literals", {0x41, 0x42}, {0x01, 0x41, 0x42}},
        {"pair_alone", {0x41, 0x41}, {0xFF, 0x41}},
        {"triple", {0x41, 0x41, 0x41}, {0xFE, 0x41}},
        {"pair_joins_group", {0x41, 0x42, 0x42}, {0x02, 0x41, 0x42, 0x42}},
        {"group_goes_on_after_pair", {0x41, 0x42, 0x42, 0x43}, {0x03, 0x41, 0x42, 0x42, 0x43}},
        {"triple_closes_group", {0x41, 0x42, 0x42, 0x42}, {0x00, 0x41, 0xFE, 0x42}},
        {"literal_after_triple", {0x41, 0x42, 0x42, 0x42, 0x43}, {0x00, 0x41, 0xFE, 0x42, 0x00, 0x43}},
        {"leading_pair_is_repeat", {0x41, 0x41, 0x42, 0x43}, {0xFF, 0x41, 0x01, 0x42, 0x43}},
        {"run_128", repeated(0x41, 128), {0x81, 0x41}},
        {"run_129", repeated(0x41, 129), {0x81, 0x41, 0x00, 0x41}},
        {"run_130", repeated(0x41, 130), {0x81, 0x41, 0xFF, 0x41}},
        {"run_256", repeated(0x41, 256), {0x81, 0x41, 0x81, 0x41}},
        {"run_257", repeated(0x41, 257), {0x81, 0x41, 0x81, 0x41, 0x00, 0x41}},
        {"full_literal_group", ascending(0x01, 0x81), concat({{0x7F}, ascending(0x01, 0x80), {0x00, 0x81}})},
        {"pairs_stop_joining_at_124", concat({singleThenPairs, {0x40, 0x40}}),
         concat({{0x7E}, singleThenPairs, {0x01, 0x40, 0x40}})},
        {"single_fills_group_then_pair_repeats", concat({singleThenPairs, {0x70, 0x71, 0x71}}),
         concat({{0x7F}, singleThenPairs, {0x70, 0xFF, 0x71}})},
        {"single_fills_group_then_single_opens", concat({singleThenPairs, {0x70, 0x71}}),
         concat({{0x7F}, singleThenPairs, {0x70, 0x00, 0x71}})},
        {"pair_at_count_125_opens_group", concat({ascending(0x01, 0x7E), {0x7F, 0x7F}}),
         concat({{0x7D}, ascending(0x01, 0x7E), {0x01, 0x7F, 0x7F}})},
        {"remainder_of_long_run_takes_pair", concat({repeated(0x41, 129), {0x42, 0x42}}),
         {0x81, 0x41, 0x02, 0x41, 0x42, 0x42}},
        {"pair_after_repeat_run", {0x41, 0x41, 0x41, 0x42, 0x42}, {0xFE, 0x41, 0xFF, 0x42}},
    };
}

class PackBitsExample : public ::testing::TestWithParam<PackExample> {};

TEST_P(PackBitsExample, WritesTheExactBytes) {
    const PackExample& example = GetParam();
    GuardedOutput encoded = packGuarded(example.input);
    EXPECT_EQ(encoded.bytes, example.output);
    EXPECT_EQ(encoded.result, static_cast<int>(example.output.size()));
    EXPECT_TRUE(encoded.guardsIntact);
}

INSTANTIATE_TEST_SUITE_P(Examples, PackBitsExample, ::testing::ValuesIn(packExamples()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LeftPack, WritesTheExactBytes) {
    const struct {
        int n;
        Bytes output;
    } examples[] = {
        {1, {0x00, 0x00}},
        {2, {0xFF, 0x00}},
        {128, {0x81, 0x00}},
        {129, {0x81, 0x00, 0x00, 0x00}},
        {130, {0x81, 0x00, 0xFF, 0x00}},
        {300, {0x81, 0x00, 0x81, 0x00, 0xD5, 0x00}},
    };
    for (const auto& example : examples) {
        GuardedOutput encoded = leftPackGuarded(example.n);
        EXPECT_EQ(encoded.bytes, example.output) << "n = " << example.n;
        EXPECT_EQ(encoded.result, static_cast<int>(example.output.size())) << "n = " << example.n;
        EXPECT_TRUE(encoded.guardsIntact) << "n = " << example.n;
    }
}

TEST(LeftPack, DecodesToNZerosInTwoBytesPerStarted128) {
    std::vector<int> counts = {1, 2, 127, 128, 129, 130, 255, 256, 257, 384, 385, kMaxCount - 1, kMaxCount};
    std::mt19937 random(1105);
    for (int i = 0; i < 400; ++i) counts.push_back(std::uniform_int_distribution<int>(1, kMaxCount)(random));
    for (int n : counts) {
        GuardedOutput encoded = leftPackGuarded(n);
        Bytes decoded;
        ASSERT_TRUE(decodes(encoded.bytes, &decoded)) << "n = " << n;
        EXPECT_EQ(decoded, repeated(0x00, n)) << "n = " << n;
        EXPECT_EQ(encoded.result, 2 * ((n + 127) / 128)) << "n = " << n;
        EXPECT_TRUE(encoded.guardsIntact) << "n = " << n;
    }
}

// Random lines built from runs, pairs and literal stretches in random
// proportions, so every transition between the encoder's cases occurs.
Bytes randomLine(std::mt19937& random, int length) {
    std::uniform_int_distribution<int> kind(0, 2), byte(0, 255), shortLength(1, 12), longLength(1, 400);
    Bytes line;
    while (static_cast<int>(line.size()) < length) {
        std::uint8_t value = static_cast<std::uint8_t>(byte(random) & (kind(random) == 0 ? 0x03 : 0xFF));
        switch (kind(random)) {
            case 0: line.insert(line.end(), static_cast<std::size_t>(longLength(random)), value); break;
            case 1: line.insert(line.end(), 2, value); break;
            default:
                for (int i = shortLength(random); i > 0; --i) line.push_back(static_cast<std::uint8_t>(byte(random)));
        }
    }
    line.resize(static_cast<std::size_t>(length));
    return line;
}

TEST(PackBitsProperty, RandomLinesRoundTripWithinTheWorstCase) {
    std::mt19937 random(20240611);
    std::vector<int> lengths = {0, 1, 2, 3, 126, 127, 128, 129, 255, 256, 257, kMaxCount};
    for (int i = 0; i < 1500; ++i) lengths.push_back(std::uniform_int_distribution<int>(0, 2000)(random));
    for (int i = 0; i < 60; ++i) lengths.push_back(std::uniform_int_distribution<int>(0, kMaxCount)(random));
    for (int length : lengths) {
        Bytes line = randomLine(random, length);
        GuardedOutput encoded = packGuarded(line);
        Bytes decoded;
        ASSERT_TRUE(decodes(encoded.bytes, &decoded)) << "length " << length;
        ASSERT_EQ(decoded, line) << "length " << length;
        EXPECT_LE(encoded.result, worstCaseLength(length)) << "length " << length;
        EXPECT_TRUE(encoded.guardsIntact) << "length " << length;
    }
}

// Single bytes followed by alternating pairs: every literal group absorbs
// pairs until it is as full as pairs allow, which is the longest output. An
// odd length takes one single byte, an even length two, so the line ends on a
// whole pair.
Bytes worstCaseLine(int length) {
    Bytes line = length % 2 == 1 ? Bytes{0x07} : Bytes{0x07, 0x08};
    for (std::uint8_t pair = 0; static_cast<int>(line.size()) < length; pair ^= 1) line.insert(line.end(), 2, pair);
    line.resize(static_cast<std::size_t>(length));
    return line;
}

TEST(PackBitsProperty, WorstCaseInputReachesTheBoundExactly) {
    std::vector<int> lengths = {kMaxCount - 1, kMaxCount};
    for (int n = 1; n <= 600; ++n) lengths.push_back(n);
    for (int length : lengths) {
        Bytes line = worstCaseLine(length);
        GuardedOutput encoded = packGuarded(line);
        Bytes decoded;
        ASSERT_TRUE(decodes(encoded.bytes, &decoded)) << "length " << length;
        ASSERT_EQ(decoded, line) << "length " << length;
        EXPECT_EQ(encoded.result, worstCaseLength(length)) << "length " << length;
        EXPECT_LE(encoded.result, length + length / 126 + 1) << "length " << length;
    }
}

TEST(CompressorCounts, OutOfRangeCountsWriteNothing) {
    const Bytes input(8, 0x11);
    for (int n : {-1, -32768, INT32_MIN, kMaxCount + 1, 65535, INT32_MAX}) {
        std::uint8_t guard[4] = {kGuardByte, kGuardByte, kGuardByte, kGuardByte};
        // The input is never read for these counts, so a short one is safe.
        EXPECT_EQ(packbits(guard, input.data(), n), 0) << n;
        EXPECT_EQ(LeftPack(guard, n), 0) << n;
        EXPECT_EQ(pack83(guard, input.data(), n, nullptr), 0) << n;
        for (std::uint8_t byte : guard) EXPECT_EQ(byte, kGuardByte) << n;
    }
    std::uint8_t guard = kGuardByte;
    EXPECT_EQ(packbits(&guard, input.data(), 0), 0);
    EXPECT_EQ(LeftPack(&guard, 0), 0);
    EXPECT_EQ(pack83(&guard, input.data(), 0, nullptr), 0);
    EXPECT_EQ(guard, kGuardByte);
}

// The bounded variant that fixed-size buffers use: the same bytes when they
// fit, a refusal and nothing past the capacity when they do not. The last
// trial has the largest count, 32767.
TEST(PackBitsWithin, WritesWhatPackbitsWritesOrRefusesWithinTheCapacity) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 201; ++trial) {
        std::vector<std::uint8_t> input(trial == 200 ? 32767 : 1 + random() % 600);
        for (auto& byte : input) byte = static_cast<std::uint8_t>(random() % 3 == 0 ? random() : 7);
        int n = static_cast<int>(input.size());
        std::vector<std::uint8_t> full(vexao::packBitsBound(n));
        int length = packbits(full.data(), input.data(), n);
        for (int capacity : {length, length - 1, length / 2, 0}) {
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity) + 16, vexao_test::kGuardByte);
            int result = vexao::packBitsWithin(buffer.data(), capacity, input.data(), n);
            for (std::size_t i = static_cast<std::size_t>(capacity); i < buffer.size(); ++i)
                ASSERT_EQ(buffer[i], vexao_test::kGuardByte) << "written past capacity " << capacity;
            if (capacity == length) {
                EXPECT_EQ(result, length);
                EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length),
                          std::vector<std::uint8_t>(full.begin(), full.begin() + length));
            } else {
                EXPECT_EQ(result, -1) << "capacity " << capacity;
            }
        }
    }
}

TEST(PackBitsWithin, CountsBeyond32767WriteNothing) {
    std::vector<std::uint8_t> input(32768, 9), output(40000, vexao_test::kGuardByte);
    EXPECT_EQ(vexao::packBitsWithin(output.data(), 40000, input.data(), 32768), 0);
    EXPECT_EQ(output[0], vexao_test::kGuardByte);
}

}  // namespace
