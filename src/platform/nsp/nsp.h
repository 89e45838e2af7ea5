// Single-precision vector routines in the shape of the Intel Signal Processing Library's, which
// this platform lacks: aligned float storage and the element-wise operations the matrices and
// images need. Lengths below 1 do nothing.
#pragma once

// Aligned storage for n floats; null when n is not positive or memory is short. Release with nspFree.
float* nspsMalloc(int n);
void nspFree(void* block);

void nspsbSet(float value, float* dst, int n);
// dst[i] += src[i]
void nspsbAdd2(const float* src, float* dst, int n);
// dst[i] *= src[i]
void nspsbMpy2(const float* src, float* dst, int n);
// v[i] = 1 / v[i], except that a value whose magnitude is below threshold becomes
// 1 / threshold with its sign kept (0 gives +1 / threshold), so no division ever explodes.
void nspsbInvThresh1(float* v, int n, float threshold);
