#include <cstdlib>
#include <cstring>

#include "toolbox/platform_allocator_internal.h"
#include "toolbox/toolbox_api.h"

namespace {

constexpr PtrHandle kZeroHandle{};

}  // namespace

void* MyNewPtr(uint32_t size) noexcept {
    void* block = vexao::platformAllocate(size);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

void MyDisposePtr(void* block) noexcept { std::free(block); }

int32_t MyNewPH(uint32_t size, PtrHandle* handle) noexcept {
    *handle = kZeroHandle;
    handle->block = MyNewPtr(size);
    if (handle->block == nullptr) return -1;
    handle->state = 0;
    return 0;
}

void MyDisposePH(PtrHandle* handle) noexcept {
    MyDisposePtr(handle->block);
    *handle = kZeroHandle;
}

int32_t MyNullPHCheck(const PtrHandle* handle) noexcept {
    return handle->block == nullptr && handle->reserved == 0 && handle->state == 0 ? 1 : 0;
}

void* MyNewMasterWorkPtr(uint32_t size) noexcept {
    // The block begins with its own handle, so it cannot be smaller.
    if (size < sizeof(PtrHandle)) return nullptr;
    PtrHandle handle;
    if (static_cast<int16_t>(MyNewPH(size, &handle)) != 0) return nullptr;
    std::memcpy(handle.block, &handle, sizeof handle);
    return handle.block;
}

void MyDisposeMasterWorkPtr(void* block) noexcept {
    // The handle lives inside the block it releases, so take a copy first.
    PtrHandle handle;
    std::memcpy(&handle, block, sizeof handle);
    MyDisposePH(&handle);
}

void Mymemcpy(void* destination, const void* source, int32_t count) noexcept {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const unsigned char*>(source);
    for (int16_t i = 0, n = static_cast<int16_t>(count); i < n; ++i) to[i] = from[i];
}

void* MyLockResource(void* resource) noexcept { return resource; }

void MyUnlockFreeResource(void*) noexcept {}
