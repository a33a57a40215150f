#include <gtest/gtest.h>

#include "compress/compress_api.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/configured_record.h"
#include "tests/support/host.h"

namespace {

using vexao_test::Bytes;
using vexao_test::concat;
using vexao_test::Configured;
using vexao_test::inkedLine;
using vexao_test::Line;
using vexao_test::lineWithCodeLength;
using vexao_test::sparse;

const Bytes kHeader16 = {0x1B, 0x28, 0x49, 0x01, 0x00, 0x01, 0x1B, 0x28, 0x4A, 0x01, 0x00, 0x10};
const Bytes kPlaneListK = {0x1B, 0x28, 0x4C, 0x01, 0x00, 0x4B};

// One plane, one bit a pixel, 16-line bands.
Configured singlePlaneBands(std::int16_t halfBand = 0) { return Configured('e', 0, 20, 1, halfBand); }

TEST(BandRows, PageStartingWithInkPutsLineLInRowLMod16) {
    Configured record = singlePlaneBands();
    ASSERT_EQ(record.setUp, 0);
    for (int number : {0, 5, 20}) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    // Lines 0 and 5 went out with the first band (sent when line 20 passed it); line 20 is in row 4.
    EXPECT_EQ(record->bandLine, 5);
    EXPECT_NE(record->planes[0].lineLen[4], 0);
}

TEST(BandRows, PageStartingBlankIsOffsetByOneRow) {
    Configured record = singlePlaneBands();
    Line first = inkedLine(3);
    record.produce(first);
    EXPECT_NE(record->planes[0].lineLen[2], 0);
    Line second = inkedLine(4);
    record.produce(second);
    EXPECT_NE(record->planes[0].lineLen[3], 0);
}

TEST(BandRows, FirstCallOfAPageCarriesTheHeaderEvenWhenBlank) {
    Configured record = singlePlaneBands();
    Line blank(0);
    blank.plane(0, Bytes(8, 0), 8);
    EXPECT_EQ(record.produce(blank), kHeader16);
    Line again(1);
    again.plane(0, Bytes(8, 0), 8);
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputProduce(record.handle(), again.input(), &descriptor), 0);
    EXPECT_EQ(descriptor->count, 0);
    EXPECT_EQ(record->bandLine, 0);
    OutputComplete(record.handle());
}

TEST(BandRows, TheLineThatFillsTheBandSendsIt) {
    Configured record = singlePlaneBands();
    Bytes sent;
    for (int number = 0; number < 16; ++number) {
        Line line = inkedLine(number);
        sent = record.produce(line);
        if (number < 15) {
            EXPECT_EQ(record->bandLine, number + 1);
        }
    }
    Bytes block = {0x1B, 0x28, 0x46, 0x30, 0x00};  // 16 lines of 00 41 80
    for (int i = 0; i < 16; ++i) block.insert(block.end(), {0x00, 0x41, 0x80});
    EXPECT_EQ(sent, concat({kPlaneListK, block}));
    EXPECT_EQ(record->bandLine, 0);
}

TEST(BandRows, LineFortyLinesDownSendsTheBandCountsOneEmptyAndLandsInRow10) {
    Configured record = singlePlaneBands();
    for (int number = 0; number < 3; ++number) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    Line far = inkedLine(42);
    Bytes block = {0x1B, 0x28, 0x46, 0x16, 0x00};
    for (int i = 0; i < 3; ++i) block.insert(block.end(), {0x00, 0x41, 0x80});
    block.insert(block.end(), 13, 0x80);
    EXPECT_EQ(record.produce(far), concat({kPlaneListK, block}));
    EXPECT_EQ(record->pendingBands, 1);
    EXPECT_NE(record->planes[0].lineLen[10], 0);
    EXPECT_EQ(record->bandLine, 11);
}

