#include "compress/kernels_internal.h"

#include <atomic>

#include "compress/kernel_loops.h"

namespace vexao {

#if defined(__i386__) || defined(__x86_64__)

bool cpuRuns(SimdPath path) noexcept {
    // Reads the processor's features once; later calls only return.
    __builtin_cpu_init();
    switch (path) {
        case SimdPath::Word: return true;
        case SimdPath::Sse2: return __builtin_cpu_supports("sse2");
        case SimdPath::Avx2: return __builtin_cpu_supports("avx2");
    }
    return false;
}

const ByteKernels& kernelsFor(SimdPath path) noexcept {
    switch (path) {
        case SimdPath::Sse2: return kSse2Kernels;
        case SimdPath::Avx2: return kAvx2Kernels;
        case SimdPath::Word: break;
    }
    return kWordKernels;
}

#else

// Other processors run the word path.
bool cpuRuns(SimdPath path) noexcept { return path == SimdPath::Word; }

const ByteKernels& kernelsFor(SimdPath) noexcept { return kWordKernels; }

#endif

namespace {

const ByteKernels& chooseFastest() noexcept {
    if (cpuRuns(SimdPath::Avx2)) return kAvx2Kernels;
    if (cpuRuns(SimdPath::Sse2)) return kSse2Kernels;
    return kWordKernels;
}

}  // namespace

const ByteKernels& fastestKernels() noexcept {
    // Chosen on first use; threads that race there choose the same set.
    static std::atomic<const ByteKernels*> chosen{nullptr};
    const ByteKernels* kernels = chosen.load(std::memory_order_relaxed);
    if (kernels == nullptr) {
        kernels = &chooseFastest();
        chosen.store(kernels, std::memory_order_relaxed);
    }
    return *kernels;
}

}  // namespace vexao
