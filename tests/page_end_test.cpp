#include <gtest/gtest.h>

#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/configured_record.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/host.h"

namespace {

using vexao_test::Bytes;
using vexao_test::concat;
using vexao_test::Configured;
using vexao_test::kFormFeed;
using vexao_test::inkedLine;
using vexao_test::Line;
using vexao_test::lineWithCodeLength;
using vexao_test::skip;
using vexao_test::sparse;

Line blankLine(std::int32_t number) {
    Line line(number);
    line.plane(0, Bytes(8, 0), 8);
    return line;
}

TEST(NormalPageEnd, FormFeedSkipsDownToTheLastLineHandedIn) {
    Configured record('I', 20, 20);
    Line inked = inkedLine(100);
    record.produce(inked);
    Line blank = blankLine(120);
    record.produce(blank);
    EXPECT_EQ(record.finish(true), concat({skip(20), kFormFeed}));
}

TEST(NormalPageEnd, AfterALineWithDataOnlyTheFormFeedIsSent) {
    Configured record('I', 20, 20);
    Line inked = inkedLine(7);
    record.produce(inked);
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputFlush(record.handle(), &descriptor), 0);
    EXPECT_EQ(descriptor->count, 1);
    EXPECT_EQ(descriptor->len, 0);
    EXPECT_EQ(record.finish(true), kFormFeed);
}

TEST(NormalPageEnd, LongTrailingMoveIsSplit) {
    Configured record('I', 20, 20);
    Line inked = inkedLine(1);
    record.produce(inked);
    Line blank = blankLine(40001);
    record.produce(blank);
    EXPECT_EQ(record.finish(false), concat({skip(32767), skip(7233)}));
    EXPECT_TRUE(record.finish(false).empty()) << "a second flush has nothing left to do";
}

TEST(BandPageEnd, FlushSendsThePartFilledBandOnce) {
    Configured record('e', 0, 20, 1);
    for (int number = 0; number < 5; ++number) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    Bytes block = {0x1B, 0x28, 0x46, 0x1A, 0x00};  // five inked rows of 00 41 80, eleven empty
    for (int i = 0; i < 5; ++i) block.insert(block.end(), {0x00, 0x41, 0x80});
    block.insert(block.end(), 11, 0x80);
    EXPECT_EQ(record.finish(false), concat({{0x1B, 0x28, 0x4C, 0x01, 0x00, 0x4B}, block}));
    EXPECT_EQ(record->bandLine, 0);
    EXPECT_TRUE(record.finish(false).empty());
}

TEST(BandPageEnd, NothingPendingGivesCountZeroAndAFormFeedChunk) {
    Configured record('e', 0, 20, 1);
    for (int number = 0; number < 16; ++number) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputFlush(record.handle(), &descriptor), 0);
    EXPECT_EQ(descriptor->count, 0);
    OutputComplete(record.handle());
    ASSERT_EQ(OutputFormFeed(record.handle(), &descriptor), 0);
    ASSERT_EQ(descriptor->count, 1);
    EXPECT_EQ(vexao_test::sentBytes(descriptor), kFormFeed);
    OutputComplete(record.handle());
}

std::int16_t formFeedChunks(int lastRow) {
    Configured record('e', 0, 20, 1);
    vexao_test::fillRowsBeforeFormFeed(record, lastRow);
    OutputDesc* descriptor = nullptr;
    EXPECT_EQ(OutputFormFeed(record.handle(), &descriptor), 0);
    std::int16_t count = descriptor->count;
    EXPECT_EQ(vexao_test::sentBytes(descriptor).size(), 32760u + (lastRow - 4075) + 7);
    OutputComplete(record.handle());
    return count;
}

TEST(BandPageEnd, FormFeedGoesToAFreshNodeOnlyPast32760Bytes) {
    EXPECT_EQ(formFeedChunks(4075), 1);  // 32760 + 7 fits the node
    EXPECT_EQ(formFeedChunks(4076), 2);  // 32761 + 7 does not
}

