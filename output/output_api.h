/* libvexao105: the output stage of a raster printer driver.
 *
 * This is the host's manual for the output engine. The host renders a page
 * into raster lines and hands them over one line at a time; the library turns
 * them into the printer's command stream and hands back descriptors listing
 * memory chunks, which the host sends to the printer in order.
 *
 * Builds: the i386 library is the one that 32-bit hosts load; its records
 * have exactly the 32-bit layouts given below (pointers of 4 bytes). The
 * x86-64 and arm64 builds serve the project's own tools and packages, not
 * 32-bit hosts: there the records take their natural layout. Every build
 * writes the same bytes for the same input.
 *
 * Protocol, for one record:
 *   1. OutputOpen(&work)                         -> 259
 *   2. OutputInitTwo(&work, &params, modelCode)  -> 0, or -128
 *   3. per page: OutputInitPart (not needed for the first page), then per line
 *      OutputProduce + send the chunks + OutputComplete, then OutputFormFeed
 *      + send the chunks + OutputComplete
 *   4. OutputClose(&work)
 *
 * Every Output... call takes the address of the host's MasterWork pointer.
 * Results are small signed integers, 0 for success; hosts look at the low 16
 * bits. -128 means no memory (or no room) for output, -256 means OutputProduce
 * was called before OutputComplete acknowledged the previous output.
 *
 * All or nothing: an OutputProduce, OutputFlush or OutputFormFeed that returns
 * -128 hands out nothing and leaves the record exactly as it was before the
 * call (memory it obtained is released). A host may therefore call
 * OutputComplete and retry the same call, for instance once memory has been
 * freed; the stream then comes out byte for byte as if the failure had never
 * happened, nothing lost and nothing sent twice. A host that gives up instead
 * ends the page (see below), calls OutputComplete and OutputClose, and nothing
 * leaks.
 *
 * -128 stands for two causes that the host cannot tell apart: memory ran out,
 * which a retry after freeing memory may cure, or the output has no room (a
 * line too long, more than 16 chunks), which no retry cures. A host therefore
 * retries a refused call once, after freeing what memory it can, and treats a
 * second refusal of the same call as final. Even then it ends the page: after
 * a line refused for good it calls OutputFormFeed (retried once the same
 * way), and should the form feed be refused twice as well, it sends the
 * printer's form-feed command itself, the 7 bytes 1B 28 65 02 00 00 00, so
 * that the printer is never left in the middle of a sheet.
 *
 * The library keeps module-wide command templates, so it serves one caller at
 * a time, even across different records. */
#ifndef VEXAO_OUTPUT_API_H
#define VEXAO_OUTPUT_API_H

#include <stddef.h>
#include <stdint.h>

#include "toolbox/export.h"
#include "toolbox/toolbox_api.h"

/* The work record. Its layout is private to the library; hosts only keep the
 * pointer that OutputOpen stores. */
typedef struct MasterWork MasterWork;

/* The most bytes one normal-mode call hands out (the descriptor's length is a
 * signed 16-bit number), and the longest compressed row that a band of
 * `bandLines` lines (8 or 16) takes. OutputProduce refuses longer lines. */
#define VEXAO_MAX_NORMAL_OUTPUT 32767
#define VEXAO_MAX_BAND_ROW(bandLines) ((bandLines) == 8 ? 4096 : 4094)

/* Interface version returned by OutputOpen. */
#define VEXAO_INTERFACE_VERSION 259
/* OutputOpen's result on failure: the version with bit 15 set, as 16 bits. */
#define VEXAO_OPEN_FAILED (-32509)
#define VEXAO_NO_ROOM (-128)
#define VEXAO_NOT_COMPLETED (-256)

/* The host's parameter block, 192 bytes. The library copies all of it and
 * reads only the named fields. */
