// A record opened and set up for one mode family, driven as a host does.
#ifndef VEXAO_TESTS_CONFIGURED_RECORD_H
#define VEXAO_TESTS_CONFIGURED_RECORD_H

#include <gtest/gtest.h>

#include "tests/support/host.h"
#include "tests/support/work_record.h"

namespace vexao_test {

// A record set up for `model`, with the settings of one mode family.
class Configured : public OpenRecord {
public:
    Configured(char model, std::int16_t variant, std::int16_t rasterMode, std::int16_t singlePlane = 0,
               std::int16_t halfBand = 0) {
        OutputParams params = makeParams(model, variant, rasterMode);
        params.singlePlane = singlePlane;
        params.halfBandFlag = halfBand;
        setUp = OutputInitTwo(handle(), &params, model);
    }

    // Produces a line and completes it; returns the bytes it listed.
    Bytes produce(Line& line, std::int32_t expectResult = 0) {
        OutputDesc* descriptor = nullptr;
        std::int32_t result = OutputProduce(handle(), line.input(), &descriptor);
        EXPECT_EQ(result, expectResult) << "line " << line.input()->lineNumber;
        Bytes bytes = descriptor ? vexao_test::sentBytes(descriptor) : Bytes{};
        OutputComplete(handle());
        return bytes;
    }

    std::int32_t setUp = -1;

    // Flushes or ends the page and completes; returns the bytes listed.
    Bytes finish(bool formFeed, std::int32_t expectResult = 0) {
        OutputDesc* descriptor = nullptr;
        std::int32_t result = formFeed ? OutputFormFeed(handle(), &descriptor) : OutputFlush(handle(), &descriptor);
        EXPECT_EQ(result, expectResult);
        Bytes bytes = descriptor ? sentBytes(descriptor) : Bytes{};
        OutputComplete(handle());
        return bytes;
    }
};

// One plane at one bit with 16-line bands: rows 0..6 of 4094 code bytes and
// row 7 of `lastRow`, so that the band that a page end sends leaves
// 32760 + lastRow - 4075 bytes in the first node.
inline void fillRowsBeforeFormFeed(Configured& record, int lastRow) {
    for (int number = 0; number < 8; ++number) {
        Line line = lineWithCodeLength(number, number < 7 ? 4094 : lastRow);
        record.produce(line);
    }
}

}  // namespace vexao_test

#endif
