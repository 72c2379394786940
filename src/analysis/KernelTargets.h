#pragma once
// ZANVEL_KERNEL marks a hot pixel or bin loop to be compiled twice, for the baseline x86-64
// and for AVX2, with the loader picking the one the processor runs. Elsewhere (other
// processors, other compilers, the ThreadSanitizer build) it is one plain function.

#if defined(__x86_64__) && defined(__GNUC__) && defined(__ELF__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
#define ZANVEL_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define ZANVEL_KERNEL
#endif
