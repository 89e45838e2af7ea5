// Functions that run for every row of every iteration are built twice, for the x86-64 baseline
// and for processors with AVX2 and FMA, and the loader picks one: the library stays one build for
// every x86-64 machine, and the fused multiply-adds and wider vectors take about a fifth off a
// tracking step where the processor has them. Results differ between the two in the last bits.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VANTOREL_HOT_PATH __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define VANTOREL_HOT_PATH
#endif
