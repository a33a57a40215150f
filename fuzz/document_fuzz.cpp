// Random documents driven through the library within the host protocol: a
// mode family, an allocation that fails, then lines with random planes,
// widths, blanks and contents, and form feeds. The host retries the one
// refused call; every call must then succeed, and the decoded stream must
// give back exactly the planes that were handed in.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/document.h"
#include "tests/support/failing_allocator.h"
#include "tools/decode/page_decoder.h"

namespace {

using vexao_test::Bytes;

// Takes bytes from the input, zeros once it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    bool done() const { return at_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

void require(bool condition) {
    if (!condition) std::abort();
}

// A plane line of up to 300 bytes; five-level modes keep nibbles within 0..4.
Bytes planeLine(Input& input, const vexao_test::Family& family) {
    Bytes bytes(input.next() % 300, 0);
    std::uint8_t style = input.next();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (style % 3 != 0 && i % (style % 7 + 1) != 0) continue;
        std::uint8_t value = input.next();
        bytes[i] = family.fiveLevels ? static_cast<std::uint8_t>((value >> 4) % 5 << 4 | (value & 15) % 5) : value;
    }
    return bytes;
}

void checkPage(const vexao_test::Page& sent, const vexao::decode::Page& got, const vexao_test::Family& family) {
    // Bands are placed from the line before the first with data: a banded
    // page whose line 0 is blank comes back one line higher.
    std::size_t shift = family.planes != 7 && !vexao_test::carriesInk(sent.lines[0]) ? 1 : 0;
    for (int k = 0; k < family.planes; ++k)
        for (std::size_t y = 0; y + shift < sent.lines.size(); ++y) {
            Bytes want = sent.lines[y + shift][k];
            const vexao::decode::PlaneRaster& plane = got.planes[k];
            for (std::size_t x = 0; x < want.size() || x < static_cast<std::size_t>(got.width); ++x) {
                std::uint8_t expected = x < want.size() ? want[x] : 0;
                bool stored = plane.hasData() && static_cast<int>(y) < plane.height() && x < static_cast<std::size_t>(plane.width());
                require((stored ? plane.row(static_cast<int>(y))[x] : 0) == expected);
            }
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const auto& families = vexao_test::allFamilies();
    const vexao_test::Family& family = families[input.next() % families.size()];
    long failingAllocation = input.next();  // 0: none
    std::vector<vexao_test::Page> pages(1);
    while (!input.done() && pages.size() < 4) {
        std::uint8_t action = input.next();
        if (action == 0xFF && !pages.back().lines.empty()) {
            pages.emplace_back();
            continue;
        }
        if (pages.back().lines.size() >= 200) continue;
        std::vector<Bytes> planes(family.planes);
        for (Bytes& plane : planes)
            if (input.next() % 4 != 0) plane = planeLine(input, family);
        // Lines skipped over are blank lines the host never handed in.
        for (int blank = action % 5 == 0 ? action % 40 : 0; blank > 0; --blank)
            pages.back().lines.push_back(std::vector<Bytes>(family.planes));
        pages.back().lines.push_back(planes);
    }
    if (pages.back().lines.empty()) pages.back().lines.push_back(std::vector<Bytes>(family.planes));

    if (failingAllocation != 0) vexao_test::failAllocation(failingAllocation);
    vexao_test::Run run = vexao_test::driveDocument(family, pages);
    vexao_test::stopFailing();
    require(!run.setUpFailed && run.refusals <= 1);
    for (std::size_t i = 0; i < run.results.size(); ++i)
        require(run.results[i] == 0 || (run.results[i] == -128 && i + 1 < run.results.size() && run.results[i + 1] == 0));
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = family.pixelsPerByte == 8 ? 1 : 4;
    options.levelPacked = family.fiveLevels;
    std::vector<vexao::decode::Page> decoded;
    vexao::decode::DecodeError error;
    require(vexao::decode::decodeStream(run.stream.data(), run.stream.size(), options, decoded, error));
    require(decoded.size() == pages.size());
    for (std::size_t p = 0; p < pages.size(); ++p) checkPage(pages[p], decoded[p], family);
    return 0;
}
