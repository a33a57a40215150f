#include <gtest/gtest.h>

#include "tests/support/document.h"
#include "tests/support/failing_allocator.h"

namespace {

using vexao_test::Family;

class Documents : public ::testing::TestWithParam<Family> {};

std::vector<vexao_test::Page> threePages(const Family& family) {
    return {vexao_test::randomPage(family, 1, 90, 300), vexao_test::randomPage(family, 2, 40, 64),
            vexao_test::randomPage(family, 3, 130, 1000)};
}

// Pages end with the form feed; a page starting with ESC ( I belongs to multi-raster mode.
int countFormFeeds(const vexao_test::Bytes& stream) {
    int count = 0;
    for (std::size_t i = 0; i + 7 <= stream.size(); ++i)
        count += stream[i] == 0x1B && stream[i + 1] == 0x28 && stream[i + 2] == 0x65 && stream[i + 5] == 0 &&
                 stream[i + 6] == 0;
    return count;
}

TEST_P(Documents, SeveralPagesRunFromOpenToClose) {
    const Family& family = GetParam();
    vexao_test::Run run = vexao_test::driveDocument(family, threePages(family));
    ASSERT_FALSE(run.setUpFailed);
    for (std::int32_t result : run.results) EXPECT_EQ(result, 0);
    EXPECT_GE(countFormFeeds(run.stream), 3);
    ASSERT_GE(run.stream.size(), 7u);
    EXPECT_EQ(vexao_test::Bytes(run.stream.end() - 7, run.stream.end()), vexao_test::kFormFeed);
}

// Fails each allocation of a whole document in turn, alone and with every
// later one failing too. Calls may only report -128; the record must stay
// closable, and LeakSanitizer checks that nothing is left behind.
TEST_P(Documents, EveryAllocationFailureIsReportedAndLeavesNothingBehind) {
    const Family& family = GetParam();
    std::vector<vexao_test::Page> pages = {vexao_test::randomPage(family, 9, 60, 2000),
                                           vexao_test::randomPage(family, 10, 20, 200)};
    long before = vexao_test::allocationCount();
    vexao_test::Run clean = vexao_test::driveDocument(family, pages);
    long allocations = vexao_test::allocationCount() - before;
    ASSERT_GE(allocations, 3);
    for (bool andAfter : {false, true}) {
        for (long nth = 1; nth <= allocations; ++nth) {
            vexao_test::AllocationFault fault(nth, andAfter);
            vexao_test::Run run = vexao_test::driveDocument(family, pages);
            EXPECT_TRUE(vexao_test::failureWasHit());
            for (std::int32_t result : run.results) EXPECT_TRUE(result == 0 || result == -128) << result;
        }
    }
    EXPECT_EQ(clean.results.size(), pages[0].lines.size() + pages[1].lines.size() + 2);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Documents, ::testing::ValuesIn(vexao_test::allFamilies()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
