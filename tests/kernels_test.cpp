// Every instruction-set path of the byte kernels against a plain model of the
// same rules, on the same inputs: the paths may differ only in speed. Inputs
// sit at the very end of their buffers, so a read past them is caught by the
// sanitizer build.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "compress/compress_api.h"
#include "compress/kernels_internal.h"
#include "tests/support/guarded_output.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vexao::ByteKernels;
using vexao::SimdPath;

std::string pathName(SimdPath path) {
    switch (path) {
        case SimdPath::Word: return "Word";
        case SimdPath::Sse2: return "Sse2";
        case SimdPath::Avx2: return "Avx2";
    }
    return "?";
}

// PackBits one run at a time, straight from the documented rules.
Bytes modelPackBits(const Bytes& input) {
    Bytes out;
    long group = -1;  // index of the open literal group's count byte
    for (std::size_t i = 0; i < input.size();) {
        std::size_t run = 1;
        while (i + run < input.size() && input[i + run] == input[i]) ++run;
        std::uint8_t value = input[i];
        i += run;
        if (group >= 0 && run == 1) {
            out.push_back(value);
            if (++out[group] == 0x7F) group = -1;
        } else if (group >= 0 && run == 2 && out[group] <= 124) {
            out[group] += 2;
            out.insert(out.end(), 2, value);
        } else if (group >= 0 && run == 2) {
            group = static_cast<long>(out.size());
            out.insert(out.end(), {0x01, value, value});
        } else {
            for (; run > 128; run -= 128) out.insert(out.end(), {0x81, value});
            out.insert(out.end(), {static_cast<std::uint8_t>(257 - run), value});
            group = run == 1 ? static_cast<long>(out.size()) - 2 : -1;
        }
    }
    return out;
}

// Runs of random lengths drawn from a few values, so that singles, pairs and
// long runs meet in every order, around every count a literal group can have.
Bytes runsOf(std::mt19937& random, std::size_t length, int maxRun, int values) {
    std::uniform_int_distribution<int> run(1, maxRun), value(0, values - 1);
    Bytes bytes;
    while (bytes.size() < length) bytes.insert(bytes.end(), static_cast<std::size_t>(run(random)), value(random));
    bytes.resize(length);
    return bytes;
}

std::vector<Bytes> packBitsInputs() {
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::vector<Bytes> inputs = {{}, {7}, {7, 7}, {7, 7, 7}, Bytes(32767, 0)};
    for (std::size_t length : {31u, 32u, 33u, 126u, 127u, 128u, 129u, 255u, 1000u, 4096u}) {
        Bytes noise(length);
        for (auto& byte : noise) byte = static_cast<std::uint8_t>(anyByte(random));
        inputs.push_back(noise);
        for (int maxRun : {2, 3, 5, 40, 300}) inputs.push_back(runsOf(random, length, maxRun, 3));
    }
    // A literal group of every count met by a pair, a single and a long run.
    for (int singles = 120; singles <= 130; ++singles)
        for (Bytes tail : {Bytes{9, 9}, Bytes{9, 9, 8}, Bytes{9, 9, 9}, Bytes(200, 9)}) {
            Bytes input;
            for (int i = 0; i < singles; ++i) input.push_back(static_cast<std::uint8_t>(i % 2));
            input.insert(input.end(), tail.begin(), tail.end());
            inputs.push_back(input);
        }
    for (int seed = 0; seed < 300; ++seed) {
        std::mt19937 lines(static_cast<unsigned>(seed));
        inputs.push_back(runsOf(lines, 1 + seed * 7 % 700, 1 + seed % 6, 2 + seed % 4));
    }
    return inputs;
}

class EveryPath : public ::testing::TestWithParam<SimdPath> {
protected:
    void SetUp() override {
        if (!vexao::cpuRuns(GetParam())) GTEST_SKIP() << "this processor lacks " << pathName(GetParam());
    }
    const ByteKernels& kernels() const { return vexao::kernelsFor(GetParam()); }
};

// Runs `encode` with `capacity` bytes of room followed by guard bytes; the
// output up to `length`, and whether everything past the capacity was left.
struct Encoded {
    std::int32_t result;
    Bytes code;
    bool beyondCapacityLeft;
};

template <typename Encode>
Encoded encodeInto(std::int32_t capacity, std::int32_t length, Encode encode) {
    Bytes buffer(static_cast<std::size_t>(capacity) + 16, vexao_test::kGuardByte);
    Encoded encoded{encode(buffer.data(), capacity), Bytes(buffer.begin(), buffer.begin() + length), true};
    for (std::size_t i = static_cast<std::size_t>(capacity); i < buffer.size(); ++i)
        encoded.beyondCapacityLeft = encoded.beyondCapacityLeft && buffer[i] == vexao_test::kGuardByte;
    return encoded;
}

