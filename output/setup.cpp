// Opening, configuring, page reset and release of a work record.
#include <cstring>

#include "command/buffer_chain_internal.h"
#include "compress/compress_api.h"
#include "output/mode_selection_internal.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"
#include "toolbox/toolbox_api.h"

namespace {

bool attachBlock(std::uint32_t size, PtrHandle* handle) {
    return static_cast<std::int16_t>(MyNewPH(size, handle)) != -1;
}

// Releases everything a configuration allocated, so that the record is as
// OutputOpen left it. Disposing a zero handle does nothing, so every slot can
// be released whatever the configuration was, also a partial one.
void releaseModeBuffers(MasterWork& work) {
    MyDisposePH(&work.packHandle);
    vexao::releaseChainNodes(&work.firstList);
    MyDisposePH(&work.firstList.bufHandle);
    work.firstList.start = nullptr;
    work.firstList.cur = nullptr;
    for (PlaneBand& plane : work.planes) {
        MyDisposePH(&plane.bufHandle);
        plane.writePtr = nullptr;
    }
}

void resetDescriptor(MasterWork& work) {
    work.desc = static_cast<OutputDesc*>(work.descHandle.block);
    work.desc->count = 1;
    work.desc->chunks = reinterpret_cast<Chunk*>(&work.desc->ptr);
}

bool allocateBandBuffers(MasterWork& work) {
    for (int i = 0; i < work.planeCount; ++i) {
        PlaneBand& plane = work.planes[i];
        if (!attachBlock(vexao::kBandBufferSize, &plane.bufHandle)) return false;
        for (std::int16_t& length : plane.lineLen) length = 0;
    }
    return attachBlock(vexao::kOutputBufferSize, &work.firstList.bufHandle);
}

}  // namespace

int32_t OutputOpen(MasterWork** work) noexcept {
    if (work == nullptr) return VEXAO_OPEN_FAILED;
    *work = nullptr;
    auto* record = static_cast<MasterWork*>(MyNewMasterWorkPtr(sizeof(MasterWork)));
    if (record == nullptr) return VEXAO_OPEN_FAILED;
    *work = record;
    if (!attachBlock(vexao::kOutputBufferSize, &record->outBufHandle)) return VEXAO_OPEN_FAILED;
    record->outBufStart = static_cast<std::uint8_t*>(record->outBufHandle.block);
    if (!attachBlock(sizeof(OutputDesc), &record->descHandle)) return VEXAO_OPEN_FAILED;
    record->desc = static_cast<OutputDesc*>(record->descHandle.block);
    record->version = 0;
    return VEXAO_INTERFACE_VERSION;
}

int32_t OutputInitTwo(MasterWork** work, const OutputParams* params, int32_t modelCode) noexcept {
    MasterWork& record = **work;
    std::memcpy(&record.params, params, sizeof(OutputParams));
    record.params.modelCode = static_cast<std::int16_t>(modelCode);
    record.version = VEXAO_INTERFACE_VERSION;
    return static_cast<std::int16_t>(OutputInit(work, &record.params));
}

int32_t OutputInit(MasterWork** work, const OutputParams* params) noexcept {
    MasterWork& record = **work;
    // A record whose OutputOpen failed part way has no buffer or descriptor.
    if (record.outBufHandle.block == nullptr || record.descHandle.block == nullptr) return VEXAO_NO_ROOM;
    releaseModeBuffers(record);
    resetDescriptor(record);
    record.produced = 0;
    record.pixelShift = 0;
    record.levelTable = nullptr;

    vexao::OutputMode mode = vexao::selectOutputMode(*params, record.params);
    record.bandLines = mode.bandLines;
    record.planeCount = mode.planeCount;
    record.usePack83 = mode.usePack83;

    if (record.usePack83 == 1) {
        record.levelTable = tblqzo73l;
        if (!attachBlock(vexao::kOutputBufferSize, &record.packHandle)) return VEXAO_NO_ROOM;
    }
    if (record.bandLines != 0 && !allocateBandBuffers(record)) return VEXAO_NO_ROOM;

    record.pixelShift = mode.bitsPerPixel == 1 ? 3 : 1;
    OutputInitPart(work, params);
    return 0;
}

int32_t OutputInitPart(MasterWork** work, const OutputParams* params) noexcept {
    MasterWork& record = **work;
    if (record.version > 258 && params != &record.params) {
        std::int16_t modelCode = record.params.modelCode;
        std::memcpy(&record.params, params, sizeof(OutputParams));
        record.params.modelCode = modelCode;
    }
    record.lastLine = 0;
    record.curLine = 0;
    if (record.bandLines != 0) {
        record.needHeader = 1;
        record.pendingBands = 0;
        record.bandLine = 0;
        std::memset(record.planeHasData, 0, sizeof record.planeHasData);
        record.lastEscLCount = -1;
        // Rows that an abandoned page left in the band must not reach the next.
        for (PlaneBand& plane : record.planes)
            for (std::int16_t& length : plane.lineLen) length = 0;
    }
    return 0;
}

void OutputClose(MasterWork** work) noexcept {
    if (work == nullptr || *work == nullptr) return;
    MasterWork& record = **work;
    MyDisposePH(&record.descHandle);
    MyDisposePH(&record.outBufHandle);
    releaseModeBuffers(record);
    MyDisposeMasterWorkPtr(&record);
}
