// Loops of plain byte arithmetic that the compiler turns into vector code.
// On x86 a function marked VEXAO_VECTOR_CLONES is also built for AVX2, and
// the copy for the processor at hand is chosen at run time; every copy gives
// the same bytes.
#ifndef VEXAO_DRIVER_VECTOR_CLONES_H
#define VEXAO_DRIVER_VECTOR_CLONES_H

// ThreadSanitizer's runtime is not running yet when the dynamic linker has
// the copy chosen, and the instrumented chooser would crash: a
// ThreadSanitizer build keeps the default copy alone.
#if defined(__SANITIZE_THREAD__)
#define VEXAO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXAO_THREAD_SANITIZER 1
#endif
#endif

#if (defined(__x86_64__) || defined(__i386__)) && !defined(VEXAO_THREAD_SANITIZER)
#define VEXAO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VEXAO_VECTOR_CLONES
#endif

#endif