// Both forms: the exact one leaves everything past its code alone, the one
// for the library's own buffers may use the room up to the capacity.
TEST_P(EveryPath, PackBitsWritesWhatTheRulesGive) {
    for (const Bytes& input : packBitsInputs()) {
        Bytes expected = modelPackBits(input);
        auto length = static_cast<std::int32_t>(expected.size());
        auto n = static_cast<std::int32_t>(input.size());
        auto exact = [&](std::uint8_t* out, std::int32_t capacity) {
            return kernels().packBits(out, capacity, input.data(), n);
        };
        auto intoRoom = [&](std::uint8_t* out, std::int32_t capacity) {
            return kernels().packBitsIntoRoom(out, capacity, input.data(), n);
        };
        // The exact form with ample room touches nothing past its code.
        Encoded ample = encodeInto(length + 64, length + 64, exact);
        ASSERT_EQ(ample.result, length) << "input of " << n << " bytes";
        EXPECT_EQ(Bytes(ample.code.begin(), ample.code.begin() + length), expected) << "input of " << n;
        EXPECT_EQ(Bytes(ample.code.begin() + length, ample.code.end()), Bytes(64, vexao_test::kGuardByte));
        for (std::int32_t capacity : {length, length + 40}) {
            Encoded roomy = encodeInto(capacity, length, intoRoom);
            EXPECT_EQ(roomy.result, length) << "input of " << n << " bytes";
            EXPECT_EQ(roomy.code, expected) << "input of " << n << " bytes";
            EXPECT_TRUE(roomy.beyondCapacityLeft) << "input of " << n << " bytes";
        }
        if (length == 0) continue;
        // One byte short: refused, and nothing written past the capacity.
        for (auto encode : {std::function<std::int32_t(std::uint8_t*, std::int32_t)>(exact),
                            std::function<std::int32_t(std::uint8_t*, std::int32_t)>(intoRoom)}) {
            Encoded tight = encodeInto(length - 1, 0, encode);
            EXPECT_EQ(tight.result, -1) << "input of " << n << " bytes";
            EXPECT_TRUE(tight.beyondCapacityLeft) << "input of " << n << " bytes";
        }
    }
}

// One inked byte at every place of every short length, and none at all.
TEST_P(EveryPath, InkScanFindsTheFirstAndLastNonZeroByte) {
    for (std::int32_t n = 0; n <= 300; ++n) {
        Bytes blank(static_cast<std::size_t>(n), 0);
        EXPECT_EQ(kernels().firstNonZero(blank.data(), n), n);
        EXPECT_EQ(kernels().lastNonZero(blank.data(), n), -1);
        for (std::int32_t at = 0; at < n; ++at) {
            Bytes line(static_cast<std::size_t>(n), 0);
            line[at] = 0x80;
            ASSERT_EQ(kernels().firstNonZero(line.data(), n), at) << n;
            ASSERT_EQ(kernels().lastNonZero(line.data(), n), at) << n;
        }
    }
    Bytes twoMarks(5000, 0);
    twoMarks[1234] = twoMarks[4321] = 1;
    EXPECT_EQ(kernels().firstNonZero(twoMarks.data(), 5000), 1234);
    EXPECT_EQ(kernels().lastNonZero(twoMarks.data(), 5000), 4321);
}

// Level packing against the one-group-at-a-time path, with the printer's
// table, with a table whose every entry is set (every row of a vector lookup
// counts), and on bytes whose nibbles are not valid levels.
TEST_P(EveryPath, LevelPackingMatchesOneGroupAtATime) {
    std::mt19937 random(83);
    std::uniform_int_distribution<int> anyByte(0, 255), level(0, 4);
    Bytes fullTable(256);
    for (auto& entry : fullTable) entry = static_cast<std::uint8_t>(anyByte(random) | 1);
    const ByteKernels& reference = vexao::kernelsFor(SimdPath::Word);
    for (const std::uint8_t* table : {tblqzo73l, static_cast<const std::uint8_t*>(fullTable.data())}) {
        for (std::int32_t groups : {0, 1, 31, 32, 33, 64, 65, 1000}) {
            for (bool validLevels : {true, false}) {
                Bytes input(static_cast<std::size_t>(3 * groups));
                for (auto& byte : input) {
                    int pixels = validLevels ? level(random) << 4 | level(random) : anyByte(random);
                    byte = static_cast<std::uint8_t>(pixels);
                }
                Bytes expected(static_cast<std::size_t>(2 * groups)), packed(expected.size());
                reference.packLevelGroups(expected.data(), input.data(), groups, table);
                kernels().packLevelGroups(packed.data(), input.data(), groups, table);
                EXPECT_EQ(packed, expected) << groups << " groups";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryPath, ::testing::ValuesIn(vexao::kEverySimdPath),
                         [](const auto& info) { return pathName(info.param); });

// The word path is the reference of the level-packing test above; it must
// itself follow the table.
TEST(WordPath, LevelPacksThreeBytesIntoTwoThroughTheTable) {
    const Bytes input = {0x12, 0x34, 0x40};
    Bytes packed(2);
    vexao::kernelsFor(SimdPath::Word).packLevelGroups(packed.data(), input.data(), 1, tblqzo73l);
    // Pixels 1 2 3 4 4 0: pair codes 1,2 and 4,4, third pixels 3 and 0.
    EXPECT_EQ(packed, (Bytes{static_cast<std::uint8_t>(tblqzo73l[0x12] | 3), tblqzo73l[0x44]}));
}

}  // namespace
