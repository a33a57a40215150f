// The printer command encoders. Raster skips and colour data headers are
// assembled in module-wide templates patched in place, which is why the
// library serves one caller at a time.
#include <cstdint>
#include <cstring>

#include "command/buffer_chain_internal.h"
#include "command/command_api.h"
#include "command/command_internal.h"
#include "output/work_record_internal.h"

namespace {

std::uint8_t skipTemplate[7] = {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};
std::uint8_t colorDataTemplate[6] = {0x1B, 0x28, 0x41, 0x00, 0x00, 0x00};
std::uint8_t formFeedTemplate[7] = {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x00};
const char planeLetters[] = "KYMCmcyP";

const std::uint8_t planeListK[] = {0x1B, 0x28, 0x4C, 0x01, 0x00, 'K'};
const std::uint8_t planeListKYMC[] = {0x1B, 0x28, 0x4C, 0x04, 0x00, 'K', 'Y', 'M', 'C'};
const std::uint8_t planeListKYMCmc[] = {0x1B, 0x28, 0x4C, 0x06, 0x00, 'K', 'Y', 'M', 'C', 'm', 'c'};
const std::uint8_t bandBlockHeader[] = {0x1B, 0x28, 0x46};
const std::uint8_t multiRasterStart[] = {0x1B, 0x28, 0x49, 0x01, 0x00, 0x01};
const std::uint8_t bandHeightTemplate[] = {0x1B, 0x28, 0x4A, 0x01, 0x00, 0x00};

constexpr std::int32_t kMaxSkip = 32767;
constexpr std::int32_t kSkipLength = 7;
constexpr std::int32_t kPlaneListRoom = 11;  // the longest list, whatever is written
constexpr std::int32_t kBandBlockHeaderLength = 5;
constexpr std::uint8_t kLineEnd = 0x80;
constexpr int kMaxBandLines = 16;

// A piece of `length` bytes never splits across nodes: when it does not fit
// in what is left of the node, it goes into a fresh one.
BufferList* roomFor(BufferList* node, std::int32_t length) {
    if (node->cur - node->start + length <= vexao::kNodeCapacity) return node;
    return GetNextList(node);
}

BufferList* append(BufferList* node, const std::uint8_t* bytes, std::int32_t length) {
    std::memcpy(node->cur, bytes, length);
    node->cur += length;
    return node;
}

// The length a band block would carry, or -1 when its rows cannot be sent:
// a row outside its slot, or a total beyond the 16-bit length field.
std::int32_t bandBlockLength(std::int16_t lines, const PlaneBand& band) {
    if (lines < 0 || lines > kMaxBandLines) return -1;
    std::int32_t total = 0;
    for (int i = 0; i < lines; ++i) {
        if (band.lineLen[i] < 0 || band.lineLen[i] > vexao::kRowSlotBytes) return -1;
        total += band.lineLen[i] + 1;
    }
    return total <= vexao::kMaxBandBlockLength ? total : -1;
}

void clearBand(MasterWork& work) {
    std::memset(work.planeHasData, 0, sizeof work.planeHasData);
    for (int p = 0; p < work.planeCount; ++p)
        for (int line = 0; line < work.bandLines; ++line) work.planes[p].lineLen[line] = 0;
    work.bandLine = 0;
}

}  // namespace

int32_t WriteSkipCommand(int32_t count, uint8_t* destination) noexcept {
    auto lines = static_cast<std::int16_t>(count);
    if (lines <= 0) return 0;
    skipTemplate[5] = static_cast<std::uint8_t>(lines >> 8);
    skipTemplate[6] = static_cast<std::uint8_t>(lines);
    std::memcpy(destination, skipTemplate, sizeof skipTemplate);
    return kSkipLength;
}

void WriteSpecColor(int16_t plane, int16_t length, uint8_t* destination) noexcept {
    if (plane < 0 || plane > 7) return;
    colorDataTemplate[3] = static_cast<std::uint8_t>(length);
    colorDataTemplate[4] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(length) >> 8);
    colorDataTemplate[5] = static_cast<std::uint8_t>(planeLetters[plane]);
    std::memcpy(destination, colorDataTemplate, sizeof colorDataTemplate);
}

