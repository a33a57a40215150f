#include <gtest/gtest.h>

#include <random>

#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/host.h"
#include "tests/support/configured_record.h"
#include "tests/support/work_record.h"

namespace {

using vexao_test::Bytes;
using vexao_test::concat;
using vexao_test::Line;
using vexao_test::Configured;
using vexao_test::OpenRecord;
using vexao_test::sparse;

const Bytes kPlaneKAtByte5 = {0x1B, 0x28, 0x41, 0x05, 0x00, 0x4B, 0xFC, 0x00, 0x00, 0x41, 0x0D};

TEST(NormalLine, FirstLineWithDataSkipsFromTheTopAndEncodesTheSpan) {
    Configured record('I', 20, 20);
    ASSERT_EQ(record.setUp, 0);
    Line first(10);
    first.plane(0, sparse(64, {{5, 0x41}}), 8);
    EXPECT_EQ(record.produce(first), concat({vexao_test::skip(10), kPlaneKAtByte5}));
    EXPECT_EQ(record->lastLine, 10);

    Line second(11);
    second.plane(0, sparse(64, {{5, 0x41}}), 8);
    second.plane(3, sparse(64, {{0, 0x80}, {1, 0x80}, {2, 0x80}, {3, 0x01}}), 8);
    Bytes planeC = {0x1B, 0x28, 0x41, 0x05, 0x00, 0x43, 0xFE, 0x80, 0x00, 0x01, 0x0D};
    Bytes sent = record.produce(second);
    EXPECT_EQ(sent, concat({vexao_test::skip(1), kPlaneKAtByte5, planeC}));
    EXPECT_EQ(sent.size(), 29u);
}

TEST(NormalLine, LineZeroNeedsNoSkipAndBlankLinesSendNothing) {
    Configured record('I', 20, 20);
    Line blank(3);
    blank.plane(0, Bytes(16, 0), 8);
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputProduce(record.handle(), blank.input(), &descriptor), 0);
    EXPECT_EQ(descriptor->count, 1);
    EXPECT_EQ(descriptor->len, 0);
    EXPECT_EQ(record->lastLine, 0);
    EXPECT_EQ(record->curLine, 3);
    OutputComplete(record.handle());

    Configured top('I', 20, 20);
    Line zero(0);
    zero.plane(0, sparse(8, {{0, 0xFF}}), 8);
    EXPECT_EQ(top.produce(zero), (Bytes{0x1B, 0x28, 0x41, 0x03, 0x00, 0x4B, 0x00, 0xFF, 0x0D}));
}

TEST(NormalLine, LongJumpIsSplitIntoSkipsOf32767) {
    Configured record('I', 20, 20);
    Line far(70000);
    far.plane(0, sparse(64, {{5, 0x41}}), 8);
    EXPECT_EQ(record.produce(far),
              concat({vexao_test::skip(32767), vexao_test::skip(32767), vexao_test::skip(4466), kPlaneKAtByte5}));
}

TEST(NormalLine, SecondProduceBeforeCompleteIsRefusedAndChangesNothing) {
    Configured record('I', 20, 20);
    Line line(4);
    line.plane(0, sparse(8, {{1, 1}}), 8);
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0);
    Bytes first = vexao_test::sentBytes(descriptor);
    OutputDesc* untouched = nullptr;
    Line next(5);
    next.plane(0, sparse(8, {{1, 1}}), 8);
    EXPECT_EQ(OutputProduce(record.handle(), next.input(), &untouched), -256);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(record->lastLine, 4);
    EXPECT_EQ(vexao_test::sentBytes(descriptor), first);
}

