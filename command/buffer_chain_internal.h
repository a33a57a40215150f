// Lifetime of the multi-raster output chain beyond its first node.
#ifndef VEXAO_COMMAND_BUFFER_CHAIN_INTERNAL_H
#define VEXAO_COMMAND_BUFFER_CHAIN_INTERNAL_H

#include "command/command_api.h"

namespace vexao {

constexpr int kNodeCapacity = 32767;  // a node's content stays below its 32768-byte buffer

// Releases every node after `first`, each with its buffer, following the
// owning handles. Afterwards `first` is the whole chain: its `next` is null and
// its `nextHandle` is the zero handle. `first` keeps its own buffer.
void releaseChainNodes(BufferList* first) noexcept;

}  // namespace vexao

#endif
