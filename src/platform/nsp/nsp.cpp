#include "platform/nsp/nsp.h"

#include <cmath>
#include <new>

#include <opencv2/core.hpp>

float* nspsMalloc(int n) {
    if (n <= 0) return nullptr;
    try {
        return static_cast<float*>(cv::fastMalloc(static_cast<std::size_t>(n) * sizeof(float)));
    } catch (const std::exception&) {
        return nullptr;
    }
}

void nspFree(void* block) {
    if (block) cv::fastFree(block);
}

void nspsbSet(float value, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = value;
}

void nspsbAdd2(const float* src, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] += src[i];
}

void nspsbMpy2(const float* src, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] *= src[i];
}

void nspsbInvThresh1(float* v, int n, float threshold) {
    const float clamped = 1.0f / threshold;
    for (int i = 0; i < n; ++i) {
        const float x = v[i];
        if (std::fabs(x) < threshold) {
            v[i] = std::signbit(x) && x != 0.0f ? -clamped : clamped;
        } else {
            v[i] = 1.0f / x;
        }
    }
}