TEST(Trimming, ExaminesExactlyTheDeclaredBytes) {
    // 100 pixels at one bit a pixel are bytes 0 to 12.
    Configured record('I', 20, 20);
    Line inside(0);
    inside.plane(0, sparse(13, {{12, 0x08}}), 8, 100);
    EXPECT_FALSE(record.produce(inside).empty());

    Line beyond(1);
    beyond.plane(0, sparse(14, {{13, 0xFF}}), 8, 100);
    EXPECT_TRUE(record.produce(beyond).empty());

    // rightBlank moves the last examined byte; leftBlank the first.
    Line trimmed(2);
    trimmed.plane(0, sparse(13, {{0, 0xFF}, {12, 0xFF}}), 8, 100);
    trimmed[0].leftBlank = 8;
    trimmed[0].rightBlank = 8;
    EXPECT_TRUE(record.produce(trimmed).empty());
}

TEST(Trimming, ImpossiblePlaneNumbersAreLeftOutWithoutReading) {
    Configured record('I', 20, 20);
    struct Numbers {
        std::int16_t width, left, right;
    };
    for (Numbers n : {Numbers{-8, 0, 0}, Numbers{0, 0, 0}, Numbers{64, -8, 0}, Numbers{64, 0, -8},
                      Numbers{64, 72, 0}, Numbers{64, 64, 0}, Numbers{64, 40, 40}}) {
        // One byte of storage: AddressSanitizer catches any read the numbers would lead to.
        Line line(1);
        line.plane(0, Bytes{0xFF}, 8, n.width);
        line[0].leftBlank = n.left;
        line[0].rightBlank = n.right;
        EXPECT_TRUE(record.produce(line).empty()) << n.width << " " << n.left << " " << n.right;
        EXPECT_EQ(record->lastLine, 0);
    }
}

TEST(LevelPacking, PackingStartsAtTheGroupOfThreeThatHoldsTheFirstInk) {
    Configured record('I', 0, 0);  // four bits a pixel, level packing
    ASSERT_EQ(record->usePack83, 1);
    Line line(0);
    line.plane(0, sparse(12, {{6, 0x33}, {7, 0x12}}), 2);
    line[0].leftBlank = 14;  // byte 6 lies before the declared range
    Bytes sent = record.produce(line);
    EXPECT_EQ(line.bytes(0)[6], 0) << "the byte added in front of the ink is cleared";
    // Bytes 6 and 7 (00 12) pack to 01 40, after the zero run of the 4 packed bytes before them.
    EXPECT_EQ(sent, (Bytes{0x1B, 0x28, 0x41, 0x06, 0x00, 0x4B, 0xFD, 0x00, 0x01, 0x01, 0x40, 0x0D}));
}

TEST(LevelPacking, InkInTheFirstGroupClearsTheBytesBeforeItAndHasNoZeroRun) {
    Configured record('I', 0, 0);
    Line line(0);
    line.plane(0, Bytes{0x44, 0x44, 0x12, 0x00, 0x00, 0x00}, 2);
    line[0].leftBlank = 4;  // pixels 0..3 are declared blank: bytes 0 and 1 are not scanned
    Bytes sent = record.produce(line);
    EXPECT_EQ(line.bytes(0)[0], 0);
    EXPECT_EQ(line.bytes(0)[1], 0);
    // 00 00 12 packs to 00 08 (pair 0,0 with pixel 0; pair 0,1 with pixel 2 -> 08|2)
    EXPECT_EQ(sent, (Bytes{0x1B, 0x28, 0x41, 0x04, 0x00, 0x4B, 0x01, 0x00, 0x0A, 0x0D}));
}

TEST(Capacity, NormalLineBeyond32767BytesIsRefusedAndTheRecordStaysUsable) {
    Configured record('x', 0, 0);  // four bits a pixel, no packing
    std::mt19937 random(7);
    Line huge(5);
    for (int k = 0; k < VEXAO_MAX_PLANES; ++k) {
        Bytes noise(16000);
        for (auto& byte : noise) byte = static_cast<std::uint8_t>(random() | 1);
        huge.plane(k, noise, 2, 32000);
    }
    EXPECT_TRUE(record.produce(huge, -128).empty());
    EXPECT_EQ(record->lastLine, 0);
    EXPECT_EQ(record->curLine, 0);
    EXPECT_EQ(record->produced, 0);

    Line fine(5);
    fine.plane(0, sparse(8, {{0, 0x11}}), 2);
    EXPECT_EQ(record.produce(fine), concat({vexao_test::skip(5), {0x1B, 0x28, 0x41, 0x03, 0x00, 0x4B, 0x00, 0x11, 0x0D}}));
}

