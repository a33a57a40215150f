/* Compression of raster lines: PackBits, the zero-run writer and the level
 * packing of five-level pixels.
 *
 * All three functions write only into the caller's output buffer, allocate
 * nothing and keep no state between calls, so calls on different buffers are
 * independent. Counts are 16-bit: every function accepts n up to 32767
 * (VEXAO_MAX_COMPRESS_COUNT); a count outside its accepted range writes
 * nothing and returns 0. Input and output must not overlap. Where the
 * processor has them, the functions use SSE2 or AVX2 instructions, chosen on
 * first use; every processor gets the same bytes.
 *
 * The PackBits stream is a sequence of runs, each opened by a count byte:
 *   0x00..0x7F  a literal group: count + 1 bytes (1..128) follow as they are;
 *   0x81..0xFF  a repeat run: one byte follows and stands for 257 - count
 *               copies (2..128);
 *   0x80        never written (band blocks use it to end each line).
 * Any standard PackBits decoder gives back the input. */
#ifndef VEXAO_COMPRESS_API_H
#define VEXAO_COMPRESS_API_H

#include <stdint.h>

#include "toolbox/export.h"

typedef struct MasterWork MasterWork;

/* The largest input count the compressors accept. */
#define VEXAO_MAX_COMPRESS_COUNT 32767
/* Room that packbits needs for n input bytes, at most (see below). */
#define VEXAO_PACKBITS_BOUND(n) ((n) + (n) / 126 + 1)

/* PackBits: compresses n bytes from `input` into `output` and returns the
 * number of bytes written.
 *
 * n: 0..32767. n = 0 writes nothing and returns 0; n < 0 or n > 32767 also
 * writes nothing and returns 0.
 *
 * Room: the output needs at most n + max(1, ceil((n - 1) / 126)) bytes for
 * n >= 1. Literal bytes followed by alternating pairs reach exactly that:
 * one single byte when n is odd, two when n is even, so the input ends on a
 * whole pair. VEXAO_PACKBITS_BOUND(n), n + n / 126 + 1 in integer division,
 * is a simple safe bound.
 *
 * The encoding is settled to the byte, because printers and stored files see
 * it:
 *   - Every call starts with no literal group open, so output of separate
 *     calls (LeftPack, then packbits) never merges into one run.
 *   - A run of two equal bytes while a literal group is open joins the group
 *     as two more literal bytes as long as the group's count byte is at most
 *     124 (so such a group ends at 127 bytes); at 125 or more the pair opens a
 *     new literal group 01 b b.
 *   - A run of two with no group open (at the start, after a repeat run or
 *     after a full group) is written as the repeat run FF b.
 *   - A single byte joins the open group, which closes when it holds 128
 *     bytes; with no group open it opens one (00 b).
 *   - A run of three or more closes any open group and is written in repeat
 *     runs of at most 128; a remainder of one byte after the 128-byte pieces
 *     becomes a one-byte literal group that later bytes may join.
 *
 * Result: the byte count as a plain int. For inputs of 32767 bytes the output
 * may pass 32767 bytes; the count is still returned in full, never wrapped to
 * a negative 16-bit value. */
VEXAO_API int32_t packbits(uint8_t* output, const uint8_t* input, int32_t n) VEXAO_NOEXCEPT;

/* The zero-run writer: writes the PackBits code of n zero bytes, without
 * reading any data, and returns its length.
 *
 * n: 1..32767. n <= 0 or n > 32767 writes nothing and returns 0.
 *
 * Output: 81 00 for every 128 zeros while more than 128 remain, then one run
 * for the remaining r (1..128): 00 00 for r = 1, otherwise (257 - r) 00.
 * Room: 2 bytes for every started 128 (2 for n = 1..128, 4 for 129..256, ...,
 * 512 at most). */
VEXAO_API int32_t LeftPack(uint8_t* output, int32_t n) VEXAO_NOEXCEPT;

/* Level packing: every three input bytes of 4-bit pixels (two a byte, first
 * pixel in the high nibble, values 0..4) become two output bytes of three
 * pixels each, and returns the number of bytes written.
 *
 * Output byte layout: bits 7..3 the pair code of two pixels (from tblqzo73l),
 * bits 2..0 a third pixel as a plain level. For input bytes a, b, c:
 *   first  = tblqzo73l[a] | (b.hi & 7)
 *   second = tblqzo73l[16 * (b.lo & 7) + (c.hi & 7)] | (c.lo & 7)
 * Three zero bytes give two zero bytes, so blank stretches stay blank.
 *
 * Bytes left after the last whole group:
 *   one byte a:    tblqzo73l[a] when a is not 0; nothing when a is 0.
 *   two bytes a b: nothing when both are 0. Otherwise the first byte as
 *                  above, then tblqzo73l[16 * (b.lo & 7)] only when that entry
 *                  is not 0.
 *
 * n: 0..32767. n < 0 or n > 32767 writes nothing and returns 0.
 * Room: 2 * (n / 3) bytes, plus 1 when n % 3 == 1 and plus 2 when
 * n % 3 == 2: at most ceil(2n / 3).
 *
 * work: the work record (not the host's pointer to it). Its level table is
 * used when the record is configured for level packing; when `work` is null
 * or the record holds no table, tblqzo73l is used. The result is the same
 * either way.
 *
 * Pixel values above 4 are outside the pixel format but handled
 * deterministically and never read outside the table: a first pair (the
 * whole byte a) with a nibble above 4 gets pair code 0; in the second pair
 * each nibble is first cut to its low three bits, so 5..7 and 13..15 get pair
 * code 0 while 8..12 read as 0..4; a third pixel keeps its low three bits. */
VEXAO_API int32_t pack83(uint8_t* output, const uint8_t* input, int32_t n, MasterWork* work) VEXAO_NOEXCEPT;

/* Pair codes of the level packing, indexed by a byte that holds two pixels of
 * 0..4 (index 16 * first + second). Each entry is the 5-bit pair code shifted
 * left by 3: 4p + q for p, q in 0..3; 16 + q for p = 4; 24 + p for q = 4 and
 * p in 0..3. Entries for indexes with a nibble above 4 are 0, and of the 25
 * valid indexes only 0x00 has entry 0. Read-only. */
VEXAO_API const uint8_t tblqzo73l[256];

#endif