typedef struct OutputParams {
    int16_t modelCode;      /* printer model: 'I' 'J' 'e' 'f' 'i' 'j' 'k' 'l' select a mode family */
    int16_t variantCode;    /* refines the raster format */
    uint8_t hostBytes4[12];
    int16_t singlePlane;    /* banded models: 1 reduces the band to one plane */
    uint8_t hostBytes18[4];
    int16_t bandHeightCode; /* banded models: 300 selects 8-line bands */
    uint8_t hostBytes24[2];
    int16_t halfBandFlag;   /* banded models: 1 selects 8-line bands */
    uint8_t hostBytes28[66];
    int16_t rasterMode;     /* bits per pixel, plane count and packing */
    uint8_t hostBytes96[96];
} OutputParams;

VEXAO_LAYOUT_CHECK(sizeof(OutputParams) == 192, "OutputParams is 192 bytes");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, modelCode) == 0, "OutputParams.modelCode at 0");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, variantCode) == 2, "OutputParams.variantCode at 2");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, hostBytes4) == 4, "OutputParams.hostBytes4 at 4");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, singlePlane) == 16, "OutputParams.singlePlane at 16");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, hostBytes18) == 18, "OutputParams.hostBytes18 at 18");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, bandHeightCode) == 22, "OutputParams.bandHeightCode at 22");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, hostBytes24) == 24, "OutputParams.hostBytes24 at 24");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, halfBandFlag) == 26, "OutputParams.halfBandFlag at 26");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, hostBytes28) == 28, "OutputParams.hostBytes28 at 28");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, rasterMode) == 94, "OutputParams.rasterMode at 94");
VEXAO_LAYOUT_CHECK(offsetof(OutputParams, hostBytes96) == 96, "OutputParams.hostBytes96 at 96");

/* One plane of a raster line. Pixel index >> pixel shift gives the byte that
 * holds the pixel (8 pixels a byte at 1 bit, 2 at 4 bits). The library reads
 * the bytes from leftBlank's byte to the byte of pixel
 * pixelWidth - rightBlank - 1; in level-packing modes it may also set up to
 * two bytes just before the first non-zero byte to zero. */
typedef struct RasterPlane {
    uint8_t* data;      /* the plane's bytes, or null when the plane is absent */
    int16_t pixelWidth; /* pixels in the line */
    int16_t leftBlank;  /* blank pixels at the left end */
    int16_t rightBlank; /* blank pixels at the right end */
    uint16_t unused;
} RasterPlane;

VEXAO_LAYOUT_CHECK(sizeof(RasterPlane) == 12, "RasterPlane is 12 bytes");
VEXAO_LAYOUT_CHECK(offsetof(RasterPlane, data) == 0, "RasterPlane.data at 0");
VEXAO_LAYOUT_CHECK(offsetof(RasterPlane, pixelWidth) == 4, "RasterPlane.pixelWidth at 4");
VEXAO_LAYOUT_CHECK(offsetof(RasterPlane, leftBlank) == 6, "RasterPlane.leftBlank at 6");
VEXAO_LAYOUT_CHECK(offsetof(RasterPlane, rightBlank) == 8, "RasterPlane.rightBlank at 8");
VEXAO_LAYOUT_CHECK(offsetof(RasterPlane, unused) == 10, "RasterPlane.unused at 10");

#define VEXAO_MAX_PLANES 7

/* One raster line. Plane k is sent under the k-th letter of "KYMCmcy". */
typedef struct RasterInput {
    int32_t lineNumber; /* 0 is the top line of the page */
    RasterPlane plane[VEXAO_MAX_PLANES];
} RasterInput;

VEXAO_LAYOUT_CHECK(sizeof(RasterInput) == 88, "RasterInput is 88 bytes");
VEXAO_LAYOUT_CHECK(offsetof(RasterInput, lineNumber) == 0, "RasterInput.lineNumber at 0");
VEXAO_LAYOUT_CHECK(offsetof(RasterInput, plane) == 4, "RasterInput.plane at 4");

/* One stretch of bytes to send. */
typedef struct Chunk {
    uint8_t* ptr;  /* first byte */
    int16_t len;   /* number of bytes, below 32768 */
    uint16_t zero; /* always 0, so len also reads right as 32 bits */
} Chunk;

