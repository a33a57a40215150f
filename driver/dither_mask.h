// The blue-noise threshold mask behind the halftoning.
#ifndef VEXAO_DRIVER_DITHER_MASK_H
#define VEXAO_DRIVER_DITHER_MASK_H

#include <cstdint>

namespace vexao::driver {

constexpr int kDitherMaskSize = 64;

// The rank 0..4095 of each cell of a 64 x 64 mask that tiles the page, row
// by row: for any tone, the cells of the lowest ranks lie evenly apart.
extern const std::uint16_t kDitherMask[kDitherMaskSize * kDitherMaskSize];

}  // namespace vexao::driver

#endif
