#include "output/emission_internal.h"

#include <cstring>

#include "command/buffer_chain_internal.h"
#include "command/command_api.h"
#include "command/command_internal.h"

namespace vexao {

constexpr std::int32_t kSkipCommandLength = VEXAO_SKIP_COMMAND_LENGTH;
constexpr std::int32_t kMaxSkipCount = VEXAO_MAX_SKIP_LINES;

void resetOutputBuffer(MasterWork& work) {
    work.outBufStart = static_cast<std::uint8_t*>(work.outBufHandle.block);
    work.desc = static_cast<OutputDesc*>(work.descHandle.block);
    work.outCursor = work.outBufStart;
}

std::int32_t normalRoom(const MasterWork& work, std::int32_t reserve) {
    return kMaxNormalOutput - reserve - static_cast<std::int32_t>(work.outCursor - work.outBufStart);
}

bool writeLineSkips(MasterWork& work, std::int32_t lines, std::int32_t reserve) {
    std::int32_t commands = lines / kMaxSkipCount + (lines % kMaxSkipCount != 0 ? 1 : 0);
    if (lines > 0 && commands > normalRoom(work, reserve) / kSkipCommandLength) return false;
    while (lines > kMaxSkipCount) {
        work.outCursor += WriteSkipCommand(kMaxSkipCount, work.outCursor);
        lines -= kMaxSkipCount;
    }
    work.outCursor += static_cast<std::int16_t>(WriteSkipCommand(lines, work.outCursor));
    return true;
}

void describeNormalOutput(MasterWork& work) {
    OutputDesc& desc = *work.desc;
    desc.ptr = work.outBufStart;
    desc.len = static_cast<std::int16_t>(work.outCursor - work.outBufStart);
    desc.count = 1;
    desc.chunks = reinterpret_cast<Chunk*>(&desc.ptr);
}

void setUpBandRows(MasterWork& work) {
    for (int p = 0; p < work.planeCount; ++p) {
        PlaneBand& plane = work.planes[p];
        plane.writePtr = static_cast<std::uint8_t*>(plane.bufHandle.block);
        for (int row = 0; row < kBandRowSlots; ++row) plane.linePtr[row] = plane.writePtr + kRowSlotSize * row;
    }
}

void restartChain(MasterWork& work) {
    releaseChainNodes(&work.firstList);
    work.firstList.start = static_cast<std::uint8_t*>(work.firstList.bufHandle.block);
    work.firstList.cur = work.firstList.start;
}

BufferList* advanceBands(MasterWork** work, BufferList* node, std::int32_t lines) {
    MasterWork& record = **work;
    if (lines <= 1) return node;  // bandLine already stands one row past the last stored line
    // bandLine is below 16 and lines below 2^31, so the row fits 32 unsigned
    // bits (and needs no 64-bit division, which i386 leaves to libgcc).
    std::uint32_t bandLines = static_cast<std::uint32_t>(record.bandLines);
    std::uint32_t row = static_cast<std::uint32_t>(record.bandLine) + static_cast<std::uint32_t>(lines) - 1;
    if (row >= bandLines) {
        node = WriteMultiRasterImage(work, node);
        if (node == nullptr) return nullptr;
        row -= bandLines;
        countEmptyBands(record, row / bandLines);
        row %= bandLines;
    }
    record.bandLine = static_cast<std::int16_t>(row);
    return node;
}

PageState savePageState(const MasterWork& work) {
    PageState state;
    state.lastLine = work.lastLine;
    state.curLine = work.curLine;
    state.pendingBands = work.pendingBands;
    state.bandLine = work.bandLine;
    state.needHeader = work.needHeader;
    state.lastEscLCount = work.lastEscLCount;
    std::memcpy(state.planeHasData, work.planeHasData, sizeof state.planeHasData);
    for (int p = 0; p < kBandPlaneSlots; ++p)
        std::memcpy(state.lineLen[p], work.planes[p].lineLen, sizeof state.lineLen[p]);
    return state;
}

std::int32_t refuseCall(MasterWork& work, const PageState& saved) {
    work.lastLine = saved.lastLine;
    work.curLine = saved.curLine;
    work.pendingBands = saved.pendingBands;
    work.bandLine = saved.bandLine;
    work.needHeader = saved.needHeader;
    work.lastEscLCount = saved.lastEscLCount;
    std::memcpy(work.planeHasData, saved.planeHasData, sizeof saved.planeHasData);
    for (int p = 0; p < kBandPlaneSlots; ++p)
        std::memcpy(work.planes[p].lineLen, saved.lineLen[p], sizeof saved.lineLen[p]);
    releaseChainNodes(&work.firstList);
    work.firstList.cur = work.firstList.start;
    work.outCursor = work.outBufStart;
    work.desc->count = 0;
    return VEXAO_NO_ROOM;
}

bool describeChain(MasterWork& work, bool emptyIsNothing) {
    OutputDesc& desc = *work.desc;
    desc.chunks = work.chunks;
    desc.count = 0;
    int count = 0;
    for (BufferList* node = &work.firstList; node != nullptr; node = node->next) {
        if (count == kChunkSlots) return false;
        work.chunks[count].ptr = node->start;
        work.chunks[count].len = static_cast<std::int16_t>(node->cur - node->start);
        ++count;
    }
    if (emptyIsNothing && work.chunks[0].len == 0) count = 0;
    desc.count = static_cast<std::int16_t>(count);
    return true;
}

}  // namespace vexao
