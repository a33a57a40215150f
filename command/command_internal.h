// What the output engine needs from the command room beyond the exported
// encoders: the form-feed command and the limit on band rows.
#ifndef VEXAO_COMMAND_COMMAND_INTERNAL_H
#define VEXAO_COMMAND_COMMAND_INTERNAL_H

#include <cstdint>

struct MasterWork;

namespace vexao {

constexpr std::int32_t kRowSlotBytes = 4096;
constexpr std::int32_t kMaxBandBlockLength = 65535;

// Writes the 7-byte form-feed command (a raster skip of 0) and returns 7.
std::int32_t writeFormFeed(std::uint8_t* destination) noexcept;

// Adds `bands` empty bands to the run not yet sent as a skip. The count stops
// at the largest 32-bit number rather than wrapping; a run that long (some
// 34 billion lines) only ever arises from repeated mid-page flushes.
void countEmptyBands(MasterWork& work, std::int64_t bands) noexcept;

// The longest compressed row that a band of `bandLines` lines may hold. A band
// block carries each row with its end byte under one 16-bit length, so with
// 16-line bands a row may have 4094 bytes (16 x 4095 = 65520); 8-line bands
// are bounded by the 4096-byte row slot. Line production refuses longer rows,
// so no band block can carry a wrong length.
constexpr std::int32_t maxRowLength(std::int16_t bandLines) {
    std::int32_t byLength = kMaxBandBlockLength / (bandLines > 0 ? bandLines : 1) - 1;
    return byLength < kRowSlotBytes ? byLength : kRowSlotBytes;
}

}  // namespace vexao

#endif
