// The one place where the library asks the platform for memory.
//
// It is a link-time seam: the shared library links the real allocator
// (platform_allocator.cpp), while the test archive links one that can be told
// to fail, so every allocation-failure path is reachable from the tests
// without a switch in the product.
#ifndef VEXAO_TOOLBOX_PLATFORM_ALLOCATOR_INTERNAL_H
#define VEXAO_TOOLBOX_PLATFORM_ALLOCATOR_INTERNAL_H

#include <cstdint>

namespace vexao {

// Uninitialised memory of `size` bytes, or null when none is left.
void* platformAllocate(std::uint32_t size) noexcept;

}  // namespace vexao

#endif
