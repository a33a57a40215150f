// OutputProduce: one raster line in, printer commands out.
#include <cstring>

#include "command/command_api.h"
#include "compress/compress_api.h"
#include "compress/kernels_internal.h"
#include "compress/packbits_internal.h"
#include "command/command_internal.h"
#include "output/emission_internal.h"
#include "output/output_api.h"
#include "output/work_record_internal.h"

namespace {

constexpr std::int32_t kColorHeaderLength = VEXAO_COLOR_HEADER_LENGTH;
static_assert(vexao::maxRowLength(8) == VEXAO_MAX_BAND_ROW(8) && vexao::maxRowLength(16) == VEXAO_MAX_BAND_ROW(16),
              "the host's manual gives these limits");
constexpr std::uint8_t kCarriageReturn = 0x0D;

// Byte indices, inclusive, of the stretch of a plane line that carries ink.
struct InkSpan {
    std::int32_t first;
    std::int32_t last;
};

bool isPlausible(const RasterPlane& plane) {
    return plane.pixelWidth > 0 && plane.leftBlank >= 0 && plane.rightBlank >= 0 &&
           plane.leftBlank < plane.pixelWidth;
}

// Finds the first and last non-zero byte between the blank ends the host
// declared. Planes that are absent, blank or described with impossible
// numbers carry no ink; nothing outside the declared range is read.
bool findInk(const RasterPlane& plane, std::int16_t pixelShift, InkSpan* span) {
    if (plane.data == nullptr || !isPlausible(plane)) return false;
    std::int32_t lastPixel = plane.pixelWidth - plane.rightBlank - 1;
    if (lastPixel < 0) return false;
    std::int32_t start = plane.leftBlank >> pixelShift;
    const std::uint8_t* bytes = plane.data + start;
    std::int32_t count = (lastPixel >> pixelShift) - start + 1;
    const vexao::ByteKernels& kernels = vexao::fastestKernels();
    std::int32_t first = kernels.firstNonZero(bytes, count);
    if (first == count) return false;
    // The last ink is searched from the end, down to the first.
    std::int32_t last = first + kernels.lastNonZero(bytes + first, count - first);
    *span = {start + first, start + last};
    return true;
}

std::int32_t zeroRunLength(std::int32_t zeros) { return 2 * ((zeros + 127) / 128); }

// Compresses a plane line from its first byte to its last non-zero byte into
// `destination`: the leading zeros as zero runs, the rest with PackBits, after
// level packing where the mode asks. Returns the length, or -1 when it would
// not fit in `capacity` bytes (nothing beyond them is written).
std::int32_t compressLine(MasterWork& work, const RasterPlane& plane, InkSpan span, std::uint8_t* destination,
                          std::int32_t capacity) {
    const std::uint8_t* bytes = plane.data + span.first;
    std::int32_t count = span.last - span.first + 1;
    std::int32_t leadingZeros = span.first;
    if (work.usePack83 != 0) {
        // Packing works on groups of three bytes, so start at the group that
        // holds the first ink; the bytes added in front are cleared, so the
        // packed bytes ahead of the group stay zero runs.
        std::int32_t groupStart = span.first - span.first % 3;
        std::memset(plane.data + groupStart, 0, span.first - groupStart);
        auto* packed = static_cast<std::uint8_t*>(work.packHandle.block) + groupStart / 3 * 2;
        count = pack83(packed, plane.data + groupStart, span.last - groupStart + 1, &work);
        bytes = packed;
        leadingZeros = groupStart / 3 * 2;
    }
    std::int32_t left = 0;
    if (leadingZeros > 0) {
        if (zeroRunLength(leadingZeros) > capacity) return -1;
        left = LeftPack(destination, leadingZeros);
    }
    std::int32_t right = vexao::packBitsWithin(destination + left, capacity - left, bytes, count);
    return right < 0 ? -1 : left + right;
}

// Appends one colour data command for plane `k` and its carriage return.
bool writeColorData(MasterWork& work, int k, const RasterPlane& plane, InkSpan span) {
    std::int32_t room = vexao::normalRoom(work, 0) - kColorHeaderLength - 1;
    if (room < 0) return false;
    std::uint8_t* header = work.outCursor;
    std::int32_t length = compressLine(work, plane, span, header + kColorHeaderLength, room);
    if (length < 0) return false;
    WriteSpecColor(static_cast<std::int16_t>(k), static_cast<std::int16_t>(length + 1), header);
    work.outCursor = header + kColorHeaderLength + length;
    *work.outCursor++ = kCarriageReturn;
    return true;
}

bool produceNormalLine(MasterWork& work, RasterInput& line) {
    work.curLine = line.lineNumber;
    for (int k = 0; k < VEXAO_MAX_PLANES; ++k) {
        InkSpan span;
        if (!findInk(line.plane[k], work.pixelShift, &span)) continue;
        if (line.lineNumber != work.lastLine) {
            if (!vexao::writeLineSkips(work, line.lineNumber - work.lastLine, 0)) return false;
            work.lastLine = line.lineNumber;
        }
        if (!writeColorData(work, k, line.plane[k], span)) return false;
    }
    vexao::describeNormalOutput(work);
    return true;
}

// The compressed rows of one line: written straight into the band row that
// will hold them when that row is known, otherwise staged in the output
// buffer one slot per plane until they are filed.
struct StagedRows {
    bool hasInk[vexao::kBandPlaneSlots];
    std::int16_t length[vexao::kBandPlaneSlots];
    bool any;
    bool inPlace;
};

std::uint8_t* stagingSlot(MasterWork& work, int plane) { return work.outBufStart + vexao::kRowSlotSize * plane; }

// The row a line will be filed in, if that needs no band to be sent first
// (a sent band would reuse the rows); -1 otherwise. The row has held nothing
// yet in this band, so compressing into it changes nothing until it is filed.
int rowKnownAhead(const MasterWork& work, std::int32_t lineNumber) {
    if (work.bandLine >= work.bandLines) return -1;
    std::int32_t rowsDown = lineNumber - work.lastLine <= 1 ? 0 : lineNumber - work.lastLine - 1;
    return rowsDown < work.bandLines - work.bandLine ? work.bandLine + rowsDown : -1;
}

// Compresses every plane before anything else moves, so that a row too long
// for its band slot refuses the call with the record untouched.
bool stageRows(MasterWork& work, RasterInput& line, StagedRows* rows) {
    std::int32_t capacity = vexao::maxRowLength(work.bandLines);
    int row = rowKnownAhead(work, line.lineNumber);
    rows->any = false;
    rows->inPlace = row >= 0;
    for (int k = 0; k < work.planeCount; ++k) {
        InkSpan span;
        rows->hasInk[k] = findInk(line.plane[k], work.pixelShift, &span);
        if (!rows->hasInk[k]) continue;
        std::uint8_t* destination = rows->inPlace ? work.planes[k].linePtr[row] : stagingSlot(work, k);
        std::int32_t length = compressLine(work, line.plane[k], span, destination, capacity);
        if (length < 0) return false;
        rows->length[k] = static_cast<std::int16_t>(length);
        rows->any = true;
    }
    return true;
}

// Files the line's rows in row bandLine. Staged rows are only pointed at
// where they lie: the row slots may still hold a band sent earlier in this
// call, which must survive until the call can no longer fail.
void fileRows(MasterWork& work, const StagedRows& rows) {
    for (int k = 0; k < work.planeCount; ++k) {
        if (!rows.hasInk[k]) continue;
        PlaneBand& plane = work.planes[k];
        if (!rows.inPlace) plane.linePtr[work.bandLine] = stagingSlot(work, k);
        plane.lineLen[work.bandLine] = rows.length[k];
        work.planeHasData[k] = 1;
    }
}

// Once the call has succeeded, staged rows still waiting in the band move
// from the staging area, which the next call reuses, into their row slots.
void keepStagedRows(MasterWork& work, const StagedRows& rows) {
    if (rows.inPlace || !rows.any || work.bandLine == 0) return;
    int row = work.bandLine - 1;
    for (int k = 0; k < work.planeCount; ++k) {
        if (!rows.hasInk[k]) continue;
        PlaneBand& plane = work.planes[k];
        plane.linePtr[row] = plane.writePtr + vexao::kRowSlotSize * row;
        std::memcpy(plane.linePtr[row], stagingSlot(work, k), rows.length[k]);
    }
}

bool produceBandLine(MasterWork** handle, RasterInput& line) {
    MasterWork& work = **handle;
    vexao::setUpBandRows(work);
    StagedRows rows;
    if (!stageRows(work, line, &rows)) return false;

    vexao::restartChain(work);
    BufferList* node = &work.firstList;
    if (work.needHeader == 1) {
        node->cur += static_cast<std::int16_t>(WriteMultiRasterCommand(handle, node->cur));
        work.needHeader = 0;
    }
    work.curLine = line.lineNumber;
    if (rows.any) {
        node = vexao::advanceBands(handle, node, line.lineNumber - work.lastLine);
        if (node == nullptr) return false;
        work.lastLine = line.lineNumber;
        fileRows(work, rows);
        if (++work.bandLine == work.bandLines && WriteMultiRasterImage(handle, node) == nullptr) return false;
    }
    if (!vexao::describeChain(work, true)) return false;
    keepStagedRows(work, rows);
    return true;
}

}  // namespace

int32_t OutputProduce(MasterWork** work, RasterInput* line, OutputDesc** descriptor) noexcept {
    MasterWork& record = **work;
    if (record.produced == 1) return VEXAO_NOT_COMPLETED;
    if (!vexao::isConfigured(record) || line->lineNumber < record.lastLine) return VEXAO_NO_ROOM;
    vexao::resetOutputBuffer(record);
    vexao::PageState saved = vexao::savePageState(record);
    bool produced = record.bandLines == 0 ? produceNormalLine(record, *line) : produceBandLine(work, *line);
    if (!produced) return vexao::refuseCall(record, saved);
    record.produced = 1;
    *descriptor = record.desc;
    return 0;
}
