#include "compress/compress_api.h"
#include "compress/kernel_loops.h"
#include "output/work_record_internal.h"
#include "toolbox/toolbox_api.h"

namespace {

const uint8_t* lockLevelTable(const MasterWork* work) {
    // A record outside the level-packing modes holds no table; the exported
    // one is the same table that set-up would have given it.
    const uint8_t* table = work != nullptr && work->levelTable != nullptr ? work->levelTable : tblqzo73l;
    return static_cast<const uint8_t*>(MyLockResource(const_cast<uint8_t*>(table)));
}

}  // namespace

int32_t pack83(uint8_t* output, const uint8_t* input, int32_t n, MasterWork* work) noexcept {
    if (n < 0 || n > VEXAO_MAX_COMPRESS_COUNT) return 0;
    const uint8_t* const table = lockLevelTable(work);
    const int32_t groups = n / 3;
    vexao::fastestKernels().packLevelGroups(output, input, groups, table);
    input += 3 * groups;
    uint8_t* out = output + 2 * groups;

    // A partial last group is packed as if padded with zero bytes, but its
    // blank tail is left out, so a line can end short of a whole group.
    if (n % 3 == 1 && input[0] != 0) {
        *out++ = table[input[0]];
    } else if (n % 3 == 2 && (input[0] != 0 || input[1] != 0)) {
        *out++ = firstOfGroup(table, input[0], input[1]);
        const uint8_t second = secondOfGroup(table, input[1], 0);
        if (second != 0) *out++ = second;
    }
    return static_cast<int32_t>(out - output);
}
