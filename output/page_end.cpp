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
bool finishNormalPage(MasterWork& work, std::int32_t reserve) {
    work.outCursor = work.outBufStart;
    std::int32_t lines = work.curLine - work.lastLine;
    if (lines != 0) {
        if (!vexao::writeLineSkips(work, lines, reserve)) return false;
        work.lastLine = work.curLine;
    }
    vexao::describeNormalOutput(work);
    return true;
}

// Sends the bands down to the last line handed in and the part-filled band.
// Returns the chain's tail node, or null when memory ran out; the caller
// puts the record back then.
BufferList* finishBandPage(MasterWork** handle) {
    MasterWork& work = **handle;
    vexao::setUpBandRows(work);
    vexao::restartChain(work);
    BufferList* node = vexao::advanceBands(handle, &work.firstList, work.curLine - work.lastLine);
    if (node == nullptr || work.bandLine == 0) return node;
    return WriteMultiRasterImage(handle, node);
}

std::int32_t formFeedBands(MasterWork** handle, OutputDesc** descriptor) {
    MasterWork& work = **handle;
    vexao::PageState saved = vexao::savePageState(work);
    BufferList* node = finishBandPage(handle);
    if (node != nullptr && node->cur - node->start + kFormFeedLength > vexao::kNodeCapacity) node = GetNextList(node);
    if (node == nullptr) return vexao::refuseCall(work, saved);
    node->cur += vexao::writeFormFeed(node->cur);
    if (!vexao::describeChain(work, false)) return vexao::refuseCall(work, saved);
    *descriptor = work.desc;
    return 0;
}

std::int32_t formFeedLines(MasterWork& work, OutputDesc** descriptor) {
    vexao::PageState saved = vexao::savePageState(work);
    if (!finishNormalPage(work, kFormFeedLength)) return vexao::refuseCall(work, saved);
    work.outCursor += vexao::writeFormFeed(work.outCursor);
    vexao::describeNormalOutput(work);
    *descriptor = work.desc;
    return 0;
}

}  // namespace

int32_t WriteRestData_Normal(MasterWork** work) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record)) return VEXAO_NO_ROOM;
    vexao::PageState saved = vexao::savePageState(record);
    return finishNormalPage(record, 0) ? 0 : vexao::refuseCall(record, saved);
}

int32_t WriteRestData_Multi(MasterWork** work) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record) || record.bandLines == 0) return VEXAO_NO_ROOM;
    vexao::PageState saved = vexao::savePageState(record);
    if (finishBandPage(work) == nullptr || !vexao::describeChain(record, true)) return vexao::refuseCall(record, saved);
    return 0;
}

int32_t OutputFlush(MasterWork** work, OutputDesc** descriptor) noexcept {
    MasterWork& record = **work;
    if (!vexao::isConfigured(record)) return VEXAO_NO_ROOM;
    vexao::resetOutputBuffer(record);
    std::int32_t result = record.bandLines == 0 ? WriteRestData_Normal(work) : WriteRestData_Multi(work);
    // Handed back also on failure, listing nothing, for hosts that send
    // whatever a flush hands back.
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
