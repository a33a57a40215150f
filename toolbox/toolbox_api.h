/* Memory blocks and pointer handles.
 *
 * Every heap block of the library is obtained here, and hosts may use the
 * same functions. Blocks are always zero-filled over their whole size, and the
 * rest of the library relies on that: a field nobody set reads 0, and a handle
 * inside a fresh record owns nothing.
 *
 * A PtrHandle owns at most one block. A handle that owns nothing is the zero
 * handle, all its bytes zero; MyNewPH starts from it and MyDisposePH
 * returns to it, so disposing an empty handle, or the same handle twice, is
 * harmless. */
#ifndef VEXAO_TOOLBOX_API_H
#define VEXAO_TOOLBOX_API_H

#include <stddef.h>
#include <stdint.h>

#include "toolbox/export.h"

typedef struct PtrHandle {
    void* block;      /* the owned block, or null */
    int32_t reserved; /* always 0 */
    int16_t state;    /* 0 whenever a block is attached */
    uint16_t padding; /* always 0 */
} PtrHandle;

VEXAO_LAYOUT_CHECK(sizeof(PtrHandle) == 12, "PtrHandle is 12 bytes");
VEXAO_LAYOUT_CHECK(offsetof(PtrHandle, block) == 0, "PtrHandle.block at 0");
VEXAO_LAYOUT_CHECK(offsetof(PtrHandle, reserved) == 4, "PtrHandle.reserved at 4");
VEXAO_LAYOUT_CHECK(offsetof(PtrHandle, state) == 8, "PtrHandle.state at 8");
VEXAO_LAYOUT_CHECK(offsetof(PtrHandle, padding) == 10, "PtrHandle.padding at 10");

/* A zero-filled block of `size` bytes, or null when the allocator is
 * exhausted (also when it grants nothing for a size of 0). */
VEXAO_API void* MyNewPtr(uint32_t size) VEXAO_NOEXCEPT;

/* Releases a block from MyNewPtr; null is ignored. */
VEXAO_API void MyDisposePtr(void* block) VEXAO_NOEXCEPT;

/* Resets *handle to the zero handle, then attaches a new zero-filled block of
 * `size` bytes. Returns 0, or -1 when no block could be had (the handle is
 * then the zero handle). The handle must own nothing: it is overwritten, not
 * released. */
VEXAO_API int32_t MyNewPH(uint32_t size, PtrHandle* handle) VEXAO_NOEXCEPT;

/* Releases the handle's block, if any, and leaves the zero handle. */
VEXAO_API void MyDisposePH(PtrHandle* handle) VEXAO_NOEXCEPT;

/* 1 when the handle owns nothing (null block, reserved and state 0), else 0. */
VEXAO_API int32_t MyNullPHCheck(const PtrHandle* handle) VEXAO_NOEXCEPT;

/* A self-describing block: `size` zero-filled bytes whose first bytes hold a
 * copy of the handle that owns the block (12 bytes on i386). Null when memory
 * ran out or `size` is below the handle's own size. */
VEXAO_API void* MyNewMasterWorkPtr(uint32_t size) VEXAO_NOEXCEPT;

/* Releases a block from MyNewMasterWorkPtr through the handle it carries. */
VEXAO_API void MyDisposeMasterWorkPtr(void* block) VEXAO_NOEXCEPT;

/* Copies bytes forwards, one at a time. Only the low 16 bits of `count` are
 * used, read as a signed number: a count of 0 or below copies nothing. */
VEXAO_API void Mymemcpy(void* destination, const void* source, int32_t count) VEXAO_NOEXCEPT;

/* Resources are plain memory: locking yields the pointer unchanged and
 * unlocking does nothing. */
VEXAO_API void* MyLockResource(void* resource) VEXAO_NOEXCEPT;
VEXAO_API void MyUnlockFreeResource(void* resource) VEXAO_NOEXCEPT;

#endif