// A plane whose PackBits code is exactly `codeLength` bytes of literal groups,
// at four bits a pixel.
Bytes literalsCodedIn(int codeLength) {
    Bytes data(codeLength - (codeLength + 128) / 129);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 255 + 1);
    return data;
}

// Three colour data commands of 7 + 10915, 7 + 10915 and 7 + 10916 bytes make
// 32767: the carriage return of the last is the last byte that fits.
TEST(Capacity, NormalLineOfExactly32767BytesFitsAndOneMoreDoesNot) {
    for (int extra : {0, 1}) {
        Configured record('x', 0, 0);
        Line line(0);
        line.plane(0, literalsCodedIn(10915), 2);
        line.plane(1, literalsCodedIn(10915), 2);
        line.plane(2, literalsCodedIn(10916 + extra), 2);
        Bytes sent = record.produce(line, extra == 0 ? 0 : -128);
        EXPECT_EQ(sent.size(), extra == 0 ? 32767u : 0u);
        if (extra == 0) {
            EXPECT_EQ(sent.back(), 0x0D);
        }
    }
}

// Normal mode works in the buffers that set-up allocated: a page of lines
// with ink, blank lines and jumps, then its form feed and the next page's
// set-up, allocate nothing.
TEST(NormalLine, MakesNoAllocationPerLine) {
    struct Family {
        char model;
        std::int16_t variant, rasterMode;
        int pixelsPerByte;
    };
    for (Family family : {Family{'I', 1, 0, 2}, Family{'I', 0, 20, 8}, Family{'x', 0, 0, 2}}) {
        Configured record(family.model, family.variant, family.rasterMode);
        ASSERT_EQ(record.setUp, 0);
        std::mt19937 random(3);
        long before = vexao_test::allocationCount();
        for (int page = 0; page < 2; ++page) {
            for (std::int32_t y = 0; y < 600; y += 1 + y % 7) {
                Line line(y);
                for (int k = 0; k < 6; ++k) {
                    Bytes bytes(620, 0);
                    for (std::size_t i = y % 100; i < bytes.size(); i += 1 + random() % 9) bytes[i] = 0x11;
                    line.plane(k, y % 5 == k ? Bytes(620, 0) : bytes, family.pixelsPerByte);
                }
                record.produce(line);
            }
            record.finish(true);
            OutputParams params = vexao_test::makeParams(family.model, family.variant, family.rasterMode);
            EXPECT_EQ(OutputInitPart(record.handle(), &params), 0);
        }
        EXPECT_EQ(vexao_test::allocationCount(), before) << family.model << " " << family.variant;
    }
}

TEST(Refusal, LinesGoingBackUpThePageAndUnconfiguredRecordsGiveMinus128) {
    Configured record('I', 20, 20);
    Line line(10);
    line.plane(0, sparse(8, {{0, 1}}), 8);
    record.produce(line);
    Line back(9);
    back.plane(0, sparse(8, {{0, 1}}), 8);
    EXPECT_TRUE(record.produce(back, -128).empty());
    EXPECT_EQ(record->lastLine, 10);
    EXPECT_EQ(record->curLine, 10);

    OpenRecord bare;  // opened, never configured
    OutputDesc* descriptor = nullptr;
    EXPECT_EQ(OutputProduce(bare.handle(), line.input(), &descriptor), -128);
    EXPECT_EQ(OutputFlush(bare.handle(), &descriptor), -128);
    EXPECT_EQ(OutputFormFeed(bare.handle(), &descriptor), -128);
    EXPECT_EQ(descriptor, nullptr);
}

}  // namespace
