// Pieces that line production and the page end share: where the output
// stands, the raster-skip split, the band rows and the multi-raster chain.
#ifndef VEXAO_OUTPUT_EMISSION_INTERNAL_H
#define VEXAO_OUTPUT_EMISSION_INTERNAL_H

#include <cstdint>

#include "output/work_record_internal.h"

namespace vexao {

// The longest normal-mode output one call may hand out: the descriptor's
// length is a signed 16-bit number.
constexpr std::int32_t kMaxNormalOutput = VEXAO_MAX_NORMAL_OUTPUT;

// A record whose set-up failed, or that was never set up, has no pixel shift;
// the output calls refuse it rather than touch buffers it may lack.
inline bool isConfigured(const MasterWork& work) { return work.pixelShift != 0; }

// Points the record at its output buffer and descriptor and empties the buffer.
void resetOutputBuffer(MasterWork& work);

// Bytes still free for normal-mode output, keeping `reserve` bytes back.
std::int32_t normalRoom(const MasterWork& work, std::int32_t reserve);

// Writes the raster skips for `lines` lines at outCursor, in skips of at most
// 32767 lines. Returns false, writing nothing, when they would not fit in the
// normal-mode room less `reserve`.
bool writeLineSkips(MasterWork& work, std::int32_t lines, std::int32_t reserve);

// Hands the output buffer's content out as the one chunk of normal mode.
void describeNormalOutput(MasterWork& work);

// Points every plane's band buffer and row slots at their blocks.
void setUpBandRows(MasterWork& work);

// Starts a multi-raster call with the chain cut back to its first node. Nodes
// that an earlier call left behind (a host that skipped OutputComplete) are
// released here, not dropped.
void restartChain(MasterWork& work);

// Sends the bands that a move of `lines` lines passes over, starting from the
// row bandLine, and leaves bandLine at the row where the move ends. Only the
// first band can hold data; the rest are counted as empty at once, so a jump
// of any length costs the same. Returns the new tail node, or null when
// memory ran out.
BufferList* advanceBands(MasterWork** work, BufferList* node, std::int32_t lines);

// What an output call changes in the record as it goes, besides the chain and
// the scratch buffers. Each call keeps a copy from its start, so that a call
// refused with -128 leaves the record exactly as it found it: the host may
// complete and retry it, and the stream comes out as if nothing had failed.
struct PageState {
    std::int32_t lastLine;
    std::int32_t curLine;
    std::int32_t pendingBands;
    std::int16_t bandLine;
    std::int16_t needHeader;
    std::int16_t lastEscLCount;
    std::uint8_t planeHasData[kPlaneFlagSlots];
    std::int16_t lineLen[kBandPlaneSlots][kBandRowSlots];
};

PageState savePageState(const MasterWork& work);

// Puts the record back to `saved`, releases the chain nodes the call added
// and leaves the descriptor listing nothing. Returns -128.
std::int32_t refuseCall(MasterWork& work, const PageState& saved);

// Lists the chain's nodes as the descriptor's chunks. With `emptyIsNothing`,
// an empty first node gives a count of 0. Returns false when the chain has
// more nodes than the descriptor can list.
bool describeChain(MasterWork& work, bool emptyIsNothing);

}  // namespace vexao

#endif