// The band with data goes out, every band passed over is counted at once,
// and the line's own band, which it fills, carries the skip.
TEST(BandRows, AJumpOfNearly2To31LinesIsCountedInWholeBands) {
    Configured record = singlePlaneBands();
    for (int number = 0; number < 3; ++number) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    Line far = inkedLine(INT32_MAX);  // (3 + 2^31 - 4) rows on: one band sent, 134217726 empty, row 15
    Bytes first = {0x1B, 0x28, 0x46, 0x16, 0x00};
    for (int i = 0; i < 3; ++i) first.insert(first.end(), {0x00, 0x41, 0x80});
    first.insert(first.end(), 13, 0x80);
    Bytes skips;
    for (int i = 0; i < 4096; ++i) skips = concat({skips, vexao_test::skip(32767)});
    Bytes last = {0x1B, 0x28, 0x46, 0x12, 0x00};
    last.insert(last.end(), 15, 0x80);
    last.insert(last.end(), {0x00, 0x41, 0x80});
    EXPECT_EQ(record.produce(far), concat({kPlaneListK, first, skips, vexao_test::skip(4094), last}));
}

// A flush leaves the print position where it was, so flushes over a blank
// stretch count its bands again each time; the count stops at 2^31 - 1.
TEST(BandRows, RepeatedFlushesOverAHugeBlankStretchNeverWrapTheEmptyBandCount) {
    Configured record = singlePlaneBands();
    Line blank(INT32_MAX);
    blank.plane(0, Bytes(8, 0), 8);
    record.produce(blank);
    for (int flush = 0; flush < 17; ++flush) EXPECT_TRUE(record.finish(false).empty());  // 2^27 bands each
    EXPECT_EQ(record->pendingBands, INT32_MAX);
}

TEST(BandCapacity, RowsLongerThanTheirSlotAreRefusedBeforeAnythingMoves) {
    struct Limit {
        std::int16_t halfBand;
        int longest;
    };
    // 16 rows of 4095 bytes would overflow a band block's 16-bit length.
    for (Limit limit : {Limit{0, 4094}, Limit{1, 4096}}) {
        Configured record = singlePlaneBands(limit.halfBand);
        Line tooLong = lineWithCodeLength(0, limit.longest + 1);
        EXPECT_TRUE(record.produce(tooLong, -128).empty());
        EXPECT_EQ(record->needHeader, 1);
        EXPECT_EQ(record->bandLine, 0);
        EXPECT_EQ(record->planeHasData[0], 0);
        EXPECT_EQ(record->curLine, 0);

        Line longest = lineWithCodeLength(0, limit.longest);
        record.produce(longest);
        EXPECT_EQ(record->planes[0].lineLen[0], limit.longest);
    }
}

TEST(BandCapacity, ARowFillingItsWholeSlotGoesOutWithItsEightLineBand) {
    Configured record = singlePlaneBands(1);
    Line longest = lineWithCodeLength(0, 4096);
    Bytes code(4096);
    ASSERT_EQ(packbits(code.data(), longest.bytes(0).data(), static_cast<std::int32_t>(longest.bytes(0).size())), 4096);
    EXPECT_EQ(record.produce(longest).size(), 12u);  // the page header only
    Bytes sent;
    for (int number = 1; number < 8; ++number) {
        Line line = inkedLine(number);
        sent = record.produce(line);
    }
    Bytes block = {0x1B, 0x28, 0x46, 0x16, 0x10};  // 4097 + 7 x 3 = 4118 bytes
    block.insert(block.end(), code.begin(), code.end());
    block.push_back(0x80);
    for (int i = 1; i < 8; ++i) block.insert(block.end(), {0x00, 0x41, 0x80});
    EXPECT_EQ(sent, concat({kPlaneListK, block}));
}

TEST(BandCapacity, FullBandsOfTheLongestRowsFitTheDescriptor) {
    Configured record('e', 0, 0);  // six planes, four bits a pixel
    ASSERT_EQ(record->planeCount, 6);
    OutputDesc* descriptor = nullptr;
    // Rows 0..14, then line 31: the jump sends the full band, and the line lands
    // in row 15 and sends its own band in the same call.
    for (int number = 0; number < 16; ++number) {
        Line line(number == 15 ? 31 : number);
        Bytes data(4062);
        for (int i = 0; i < 4062; ++i) data[i] = static_cast<std::uint8_t>(i % 255 + 1);
        for (int k = 0; k < 6; ++k) line.plane(k, data, 2);
        ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0) << number;
        for (int i = 0; i < descriptor->count; ++i) EXPECT_LE(descriptor->chunks[i].len, 32767);
        OutputComplete(record.handle());
    }
    EXPECT_EQ(record->bandLine, 0);
    EXPECT_EQ(record->planeHasData[0], 0);
}

}  // namespace
