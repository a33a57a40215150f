#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "compress/compress_api.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/guarded_output.h"
#include "tests/support/work_record.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vexao_test::encodeGuarded;
using vexao_test::GuardedOutput;
using vexao_test::makeParams;
using vexao_test::OpenRecord;

// A record configured for a level-packing mode, which holds the table.
class LevelRecord {
public:
    LevelRecord() {
        OutputParams params = makeParams('X', 20, 0);
        initResult = OutputInitTwo(record.handle(), &params, 'I');
    }
    MasterWork* work() const { return record.work; }
    OpenRecord record;
    std::int32_t initResult = -1;
};

GuardedOutput packGuarded(const Bytes& input, MasterWork* work) {
    int n = static_cast<int>(input.size());
    return encodeGuarded(2 * (n / 3) + n % 3, [&](std::uint8_t* out) { return pack83(out, input.data(), n, work); });
}

struct PackExample {
    const char* name;
    Bytes input;
    Bytes output;
};

void PrintTo(const PackExample& example, std::ostream* out) { *out << example.name; }

const PackExample kExamples[] = {
    {"mixed_levels", {0x12, 0x34, 0x40}, {0x33, 0xA0}},
    {"all_level_four", {0x44, 0x44, 0x44}, {0xA4, 0xA4}},
    {"blank_group", {0x00, 0x00, 0x00}, {0x00, 0x00}},
    {"two_groups_and_one_byte", {0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x40}, {0x00, 0x00, 0x08, 0x43, 0x80}},
    {"one_byte_left", {0x13}, {0x38}},
    {"one_zero_byte_left", {0x00}, {}},
    {"two_bytes_left", {0x21, 0x03}, {0x48, 0x60}},
    {"two_bytes_left_fourth_pixel_zero", {0x21, 0x30}, {0x4B}},
    {"two_bytes_left_second_pair_only", {0x00, 0x01}, {0x00, 0x20}},
    {"two_bytes_left_third_pixel_only", {0x00, 0x10}, {0x01}},
    {"two_zero_bytes_left", {0x00, 0x00}, {}},
    {"level_four_pairs", {0x04, 0x04, 0x00}, {0xC0, 0x80}},
    // Nibbles above 4: the whole first byte finds a zero entry; the second
    // pair's nibbles are cut to three bits (8 reads as 0, 9 as 1), and so is
    // a third pixel (13 gives 5).
    {"nibbles_above_four", {0x55, 0x58, 0x9D}, {0x05, 0x0D}},
    {"nibble_above_four_in_last_byte", {0x57}, {0x00}},
};

class LevelPackingExample : public ::testing::TestWithParam<PackExample> {};

TEST_P(LevelPackingExample, WritesTheExactBytesWithOrWithoutARecordTable) {
    const PackExample& example = GetParam();
    LevelRecord configured;
    ASSERT_EQ(configured.initResult, 0);
    ASSERT_EQ(configured.work()->levelTable, tblqzo73l);
    OpenRecord unconfigured;
    ASSERT_EQ(unconfigured->levelTable, nullptr);

    for (MasterWork* work : {configured.work(), unconfigured.work, static_cast<MasterWork*>(nullptr)}) {
        GuardedOutput packed = packGuarded(example.input, work);
        EXPECT_EQ(packed.bytes, example.output);
        EXPECT_EQ(packed.result, static_cast<int>(example.output.size()));
        EXPECT_TRUE(packed.guardsIntact);
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, LevelPackingExample, ::testing::ValuesIn(kExamples),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelTable, HoldsThePairCodesAndZeroElsewhere) {
    const std::uint8_t valid[5][5] = {
        {0x00, 0x08, 0x10, 0x18, 0xC0}, {0x20, 0x28, 0x30, 0x38, 0xC8}, {0x40, 0x48, 0x50, 0x58, 0xD0},
        {0x60, 0x68, 0x70, 0x78, 0xD8}, {0x80, 0x88, 0x90, 0x98, 0xA0},
    };
    for (int index = 0; index < 256; ++index) {
        int first = index >> 4, second = index & 15;
        std::uint8_t expected = first <= 4 && second <= 4 ? valid[first][second] : 0;
        EXPECT_EQ(tblqzo73l[index], expected) << "index " << index;
    }
}

// Unpacks with the inverse of the table: every output byte gives a pair and a
// third pixel; bytes the packer left out at the end stand for zero pixels.
Bytes unpack(const Bytes& packed, int n) {
    std::array<int, 32> firstOf{}, secondOf{};
    firstOf.fill(-1);
    for (int p = 0; p <= 4; ++p)
        for (int q = 0; q <= 4; ++q) {
            int code = tblqzo73l[16 * p + q] >> 3;
            firstOf[static_cast<std::size_t>(code)] = p;
            secondOf[static_cast<std::size_t>(code)] = q;
        }
    std::vector<int> pixels;
    for (std::uint8_t byte : packed) {
        int code = byte >> 3;
        if (firstOf[static_cast<std::size_t>(code)] < 0) return {};  // a code the table never gives
        pixels.push_back(firstOf[static_cast<std::size_t>(code)]);
        pixels.push_back(secondOf[static_cast<std::size_t>(code)]);
        pixels.push_back(byte & 7);
    }
    pixels.resize(static_cast<std::size_t>(2 * n), 0);
    Bytes bytes;
    for (std::size_t i = 0; i < pixels.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(pixels[i] << 4 | pixels[i + 1]));
    return bytes;
}

// Length of the packed form of a line of valid pixels: whole groups give two
// bytes; a partial group drops its blank tail.
int expectedPackedLength(const Bytes& line) {
    int n = static_cast<int>(line.size());
    int length = 2 * (n / 3);
    const std::uint8_t* rest = line.data() + n - n % 3;
    if (n % 3 == 1) length += rest[0] != 0;
    if (n % 3 == 2 && (rest[0] | rest[1]) != 0) length += 1 + ((rest[1] & 15) != 0);
    return length;
}

TEST(LevelPackingProperty, RandomPixelLinesUnpackToTheInput) {
    std::mt19937 random(83);
    std::uniform_int_distribution<int> pixel(0, 4), blankShare(0, 3);
    LevelRecord configured;
    ASSERT_EQ(configured.initResult, 0);
    for (int round = 0; round < 2000; ++round) {
        int n = round < 300 ? round : std::uniform_int_distribution<int>(0, round % 50 == 0 ? 32767 : 1500)(random);
        // Lines with blank stretches too, so zero tails of every shape occur.
        int blanks = blankShare(random);
        Bytes line(static_cast<std::size_t>(n));
        for (std::uint8_t& byte : line) {
            int first = blankShare(random) < blanks ? 0 : pixel(random);
            int second = blankShare(random) < blanks ? 0 : pixel(random);
            byte = static_cast<std::uint8_t>(first << 4 | second);
        }
        GuardedOutput packed = packGuarded(line, round % 2 == 0 ? configured.work() : nullptr);
        ASSERT_EQ(unpack(packed.bytes, n), line) << "n = " << n;
        ASSERT_EQ(packed.result, expectedPackedLength(line)) << "n = " << n;
        ASSERT_TRUE(packed.guardsIntact) << "n = " << n;
    }
}

}  // namespace
