// Which output mode a model code and its settings select.
#ifndef VEXAO_OUTPUT_MODE_SELECTION_INTERNAL_H
#define VEXAO_OUTPUT_MODE_SELECTION_INTERNAL_H

#include <cstdint>

#include "output/output_api.h"

namespace vexao {

struct OutputMode {
    std::int16_t bandLines;    // 0 for normal mode, else 8 or 16
    std::int16_t planeCount;   // planes per band; 0 in normal mode
    std::int16_t bitsPerPixel; // 1 or 4
    std::int16_t usePack83;    // 1 when lines are level-packed
};

// `given` is the block passed to OutputInit; the band height is read from the
// record's own copy, which differs from it when OutputInit is called directly.
OutputMode selectOutputMode(const OutputParams& given, const OutputParams& recordCopy) noexcept;

}  // namespace vexao

#endif
