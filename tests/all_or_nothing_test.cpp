// An output call refused with -128 hands out nothing and leaves the record as
// it found it, so a host may complete and retry it and lose nothing.
#include <gtest/gtest.h>

#include <functional>

#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/configured_record.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/host.h"

namespace {

using vexao_test::Bytes;
using vexao_test::Configured;
using vexao_test::Line;

// What a refused call must leave as it was: the page state and the bytes of
// every stored row.
struct RecordState {
    std::vector<std::int64_t> numbers;
    std::vector<Bytes> rows;
    bool operator==(const RecordState& other) const { return numbers == other.numbers && rows == other.rows; }
};

RecordState stateOf(const MasterWork& work) {
    RecordState state;
    state.numbers = {work.lastLine, work.curLine,     work.produced,     work.bandLine,
                     work.needHeader, work.pendingBands, work.lastEscLCount};
    state.numbers.insert(state.numbers.end(), std::begin(work.planeHasData), std::end(work.planeHasData));
    for (int p = 0; p < work.planeCount; ++p)
        for (int row = 0; row < vexao::kBandRowSlots; ++row) {
            std::int16_t length = work.planes[p].lineLen[row];
            auto* slot = static_cast<const std::uint8_t*>(work.planes[p].bufHandle.block) + vexao::kRowSlotSize * row;
            state.numbers.push_back(length);
            state.rows.emplace_back(slot, slot + length);
        }
    return state;
}

struct Mode {
    char model;
    std::int16_t variant, rasterMode, singlePlane;
};

using Prepare = std::function<void(Configured&)>;
using OutputCall = std::function<std::int32_t(Configured&, OutputDesc**)>;

// Brings fresh records to the state that `prepare` leaves and fails each
// allocation of `call` in turn. The call must be refused with nothing handed
// out and the record as it was; after OutputComplete its retry must hand out
// exactly the bytes of an undisturbed call.
void checkEveryAllocationOfTheCall(Mode mode, const Prepare& prepare, const OutputCall& call) {
    Configured clean(mode.model, mode.variant, mode.rasterMode, mode.singlePlane);
    prepare(clean);
    long before = vexao_test::allocationCount();
    OutputDesc* descriptor = nullptr;
    ASSERT_EQ(call(clean, &descriptor), 0);
    long allocations = vexao_test::allocationCount() - before;
    Bytes undisturbed = vexao_test::sentBytes(descriptor);
    ASSERT_GE(allocations, 2) << "the call must need memory";

    for (long nth = 1; nth <= allocations; ++nth) {
        Configured record(mode.model, mode.variant, mode.rasterMode, mode.singlePlane);
        prepare(record);
        RecordState as = stateOf(*record.work);
        descriptor = nullptr;
        {
            vexao_test::AllocationFault fault(nth);
            EXPECT_EQ(call(record, &descriptor), -128) << "allocation " << nth;
        }
        if (descriptor != nullptr) {
            EXPECT_EQ(descriptor->count, 0) << "a flush hands back a descriptor that lists nothing";
        }
        EXPECT_TRUE(stateOf(*record.work) == as) << "allocation " << nth;
        EXPECT_EQ(record->firstList.next, nullptr) << "allocation " << nth;
        OutputComplete(record.handle());
        ASSERT_EQ(call(record, &descriptor), 0) << "allocation " << nth;
        EXPECT_EQ(vexao_test::sentBytes(descriptor), undisturbed) << "allocation " << nth;
        OutputComplete(record.handle());
    }
}

constexpr Mode kSixPlanes = {'e', 0, 0, 0};  // four bits a pixel, no level packing, 16-line bands

// A line of six planes, each coded in `codeLength` bytes of literal groups.
Line sixPlaneLine(std::int32_t number, int codeLength) {
    int bytes = codeLength - (codeLength + 128) / 129;
    Line line(number);
    for (int k = 0; k < 6; ++k) {
        Bytes data(bytes);
        for (int i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>((i + k) % 255 + 1);
        line.plane(k, data, 2);
    }
    return line;
}

void rowsZeroToFourteen(Configured& record) {
    for (int number = 0; number < 15; ++number) {
        Line line = sixPlaneLine(number, 2000);
        record.produce(line);
    }
}

std::int32_t produce(Configured& record, Line& line, OutputDesc** descriptor) {
    return OutputProduce(record.handle(), line.input(), descriptor);
}

// Line 31 sends the band of rows 0..14, then fills the last row of the next
// band and sends that too, several chain nodes in all.
TEST(AllOrNothing, AJumpThatSendsTwoBandsIsRefusedWhole) {
    checkEveryAllocationOfTheCall(kSixPlanes, rowsZeroToFourteen, [](Configured& record, OutputDesc** descriptor) {
        Line line = sixPlaneLine(31, 2000);
        return produce(record, line, descriptor);
    });
}

TEST(AllOrNothing, AFlushThatSendsABandAndCountsEmptyOnesIsRefusedWhole) {
    auto prepare = [](Configured& record) {
        rowsZeroToFourteen(record);
        Line blank(60);
        blank.plane(0, Bytes(100, 0), 2);
        record.produce(blank);
    };
    checkEveryAllocationOfTheCall(kSixPlanes, prepare, [](Configured& record, OutputDesc** descriptor) {
        return OutputFlush(record.handle(), descriptor);
    });
}

TEST(AllOrNothing, AFormFeedThatNeedsANodeOfItsOwnIsRefusedWhole) {
    auto prepare = [](Configured& record) { vexao_test::fillRowsBeforeFormFeed(record, 4076); };
    checkEveryAllocationOfTheCall({'e', 0, 20, 1}, prepare, [](Configured& record, OutputDesc** descriptor) {
        return OutputFormFeed(record.handle(), descriptor);
    });
}

}  // namespace
