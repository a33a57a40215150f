#!/usr/bin/env python3
"""Writes driver/dither_mask.cpp: a 64 x 64 blue-noise threshold mask.

The mask ranks every cell 0..4095 by the void-and-cluster method: each next
dot goes where the pattern so far leaves the largest void, measured with a
Gaussian on the torus, so every tone's dots lie evenly apart and the mask
tiles without seams. The result is fixed by the seed; rerun this only to
change the mask, and commit what it writes.
    scripts/make-dither-mask.py > driver/dither_mask.cpp
"""
import math
import random

SIZE = 64
CELLS = SIZE * SIZE
SIGMA = 1.5


def kernel():
    weights = []
    for dy in range(SIZE):
        for dx in range(SIZE):
            ty, tx = min(dy, SIZE - dy), min(dx, SIZE - dx)
            weights.append(math.exp(-(tx * tx + ty * ty) / (2 * SIGMA * SIGMA)))
    return weights


def spread(energy, weights, cell, sign):
    cy, cx = divmod(cell, SIZE)
    for y in range(SIZE):
        row = ((y - cy) % SIZE) * SIZE
        base = y * SIZE
        for x in range(SIZE):
            energy[base + x] += sign * weights[row + (x - cx) % SIZE]


def tightest(energy, dots, want):
    return max((energy[c], c) for c in range(CELLS) if dots[c] == want)[1]


def loosest(energy, dots, want):
    return min((energy[c], c) for c in range(CELLS) if dots[c] == want)[1]


def main():
    weights = kernel()
    rng = random.Random(105)
    dots = [False] * CELLS
    energy = [0.0] * CELLS
    for cell in rng.sample(range(CELLS), CELLS // 10):
        dots[cell] = True
        spread(energy, weights, cell, 1)
    # Move the tightest dot into the largest void until that changes nothing.
    while True:
        cluster = tightest(energy, dots, True)
        dots[cluster] = False
        spread(energy, weights, cluster, -1)
        void = loosest(energy, dots, False)
        dots[void] = True
        spread(energy, weights, void, 1)
        if void == cluster:
            break
    rank = [0] * CELLS
    initial = sum(dots)
    # The initial dots get the ranks below their count, tightest last removed.
    pattern, field = dots[:], energy[:]
    for r in range(initial - 1, -1, -1):
        cluster = tightest(field, pattern, True)
        pattern[cluster] = False
        spread(field, weights, cluster, -1)
        rank[cluster] = r
    # Every further dot goes into the largest void.
    for r in range(initial, CELLS):
        void = loosest(energy, dots, False)
        dots[void] = True
        spread(energy, weights, void, 1)
        rank[void] = r
    print("// The 64 x 64 blue-noise threshold mask of the halftoning: the rank")
    print("// 0..4095 of each cell, row by row. Written by scripts/make-dither-mask.py.")
    print('#include "driver/dither_mask.h"')
    print()
    print("namespace vexao::imaging {")
    print()
    print("const std::uint16_t kDitherMask[kDitherMaskSize * kDitherMaskSize] = {")
    for y in range(SIZE):
        print("    " + ", ".join(str(rank[y * SIZE + x]) for x in range(SIZE)) + ",")
    print("};")
    print()
    print("}  // namespace vexao::imaging")


main()