TEST(Complete, ReleasesTheAddedNodesAndKeepsTheFirstBuffer) {
    Configured record('e', 0, 20, 1);
    std::uint8_t* firstBuffer = static_cast<std::uint8_t*>(record->firstList.bufHandle.block);
    OutputDesc* descriptor = nullptr;
    for (int number = 0; number < 16; ++number) {
        Line line = lineWithCodeLength(number, 4094);
        ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0);
        if (number < 15) OutputComplete(record.handle());
    }
    ASSERT_EQ(descriptor->count, 3);
    EXPECT_NE(record->firstList.next, nullptr);
    OutputComplete(record.handle());
    EXPECT_EQ(record->firstList.next, nullptr);
    EXPECT_EQ(MyNullPHCheck(&record->firstList.nextHandle), 1);
    EXPECT_EQ(record->firstList.bufHandle.block, firstBuffer);
    OutputComplete(record.handle());  // twice is harmless

    Line next = inkedLine(16);
    ASSERT_EQ(OutputProduce(record.handle(), next.input(), &descriptor), 0);
    EXPECT_EQ(record->firstList.start, firstBuffer);
    OutputComplete(record.handle());
}

TEST(Complete, InNormalModeOnlyClearsTheProducedFlag) {
    Configured record('I', 20, 20);
    Line line = inkedLine(3);
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0);
    EXPECT_EQ(record->produced, 1);
    EXPECT_EQ(OutputComplete(record.handle()), 0);
    EXPECT_EQ(OutputComplete(record.handle()), 0);
    EXPECT_EQ(record->produced, 0);
    EXPECT_EQ(record->lastLine, 3);
}

TEST(BandPageEnd, LinesAfterAMidPageFlushGoOnFromTheTopOfTheNextBand) {
    Configured record('e', 0, 20, 1);
    for (int number = 0; number < 5; ++number) {
        Line line = inkedLine(number);
        record.produce(line);
    }
    record.finish(false);
    Line next = inkedLine(5);
    record.produce(next);
    EXPECT_NE(record->planes[0].lineLen[0], 0) << "row 0 of the next band";
    EXPECT_EQ(record->bandLine, 1);
}

TEST(Robustness, PartlyConfiguredRecordIsRefused) {
    vexao_test::OpenRecord record;
    OutputParams params = vexao_test::makeParams('e', 0, 0);
    {
        vexao_test::AllocationFault fault(2);  // the second band buffer
        ASSERT_EQ(OutputInitTwo(record.handle(), &params, 'e'), -128);
    }
    Line line = inkedLine(0);
    OutputDesc* descriptor = nullptr;
    EXPECT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), -128);
    EXPECT_EQ(OutputFlush(record.handle(), &descriptor), -128);
    EXPECT_EQ(OutputFormFeed(record.handle(), &descriptor), -128);
    EXPECT_EQ(WriteRestData_Multi(record.handle()), -128);
    EXPECT_EQ(descriptor, nullptr);
    EXPECT_EQ(OutputComplete(record.handle()), 0);
}

TEST(Robustness, AbandonedPageLeavesNoRowsForTheNext) {
    Configured record('e', 0, 20, 1);
    for (int number = 0; number < 5; ++number) {
        Line old = inkedLine(number);
        record.produce(old);
    }
    // The page is abandoned without flush or form feed; the next one starts.
    OutputParams params = vexao_test::makeParams('e', 0, 20);
    params.singlePlane = 1;
    OutputInitPart(record.handle(), &params);
    Line next = inkedLine(1);
    record.produce(next);
    Bytes sent = record.finish(true);
    int inkedRows = 0;
    for (std::size_t i = 0; i + 2 < sent.size(); ++i)
        inkedRows += sent[i] == 0x00 && sent[i + 1] == 0x41 && sent[i + 2] == 0x80;
    EXPECT_EQ(inkedRows, 1);
}

TEST(Robustness, NodesAreReleasedWhenTheHostSkipsComplete) {
    Configured record('e', 0, 20, 1);
    OutputDesc* descriptor = nullptr;
    for (int number = 0; number < 16; ++number) {
        Line line = lineWithCodeLength(number, 4094);
        ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0);
        record->produced = 0;  // as if completed, but the chain stays: LeakSanitizer checks the rest
    }
    ASSERT_EQ(OutputFlush(record.handle(), &descriptor), 0);  // cuts the chain back, releasing it
    for (int number = 16; number < 32; ++number) {
        Line line = lineWithCodeLength(number, 4094);
        ASSERT_EQ(OutputProduce(record.handle(), line.input(), &descriptor), 0);
        record->produced = 0;
    }
    // Closed with nodes still in the chain.
}

}  // namespace
