/* Compression of raster lines: PackBits, the zero-run writer and the level
 * packing of five-level pixels. */
#ifndef VEXAO_COMPRESS_API_H
#define VEXAO_COMPRESS_API_H

#include <stdint.h>

#include "toolbox/export.h"

typedef struct MasterWork MasterWork;

/* Pair codes of the level packing, indexed by a byte that holds two pixels of
 * 0..4 (first pixel in the high nibble). Each entry is the 5-bit pair code
 * shifted left by 3: 4p + q for p, q in 0..3; 16 + q for p = 4; 24 + p for
 * q = 4. Entries for nibbles above 4 are 0. */
VEXAO_API const uint8_t tblqzo73l[256];

#endif
