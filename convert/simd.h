// Compiler hints for the engine's hot loops. The loops are written as plain
// C++ that compilers vectorise; with GCC on x86-64 Linux a function marked
// ZINDREL_CLONES is also compiled for AVX2 and the best copy is picked when
// the program starts. Elsewhere the marks are empty and the same loops run.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define ZINDREL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZINDREL_CLONES
#endif

// The AVX2 search loops (kernels_avx2.cpp) are built on x86-64 by GCC and
// clang, which both compile single functions for AVX2 and tell at run time
// whether the processor has it.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define ZINDREL_AVX2_KERNELS 1
#else
#define ZINDREL_AVX2_KERNELS 0
#endif

#if defined(__GNUC__) || defined(__clang__)
#define ZINDREL_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define ZINDREL_INLINE __forceinline
#else
#define ZINDREL_INLINE inline
#endif