VEXAO_LAYOUT_CHECK(sizeof(Chunk) == 8, "Chunk is 8 bytes");
VEXAO_LAYOUT_CHECK(offsetof(Chunk, ptr) == 0, "Chunk.ptr at 0");
VEXAO_LAYOUT_CHECK(offsetof(Chunk, len) == 4, "Chunk.len at 4");
VEXAO_LAYOUT_CHECK(offsetof(Chunk, zero) == 6, "Chunk.zero at 6");

/* What the host sends after an output call: `count` chunks from `chunks`, in
 * order. In normal mode count is 1 and `chunks` points at the descriptor's own
 * ptr/len, which have a Chunk's layout. The descriptor and the bytes it lists
 * stay valid until the host's next call on the same record. */
typedef struct OutputDesc {
    int16_t count;
    uint16_t zero;
    Chunk* chunks;
    uint8_t* ptr;   /* normal mode: the one chunk */
    int16_t len;
    uint16_t zero2;
} OutputDesc;

VEXAO_LAYOUT_CHECK(sizeof(OutputDesc) == 16, "OutputDesc is 16 bytes");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, count) == 0, "OutputDesc.count at 0");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, zero) == 2, "OutputDesc.zero at 2");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, chunks) == 4, "OutputDesc.chunks at 4");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, ptr) == 8, "OutputDesc.ptr at 8");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, len) == 12, "OutputDesc.len at 12");
VEXAO_LAYOUT_CHECK(offsetof(OutputDesc, zero2) == 14, "OutputDesc.zero2 at 14");
/* In normal mode `chunks` points at ptr and len, on every architecture. */
VEXAO_STATIC_CHECK(offsetof(OutputDesc, len) - offsetof(OutputDesc, ptr) == offsetof(Chunk, len) &&
                       offsetof(OutputDesc, zero2) - offsetof(OutputDesc, ptr) == offsetof(Chunk, zero) &&
                       offsetof(OutputDesc, ptr) + sizeof(Chunk) <= sizeof(OutputDesc),
                   "OutputDesc.ptr and len have a Chunk's layout");

/* Allocates a work record with its 32 KB output buffer and its descriptor and
 * stores its address in *work. Returns 259, or -32509 when `work` is null or
 * memory ran out; whatever was allocated then stays in *work for OutputClose. */
VEXAO_API int32_t OutputOpen(MasterWork** work) VEXAO_NOEXCEPT;

/* Copies the parameter block into the record, replaces its model code by the
 * low 16 bits of `modelCode`, marks the record with interface version 259
 * (from then on every OutputInitPart refreshes the copy) and configures it
 * with OutputInit. Returns OutputInit's result. */
VEXAO_API int32_t OutputInitTwo(MasterWork** work, const OutputParams* params, int32_t modelCode) VEXAO_NOEXCEPT;

/* Selects the mode from the model code, variant and raster mode of `params`
 * (the band height comes from the record's own copy), allocates the mode's
 * buffers and resets the page with OutputInitPart. Returns 0, or -128 when a
 * buffer could not be allocated: the record is then partly configured, the
 * output calls refuse it, and OutputClose releases what was allocated. A
 * record whose OutputOpen failed is refused with -128 too.
 *
 * A second OutputInit on a configured record first releases the earlier
 * configuration's buffers (and any chain nodes not yet completed), then
 * configures the record afresh. */
VEXAO_API int32_t OutputInit(MasterWork** work, const OutputParams* params) VEXAO_NOEXCEPT;

/* Starts a page: line numbering restarts at 0 and, in multi-raster mode, the
 * band state is reset. On a record configured through OutputInitTwo the
 * parameter copy is refreshed from `params` (keeping the model code). Always
 * returns 0; it allocates nothing. */
VEXAO_API int32_t OutputInitPart(MasterWork** work, const OutputParams* params) VEXAO_NOEXCEPT;

