// Runs an encoder on a buffer of exactly the room it may need, followed by
// guard bytes, and keeps what it wrote and whether it stayed inside.
#ifndef VEXAO_TESTS_GUARDED_OUTPUT_H
#define VEXAO_TESTS_GUARDED_OUTPUT_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vexao_test {

constexpr std::uint8_t kGuardByte = 0xA5;

struct GuardedOutput {
    std::vector<std::uint8_t> bytes;  // the first `result` bytes, cut to the room
    int result = 0;
    bool guardsIntact = true;         // nothing written past `result`
};

template <typename Encode>
GuardedOutput encodeGuarded(int room, Encode encode) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(room) + 16, kGuardByte);
    GuardedOutput output;
    output.result = encode(buffer.data());
    auto written = static_cast<std::ptrdiff_t>(std::clamp(output.result, 0, room));
    output.guardsIntact = std::all_of(buffer.begin() + written, buffer.end(),
                                      [](std::uint8_t byte) { return byte == kGuardByte; });
    output.bytes.assign(buffer.begin(), buffer.begin() + written);
    return output;
}

}  // namespace vexao_test

#endif
