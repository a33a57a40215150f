// Page end, flush and the host's acknowledgement of handed-out output.
#include "command/buffer_chain_internal.h"
#include "command/command_api.h"
#include "command/command_internal.h"
#include "output/emission_internal.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"

namespace {

constexpr std::int32_t kFormFeedLength = 7;

// Moves the print position on to the last line handed in, keeping `reserve`
// bytes of the output buffer free for what the caller appends.
std::int32_t finishNormalPage(MasterWork& work, std::int32_t reserve) {
    work.outCursor = work.outBufStart;
    std::int32_t lines = work.curLine - work.lastLine;
    if (lines != 0) {
        if (!vexao::writeLineSkips(work, lines, reserve)) return VEXAO_NO_ROOM;
        work.lastLine = work.curLine;
    }
    vexao::describeNormalOutput(work);
    return 0;
}

// The last node of the chain that owns a buffer. A node whose buffer could
// not be allocated holds nothing and is released, so that the chain can grow
// from its predecessor.
BufferList* lastWritableNode(MasterWork& work) {
    BufferList* node = &work.firstList;
    while (node->next != nullptr && node->next->bufHandle.block != nullptr) node = node->next;
    vexao::releaseChainNodes(node);
    return node;
}

std::int32_t formFeedBands(MasterWork** handle, OutputDesc** descriptor) {
    MasterWork& work = **handle;
    std::int32_t result = WriteRestData_Multi(handle);
    BufferList* node = lastWritableNode(work);
    if (node->cur - node->start + kFormFeedLength > vexao::kNodeCapacity) {
        node = GetNextList(node);
        if (node == nullptr) return VEXAO_NO_ROOM;
    }
    node->cur += vexao::writeFormFeed(node->cur);
    if (!vexao::describeChain(work, false)) return VEXAO_NO_ROOM;
    *descriptor = work.desc;
    return result;
}

std::int32_t formFeedLines(MasterWork& work, OutputDesc** descriptor) {
    std::int32_t result = finishNormalPage(work, kFormFeedLength);
    if (result != 0) return result;
    work.outCursor += vexao::writeFormFeed(work.outCursor);
    vexao::describeNormalOutput(work);
    *descriptor = work.desc;
    return 0;
}

}  // namespace

int32_t WriteRestData_Normal(MasterWork** work) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record)) return VEXAO_NO_ROOM;
    return finishNormalPage(record, 0);
}

int32_t WriteRestData_Multi(MasterWork** work) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record) || record.bandLines == 0) return VEXAO_NO_ROOM;
    std::int32_t lines = record.curLine - record.lastLine;
    vexao::setUpBandRows(record);
    vexao::restartChain(record);
    record.desc->count = 0;
    BufferList* node = vexao::advanceBands(work, &record.firstList, lines);
    if (node == nullptr) return VEXAO_NO_ROOM;
    if (record.bandLine != 0 && vexao::sendBand(work, node) == nullptr) return VEXAO_NO_ROOM;
    return vexao::describeChain(record, true) ? 0 : VEXAO_NO_ROOM;
}

int32_t OutputFlush(MasterWork** work, OutputDesc** descriptor) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record)) return VEXAO_NO_ROOM;
    vexao::resetOutputBuffer(record);
    std::int32_t result = record.bandLines == 0 ? WriteRestData_Normal(work) : WriteRestData_Multi(work);
    if (result != 0 && record.bandLines == 0) return result;
    *descriptor = record.desc;
    return result;
}

int32_t OutputFormFeed(MasterWork** work, OutputDesc** descriptor) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record)) return VEXAO_NO_ROOM;
    vexao::resetOutputBuffer(record);
    if (record.bandLines == 0) return formFeedLines(record, descriptor);
    return formFeedBands(work, descriptor);
}

int32_t OutputComplete(MasterWork** work) noexcept {
    MasterWork& record = **work;
    record.produced = 0;
    if (record.bandLines != 0) vexao::releaseChainNodes(&record.firstList);
    return 0;
}