/* Turns one raster line into printer commands and stores the address of the
 * record's descriptor in *descriptor. Lines come top to bottom; plane k is
 * sent under the k-th letter of "KYMCmcy" (in multi-raster mode only the
 * first planes of the band are read). After sending the chunks the host calls
 * OutputComplete before the next OutputProduce.
 *
 * Normal mode hands out the raster skips down to this line, then per plane
 * with ink a colour data command and a carriage return, as one chunk (count 1,
 * also when it is empty). Multi-raster mode files the compressed line in the
 * current band and hands out bytes only when a band is sent (and on the first
 * call of a page, which carries the multi-raster header); otherwise count 0.
 *
 * Results, the descriptor being handed out only on 0:
 *   0     success;
 *   -256  the previous output has not been completed; nothing changes;
 *   -128  refused, with nothing handed out and the record as it was (see "All
 *         or nothing" above): memory for the output chain ran out, or
 *         - a normal-mode line whose commands would exceed 32767 bytes (the
 *           descriptor's length is a signed 16-bit number);
 *         - a multi-raster row whose compressed form exceeds its band slot:
 *           4096 bytes with 8-line bands, 4094 with 16-line bands, so that a
 *           band block's 16-bit length stays exact;
 *         - output beyond the 16 chunks that a descriptor lists;
 *         - a record whose set-up failed or never ran;
 *         - a line number below the line at which the printer already stands
 *           (the last line that carried data): the print position cannot move
 *           back up the page, and placing the line anywhere else would shift
 *           what follows.
 *
 * A plane is left out when its data is null, when leftBlank equals
 * pixelWidth, when it holds only zeros between its blank ends, and when its
 * numbers are impossible (pixelWidth of 0 or less, a negative leftBlank or
 * rightBlank, or leftBlank past pixelWidth); no byte outside the declared
 * range is read. In level-packing modes the library clears up to two bytes
 * just before a plane's first non-zero byte in the host's buffer. */
VEXAO_API int32_t OutputProduce(MasterWork** work, RasterInput* line, OutputDesc** descriptor) VEXAO_NOEXCEPT;

/* Moves the print position on to the last line handed in and, in multi-raster
 * mode, sends the part-filled band at full band height. Returns 0 or -128
 * (memory ran out, the record is not configured, or in normal mode the skips
 * would exceed the output buffer). On -128 the record is as it was and the
 * descriptor, when handed back, lists nothing (count 0).
 *
 * A mid-page flush in multi-raster mode ends the current band early: lines
 * handed in afterwards go on from the top of the next band, keeping their
 * spacing, so the rest of the page moves down by the rows that the flushed
 * band left unfilled. Flush at a band boundary to keep positions. */
VEXAO_API int32_t OutputFlush(MasterWork** work, OutputDesc** descriptor) VEXAO_NOEXCEPT;

/* Like OutputFlush, then appends the form-feed command that ends the page.
 * On -128 nothing is handed back and the page is not ended: the record is as
 * it was, and a retry sends the rest of the page and the form feed. */
VEXAO_API int32_t OutputFormFeed(MasterWork** work, OutputDesc** descriptor) VEXAO_NOEXCEPT;

/* The host's acknowledgement that it has sent the last descriptor's chunks:
 * allows the next OutputProduce and releases the chain buffers that the
 * output calls added. Always 0; harmless when repeated. */
VEXAO_API int32_t OutputComplete(MasterWork** work) VEXAO_NOEXCEPT;

/* The flushing work of the two modes, as OutputFlush does it, without
 * refreshing the buffer addresses and all or nothing like it.
 * WriteRestData_Normal returns 0 (or -128 as OutputFlush); WriteRestData_Multi
 * returns 0 or -128, also on a record not in multi-raster mode. */
VEXAO_API int32_t WriteRestData_Normal(MasterWork** work) VEXAO_NOEXCEPT;
VEXAO_API int32_t WriteRestData_Multi(MasterWork** work) VEXAO_NOEXCEPT;

/* Releases the record and everything it owns, chain buffers that were never
 * completed included. Does nothing when *work is null; *work is left as it was
 * and must not be used again. */
VEXAO_API void OutputClose(MasterWork** work) VEXAO_NOEXCEPT;

#endif
