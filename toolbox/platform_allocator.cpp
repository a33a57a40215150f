#include "toolbox/platform_allocator_internal.h"

#include <cstdlib>

namespace vexao {

void* platformAllocate(std::uint32_t size) noexcept { return std::malloc(size); }

}  // namespace vexao
