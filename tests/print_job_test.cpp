// PrintJob as the project's host: a call refused with -128 is made once
// more, and every page that was begun ends with a form feed, whatever the
// library refuses, so the printer is never left in the middle of a sheet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/failing_allocator.h"
#include "tests/support/host.h"
#include "tests/support/work_record.h"
#include "driver/print_job.h"

namespace {

using vexao::driver::PlaneLine;
using vexao_test::Bytes;
using vexao_test::kFormFeed;

// The job's printer stream, kept in memory.
class Stream {
public:
    Stream() : file_(open_memstream(&data_, &size_)) {}
    ~Stream() {
        std::fclose(file_);
        std::free(data_);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    std::FILE* file() { return file_; }
    Bytes bytes() {
        std::fflush(file_);
        return Bytes(data_, data_ + size_);
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

// A plane whose PackBits code is `codeLength` bytes, at one bit a pixel or
// at four.
PlaneLine planeOfCodeLength(int codeLength, int pixelsPerByte = 8) {
    Bytes bytes = vexao_test::lineWithCodeLength(0, codeLength).bytes(0);
    return {bytes, static_cast<std::int16_t>(bytes.size() * static_cast<unsigned>(pixelsPerByte))};
}

struct PageLine {
    std::int32_t number;
    std::vector<PlaneLine> planes;
};

struct TestPage {
    OutputParams params;
    std::vector<PageLine> lines;
};

// 16-line bands of six planes at four bits: rows 0..14 fill one band, and
// line 31 sends it and then the band of rows 16..31, several chain nodes in
// all.
TestPage twoBandsByAJump() {
    TestPage page{vexao_test::makeParams('e', 0, 0), {}};
    for (std::int32_t number : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 31}) {
        std::vector<PlaneLine> planes;
        for (int k = 0; k < 6; ++k) planes.push_back(planeOfCodeLength(2000, 2));
        page.lines.push_back({number, planes});
    }
    return page;
}

// One plane at one bit with 16-line bands: rows 0..6 of 4094 code bytes and
// row 7 of 4076, so that the band the form feed sends leaves no room for the
// form feed in its node, and the form feed needs a node of its own.
TestPage aFormFeedOfItsOwnNode() {
    TestPage page{vexao_test::makeParams('e', 0, 20), {}};
    page.params.singlePlane = 1;
    for (std::int32_t number = 0; number < 8; ++number)
        page.lines.push_back({number, {planeOfCodeLength(number < 7 ? 4094 : 4076)}});
    return page;
}

// How one call is disturbed: its first allocation fails, or every one from
// its first on.
enum class Fault { none, once, forGood };

struct JobRun {
    Bytes stream;
    bool allCallsGranted = true;
    bool faultHit = false;
    std::uint64_t sentBeforeFault = 0;
    std::uint64_t sentBeforeEnd = 0;  // when the job was destroyed
    std::string error;
};

// Prints `page` with one job: its lines, then endPage unless `endThePage` is
// false. Call `faultyCall` (the lines, then endPage) meets `fault`.
JobRun print(const TestPage& page, Fault fault = Fault::none, std::size_t faultyCall = 0, bool endThePage = true) {
    Stream stream;
    JobRun run;
    {
        vexao::driver::PrintJob job(page.params, page.params.modelCode, stream.file());
        EXPECT_TRUE(job.ok()) << job.error();
        std::size_t calls = page.lines.size() + (endThePage ? 1 : 0);
        for (std::size_t call = 0; run.allCallsGranted && call < calls; ++call) {
            std::optional<vexao_test::AllocationFault> armed;
            if (call == faultyCall && fault != Fault::none) {
                run.sentBeforeFault = job.bytesSent();
                armed.emplace(1, fault == Fault::forGood);
            }
            if (call < page.lines.size()) {
                std::vector<PlaneLine> planes = page.lines[call].planes;  // the library may clear bytes of its own
                run.allCallsGranted = job.line(page.lines[call].number, planes);
            } else {
                run.allCallsGranted = job.endPage();
            }
            if (armed) run.faultHit = vexao_test::failureWasHit();
        }
        run.error = job.error();
        run.sentBeforeEnd = job.bytesSent();
    }
    run.stream = stream.bytes();
    return run;
}

bool endsWithFormFeed(const Bytes& stream) {
    return stream.size() >= kFormFeed.size() &&
           std::equal(kFormFeed.begin(), kFormFeed.end(), stream.end() - static_cast<std::ptrdiff_t>(kFormFeed.size()));
}

TEST(PrintJobRefusals, AMemoryRefusalIsMadeOnceMoreAndLosesNothing) {
    struct Case {
        const char* what;
        TestPage page;
        std::size_t call;
    };
    const Case cases[] = {{"a line that sends two bands", twoBandsByAJump(), 15},
                          {"a form feed that needs a node", aFormFeedOfItsOwnNode(), 8}};
    for (const Case& c : cases) {
        JobRun undisturbed = print(c.page), refusedOnce = print(c.page, Fault::once, c.call);
        ASSERT_TRUE(undisturbed.allCallsGranted) << c.what << ": " << undisturbed.error;
        EXPECT_TRUE(refusedOnce.faultHit) << c.what << " must need memory";
        EXPECT_TRUE(refusedOnce.allCallsGranted) << c.what << ": " << refusedOnce.error;
        EXPECT_EQ(refusedOnce.stream, undisturbed.stream) << c.what;
    }
}

TEST(PrintJobRefusals, AFinalRefusalStillEndsThePage) {
    // A row too long for 16-line bands: no retry gives it room, and the
    // page ends as if it had stopped before it.
    TestPage tooWide = aFormFeedOfItsOwnNode(), cutShort = tooWide;
    tooWide.lines.insert(tooWide.lines.begin() + 3, {3, {planeOfCodeLength(4120)}});
    cutShort.lines.resize(3);
    JobRun refused = print(tooWide);
    EXPECT_FALSE(refused.allCallsGranted);
    EXPECT_NE(refused.error.find("OutputProduce: no room"), std::string::npos) << refused.error;
    EXPECT_EQ(refused.stream, print(cutShort).stream);
    EXPECT_TRUE(endsWithFormFeed(refused.stream));

    // With no memory left, neither the line nor the library's form feed is
    // granted, and the job writes the form feed itself.
    struct Case {
        const char* what;
        TestPage page;
        std::size_t call;
        const char* refusedCall;
    };
    const Case cases[] = {{"a line", twoBandsByAJump(), 15, "OutputProduce"},
                          {"a form feed", aFormFeedOfItsOwnNode(), 8, "OutputFormFeed"}};
    for (const Case& c : cases) {
        JobRun noMemory = print(c.page, Fault::forGood, c.call);
        EXPECT_FALSE(noMemory.allCallsGranted) << c.what;
        EXPECT_NE(noMemory.error.find(c.refusedCall), std::string::npos) << noMemory.error;
        EXPECT_EQ(noMemory.stream.size(), noMemory.sentBeforeFault + kFormFeed.size()) << c.what;
        EXPECT_TRUE(endsWithFormFeed(noMemory.stream)) << c.what;
    }
}

TEST(PrintJobPages, APageLeftOpenIsEndedWhenTheJobEnds) {
    TestPage page = twoBandsByAJump();
    JobRun ended = print(page), leftOpen = print(page, Fault::none, 0, false);
    EXPECT_EQ(ended.stream.size(), ended.sentBeforeEnd) << "an ended page is not ended again";
    EXPECT_EQ(leftOpen.stream, ended.stream);

    page.lines.clear();
    EXPECT_TRUE(print(page, Fault::none, 0, false).stream.empty()) << "a page never begun takes no sheet";
}

}  // namespace
