// The derivative and smoothing kernels of the image operations, in one place.
//
// The tables are convolution kernels: out(x) = sum_i k[i] * in(x - i + anchor). OpenCV's
// filters correlate, so each kernel is handed over reversed with its anchor mirrored
// (size - 1 - anchor). Both forms are built once, on first use, and never change.
#pragma once

#include <opencv2/core.hpp>

namespace image_kernels {

// A one-dimensional kernel ready for OpenCV: taps as a CV_32F column, correlation anchor.
struct CorrelationKernel {
    cv::Mat taps;
    int anchor;
};

// Turns a convolution table with its anchor into the correlation OpenCV computes.
CorrelationKernel FromConvolution(const float* taps, int size, int anchor);

// `in` filtered along its rows by `horizontal` and along its columns by `vertical` into a float
// `out`, the border replicated: the one separable filter of the image operations and the tracker.
void Separable(const cv::Mat& in, cv::Mat& out, const CorrelationKernel& horizontal,
               const CorrelationKernel& vertical);

const CorrelationKernel& Prefilter5();             // 0.03504 0.24878 0.43234 0.24878 0.03504, anchor 2
const CorrelationKernel& Derivative5();            // 0.10689 0.28461 0 -0.28461 -0.10689, anchor 2
const CorrelationKernel& HorizontalDifference3();  // 0.5 0 -0.5, anchor 1
const CorrelationKernel& VerticalDifference3();    // -0.5 0 0.5, anchor 1
const CorrelationKernel& Gaussian15();             // symmetric, sums to 1, anchor 7

}  // namespace image_kernels
