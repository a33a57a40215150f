// The strongest check of the whole engine: what the decoder reads back from
// the library's stream is exactly the raster the host handed in, in every
// mode family.
#include <gtest/gtest.h>

#include "tests/support/document.h"
#include "tools/decode/page_decoder.h"

namespace {

using vexao_test::Bytes;
using vexao_test::Family;

class RoundTrip : public ::testing::TestWithParam<Family> {};

// The bytes the decoder should show for raster line `y` of plane `k`. Bands
// are placed relative to the line before the first with data, so a banded
// page whose line 0 is blank comes back one line higher.
Bytes expectedLine(const vexao_test::Page& page, const Family& family, int y, int k) {
    bool bandedBlankTop = family.planes != 7 && !vexao_test::carriesInk(page.lines[0]);
    std::size_t source = static_cast<std::size_t>(y) + (bandedBlankTop ? 1 : 0);
    if (source >= page.lines.size()) return {};
    return page.lines[source][k];
}

void expectSamePage(const vexao_test::Page& sent, const vexao::decode::Page& got, const Family& family, int pageIndex) {
    for (int k = 0; k < family.planes; ++k) {
        const vexao::decode::PlaneRaster& plane = got.planes[k];
        for (int y = 0; y < static_cast<int>(sent.lines.size()); ++y) {
            Bytes want = expectedLine(sent, family, y, k);
            Bytes have(got.width, 0);
            if (plane.hasData() && y < plane.height()) have.assign(plane.row(y), plane.row(y) + plane.width());
            want.resize(std::max(want.size(), have.size()), 0);
            have.resize(want.size(), 0);
            ASSERT_EQ(have, want) << "page " << pageIndex << " plane " << k << " line " << y;
        }
    }
}

TEST_P(RoundTrip, DecodedPlanesEqualThePlanesHandedIn) {
    const Family& family = GetParam();
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        std::vector<vexao_test::Page> pages = {vexao_test::randomPage(family, seed * 11, 70, 400),
                                               vexao_test::randomPage(family, seed * 13, 33, 97)};
        vexao_test::Run run = vexao_test::driveDocument(family, pages);
        ASSERT_FALSE(run.setUpFailed);

        vexao::decode::DecodeOptions options;
        options.bitsPerPixel = family.pixelsPerByte == 8 ? 1 : 4;
        options.levelPacked = family.fiveLevels;
        std::vector<vexao::decode::Page> decoded;
        vexao::decode::DecodeError error;
        ASSERT_TRUE(vexao::decode::decodeStream(run.stream.data(), run.stream.size(), options, decoded, error))
            << vexao::decode::describe(error);
        ASSERT_EQ(decoded.size(), pages.size());
        for (std::size_t p = 0; p < pages.size(); ++p) expectSamePage(pages[p], decoded[p], family, static_cast<int>(p));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, RoundTrip, ::testing::ValuesIn(vexao_test::allFamilies()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
