#include "output/mode_selection_internal.h"

#include <initializer_list>

namespace vexao {
namespace {

bool isOneOf(std::int16_t value, std::initializer_list<std::int16_t> set) {
    for (std::int16_t member : set)
        if (value == member) return true;
    return false;
}

OutputMode lineModelMode(const OutputParams& given) {
    bool oneBit = isOneOf(given.variantCode, {0, 7, 8, 20, 128}) && given.rasterMode == 20;
    return oneBit ? OutputMode{0, 0, 1, 0} : OutputMode{0, 0, 4, 1};
}

// The row of the banded families' table; the band height is filled in later.
OutputMode bandedRow(const OutputParams& given) {
    std::int16_t model = given.modelCode;
    std::int16_t variant = given.variantCode;
    if (variant == 1) return {0, 4, 4, 1};
    switch (given.rasterMode) {
        case 0: {
            bool plain = isOneOf(variant, {0, 7, 8, 20, 26, 128}) && model != 'i' && model != 'j';
            return {0, 6, 4, static_cast<std::int16_t>(plain ? 0 : 1)};
        }
        case 5: return {0, 6, 4, 1};
        case 10: return {0, static_cast<std::int16_t>(variant == 18 ? 4 : 6), 4, 1};
        case 15: return {0, 4, 4, 1};
        default: return {0, 4, 1, 0};
    }
}

OutputMode bandedMode(const OutputParams& given, const OutputParams& recordCopy) {
    OutputMode mode = bandedRow(given);
    bool halfBand = recordCopy.halfBandFlag == 1 || recordCopy.bandHeightCode == 300;
    mode.bandLines = halfBand ? 8 : 16;
    if (given.singlePlane == 1) mode.planeCount = 1;
    return mode;
}

}  // namespace

OutputMode selectOutputMode(const OutputParams& given, const OutputParams& recordCopy) noexcept {
    switch (given.modelCode) {
        case 'I': case 'J': return lineModelMode(given);
        case 'e': case 'f': case 'i': case 'j': case 'k': case 'l': return bandedMode(given, recordCopy);
        default: return {0, 0, 4, 0};
    }
}

}  // namespace vexao
