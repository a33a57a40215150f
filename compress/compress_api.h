/* Compression of raster lines: PackBits, the zero-run writer and the level
 * packing of five-level pixels. */
#ifndef VEXAO_COMPRESS_API_H
#define VEXAO_COMPRESS_API_H

#include <stdint.h>

#include "toolbox/export.h"

typedef struct MasterWork MasterWork;

/* PackBits: compresses n bytes from `input` into `output` and returns the
 * number of bytes written. The output needs room for n + n / 126 + 1 bytes. */
VEXAO_API int32_t packbits(uint8_t* output, const uint8_t* input, int32_t n) VEXAO_NOEXCEPT;

/* Writes the PackBits code of n zero bytes (2 bytes for every started 128) and
 * returns its length. */
VEXAO_API int32_t LeftPack(uint8_t* output, int32_t n) VEXAO_NOEXCEPT;

/* Level packing: every three bytes of 4-bit pixels (values 0..4) become two
 * bytes of three pixels each. Returns the number of bytes written, at most
 * ceil(2n / 3). `work` supplies the pair-code table. */
VEXAO_API int32_t pack83(uint8_t* output, const uint8_t* input, int32_t n, MasterWork* work) VEXAO_NOEXCEPT;

/* Pair codes of the level packing, indexed by a byte that holds two pixels of
 * 0..4 (first pixel in the high nibble). Each entry is the 5-bit pair code
 * shifted left by 3: 4p + q for p, q in 0..3; 16 + q for p = 4; 24 + p for
 * q = 4. Entries for nibbles above 4 are 0. */
VEXAO_API const uint8_t tblqzo73l[256];

#endif
