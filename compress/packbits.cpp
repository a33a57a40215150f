// PackBits and the zero-run writer. The encoding itself lives with the other
// byte kernels, in one version for each instruction set.
#include "compress/compress_api.h"
#include "compress/kernel_loops.h"
#include "compress/packbits_internal.h"

namespace vexao {

std::int32_t packBitsWithin(std::uint8_t* output, std::int32_t capacity, const std::uint8_t* input,
                            std::int32_t n) noexcept {
    if (n < 0 || n > kMaxCompressCount) return 0;
    return fastestKernels().packBitsIntoRoom(output, capacity, input, n);
}

}  // namespace vexao

int32_t packbits(uint8_t* output, const uint8_t* input, int32_t n) noexcept {
    if (n < 0 || n > vexao::kMaxCompressCount) return 0;
    // The host's buffer: nothing past the code is touched.
    return vexao::fastestKernels().packBits(output, vexao::packBitsBound(n), input, n);
}

int32_t LeftPack(uint8_t* output, int32_t n) noexcept {
    if (n <= 0 || n > vexao::kMaxCompressCount) return 0;
    BoundedOutput out{output, output + 2 * ((n + kLongestRun - 1) / kLongestRun)};
    writeRuns(out, 0x00, n);
    return static_cast<std::int32_t>(out.next - output);
}
