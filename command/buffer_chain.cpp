#include "command/buffer_chain_internal.h"
#include "command/command_api.h"
#include "toolbox/toolbox_api.h"

namespace {

constexpr uint32_t kNodeBufferSize = 0x8000;

}  // namespace

BufferList* GetNextList(BufferList* node) noexcept {
    if (static_cast<int16_t>(MyNewPH(sizeof(BufferList), &node->nextHandle)) == -1) return nullptr;
    auto* fresh = static_cast<BufferList*>(node->nextHandle.block);
    node->next = fresh;
    if (static_cast<int16_t>(MyNewPH(kNodeBufferSize, &fresh->bufHandle)) == -1) return nullptr;
    fresh->start = static_cast<uint8_t*>(fresh->bufHandle.block);
    fresh->cur = fresh->start;
    fresh->next = nullptr;
    return fresh;
}

namespace vexao {

void releaseChainNodes(BufferList* first) noexcept {
    // The handles, not the `next` links, own the nodes, so walk them: a node
    // whose buffer could not be allocated is still owned and still released.
    PtrHandle owner = first->nextHandle;
    first->nextHandle = PtrHandle{};
    first->next = nullptr;
    while (owner.block != nullptr) {
        auto* node = static_cast<BufferList*>(owner.block);
        PtrHandle nextOwner = node->nextHandle;
        MyDisposePH(&node->bufHandle);
        MyDisposePH(&owner);
        owner = nextOwner;
    }
}

}  // namespace vexao
