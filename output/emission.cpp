#include "output/emission_internal.h"

#include "command/buffer_chain_internal.h"
#include "command/command_api.h"

namespace vexao {

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

BufferList* sendBand(MasterWork** work, BufferList* node) {
    MasterWork& record = **work;
    std::uint8_t* mark = node->cur;
    std::int32_t pendingBands = record.pendingBands;
    std::int16_t lastEscLCount = record.lastEscLCount;
    BufferList* tail = WriteMultiRasterImage(work, node);
    if (tail == nullptr) {
        releaseChainNodes(node);
        node->cur = mark;
        record.pendingBands = pendingBands;
        record.lastEscLCount = lastEscLCount;
    }
    return tail;
}

BufferList* advanceBands(MasterWork** work, BufferList* node, std::int32_t lines) {
    MasterWork& record = **work;
    if (lines <= 1) return node;  // bandLine already stands one row past the last stored line
    std::int32_t row = record.bandLine + lines - 1;
    while (row >= record.bandLines) {
        node = sendBand(work, node);
        if (node == nullptr) return nullptr;
        row -= record.bandLines;
    }
    record.bandLine = static_cast<std::int16_t>(row);
    return node;
}

bool describeChain(MasterWork& work, bool emptyIsNothing) {
    OutputDesc& desc = *work.desc;
    desc.chunks = work.chunks;
    desc.count = 0;
    int count = 0;
    for (BufferList* node = &work.firstList; node != nullptr && node->bufHandle.block != nullptr; node = node->next) {
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