int32_t WriteMultiRasterCommand(MasterWork** work, uint8_t* destination) noexcept {
    std::uint8_t bandHeight[sizeof bandHeightTemplate];
    std::memcpy(bandHeight, bandHeightTemplate, sizeof bandHeight);
    bandHeight[5] = static_cast<std::uint8_t>((*work)->bandLines);
    std::memcpy(destination, multiRasterStart, sizeof multiRasterStart);
    std::memcpy(destination + sizeof multiRasterStart, bandHeight, sizeof bandHeight);
    return sizeof multiRasterStart + sizeof bandHeight;
}

BufferList* WriteEscL(int16_t planes, BufferList* node) noexcept {
    node = roomFor(node, kPlaneListRoom);
    if (node == nullptr) return nullptr;
    switch (planes) {
        case 1: return append(node, planeListK, sizeof planeListK);
        case 4: return append(node, planeListKYMC, sizeof planeListKYMC);
        case 6: return append(node, planeListKYMCmc, sizeof planeListKYMCmc);
        default: return node;
    }
}

BufferList* WriteSkipMulti(int32_t count, BufferList* node) noexcept {
    while (count > kMaxSkip) {
        node = roomFor(node, 2 * kSkipLength);
        if (node == nullptr) return nullptr;
        node->cur += WriteSkipCommand(kMaxSkip, node->cur);
        count -= kMaxSkip;
    }
    node = roomFor(node, kSkipLength);
    if (node == nullptr) return nullptr;
    node->cur += static_cast<std::int16_t>(WriteSkipCommand(count, node->cur));
    return node;
}

BufferList* WriteEscF(int16_t lines, PlaneBand* band, BufferList* node) noexcept {
    std::int32_t total = bandBlockLength(lines, *band);
    if (total < 0) return nullptr;
    node = roomFor(node, kBandBlockHeaderLength);
    if (node == nullptr) return nullptr;
    append(node, bandBlockHeader, sizeof bandBlockHeader);
    std::uint8_t* lengthField = node->cur;  // filled in once the lines are out, maybe from a later node
    node->cur += 2;
    for (int i = 0; i < lines; ++i) {
        node = roomFor(node, band->lineLen[i] + 1);
        if (node == nullptr) return nullptr;
        append(node, band->linePtr[i], band->lineLen[i]);
        *node->cur++ = kLineEnd;
    }
    lengthField[0] = static_cast<std::uint8_t>(total);
    lengthField[1] = static_cast<std::uint8_t>(total >> 8);
    return node;
}

BufferList* WriteMultiRasterImage(MasterWork** work, BufferList* node) noexcept {
    MasterWork& record = **work;
    bool anyPlane = false, otherThanFirst = false;
    for (int p = 0; p < vexao::kPlaneFlagSlots; ++p) {
        if (record.planeHasData[p] == 0) continue;
        anyPlane = true;
        otherThanFirst = otherThanFirst || p != 0;
    }
    if (!anyPlane) {
        vexao::countEmptyBands(record, 1);
        clearBand(record);
        return node;
    }
    if (record.pendingBands != 0) {
        node = WriteSkipMulti(record.pendingBands, node);
        if (node == nullptr) return nullptr;
        record.pendingBands = 0;
    }
    std::int16_t singlePlane = otherThanFirst ? 0 : 1;
    std::int16_t announced = singlePlane ? 1 : record.planeCount;
    if (singlePlane != record.lastEscLCount) {
        node = WriteEscL(announced, node);
        if (node == nullptr) return nullptr;
        record.lastEscLCount = singlePlane;
    }
    for (int p = 0; p < announced; ++p) {
        node = WriteEscF(record.bandLines, &record.planes[p], node);
        if (node == nullptr) return nullptr;
    }
    clearBand(record);
    return node;
}

namespace vexao {

void countEmptyBands(MasterWork& work, std::int64_t bands) noexcept {
    std::int64_t total = work.pendingBands + bands;
    work.pendingBands = static_cast<std::int32_t>(total < INT32_MAX ? total : INT32_MAX);
}

std::int32_t writeFormFeed(std::uint8_t* destination) noexcept {
    formFeedTemplate[5] = 0;
    formFeedTemplate[6] = 0;
    std::memcpy(destination, formFeedTemplate, sizeof formFeedTemplate);
    return sizeof formFeedTemplate;
}

}  // namespace vexao
