// The work record: all state of one output stream.
//
// It is private to the library; hosts only hold its address. The fields keep
// the order in which the engine was designed, and the record is allocated as
// a self-describing block, so every field nobody set reads zero.
#ifndef VEXAO_OUTPUT_WORK_RECORD_INTERNAL_H
#define VEXAO_OUTPUT_WORK_RECORD_INTERNAL_H

#include <cstdint>

#include "command/command_api.h"
#include "output/output_api.h"
#include "toolbox/toolbox_api.h"

namespace vexao {

constexpr std::uint32_t kOutputBufferSize = 0x8000;
constexpr std::uint32_t kBandBufferSize = 0x10000;
constexpr std::uint32_t kRowSlotSize = 4096;
constexpr int kBandPlaneSlots = 6;
constexpr int kBandRowSlots = 16;
constexpr int kChunkSlots = 16;
constexpr int kPlaneFlagSlots = 8;

}  // namespace vexao

struct MasterWork {
    PtrHandle selfHandle;     // the record's own handle, for the final release
    PtrHandle outBufHandle;   // the 32 KB output buffer (normal-mode output, multi-raster staging)
    PtrHandle descHandle;     // the OutputDesc
    std::uint8_t* outBufStart;
    std::uint8_t* outCursor;  // write position in the output buffer
    std::int32_t lastLine;    // line at which the printer's vertical position stands
    std::int32_t curLine;     // line most recently handed in
    std::int16_t produced;    // 1 while handed-out output awaits OutputComplete
    std::int16_t pixelShift;  // 3 at one bit a pixel, 1 at four; 0 until a set-up succeeded
    OutputDesc* desc;
    std::int16_t usePack83;   // 1 when lines are level-packed before PackBits
    const std::uint8_t* levelTable;
    PlaneBand planes[vexao::kBandPlaneSlots];
    std::int16_t bandLine;    // row of the next line with data in the current band
    std::int16_t needHeader;  // 1 while the page's multi-raster header is still due
    std::uint8_t planeHasData[vexao::kPlaneFlagSlots];
    std::int32_t pendingBands;  // empty bands not yet sent as a skip
    std::int16_t planeCount;    // 1, 4 or 6 in multi-raster mode; 0 in normal mode
    std::int16_t lastEscLCount; // plane set last announced: 1 single, 0 all, -1 none yet
    Chunk chunks[vexao::kChunkSlots];
    BufferList firstList;       // head of the multi-raster output chain
    OutputParams params;
    std::int16_t version;       // 259 once configured through OutputInitTwo
    PtrHandle packHandle;       // level-packing scratch, 32 KB
    std::int16_t bandLines;     // 0 in normal mode, 8 or 16 in multi-raster mode
};

#endif
