/* Printer command encoders and the multi-raster buffer chain.
 *
 * Every command has the frame 1B 28, a command letter, a 16-bit little-endian
 * parameter length and the parameters. WriteSkipCommand, WriteSpecColor and
 * WriteMultiRasterCommand write at a raw position that the caller reserved.
 * The chain writers (WriteEscL, WriteSkipMulti, WriteEscF) append at a node's
 * `cur`, keep each node's content within 32767 bytes, continue in fresh nodes
 * from GetNextList, and return the node that now holds the write position, or
 * null when memory ran out.
 *
 * The raw writers assemble their bytes in module-wide templates, so the
 * library serves one caller at a time, even across different work records. */
#ifndef VEXAO_COMMAND_API_H
#define VEXAO_COMMAND_API_H

#include <stddef.h>
#include <stdint.h>

#include "toolbox/export.h"
#include "toolbox/toolbox_api.h"

typedef struct MasterWork MasterWork;

/* One node of the chain of 32768-byte output buffers. The first node lives
 * inside the work record; each later node is owned by the `nextHandle` of the
 * node before it. The node's content (cur - start) goes to the host as one
 * chunk. */
typedef struct BufferList {
    PtrHandle bufHandle;     /* owns the 32768-byte data buffer */
    uint8_t* start;          /* first byte of the data buffer */
    uint8_t* cur;            /* next free byte */
    PtrHandle nextHandle;    /* owns the next node, when there is one */
    struct BufferList* next; /* the next node, or null at the end */
} BufferList;

VEXAO_LAYOUT_CHECK(sizeof(BufferList) == 36, "BufferList is 36 bytes");
VEXAO_LAYOUT_CHECK(offsetof(BufferList, bufHandle) == 0, "BufferList.bufHandle at 0");
VEXAO_LAYOUT_CHECK(offsetof(BufferList, start) == 12, "BufferList.start at 12");
VEXAO_LAYOUT_CHECK(offsetof(BufferList, cur) == 16, "BufferList.cur at 16");
VEXAO_LAYOUT_CHECK(offsetof(BufferList, nextHandle) == 20, "BufferList.nextHandle at 20");
VEXAO_LAYOUT_CHECK(offsetof(BufferList, next) == 32, "BufferList.next at 32");

/* The band storage of one plane in multi-raster mode: a 65536-byte buffer cut
 * into sixteen row slots of 4096 bytes. */
typedef struct PlaneBand {
    PtrHandle bufHandle;   /* owns the 65536-byte band buffer */
    uint8_t* writePtr;     /* base of the band buffer */
    uint8_t* linePtr[16];  /* row i lives at writePtr + 4096 * i */
    int16_t lineLen[16];   /* compressed length of row i; 0 when it holds nothing */
} PlaneBand;

VEXAO_LAYOUT_CHECK(sizeof(PlaneBand) == 112, "PlaneBand is 112 bytes");
VEXAO_LAYOUT_CHECK(offsetof(PlaneBand, bufHandle) == 0, "PlaneBand.bufHandle at 0");
VEXAO_LAYOUT_CHECK(offsetof(PlaneBand, writePtr) == 12, "PlaneBand.writePtr at 12");
VEXAO_LAYOUT_CHECK(offsetof(PlaneBand, linePtr) == 16, "PlaneBand.linePtr at 16");
VEXAO_LAYOUT_CHECK(offsetof(PlaneBand, lineLen) == 80, "PlaneBand.lineLen at 80");

/* Appends a fresh node after `node`, the last node of the chain: a new
 * zero-filled node owned by node->nextHandle, with its own 32768-byte buffer,
 * `start` and `cur` at the buffer and no next node. Returns it, or null when
 * memory ran out; when only the buffer could not be had, the empty node stays
 * linked and is released with the chain. */
VEXAO_API BufferList* GetNextList(BufferList* node) VEXAO_NOEXCEPT;

#endif
