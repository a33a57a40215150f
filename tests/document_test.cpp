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

// Pages whose bands span several chain nodes, with lines jumped over so that
// single calls send two bands, on three pages.
std::vector<vexao_test::Page> pagesForTheSweep(const Family& family) {
    std::vector<vexao_test::Page> pages = {vexao_test::densePage(family, 9, 80, 2000),
                                           vexao_test::randomPage(family, 10, 20, 200),
                                           vexao_test::densePage(family, 11, 48, 2000)};
    pages[0].handInBlankLines = false;
    pages[2].handInBlankLines = false;
    return pages;
}

long allocationsOf(const Family& family, const std::vector<vexao_test::Page>& pages, vexao_test::Run* run) {
    long before = vexao_test::allocationCount();
    *run = vexao_test::driveDocument(family, pages);
    return vexao_test::allocationCount() - before;
}

// Fails each allocation of a whole document once. The refused call must
// change nothing, so the host's retry gives exactly the stream of a run
// without the failure: nothing lost, nothing sent twice.
TEST_P(Documents, EachRefusedCallIsRetriedAndTheStreamIsAsIfNothingFailed) {
    const Family& family = GetParam();
    std::vector<vexao_test::Page> pages = pagesForTheSweep(family);
    vexao_test::Run clean;
    long allocations = allocationsOf(family, pages, &clean);
    ASSERT_GE(allocations, 3);
    ASSERT_EQ(clean.refusals, 0);
    RecordProperty("allocations_swept", std::to_string(allocations));
    for (long nth = 1; nth <= allocations; ++nth) {
        vexao_test::AllocationFault fault(nth);
        vexao_test::Run run = vexao_test::driveDocument(family, pages);
        ASSERT_TRUE(vexao_test::failureWasHit()) << "allocation " << nth;
        EXPECT_EQ(run.refusals, 1) << "allocation " << nth;
        ASSERT_FALSE(run.setUpFailed) << "allocation " << nth;
        ASSERT_EQ(run.stream, clean.stream) << "allocation " << nth;
    }
}

// Fails every allocation from the k-th on. A host that gives up at the first
// refusal completes and closes; LeakSanitizer checks that nothing is left.
TEST_P(Documents, AHostThatGivesUpAtTheFirstRefusalLeavesNothingBehind) {
    const Family& family = GetParam();
    std::vector<vexao_test::Page> pages = pagesForTheSweep(family);
    vexao_test::Run clean;
    long allocations = allocationsOf(family, pages, &clean);
    for (long nth = 1; nth <= allocations; ++nth) {
        vexao_test::AllocationFault fault(nth, true);
        vexao_test::Run run = vexao_test::driveDocument(family, pages, vexao_test::OnRefusal::GiveUp);
        EXPECT_TRUE(vexao_test::failureWasHit());
        EXPECT_EQ(run.refusals, 1) << "allocation " << nth;
        EXPECT_EQ(run.stream, vexao_test::Bytes(clean.stream.begin(), clean.stream.begin() + run.stream.size()))
            << "what went out before the refusal is what a clean run sends";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Documents, ::testing::ValuesIn(vexao_test::allFamilies()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
