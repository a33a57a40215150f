// Checks the stream that the CUPS end-to-end test printed: two pages, a
// black bar near the top of the first and a cyan bar near the bottom of the
// second, at 300 dpi, four planes of one bit.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/decode/page_decoder.h"

namespace {

// The first and last line of `plane` that carry ink, or -1.
std::pair<int, int> inkedLines(const vexao::decode::PlaneRaster& plane) {
    int first = -1, last = -1;
    for (int y = 0; plane.hasData() && y < plane.height(); ++y)
        for (int x = 0; x < plane.width(); ++x)
            if (plane.row(y)[x] != 0) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    return {first, last};
}

int fail(const char* what) {
    std::fprintf(stderr, "cups page check: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: vexao_cups_page_check STREAM");
    std::ifstream file(argv[1], std::ios::binary);
    std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = 1;
    std::vector<vexao::decode::Page> pages;
    vexao::decode::DecodeError error;
    if (!vexao::decode::decodeStream(stream.data(), stream.size(), options, pages, error))
        return fail(vexao::decode::describe(error).c_str());
    if (pages.size() != 2) return fail("expected two pages");
    const int black = 0, cyan = 3;
    auto [topFirst, topLast] = inkedLines(pages[0].planes[black]);
    auto [bottomFirst, bottomLast] = inkedLines(pages[1].planes[cyan]);
    if (topFirst < 0 || topLast > 600) return fail("page 1 has no black bar near its top");
    if (pages[0].planes[cyan].hasData() || pages[1].planes[black].hasData()) return fail("an ink appears on the wrong page");
    if (bottomFirst < 2500 || bottomLast - bottomFirst < 250) return fail("page 2 has no cyan bar near its bottom");
    std::printf("cups page check: black bar on lines %d-%d of page 1, cyan bar on lines %d-%d of page 2\n", topFirst,
                topLast, bottomFirst, bottomLast);
    return 0;
}
