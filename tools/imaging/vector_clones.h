// Loops of plain byte arithmetic that the compiler turns into vector code.
// On x86 a function marked VEXAO_VECTOR_CLONES is also built for AVX2, and
// the copy for the processor at hand is chosen at run time; every copy gives
// the same bytes.
#ifndef VEXAO_TOOLS_IMAGING_VECTOR_CLONES_H
#define VEXAO_TOOLS_IMAGING_VECTOR_CLONES_H

#if defined(__x86_64__) || defined(__i386__)
#define VEXAO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VEXAO_VECTOR_CLONES
#endif

#endif
