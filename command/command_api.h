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

/* The lengths of the raw commands: a raster skip moves down at most 32767
 * lines; a colour data header comes before each plane's compressed line. */
#define VEXAO_SKIP_COMMAND_LENGTH 7
#define VEXAO_MAX_SKIP_LINES 32767
#define VEXAO_COLOR_HEADER_LENGTH 6

/* Writes one raster skip (1B 28 65 02 00, count high byte, count low byte) at
 * `destination` and returns 7. Only the low 16 bits of `count` are used, as a
 * signed number: a count of 0 or below writes nothing and returns 0. */
VEXAO_API int32_t WriteSkipCommand(int32_t count, uint8_t* destination) VEXAO_NOEXCEPT;

/* Fills the six reserved bytes at `destination` with a colour data header for
 * plane 0..7 (letter from "KYMCmcyP") and parameter length `length` (the
 * compressed length plus 1 for the letter). */
VEXAO_API void WriteSpecColor(int16_t plane, int16_t length, uint8_t* destination) VEXAO_NOEXCEPT;

/* Writes the multi-raster start and the band height (12 bytes) at
 * `destination` and returns 12. Only the record's band height is read. */
VEXAO_API int32_t WriteMultiRasterCommand(MasterWork** work, uint8_t* destination) VEXAO_NOEXCEPT;

/* Appends the plane list for 1, 4 or 6 planes ("K", "KYMC", "KYMCmc"). */
VEXAO_API BufferList* WriteEscL(int16_t planes, BufferList* node) VEXAO_NOEXCEPT;

/* Appends a skip of `count` bands (at least 1), split into skips of at most
 * 32767. */
VEXAO_API BufferList* WriteSkipMulti(int32_t count, BufferList* node) VEXAO_NOEXCEPT;

/* Appends one band block: 1B 28 46, a 16-bit length, then the `lines` rows of
 * `band`, each ended by 0x80. The length is written into the node where the
 * block began, which may be an earlier node than the one returned.
 *
 * A band block's length field has 16 bits and the stream must never carry a
 * wrong length, so a block that cannot be described exactly is refused: null,
 * nothing written, when `lines` is outside 0..16, a row length is outside
 * 0..4096 (the row slot), or the rows and their end bytes total more than
 * 65535. Line production never files rows that would make such a block (it
 * refuses rows beyond 4094 bytes in 16-line bands), so for its bands a null
 * always means that memory ran out. */
VEXAO_API BufferList* WriteEscF(int16_t lines, PlaneBand* band, BufferList* node) VEXAO_NOEXCEPT;

/* Sends the record's current band, or counts it as an empty band: empty bands
 * go out as one skip (counted in bands) before the next band with data. When
 * only plane 0 has data, the plane list "K" and one block are sent; otherwise
 * all planes are announced and each gets a block. The plane list is sent only
 * when the announced set changes. Clears the band and sets the band row back
 * to 0. Returns the node holding the write position afterwards, or null when
 * no room for output was left; the band is then kept. */
VEXAO_API BufferList* WriteMultiRasterImage(MasterWork** work, BufferList* node) VEXAO_NOEXCEPT;

/* Appends a fresh node after `node`, the last node of the chain: a new
 * zero-filled node owned by node->nextHandle, with its own 32768-byte buffer,
 * `start` and `cur` at the buffer and no next node. Returns it, or null when
 * memory ran out; when only the buffer could not be had, the empty node stays
 * linked and is released with the chain. */
VEXAO_API BufferList* GetNextList(BufferList* node) VEXAO_NOEXCEPT;

#endif
