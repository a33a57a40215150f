#include <gtest/gtest.h>

#include <cstring>

#include "compress/compress_api.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/work_record.h"

namespace {

using vexao_test::makeParams;
using vexao_test::OpenRecord;

struct ModeRow {
    const char* name;
    std::int16_t model, variant, rasterMode;
    std::int16_t bandLines, planeCount, pixelShift, usePack83;
};

// Every row of the mode table, and the set boundaries inside the rows.
const ModeRow kModeRows[] = {
    {"I_one_bit", 'I', 20, 20, 0, 0, 3, 0},
    {"J_one_bit_variant0", 'J', 0, 20, 0, 0, 3, 0},
    {"I_variant128_one_bit", 'I', 128, 20, 0, 0, 3, 0},
    {"I_raster0_levels", 'I', 20, 0, 0, 0, 1, 1},
    {"J_variant26_levels", 'J', 26, 20, 0, 0, 1, 1},
    {"e_variant1", 'e', 1, 99, 16, 4, 1, 1},
    {"l_variant1_raster0", 'l', 1, 0, 16, 4, 1, 1},
    {"e_raster0_plain", 'e', 0, 0, 16, 6, 1, 0},
    {"f_variant26_plain", 'f', 26, 0, 16, 6, 1, 0},
    {"k_variant128_plain", 'k', 128, 0, 16, 6, 1, 0},
    {"k_variant3_levels", 'k', 3, 0, 16, 6, 1, 1},
    {"i_raster0_levels", 'i', 0, 0, 16, 6, 1, 1},
    {"j_raster0_levels", 'j', 0, 0, 16, 6, 1, 1},
    {"l_raster5", 'l', 0, 5, 16, 6, 1, 1},
    {"k_variant18_raster10", 'k', 18, 10, 16, 4, 1, 1},
    {"k_variant17_raster10", 'k', 17, 10, 16, 6, 1, 1},
    {"e_raster15", 'e', 0, 15, 16, 4, 1, 1},
    {"f_raster20_one_bit", 'f', 0, 20, 16, 4, 3, 0},
    {"j_negative_raster", 'j', 0, -7, 16, 4, 3, 0},
    {"model0_normal", 0, 0, 0, 0, 0, 1, 0},
    {"modelK_normal", 'K', 1, 20, 0, 0, 1, 0},
};

void PrintTo(const ModeRow& row, std::ostream* out) { *out << row.name; }

class ModeTable : public ::testing::TestWithParam<ModeRow> {};

TEST_P(ModeTable, SelectsTheModeAndAllocatesItsBuffers) {
    const ModeRow& row = GetParam();
    OpenRecord record;
    OutputParams params = makeParams('X', row.variant, row.rasterMode);
    ASSERT_EQ(OutputInitTwo(record.handle(), &params, row.model), 0);

    EXPECT_EQ(record->bandLines, row.bandLines);
    EXPECT_EQ(record->planeCount, row.planeCount);
    EXPECT_EQ(record->pixelShift, row.pixelShift);
    EXPECT_EQ(record->usePack83, row.usePack83);
    EXPECT_EQ(record->params.modelCode, row.model);
    EXPECT_EQ(record->version, 259);
    EXPECT_EQ(record->levelTable, row.usePack83 ? tblqzo73l : nullptr);
    EXPECT_EQ(record->packHandle.block != nullptr, row.usePack83 == 1);
    EXPECT_EQ(record->firstList.bufHandle.block != nullptr, row.bandLines != 0);
    for (int i = 0; i < vexao::kBandPlaneSlots; ++i)
        EXPECT_EQ(record->planes[i].bufHandle.block != nullptr, i < row.planeCount) << "plane " << i;

    EXPECT_EQ(record->desc->count, 1);
    EXPECT_EQ(record->desc->chunks, reinterpret_cast<Chunk*>(&record->desc->ptr));
    EXPECT_EQ(record->lastEscLCount, row.bandLines ? -1 : 0);
    EXPECT_EQ(record->needHeader, row.bandLines ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, ModeTable, ::testing::ValuesIn(kModeRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModeSelection, ThirdArgumentOfInitTwoWinsOverTheBlock) {
    OpenRecord record;
    OutputParams params = makeParams('e', 0, 0);
    ASSERT_EQ(OutputInitTwo(record.handle(), &params, 73), 0);
    EXPECT_EQ(record->bandLines, 0);
    EXPECT_EQ(record->usePack83, 1);
    EXPECT_EQ(record->pixelShift, 1);
    EXPECT_EQ(record->params.modelCode, 'I');
}

TEST(ModeSelection, OnlyTheLow16BitsOfTheModelArgumentCount) {
    OpenRecord record;
    OutputParams params = makeParams(0, 0, 0);
    ASSERT_EQ(OutputInitTwo(record.handle(), &params, 0x10000 + 'e'), 0);
    EXPECT_EQ(record->bandLines, 16);
}

TEST(ModeSelection, SinglePlaneKeepsDepthAndPackingOfTheRow) {
    OpenRecord record;
    OutputParams params = makeParams('j', 0, 0);
    params.singlePlane = 1;
    ASSERT_EQ(OutputInitTwo(record.handle(), &params, 'j'), 0);
    EXPECT_EQ(record->planeCount, 1);
    EXPECT_EQ(record->usePack83, 1);
    EXPECT_EQ(record->pixelShift, 1);
    EXPECT_NE(record->planes[0].bufHandle.block, nullptr);
    EXPECT_EQ(record->planes[1].bufHandle.block, nullptr);
}

TEST(ModeSelection, SinglePlaneDoesNotApplyToLineModels) {
    OpenRecord record;
    OutputParams params = makeParams('I', 20, 20);
    params.singlePlane = 1;
    ASSERT_EQ(OutputInitTwo(record.handle(), &params, 'I'), 0);
    EXPECT_EQ(record->planeCount, 0);
}

TEST(BandHeight, HalfBandFlagOrCode300GiveEightLines) {
    for (int variant = 0; variant < 2; ++variant) {
        OpenRecord record;
        OutputParams params = makeParams('e', 0, 0);
        if (variant == 0) params.halfBandFlag = 1;
        else params.bandHeightCode = 300;
        ASSERT_EQ(OutputInitTwo(record.handle(), &params, 'e'), 0);
        EXPECT_EQ(record->bandLines, 8);
    }
}

TEST(BandHeight, IsReadFromTheRecordCopyNotTheBlockPassedIn) {
    OpenRecord record;
    OutputParams params = makeParams('e', 0, 0);
    params.bandHeightCode = 300;
    ASSERT_EQ(OutputInit(record.handle(), &params), 0);
    EXPECT_EQ(record->bandLines, 16);
    EXPECT_EQ(record->version, 0);
}

TEST(Open, ReturnsTheVersionAndLeavesOptionalHandlesEmpty) {
    OpenRecord record;
    EXPECT_EQ(record.openResult, 259);
    ASSERT_NE(record.work, nullptr);
    EXPECT_EQ(record->selfHandle.block, record.work);
    EXPECT_EQ(record->version, 0);
    EXPECT_EQ(record->outBufStart, record->outBufHandle.block);
    EXPECT_EQ(record->desc, record->descHandle.block);
    EXPECT_EQ(MyNullPHCheck(&record->packHandle), 1);
    EXPECT_EQ(MyNullPHCheck(&record->firstList.bufHandle), 1);
    for (const PlaneBand& plane : record->planes) EXPECT_EQ(MyNullPHCheck(&plane.bufHandle), 1);
}

TEST(Open, NullArgumentFailsWithoutAllocating) {
    long before = vexao_test::allocationCount();
    EXPECT_EQ(OutputOpen(nullptr), -32509);
    EXPECT_EQ(vexao_test::allocationCount(), before);
}

TEST(Open, EveryAllocationFailureIsReportedAndTheRecordRefusesSetUpAndCloses) {
    for (long nth = 1; nth <= 3; ++nth) {
        MasterWork* work = reinterpret_cast<MasterWork*>(0x1);
        {
            vexao_test::AllocationFault fault(nth);
            EXPECT_EQ(OutputOpen(&work), -32509) << "allocation " << nth;
        }
        EXPECT_EQ(work == nullptr, nth == 1);
        if (work != nullptr) {
            OutputParams params = makeParams('e', 0, 0);
            EXPECT_EQ(OutputInitTwo(&work, &params, 'e'), -128) << "a record without buffer or descriptor";
        }
        OutputClose(&work);  // LeakSanitizer checks that this released all
    }
}

TEST(Close, NullRecordPointerDoesNothing) {
    MasterWork* work = nullptr;
    OutputClose(&work);
    OutputClose(nullptr);
}

// Fails each allocation of OutputInit in turn, once alone and once with every
// later allocation failing too, until set-up gets through.
void checkEveryInitFailure(const OutputParams& params, std::int16_t model, bool andAfter) {
    for (long nth = 1;; ++nth) {
        OpenRecord record;
        std::int32_t result;
        {
            vexao_test::AllocationFault fault(nth, andAfter);
            result = OutputInitTwo(record.handle(), &params, model);
            if (!vexao_test::failureWasHit()) {
                EXPECT_EQ(result, 0);
                EXPECT_GT(nth, 1) << "set-up allocated nothing";
                return;
            }
        }
        EXPECT_EQ(result, -128) << "allocation " << nth;
        EXPECT_EQ(record->pixelShift, 0) << "a partly configured record must stay recognisable";
        EXPECT_EQ(record->bandLines, model == 'I' ? 0 : 16);
    }
}

TEST(Init, EveryAllocationFailureGivesMinus128AndCloseReleasesTheRest) {
    for (bool andAfter : {false, true}) {
        checkEveryInitFailure(makeParams('j', 0, 0), 'j', andAfter);  // packing and six planes
        checkEveryInitFailure(makeParams('e', 0, 20), 'e', andAfter); // four planes, no packing
        checkEveryInitFailure(makeParams('I', 0, 0), 'I', andAfter);  // packing only
    }
}

TEST(Init, SecondSetUpReleasesTheFirstConfiguration) {
    OpenRecord record;
    OutputParams banded = makeParams('j', 0, 0);
    ASSERT_EQ(OutputInitTwo(record.handle(), &banded, 'j'), 0);
    OutputParams normal = makeParams('I', 20, 20);
    ASSERT_EQ(OutputInitTwo(record.handle(), &normal, 'I'), 0);
    EXPECT_EQ(record->bandLines, 0);
    EXPECT_EQ(record->planeCount, 0);
    EXPECT_EQ(record->levelTable, nullptr);
    EXPECT_EQ(MyNullPHCheck(&record->packHandle), 1);
    EXPECT_EQ(MyNullPHCheck(&record->firstList.bufHandle), 1);
    for (const PlaneBand& plane : record->planes) EXPECT_EQ(MyNullPHCheck(&plane.bufHandle), 1);

    ASSERT_EQ(OutputInitTwo(record.handle(), &banded, 'e'), 0);
    EXPECT_EQ(record->planeCount, 6);
    EXPECT_NE(record->planes[5].bufHandle.block, nullptr);
}

TEST(InitPart, RefreshesTheCopyOnlyAfterInitTwoAndKeepsTheModel) {
    OpenRecord twice;
    OutputParams first = makeParams('e', 0, 0);
    ASSERT_EQ(OutputInitTwo(twice.handle(), &first, 'e'), 0);
    OutputParams next = makeParams('I', 5, 7);
    std::memset(next.hostBytes96, 0x42, sizeof next.hostBytes96);
    twice->lastLine = 12;
    twice->curLine = 30;
    twice->bandLine = 3;
    twice->planeHasData[7] = 1;
    twice->pendingBands = 4;
    twice->lastEscLCount = 0;
    twice->needHeader = 0;
    EXPECT_EQ(OutputInitPart(twice.handle(), &next), 0);
    EXPECT_EQ(twice->params.modelCode, 'e');
    EXPECT_EQ(twice->params.variantCode, 5);
    EXPECT_EQ(twice->params.hostBytes96[95], 0x42);
    EXPECT_EQ(twice->lastLine, 0);
    EXPECT_EQ(twice->curLine, 0);
    EXPECT_EQ(twice->bandLine, 0);
    EXPECT_EQ(twice->planeHasData[7], 0);
    EXPECT_EQ(twice->pendingBands, 0);
    EXPECT_EQ(twice->lastEscLCount, -1);
    EXPECT_EQ(twice->needHeader, 1);

    OpenRecord direct;
    ASSERT_EQ(OutputInit(direct.handle(), &first), 0);
    EXPECT_EQ(OutputInitPart(direct.handle(), &next), 0);
    EXPECT_EQ(direct->params.variantCode, 0) << "version 0 leaves the copy alone";
}

}  // namespace
